#include "quorra-standin/web_root.h"

#include <optional>
#include <string>

namespace kqc::standin {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

bool HasParentSegment(std::string_view path) {
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (path.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

HttpResponse TextAnswer(http::status status, const char* text) {
    HttpResponse response{status, 11};
    response.set(http::field::content_type, "text/plain");
    response.body() = text;
    return response;
}

}  // namespace

WebRootFile WebRootTarget(const std::filesystem::path& root, std::string_view target) {
    const std::optional<std::string> path = PercentDecoded(target.substr(0, target.find('?')));
    if (!path || !path->starts_with('/') || path->find('\0') != std::string::npos ||
        HasParentSegment(*path))
        return {http::status::bad_request, {}};
    std::filesystem::path file = root / path->substr(1);
    if (path->ends_with('/')) file /= "index.html";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return {http::status::not_found, {}};
    return {http::status::ok, file};
}

void AnswerFromWebRoot(const std::filesystem::path& root, const HttpRequest& request, Reply reply) {
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
        HttpResponse refused = TextAnswer(http::status::method_not_allowed, "GET or HEAD only\n");
        refused.set(http::field::allow, "GET, HEAD");
        return std::move(reply)(std::move(refused));
    }
    const auto target = request.target();
    const WebRootFile found = WebRootTarget(root, {target.data(), target.size()});
    http::file_body::value_type file;
    boost::beast::error_code ec;
    if (found.status == http::status::ok)
        file.open(found.path.c_str(), boost::beast::file_mode::scan, ec);
    if (found.status != http::status::ok || ec) {
        const bool bad = found.status == http::status::bad_request;
        return std::move(reply)(
            TextAnswer(bad ? http::status::bad_request : http::status::not_found,
                       bad ? "Bad request\n" : "Not found\n"));
    }
    http::response<http::file_body> answer{http::status::ok, 11};
    answer.set(http::field::content_type, "application/octet-stream");
    answer.body() = std::move(file);
    std::move(reply)(std::move(answer));
}

}  // namespace kqc::standin
