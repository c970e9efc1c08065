#pragma once

#include "client/run_values.h"
#include "log/activity_log.h"
#include "media/folder_listing.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kqc {

class StopSignal;

// The line a run ends with when the user stopped it and the window stays.
inline constexpr std::string_view kRunStoppedLine = "Transcoding stopped.";

// What "Transcode Now!" does between disabling its buttons and the "Transcoding Finished."
// notice: one request per entry of the file list (URL mode) or per matching file of the source
// folder (file-system mode), each answer handled, one source at a time (a BatchRun of one job).
// A failure with one file, running out of memory included, never ends it; a stop request does,
// without another line unless the stop asks for kRunStoppedLine.
void TranscodeRun(const RunValues& values, RunSink& sink, StopSignal* stop = nullptr);

// The run in its parts, for a front end that gathers the sources itself. RunSources gives the
// sources in their order: the file list's non-empty entries (name and path are the entry) or
// the source folder's matching files; a folder that cannot be listed is logged and gives none.
std::vector<FolderFile> RunSources(const RunValues& values, ActivityLog& log);
// A folder's files whose names pass the filter, as RunSources takes them; nothing, with the line
// logged, when the folder cannot be listed.
std::optional<std::vector<FolderFile>> FolderSources(std::string_view folder,
                                                     std::string_view filter, ActivityLog& log);
// One source's request, call and answer, with all its log lines. No buffer's capacity passes
// memoryLimit; a stop request ends it after the step under way, without another line.
FileOutcome TranscodeSource(const RunValues& values, const FolderFile& source, ActivityLog& log,
                            StopSignal* stop, std::size_t memoryLimit);

// The path the source's transcoded file is saved as: its output name in the target folder.
// Nothing when that name would hold a NUL byte, leave the folder ("..", a root) or name no file.
std::optional<std::string> TargetPathOf(const RunValues& values, const FolderFile& source);

// The web server URL with the "/" that the run adds where it does not end with one.
std::string WebServerUrlOf(const RunValues& values);

// The entry as it goes into a location: UTF-8 bytes that a URL path cannot hold as they are
// percent-encoded, "/" and the other characters a path may hold kept.
std::string UrlPathOf(std::string_view entry);

// The name up to its last ".", then ".", then the target format; a name without "." is the
// base name whole.
std::string OutputName(std::string_view name, std::string_view targetFormat);

}  // namespace kqc
