#include "media/file_contents.h"

#include "media/large_buffer.h"
#include "media/paths.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kqc {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
bool readWholeFile(const fs::path& path, std::string& contents) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    std::string data;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) data.append(buffer, n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    if (ok) contents = std::move(data);
    return ok;
}

std::FILE* createExclusive(const fs::path& path) { return _wfopen(path.c_str(), L"wbx"); }
#else
// O_NONBLOCK keeps a FIFO that appeared after the listing from blocking the open.
bool readWholeFile(const fs::path& path, std::string& contents) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string data;
    ReserveLargeBuffer(data, static_cast<size_t>(info.st_size));
    data.resize(static_cast<size_t>(info.st_size));
    size_t filled = 0;
    bool ok = true;
    for (;;) {
        if (filled == data.size()) data.resize(data.size() + (1 << 16));  // the file grew
        ssize_t n = ::read(fd, data.data() + filled, data.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        filled += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok) return false;
    data.resize(filled);
    contents = std::move(data);
    return true;
}

std::FILE* createExclusive(const fs::path& path) { return std::fopen(path.c_str(), "wbx"); }
#endif

// A new file beside the target, so that the final rename stays on one file system.
std::FILE* createTempBeside(const fs::path& target, fs::path& tempPath) {
    // Seeded once per thread: opening the system's entropy source for every saved file showed
    // in long batches.
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The target's name, cut short, keeps the temporary file recognisable and within NAME_MAX.
        std::string name = ".";
        name.append(Utf8FromPath(target.filename()).substr(0, 64)).append(".");
        name.append(std::to_string(random() % 1000000000)).append(".part");
        tempPath = target.parent_path() / PathFromUtf8(name);
        if (std::FILE* file = createExclusive(tempPath)) return file;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

bool writeReplacing(const fs::path& target, std::string_view data) {
    fs::path tempPath;
    std::FILE* file = createTempBeside(target, tempPath);
    if (!file) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = (std::fclose(file) == 0) && ok;
    std::error_code ec;
    if (ok) fs::rename(tempPath, target, ec);
    if (!ok || ec) {
        fs::remove(tempPath, ec);
        return false;
    }
    return true;
}

}  // namespace

bool ReadFileContents(std::string_view path, std::string& contents) {
    return readWholeFile(PathFromUtf8(path), contents);
}

void SaveTranscodedFile(ActivityLog& log, std::string_view path, std::string_view data) {
    bool saved = false;
    try {
        saved = writeReplacing(PathFromUtf8(path), data);
    } catch (...) {
        saved = false;
    }
    std::string line(saved ? "Saved transcoded file as " : "Error saving transcoded file as ");
    line.append(path);
    try {
        log.LogOutput(line);
    } catch (...) {
    }
}

}  // namespace kqc
