#include "log/activity_log.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kqc {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kEntryEnd = "\r\n\r\n";

#ifdef _WIN32
bool appendToFile(const std::filesystem::path& path, const std::vector<std::string_view>& pieces) {
    std::FILE* file = _wfopen(path.c_str(), L"ab");
    if (!file) return false;
    bool ok = true;
    for (auto piece : pieces)
        ok = ok && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    return std::fclose(file) == 0 && ok;
}
#else
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

// The log lives in a shared, world-writable folder: O_NOFOLLOW refuses a symlink planted at its
// path, and a non-regular file (a FIFO would block) is not written.
bool appendToFile(const std::filesystem::path& path, const std::vector<std::string_view>& pieces) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                    0644);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    for (auto piece : pieces) ok = ok && writeAll(fd, piece);
    return ::close(fd) == 0 && ok;
}
#endif

}  // namespace

std::filesystem::path DefaultDebugLogPath() {
#ifdef _WIN32
    return std::filesystem::path("c:\\Temp\\KorvaneQuorraClient.log");
#else
    std::error_code ec;
    auto folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    return folder / "KorvaneQuorraClient.log";
#endif
}

ActivityLog::ActivityLog(LogFields& fields, std::filesystem::path debugLogPath)
    : m_fields(fields), m_debugLogPath(std::move(debugLogPath)) {}

void ActivityLog::LogOutput(std::string_view line) {
    std::string added;
    added.reserve(kCrLf.size() + line.size());
    added.append(kCrLf).append(line);
    m_fields.appendOutputLog(added);
    DebugToFile(line);
    m_fields.refresh();
}

void ActivityLog::DebugToFile(std::string_view entry) { DebugToFile({entry}); }

void ActivityLog::DebugToFile(std::initializer_list<std::string_view> pieces) {
    if (m_fields.debugValue() != 1) return;
    std::vector<std::string_view> all(pieces);
    all.push_back(kEntryEnd);
    appendToFile(m_debugLogPath, all);  // an unwritable log loses the entry, nothing more
}

}  // namespace kqc
