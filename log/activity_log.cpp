#include "log/activity_log.h"

#include "log/debug_file.h"

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

void ActivityLog::LogOutput(std::string_view line) {
    m_view.showLine(line);
    DebugToFile(line);
}

void ActivityLog::DebugToFile(std::string_view entry) { DebugToFile({entry}); }

void ActivityLog::DebugToFile(std::initializer_list<std::string_view> pieces) {
    if (!m_debugToFile) return;
    std::vector<std::string_view> entry(pieces);
    entry.push_back("\r\n\r\n");
    AppendToDebugFile(m_debugLogPath, entry);  // an unwritable log loses the entry, nothing more
}

}  // namespace kqc
