#include "log/debug_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef KQC_HAVE_LIBURING
#include <liburing.h>
#endif

namespace kqc {

namespace {

#ifndef _WIN32
// Direct writes go in whole blocks from buffers aligned to a block; 4 KiB suits devices with
// 512-byte and 4 KiB sectors alike. Four buffers keep the disk busy while the next is filled.
constexpr size_t kBlock = 4096;
constexpr size_t kBounceSize = size_t{4} << 20;
constexpr unsigned kBounces = 4;

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

    void skip(size_t n) {
        take(n, [](std::string_view) { return true; });
    }
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

// The log lives in a shared, world-writable folder and holds whole source files: it is created
// readable by its owner only, and a file there that belongs to someone else is never written
// (whoever created it first could read every request). O_NOFOLLOW refuses a symlink planted at
// its path, and a non-regular file (a FIFO would block) is not written. -1 when refused.
int openDebugFile(const std::filesystem::path& path, off_t& size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                    0600);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    size = info.st_size;
    return fd;
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

// Without direct writes, the entry is written whole when it is finished.
struct DebugEntry::Writer {
    std::filesystem::path path;
};

DebugEntry::DebugEntry(const std::filesystem::path& path) : m_writer(new Writer{path}) {}
void DebugEntry::advance(const std::vector<std::string_view>&) {}
bool DebugEntry::finish(const std::vector<std::string_view>& pieces) {
    if (!m_writer) return false;
    const bool ok = AppendToDebugFile(m_writer->path, pieces);
    m_writer.reset();
    return ok;
}
#else
bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces) {
    EntryBytes bytes(pieces);
    if (bytes.left() >= kUncachedEntrySize) return DebugEntry(path).finish(pieces);
    off_t size = 0;
    const int fd = openDebugFile(path, size);
    if (fd < 0) return false;
    const bool ok = bytes.write(fd, bytes.left());
    return ::close(fd) == 0 && ok;
}

// Everything up to the first block edge of the file goes through the page cache, then whole
// blocks with O_DIRECT, then the rest through the cache again. Direct writes complete in the
// order they were handed on (each waits for those before it), so what is in the file is always
// a front part of the entry. When they fail, or the file system has none, that front part is
// kept and the rest goes through the cache: the bytes are the same either way.
struct DebugEntry::Writer {
    struct Bounce {
        char* data = nullptr;
        size_t length = 0;  // bytes in flight, 0 when free
    };

    int fd = -1;
    int flags = 0;
    off_t start = 0;    // the file's size before the entry
    size_t taken = 0;   // entry bytes written or in flight
    size_t landed = 0;  // entry bytes known to be in the file
    bool begun = false;   // the bytes up to the first block edge are written
    bool direct = false;  // O_DIRECT is set and whole blocks go that way
    bool failed = false;  // something could not be written
    unsigned inFlight = 0;
    Bounce bounces[kBounces];
#ifdef KQC_HAVE_LIBURING
    io_uring ring{};
    bool ringOpen = false;
    bool hasRing = false;  // open and answering: writes go through it
#endif

    explicit Writer(const std::filesystem::path& path) {
        fd = openDebugFile(path, start);
        flags = fd >= 0 ? ::fcntl(fd, F_GETFL) : -1;
        failed = fd < 0 || flags < 0;
    }

    ~Writer() {
        if (fd < 0) return;
        waitForAll();
        // Unfinished: the file goes back to what it was before the entry.
        if (taken > 0) (void)!::ftruncate(fd, start);
        closeFile();
    }

    void closeFile() {
        endDirect();
#ifdef KQC_HAVE_LIBURING
        if (ringOpen) io_uring_queue_exit(&ring);
        ringOpen = hasRing = false;
#endif
        for (Bounce& bounce : bounces) std::free(bounce.data);
        for (Bounce& bounce : bounces) bounce.data = nullptr;
        if (fd >= 0 && ::close(fd) != 0) failed = true;
        fd = -1;
    }

    // Direct writes need a blocking descriptor: the kernel's queue would hand a non-blocking
    // one's writes back unwritten instead of waiting for the disk.
    void beginDirect() {
        for (Bounce& bounce : bounces)
            if (!(bounce.data = static_cast<char*>(std::aligned_alloc(kBlock, kBounceSize)))) return;
        direct = ::fcntl(fd, F_SETFL, (flags & ~O_NONBLOCK) | O_DIRECT) == 0;
#ifdef KQC_HAVE_LIBURING
        ringOpen = hasRing = direct && io_uring_queue_init(2 * kBounces, &ring, 0) == 0;
#endif
    }

    void endDirect() {
        if (direct && ::fcntl(fd, F_SETFL, flags) != 0) failed = true;
        direct = false;
    }

    void completed(Bounce& bounce, long result) {
        if (result == static_cast<long>(bounce.length) && !failed)
            landed += bounce.length;
        else
            failed = true;
        bounce.length = 0;
        --inFlight;
    }

    // Takes the writes the kernel has finished; with wait, at least one when any is in flight.
    void reap(bool wait) {
#ifdef KQC_HAVE_LIBURING
        while (hasRing && inFlight > 0) {
            io_uring_cqe* cqe = nullptr;
            const int got = wait ? io_uring_wait_cqe(&ring, &cqe) : io_uring_peek_cqe(&ring, &cqe);
            if (got == -EINTR) continue;
            if (got == -EAGAIN && !wait) return;  // none finished yet
            if (got != 0) {
                // The ring no longer answers: its writes may still read the buffers, so they are
                // left to the kernel rather than freed, and the rest goes through the cache.
                hasRing = false;
                failed = true;
                inFlight = 0;
                for (Bounce& bounce : bounces) bounce = Bounce{};
                return;
            }
            completed(bounces[io_uring_cqe_get_data64(cqe)], cqe->res);
            io_uring_cqe_seen(&ring, cqe);
            wait = false;
        }
#else
        (void)wait;
#endif
    }

    void waitForAll() {
        while (inFlight > 0) reap(true);
    }

    Bounce* freeBounce(bool wait) {
        for (;;) {
            reap(false);
            for (Bounce& bounce : bounces)
                if (bounce.length == 0) return &bounce;
            if (!wait) return nullptr;
            reap(true);
        }
    }

    void write(unsigned index, size_t length) {
        Bounce& bounce = bounces[index];
        bounce.length = length;
        ++inFlight;
        taken += length;
#ifdef KQC_HAVE_LIBURING
        if (hasRing) {
            io_uring_sqe* sqe = io_uring_get_sqe(&ring);
            if (sqe) {
                // With O_APPEND the offset is not used; the drain flag keeps the file's order.
                io_uring_prep_write(sqe, fd, bounce.data, static_cast<unsigned>(length), 0);
                io_uring_sqe_set_flags(sqe, IOSQE_IO_DRAIN);
                io_uring_sqe_set_data64(sqe, index);
                if (io_uring_submit(&ring) == 1) return;
            }
            completed(bounce, -1);
            return;
        }
#endif
        ssize_t written;
        do written = ::write(fd, bounce.data, length);
        while (written < 0 && errno == EINTR);
        completed(bounce, written);
    }

    // Hands on what it can of the entry's bytes: whole bounce buffers while the entry grows,
    // everything once it is whole.
    void pump(const std::vector<std::string_view>& pieces, bool whole) {
        if (failed) return;
        EntryBytes bytes(pieces);
        bytes.skip(taken);
        if (!begun) {
            const size_t toBlockEdge = (kBlock - static_cast<size_t>(start) % kBlock) % kBlock;
            if (!whole && bytes.left() < toBlockEdge + kBounceSize) return;
            const size_t n = std::min(toBlockEdge, bytes.left());
            if (!bytes.write(fd, n)) {
                failed = true;
                return;
            }
            taken = landed = n;
            begun = true;
            if (!whole || bytes.left() >= kBlock) beginDirect();
        }
        while (direct && !failed) {
            const size_t length = whole ? std::min(kBounceSize, bytes.left() / kBlock * kBlock)
                                        : (bytes.left() >= kBounceSize ? kBounceSize : 0);
            if (length == 0) return;
            Bounce* bounce = freeBounce(whole);
            if (!bounce || failed) return;
            bytes.copy(bounce->data, length);
            write(static_cast<unsigned>(bounce - bounces), length);
        }
    }

    bool finish(const std::vector<std::string_view>& pieces) {
        pump(pieces, true);
        waitForAll();
        endDirect();
        if (failed && fd >= 0 && begun) {
            // Keep what is in the file in order and write the rest through the cache.
            failed = ::ftruncate(fd, start + static_cast<off_t>(landed)) != 0;
            taken = landed;
        }
        bool ok = !failed;
        if (ok) {
            EntryBytes bytes(pieces);
            bytes.skip(taken);
            ok = bytes.write(fd, bytes.left());
            taken = 0;  // whole: nothing to cut back
        }
        closeFile();
        return ok && !failed;
    }
};

DebugEntry::DebugEntry(const std::filesystem::path& path) : m_writer(new Writer(path)) {}

void DebugEntry::advance(const std::vector<std::string_view>& piecesSoFar) {
    if (m_writer) m_writer->pump(piecesSoFar, false);
}

bool DebugEntry::finish(const std::vector<std::string_view>& pieces) {
    if (!m_writer) return false;
    const bool ok = m_writer->finish(pieces);
    m_writer.reset();
    return ok;
}
#endif

DebugEntry::DebugEntry() = default;
DebugEntry::DebugEntry(DebugEntry&&) noexcept = default;
DebugEntry& DebugEntry::operator=(DebugEntry&&) noexcept = default;
DebugEntry::~DebugEntry() = default;

}  // namespace kqc
