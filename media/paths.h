#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kqc {

// Field texts are UTF-8; these convert them to and from the platform's paths.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8FromPath(const std::filesystem::path& path);

// The folder text, the platform's separator and the name, with no check for a separator
// already at the end of the folder text.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace kqc
