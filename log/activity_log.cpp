#include "log/activity_log.h"

#include "log/debug_file.h"

#include <string>
#include <vector>

namespace kqc {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kEntryEnd = "\r\n\r\n";

std::vector<std::string_view> entryPieces(std::initializer_list<std::string_view> pieces) {
    std::vector<std::string_view> all(pieces);
    all.push_back(kEntryEnd);
    return all;
}

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
    AppendToDebugFile(m_debugLogPath, entryPieces(pieces));  // an unwritable log loses the entry, nothing more
}

DebugEntry ActivityLog::BeginDebugEntry(std::size_t entrySize) {
    if (m_fields.debugValue() != 1 || entrySize < kUncachedEntrySize) return {};
    return DebugEntry(m_debugLogPath);
}

void ActivityLog::DebugToFile(DebugEntry begun, std::initializer_list<std::string_view> pieces) {
    if (!begun.active()) return DebugToFile(pieces);
    begun.finish(entryPieces(pieces));
}

}  // namespace kqc
