#pragma once

#include <atomic>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace kqc {

// "KorvaneQuorraClient.log" in the system temp directory (c:\Temp on Windows).
std::filesystem::path DefaultDebugLogPath();

// Where the log's lines are shown: the window's log box, a terminal, a test's record.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void showLine(std::string_view line) = 0;
};

// Every status line goes through LogOutput: to the view, then to the debug log file when
// "Debug To File" was ticked.
class ActivityLog {
public:
    ActivityLog(LogView& view, bool debugToFile,
                std::filesystem::path debugLogPath = DefaultDebugLogPath());
    // The same run's log shown in another view: the same debug log file, whose failure the two
    // tell once between them.
    ActivityLog(LogView& view, const ActivityLog& run);

    void LogOutput(std::string_view line);
    // The line of a failure, then its cause on a line of its own.
    void LogFailure(std::string_view line, std::string_view cause);

    // Appends one entry followed by CR LF CR LF to the debug log file when "Debug To File" was
    // ticked; the entry is in the file when this returns. A file that cannot be written loses
    // the entry and is told in the view, once for the run; it never stops the caller.
    void DebugToFile(std::string_view entry);
    // One entry written from several pieces, so that a large request is not copied to log it.
    void DebugToFile(std::initializer_list<std::string_view> pieces);

private:
    LogView& m_view;
    bool m_debugToFile;
    std::filesystem::path m_debugLogPath;
    std::shared_ptr<std::atomic<bool>> m_failureTold = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace kqc
