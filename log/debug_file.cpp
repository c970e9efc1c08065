#include "log/debug_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kqc {

namespace {

#ifndef _WIN32
// Direct writes go in whole blocks from a buffer aligned to a block; 4 KiB suits devices with
// 512-byte and 4 KiB sectors alike.
constexpr size_t kBlock = 4096;
constexpr size_t kBounceSize = size_t{4} << 20;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// The bytes of an entry's pieces, taken front to back.
class EntryBytes {
public:
    explicit EntryBytes(const std::vector<std::string_view>& pieces) : m_pieces(pieces) {
        for (auto piece : pieces) m_left += piece.size();
    }
    size_t left() const { return m_left; }

    // Writes the next n bytes through fd as they stand.
    bool write(int fd, size_t n) {
        return take(n, [fd](std::string_view part) { return writeAll(fd, part); });
    }
    // Copies the next n bytes to out.
    void copy(char* out, size_t n) {
        take(n, [&out](std::string_view part) {
            std::memcpy(out, part.data(), part.size());
            out += part.size();
            return true;
        });
    }

private:
    template <typename Use>
    bool take(size_t n, Use use) {
        while (n > 0) {
            std::string_view rest = m_pieces[m_index].substr(m_offset);
            const std::string_view part = rest.substr(0, n);
            if (!use(part)) return false;
            n -= part.size();
            m_left -= part.size();
            m_offset += part.size();
            if (m_offset == m_pieces[m_index].size()) {
                ++m_index;
                m_offset = 0;
            }
        }
        return true;
    }

    const std::vector<std::string_view>& m_pieces;
    size_t m_index = 0;
    size_t m_offset = 0;
    size_t m_left = 0;
};

// Everything up to the first block edge of the file goes through the page cache, then whole
// blocks with O_DIRECT, then the rest through the cache again. A file system without direct
// writes, or one refused on the way (another program appended meanwhile), leaves the rest to
// ordinary writes: the bytes are the same either way.
bool appendUncached(int fd, off_t fileSize, EntryBytes& bytes) {
    const size_t toBlockEdge = (kBlock - static_cast<size_t>(fileSize) % kBlock) % kBlock;
    if (!bytes.write(fd, std::min(toBlockEdge, bytes.left()))) return false;

    const int flags = ::fcntl(fd, F_GETFL);
    std::unique_ptr<char, decltype(&std::free)> bounce(
        static_cast<char*>(std::aligned_alloc(kBlock, kBounceSize)), &std::free);
    bool direct = flags >= 0 && bounce && ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
    while (direct && bytes.left() >= kBlock) {
        const size_t length = std::min(kBounceSize, bytes.left() / kBlock * kBlock);
        bytes.copy(bounce.get(), length);
        ssize_t written;
        do written = ::write(fd, bounce.get(), length);
        while (written < 0 && errno == EINTR);
        if (written == static_cast<ssize_t>(length)) continue;
        direct = false;
        if (::fcntl(fd, F_SETFL, flags) != 0) return false;
        const size_t done = written > 0 ? static_cast<size_t>(written) : 0;
        if (!writeAll(fd, std::string_view(bounce.get() + done, length - done))) return false;
    }
    if (direct && ::fcntl(fd, F_SETFL, flags) != 0) return false;
    return bytes.write(fd, bytes.left());
}

#endif

}  // namespace

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
// The log lives in a shared, world-writable folder and holds whole source files: it is created
// readable by its owner only, and a file there that belongs to someone else is never written
// (whoever created it first could read every request). O_NOFOLLOW refuses a symlink planted at
// its path, and a non-regular file (a FIFO would block) is not written.
bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                    0600);
    if (fd < 0) return false;
    struct stat info {};
    EntryBytes bytes(pieces);
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    if (ok && bytes.left() >= kUncachedEntrySize)
        ok = appendUncached(fd, info.st_size, bytes);
    else if (ok)
        ok = bytes.write(fd, bytes.left());
    return ::close(fd) == 0 && ok;
}
#endif

}  // namespace kqc
