#include "log/debug_file.h"

#include <algorithm>
#include <cstdio>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kqc {

#ifdef _WIN32
bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces) {
    std::FILE* file = _wfopen(path.c_str(), L"ab");
    if (!file) return false;
    bool ok = true;
    for (auto piece : pieces)
        ok = ok && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    return std::fclose(file) == 0 && ok;
}
#else
namespace {

// Whole-file entries go in pieces: one write of hundreds of MiB costs the page cache far more.
constexpr size_t kWritePiece = size_t{1} << 20;

// Adds the bytes written to total, also when a write fails part-way.
bool writeAll(int fd, std::string_view bytes, off_t& total) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), std::min(bytes.size(), kWritePiece));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
        total += written;
    }
    return true;
}

// O_NOFOLLOW refuses a symlink planted at the path, O_NONBLOCK a FIFO that would block the open.
int openOwnDebugFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0600);
    if (fd < 0) return -1;
    struct stat info {};
    const bool own = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    if (!own || ((info.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool lockFile(int fd) {
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

}  // namespace

bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces) {
    const int fd = openOwnDebugFile(path);
    if (fd < 0) return false;
    if (!lockFile(fd)) {
        ::close(fd);
        return false;
    }
    const off_t start = ::lseek(fd, 0, SEEK_END);
    off_t written = 0;
    bool ok = start >= 0;
    for (auto piece = pieces.begin(); ok && piece != pieces.end(); ++piece)
        ok = writeAll(fd, *piece, written);
    // A full disk leaves part of the entry: cut it off, unless someone else wrote after it.
    struct stat info {};
    if (!ok && start >= 0 && ::fstat(fd, &info) == 0 && info.st_size == start + written)
        (void)!::ftruncate(fd, start);
    return ::close(fd) == 0 && ok;
}
#endif

}  // namespace kqc
