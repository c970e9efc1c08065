#include "media/folder_listing.h"

#include "media/paths.h"

#include <algorithm>
#include <filesystem>

namespace kqc {

namespace {

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower;
}

}  // namespace

std::optional<std::vector<FolderFile>> ListPlainFiles(std::string_view folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(PathFromUtf8(folder), ec);
    if (ec) return std::nullopt;
    std::vector<FolderFile> files;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code statError;
        if (!it->is_regular_file(statError)) continue;  // follows symlinks; a dangling one is skipped
        files.push_back({Utf8FromPath(it->path().filename()), Utf8FromPath(it->path())});
    }
    if (ec) return std::nullopt;
    return files;
}

bool NameMatchesFilter(std::string_view name, std::string_view filter) {
    return lowerAscii(name).find(lowerAscii(filter)) != std::string::npos;
}

}  // namespace kqc
