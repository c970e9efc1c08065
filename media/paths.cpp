#include "media/paths.h"

namespace kqc {

std::filesystem::path PathFromUtf8(std::string_view text) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
    return std::filesystem::path(std::string(text));
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    auto text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    return std::string(folder) + static_cast<char>(std::filesystem::path::preferred_separator) +
           std::string(name);
}

}  // namespace kqc
