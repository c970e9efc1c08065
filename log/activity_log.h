#pragma once

#include "log/log_fields.h"

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace kqc {

// "KorvaneQuorraClient.log" in the system temp directory (c:\Temp on Windows).
std::filesystem::path DefaultDebugLogPath();

// Every status line goes through LogOutput: into the log box, to the debug log file while
// "Debug To File" is ticked, then a repaint.
class ActivityLog {
public:
    explicit ActivityLog(LogFields& fields,
                         std::filesystem::path debugLogPath = DefaultDebugLogPath());
    // Waits for the entries still being written.
    ~ActivityLog();

    void LogOutput(std::string_view line);

    // Appends one entry followed by CR LF CR LF to the debug log file when chkDebug is 1. The
    // file is opened and closed per entry. A file that cannot be written loses the entry; it
    // never stops the caller.
    void DebugToFile(std::string_view entry);
    // One entry written from several pieces, so that a large request is not copied to log it.
    void DebugToFile(std::initializer_list<std::string_view> pieces);

    // The same for an entry of hundreds of MiB, written on a thread of its own so that the
    // caller goes on meanwhile (a whole-file request is written while it uploads). The pieces
    // are not copied: they must stay alive and unchanged until WaitForDebugFile returns.
    // Entries logged meanwhile queue behind it, so the file keeps their order; the log box is
    // not held up.
    void DebugToFileInBackground(std::initializer_list<std::string_view> pieces);
    // Returns once every entry handed over so far is in the file. Safe from any thread.
    void WaitForDebugFile();

    const std::filesystem::path& debugLogPath() const { return m_debugLogPath; }

private:
    class BackgroundWriter;

    LogFields& m_fields;
    std::filesystem::path m_debugLogPath;
    std::unique_ptr<BackgroundWriter> m_writer;
};

}  // namespace kqc
