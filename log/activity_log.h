#pragma once

#include "log/debug_file.h"
#include "log/log_fields.h"

#include <filesystem>
#include <initializer_list>
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

    void LogOutput(std::string_view line);

    // Appends one entry followed by CR LF CR LF to the debug log file when chkDebug is 1; the
    // entry is in the file when this returns. The file is opened and closed per entry. A file
    // that cannot be written loses the entry; it never stops the caller.
    void DebugToFile(std::string_view entry);
    // One entry written from several pieces, so that a large request is not copied to log it.
    void DebugToFile(std::initializer_list<std::string_view> pieces);

    // Begins an entry of about entrySize bytes whose text is still being made, so that the disk
    // writes it meanwhile (see DebugEntry). Inactive when "Debug To File" is not ticked or the
    // entry is small enough to be written at once.
    DebugEntry BeginDebugEntry(std::size_t entrySize);
    // DebugToFile for an entry that may have been begun: pieces are the whole entry.
    void DebugToFile(DebugEntry begun, std::initializer_list<std::string_view> pieces);

    const std::filesystem::path& debugLogPath() const { return m_debugLogPath; }

private:
    LogFields& m_fields;
    std::filesystem::path m_debugLogPath;
};

}  // namespace kqc
