#include "log/debug_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kqc {

#ifdef _WIN32
struct DebugEntryWriter::File {
    std::FILE* stream = nullptr;
    bool ok = false;
};

DebugEntryWriter::DebugEntryWriter(const std::filesystem::path& path, std::size_t)
    : m_file(std::make_unique<File>()) {
    m_file->stream = _wfopen(path.c_str(), L"ab");
    m_file->ok = m_file->stream != nullptr;
}

DebugEntryWriter::~DebugEntryWriter() {
    if (m_file->stream) std::fclose(m_file->stream);
}

void DebugEntryWriter::append(std::string_view bytes) {
    m_file->ok =
        m_file->ok && std::fwrite(bytes.data(), 1, bytes.size(), m_file->stream) == bytes.size();
}

bool DebugEntryWriter::finish() {
    if (!m_file->stream) return false;
    const bool closed = std::fclose(std::exchange(m_file->stream, nullptr)) == 0;
    return closed && m_file->ok;
}
#else
namespace {

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

}  // namespace

// A large entry goes through the page cache up to the file's first block edge, then in whole
// blocks with O_DIRECT from an aligned buffer, and its last partial block through the cache
// again. A file system without direct writes, or one refused on the way (another program
// appended meanwhile), leaves the rest to ordinary writes: the bytes are the same either way.
struct DebugEntryWriter::File {
    int fd = -1;
    off_t startSize = 0;
    bool ours = false;  // a regular file of this user: the only kind written, or cut back
    bool ok = false;
    int flags = 0;
    size_t toBlockEdge = 0;
    bool direct = false;
    char* bounce = nullptr;
    size_t bounced = 0;

    ~File() { std::free(bounce); }

    void append(std::string_view bytes) {
        if (!ok) return;
        if (!direct) {
            ok = writeAll(fd, bytes);
            return;
        }
        const size_t first = std::min(toBlockEdge, bytes.size());
        ok = writeAll(fd, bytes.substr(0, first));
        toBlockEdge -= first;
        bytes.remove_prefix(first);
        while (ok && !bytes.empty()) {
            const size_t n = std::min(kBounceSize - bounced, bytes.size());
            std::memcpy(bounce + bounced, bytes.data(), n);
            bounced += n;
            bytes.remove_prefix(n);
            if (bounced == kBounceSize) writeBounce(kBounceSize);
        }
    }

    // Writes the first length bytes of the bounce buffer (whole blocks) directly, keeping the
    // rest at its front.
    void writeBounce(size_t length) {
        if (::fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) direct = false;
        ssize_t written = -1;
        if (direct) {
            do written = ::write(fd, bounce, length);
            while (written < 0 && errno == EINTR);
        }
        if (written != static_cast<ssize_t>(length)) {
            // Everything still held goes out through ordinary writes, and so will the rest.
            direct = false;
            ok = ::fcntl(fd, F_SETFL, flags) == 0;
            const size_t done = written > 0 ? static_cast<size_t>(written) : 0;
            ok = ok && writeAll(fd, std::string_view(bounce + done, bounced - done));
            bounced = 0;
            return;
        }
        std::memmove(bounce, bounce + length, bounced - length);
        bounced -= length;
    }

    bool finish() {
        if (direct && ok) writeBounce(bounced / kBlock * kBlock);
        if (direct) ok = ok && ::fcntl(fd, F_SETFL, flags) == 0;
        ok = ok && writeAll(fd, std::string_view(bounce, direct ? bounced : 0));
        const bool closed = ::close(std::exchange(fd, -1)) == 0;
        return closed && ok;
    }
};

// The log lives in a shared, world-writable folder and holds whole source files: it is created
// readable by its owner only, and a file there that belongs to someone else is never written
// (whoever created it first could read every request). O_NOFOLLOW refuses a symlink planted at
// its path, and a non-regular file (a FIFO would block) is not written.
DebugEntryWriter::DebugEntryWriter(const std::filesystem::path& path, std::size_t size)
    : m_file(std::make_unique<File>()) {
    File& f = *m_file;
    f.fd = ::open(path.c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (f.fd < 0) return;
    struct stat info {};
    f.ours = ::fstat(f.fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    f.ok = f.ours;
    f.startSize = info.st_size;
    f.flags = ::fcntl(f.fd, F_GETFL);
    if (!f.ok || size < kUncachedEntrySize || f.flags < 0) return;
    f.bounce = static_cast<char*>(std::aligned_alloc(kBlock, kBounceSize));
    f.direct = f.bounce != nullptr;
    f.toBlockEdge = (kBlock - static_cast<size_t>(info.st_size) % kBlock) % kBlock;
}

// Unfinished: the bytes written so far are cut off again.
DebugEntryWriter::~DebugEntryWriter() {
    if (m_file->fd < 0) return;
    if (m_file->ours) (void)::ftruncate(m_file->fd, m_file->startSize);
    ::close(m_file->fd);
}

void DebugEntryWriter::append(std::string_view bytes) { m_file->append(bytes); }

bool DebugEntryWriter::finish() { return m_file->fd >= 0 && m_file->finish(); }
#endif

bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces) {
    size_t size = 0;
    for (auto piece : pieces) size += piece.size();
    DebugEntryWriter entry(path, size);
    for (auto piece : pieces) entry.append(piece);
    return entry.finish();
}

}  // namespace kqc
