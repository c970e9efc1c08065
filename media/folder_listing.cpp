#include "media/folder_listing.h"

#include "media/paths.h"

#include <QString>
#include <QUtf8StringView>

#include <filesystem>

namespace kqc {

namespace {

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string lowerUnicode(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toLower().toStdString();
}

}  // namespace

std::optional<std::vector<FolderFile>> ListPlainFiles(std::string_view folder, IoResult* failure) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(PathFromUtf8(folder), ec);
    std::vector<FolderFile> files;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code statError;
        if (!it->is_regular_file(statError)) continue;  // follows symlinks; a dangling one is skipped
        files.push_back({Utf8FromPath(it->path().filename()), Utf8FromPath(it->path())});
    }
    if (ec && failure) *failure = IoResult::failure("cannot list", ec.value());
    if (ec) return std::nullopt;
    return files;
}

// A name that is not valid UTF-8 (file systems do not enforce an encoding) cannot be case-mapped
// as text; then both sides lower their ASCII letters only and keep every other byte, so such a
// name matches the way it always did.
bool NameMatchesFilter(std::string_view name, std::string_view filter) {
    const bool utf8 = QUtf8StringView(name).isValidUtf8() && QUtf8StringView(filter).isValidUtf8();
    const auto lower = utf8 ? lowerUnicode : lowerAscii;
    return lower(name).find(lower(filter)) != std::string::npos;
}

}  // namespace kqc
