#include "media/file_contents.h"

#include "media/large_buffer.h"
#include "media/paths.h"

#include <algorithm>
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
bool appendWholeFile(const fs::path& path, std::string& buffer,
                     const std::function<size_t(size_t)>& capacityFor,
                     const std::function<size_t(size_t)>& leadFor) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    const auto size = fs::file_size(path, ec);
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    const size_t start = buffer.size();
    if (!ec && capacityFor(static_cast<size_t>(size)) > LargeBufferLimit()) {
        std::fclose(file);
        return false;
    }
    if (!ec) buffer.reserve(capacityFor(static_cast<size_t>(size)));
    if (leadFor) buffer.resize(start + leadFor(ec ? 0 : static_cast<size_t>(size)));
    char chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) buffer.append(chunk, n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok) buffer.resize(start);
    return ok;
}

std::FILE* createExclusive(const fs::path& path) { return _wfopen(path.c_str(), L"wbx"); }
#else
// O_NONBLOCK keeps a FIFO that appeared after the listing from blocking the open.
bool appendWholeFile(const fs::path& path, std::string& buffer,
                     const std::function<size_t(size_t)>& capacityFor,
                     const std::function<size_t(size_t)>& leadFor) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    const size_t start = buffer.size();
    const auto size = static_cast<size_t>(info.st_size);
    const size_t lead = leadFor ? leadFor(size) : 0;
    const size_t capacity = std::max(capacityFor(size), start + lead + size);
    if (capacity > LargeBufferLimit()) {  // refused before a byte is read
        ::close(fd);
        return false;
    }
    buffer.reserve(capacity);
    buffer.resize(start + lead + size);
    size_t filled = start + lead;
    bool ok = true;
    // Past the size the file had, reads go to a small probe first: the buffer grows only when the
    // file did, and never past its capacity just to find the end.
    char probe[1 << 12];
    for (;;) {
        const bool past = filled == buffer.size();
        ssize_t n = past ? ::read(fd, probe, sizeof probe)
                         : ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (past) buffer.append(probe, static_cast<size_t>(n));
        filled += static_cast<size_t>(n);
    }
    ::close(fd);
    buffer.resize(ok ? filled : start);
    return ok;
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

#ifdef _WIN32
bool mayReplace(const fs::path&, int&) { return true; }
void keepMode(std::FILE*, int) {}
#else
// An existing target must be writable as it stands, as writing it in place would need; its
// permissions carry over to the new file (mode is -1 when there is none to keep). Anything but
// a regular file (a symlink planted in a shared folder) is replaced, never followed.
bool mayReplace(const fs::path& target, int& mode) {
    mode = -1;
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    mode = static_cast<int>(info.st_mode & 07777);
    return true;
}

void keepMode(std::FILE* file, int mode) {
    if (mode >= 0) ::fchmod(::fileno(file), static_cast<mode_t>(mode));
}
#endif

// One write of a whole file lets the kernel cache it in 2 MiB pieces of memory, which a virtual
// machine may have to fetch back from its host first: 256 MiB written at once took 0.9 to 1.2 s
// where 1 MiB at a time took 0.07 s.
bool writeInPieces(std::FILE* file, std::string_view data) {
    constexpr size_t kPiece = size_t{1} << 20;
    for (size_t at = 0; at < data.size(); at += kPiece) {
        const size_t n = std::min(kPiece, data.size() - at);
        if (std::fwrite(data.data() + at, 1, n, file) != n) return false;
    }
    return true;
}

bool writeReplacing(const fs::path& target, std::string_view data) {
    int mode = -1;
    if (!mayReplace(target, mode)) return false;
    fs::path tempPath;
    std::FILE* file = createTempBeside(target, tempPath);
    if (!file) return false;
    keepMode(file, mode);
    bool ok = writeInPieces(file, data);
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
    std::string data;
    if (!AppendFileContents(path, data, [](size_t size) { return size; })) return false;
    contents = std::move(data);
    return true;
}

bool AppendFileContents(std::string_view path, std::string& buffer,
                        const std::function<std::size_t(std::size_t)>& capacityFor,
                        const std::function<std::size_t(std::size_t)>& leadFor) {
    return appendWholeFile(PathFromUtf8(path), buffer, capacityFor, leadFor);
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
