#include "log/activity_log.h"

#include "log/debug_file.h"

#include <string>
#include <vector>

namespace kqc {

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

ActivityLog::ActivityLog(LogView& view, bool debugToFile, std::filesystem::path debugLogPath)
    : m_view(view), m_debugToFile(debugToFile), m_debugLogPath(std::move(debugLogPath)) {}

ActivityLog::ActivityLog(LogView& view, const ActivityLog& run)
    : m_view(view), m_debugToFile(run.m_debugToFile), m_debugLogPath(run.m_debugLogPath),
      m_failureTold(run.m_failureTold) {}

void ActivityLog::LogOutput(std::string_view line) {
    m_view.showLine(line);
    DebugToFile(line);
}

void ActivityLog::LogFailure(std::string_view line, std::string_view cause) {
    LogOutput(line);
    LogOutput(std::string("Cause: ").append(cause));
}

void ActivityLog::DebugToFile(std::string_view entry) { DebugToFile({entry}); }

void ActivityLog::DebugToFile(std::initializer_list<std::string_view> pieces) {
    if (!m_debugToFile) return;
    std::vector<std::string_view> entry(pieces);
    entry.push_back("\r\n\r\n");
    const IoResult written = AppendToDebugFile(m_debugLogPath, entry);
    if (written || m_failureTold->exchange(true)) return;
    // Shown only: the debug file is what failed.
    m_view.showLine("Error writing debug log file " + m_debugLogPath.string());
    m_view.showLine("Cause: " + written.cause());
}

}  // namespace kqc
