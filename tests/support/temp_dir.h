#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kqc::test {

// A fresh folder under the system temp directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void writeBytes(const std::filesystem::path& file, std::string_view bytes);
std::string readBytes(const std::filesystem::path& file);

// Every byte value 0..255 once, then CR LF, a lone CR, a lone LF and NUL again.
std::string allByteValues();

}  // namespace kqc::test
