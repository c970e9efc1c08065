#include "log/debug_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace kqc {

#ifdef _WIN32
IoResult AppendToDebugFile(const std::filesystem::path& path,
                           const std::vector<std::string_view>& pieces) {
    std::FILE* file = _wfopen(path.c_str(), L"ab");
    if (!file) return IoResult::failure("cannot open", errno);
    bool ok = true;
    for (auto piece : pieces)
        ok = ok && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    ok = std::fclose(file) == 0 && ok;
    return ok ? IoResult{} : IoResult::failure("cannot write", errno);
}
#else
namespace {

// Adds the bytes written to total, also when a write fails part-way. One writev takes the whole
// entry unless it passes what the system writes at once; the rest then follows.
IoResult writeAll(int fd, const std::vector<std::string_view>& pieces, off_t& total) {
    std::vector<iovec> rest;
    for (std::string_view piece : pieces)
        if (!piece.empty()) rest.push_back({const_cast<char*>(piece.data()), piece.size()});
    for (auto next = rest.begin(); next != rest.end();) {
        const int count = static_cast<int>(std::min<std::ptrdiff_t>(rest.end() - next, IOV_MAX));
        const ssize_t written = ::writev(fd, &*next, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return IoResult::failure("cannot write", written < 0 ? errno : EIO);
        total += written;
        for (auto left = static_cast<size_t>(written); left > 0;) {
            const size_t taken = std::min(left, next->iov_len);
            next->iov_base = static_cast<char*>(next->iov_base) + taken;
            next->iov_len -= taken;
            left -= taken;
            if (next->iov_len == 0) ++next;
        }
    }
    return {};
}

// O_NOFOLLOW refuses a symlink planted at the path, O_NONBLOCK a FIFO that would block the open.
IoResult openOwnDebugFile(const std::filesystem::path& path, int& fd) {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                0600);
    if (fd < 0) return IoResult::failure("cannot open", errno);
    struct stat info {};
    IoResult result;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        result = IoResult::failure("not a regular file of this user");
    else if ((info.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        result = IoResult::failure("cannot make it private", errno);
    if (!result) ::close(fd);
    return result;
}

}  // namespace

IoResult AppendToDebugFile(const std::filesystem::path& path,
                           const std::vector<std::string_view>& pieces) {
    int fd = -1;
    if (IoResult opened = openOwnDebugFile(path, fd); !opened) return opened;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        return IoResult::failure("cannot lock", error);
    }
    const off_t start = ::lseek(fd, 0, SEEK_END);
    off_t written = 0;
    IoResult result = start >= 0 ? writeAll(fd, pieces, written)
                                 : IoResult::failure("cannot write", errno);
    // A full disk leaves part of the entry: cut it off, unless someone else wrote after it.
    struct stat info {};
    if (!result && start >= 0 && ::fstat(fd, &info) == 0 && info.st_size == start + written)
        (void)!::ftruncate(fd, start);
    if (::close(fd) != 0 && result) result = IoResult::failure("cannot write", errno);
    return result;
}
#endif

}  // namespace kqc
