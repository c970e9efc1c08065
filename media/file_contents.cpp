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
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace kqc {

namespace {

namespace fs = std::filesystem;

// A large file is read in pieces of this size, so that a stop waits for one piece at most.
constexpr size_t kReadPiece = size_t{16} << 20;
// And written in these: the page cache takes a large file far better in small writes than in one.
constexpr size_t kWritePiece = size_t{1} << 20;

constexpr std::string_view kCannotWrite = "cannot write";
constexpr std::string_view kTooLarge = "larger than the memory this run may use";

#ifdef _WIN32
IoResult appendWholeFile(const fs::path& path, std::string& buffer, const FileReadRoom& room) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return IoResult::failure("not a regular file");
    const auto size = static_cast<size_t>(fs::file_size(path, ec));
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    const size_t start = buffer.size(), lead = room.leadFor ? room.leadFor(size) : 0;
    bool ok = file && ReserveWithin(buffer, std::max(room.capacityFor(size), start + lead + size), room.limit);
    if (ok) buffer.resize(start + lead);
    char chunk[1 << 16];
    for (size_t n; ok && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0; buffer.append(chunk, n))
        ok = !(room.stopRequested && room.stopRequested()) && ReserveWithin(buffer, buffer.size() + n, room.limit);
    ok = ok && !std::ferror(file);
    if (file) std::fclose(file);
    if (!ok) buffer.resize(start);
    return ok ? IoResult{} : IoResult::failure("cannot read", errno);
}

std::FILE* createExclusive(const fs::path& path) { return _wfopen(path.c_str(), L"wbx"); }
bool cutAt(std::FILE* file, size_t size) { return _chsize_s(_fileno(file), __int64(size)) == 0; }
#else
// O_NONBLOCK keeps a FIFO that appeared after the listing from blocking the open.
IoResult appendWholeFile(const fs::path& path, std::string& buffer, const FileReadRoom& room) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return IoResult::failure("cannot open", errno);
    struct stat info {};
    const size_t start = buffer.size();
    IoResult result = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
                          ? IoResult{} : IoResult::failure("not a regular file");
    const auto size = static_cast<size_t>(info.st_size);
    const size_t lead = result && room.leadFor ? room.leadFor(size) : 0;
    // The whole capacity is taken before a byte is read.
    if (result && !ReserveWithin(buffer, std::max(room.capacityFor(size), start + lead + size), room.limit))
        result = IoResult::failure(kTooLarge);
    if (result) buffer.resize(start + lead + size);
    size_t filled = start + lead;
    // Past the size the file had, reads go to a small probe first: the buffer grows only when the
    // file did.
    char probe[1 << 12];
    while (result) {
        const bool past = filled == buffer.size();
        const size_t want = past ? sizeof probe : std::min(kReadPiece, buffer.size() - filled);
        const ssize_t n = ::read(fd, past ? probe : buffer.data() + filled, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = IoResult::failure("cannot read", errno);
        if (room.stopRequested && room.stopRequested()) result = IoResult::failure("stopped");
        if (n <= 0 || !result) break;
        const auto got = static_cast<size_t>(n);
        if (past && !ReserveWithin(buffer, filled + got, room.limit)) result = IoResult::failure(kTooLarge);
        else if (past) buffer.append(probe, got);
        filled += got;
    }
    ::close(fd);
    buffer.resize(result ? filled : start);
    return result;
}

std::FILE* createExclusive(const fs::path& path) { return std::fopen(path.c_str(), "wbx"); }
bool cutAt(std::FILE* file, size_t size) { return ::ftruncate(::fileno(file), off_t(size)) == 0; }
#endif

// Writes data from the start of the file, cuts off whatever of a longer file followed, and closes
// it.
IoResult writeAndClose(std::FILE* file, std::string_view data) {
    bool ok = true;
    for (size_t at = 0; ok && at < data.size(); at += kWritePiece) {
        const size_t n = std::min(kWritePiece, data.size() - at);
        ok = std::fwrite(data.data() + at, 1, n, file) == n;
    }
    ok = ok && std::fflush(file) == 0 && cutAt(file, data.size());
    const int error = errno;
    return std::fclose(file) == 0 && ok ? IoResult{} : IoResult::failure(kCannotWrite, error);
}

// A new file beside the target, so that the final rename stays on one file system.
std::FILE* createTempBeside(const fs::path& target, fs::path& tempPath) {
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
// An existing target is replaced as it is.
struct ExistingTarget { bool regular = false; };
IoResult inspect(const fs::path&, ExistingTarget&) { return {}; }
bool replaceable(const ExistingTarget&) { return true; }
bool carryOver(const ExistingTarget&, std::FILE*) { return true; }
IoResult writeInPlace(ExistingTarget&, std::string_view) { return IoResult::failure(kCannotWrite); }
#else
// What a replacement has to keep of an existing regular target.
struct ExistingTarget {
    bool regular = false;
    int fd = -1;  // open for writing, kept for the extended attributes
    struct stat info {};
    ~ExistingTarget() {
        if (fd >= 0) ::close(fd);
    }
};

// A failure for a regular target that may not be written as it stands: it stays untouched, as
// writing it in place would. Anything but a regular file (a symlink planted in a shared folder)
// is replaced, never followed.
IoResult inspect(const fs::path& target, ExistingTarget& existing) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    existing.fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    existing.regular = true;
    if (existing.fd < 0 || ::fstat(existing.fd, &existing.info) != 0)
        return IoResult::failure("cannot open", errno);
    return {};
}

bool replaceable(const ExistingTarget& existing) {
    return !existing.regular || (existing.info.st_uid == ::geteuid() && existing.info.st_nlink == 1);
}

bool copyExtendedAttributes(int from, int to) {
    std::string names(std::max<ssize_t>(::flistxattr(from, nullptr, 0), 0), '\0');
    if (::flistxattr(from, names.data(), names.size()) != ssize_t(names.size()))
        return names.empty() && errno == ENOTSUP;
    for (size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        std::string value(std::max<ssize_t>(::fgetxattr(from, name, nullptr, 0), 0), '\0');
        if (::fgetxattr(from, name, value.data(), value.size()) != ssize_t(value.size()) ||
            ::fsetxattr(to, name, value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// The replacement takes the target's group, extended attributes (ACLs among them) and mode; the
// mode last, since a change of group clears the set-id bits.
bool carryOver(const ExistingTarget& existing, std::FILE* replacement) {
    if (!existing.regular) return true;
    const int fd = ::fileno(replacement);
    return ::fchown(fd, static_cast<uid_t>(-1), existing.info.st_gid) == 0 &&
           copyExtendedAttributes(existing.fd, fd) &&
           ::fchmod(fd, existing.info.st_mode & 07777) == 0;
}

// Through the descriptor inspect opened: the file it checked is the one written. The room for
// data is reserved first and the file is written over, then cut to its new length, so that a full
// disk leaves it as it was. Only where the file system reserves nothing is it cut first.
IoResult writeInPlace(ExistingTarget& existing, std::string_view data) {
    const int fd = existing.fd;
    const bool reserved =
        data.empty() || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(data.size())) == 0;
    if (!reserved && errno != EOPNOTSUPP) return IoResult::failure("cannot reserve space", errno);
    std::FILE* file = reserved || ::ftruncate(fd, 0) == 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file) return IoResult::failure(kCannotWrite, errno);
    existing.fd = -1;  // closed with the stream
    return writeAndClose(file, data);
}
#endif

// A replacement is written whole beside the target, then renamed over it, so that a failed write
// leaves the earlier file as it was.
IoResult save(const fs::path& target, std::string_view data) {
    ExistingTarget existing;
    if (IoResult opened = inspect(target, existing); !opened) return opened;
    fs::path tempPath;
    std::FILE* file = replaceable(existing) ? createTempBeside(target, tempPath) : nullptr;
    IoResult result = IoResult::failure("cannot create", errno);
    if (file) {
        std::error_code ec;
        const bool kept = carryOver(existing, file);
        result = kept ? writeAndClose(file, data) : IoResult::failure("cannot keep its owner", errno);
        if (!kept) std::fclose(file);
        if (result) fs::rename(tempPath, target, ec);
        if (result && !ec) return result;
        const bool written = result.ok;
        if (written) result = IoResult::failure("cannot replace it", ec.value());
        fs::remove(tempPath, ec);
        if (kept && !written) return result;
    }
    return existing.regular ? writeInPlace(existing, data) : result;
}

}  // namespace

IoResult ReadFileContents(std::string_view path, std::string& buffer, const FileReadRoom& room) {
    return appendWholeFile(PathFromUtf8(path), buffer, room);
}

IoResult SaveTranscodedFile(std::string_view path, std::string_view data) {
    try {
        return save(PathFromUtf8(path), data);
    } catch (...) {
        return IoResult::failure(kCannotWrite);
    }
}

}  // namespace kqc
