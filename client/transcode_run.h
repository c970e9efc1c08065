#pragma once

#include "client/form_fields.h"
#include "log/activity_log.h"

#include <string>
#include <string_view>

namespace kqc {

class StopSignal;

// What "Transcode Now!" does: one request per file of the list (URL mode) or per matching file
// of the source folder (file-system mode), each answer handled, then the "Transcoding
// Finished." notice. Always ends with cmdTranscode and cmdFileSelect enabled.
void TranscodeRun(FormFields& fields, ActivityLog& log);

// The same run in its three steps, for a window that runs the sources on a thread of its own:
// BeginTranscodeRun empties the log box and disables the two buttons, TranscodeSources goes over
// the files (a failure with one file, running out of memory included, never ends it; a stop
// request does, without another line), EndTranscodeRun shows the notice and enables the buttons.
void BeginTranscodeRun(FormFields& fields);
void TranscodeSources(FormFields& fields, ActivityLog& log, StopSignal* stop = nullptr);
void EndTranscodeRun(FormFields& fields);

// The entry as it goes into a location: UTF-8 bytes that a URL path cannot hold as they are
// percent-encoded, "/" and the other characters a path may hold kept.
std::string UrlPathOf(std::string_view entry);

// The name up to its last ".", then ".", then the target format; a name without "." is the
// base name whole.
std::string OutputName(std::string_view name, std::string_view targetFormat);

}  // namespace kqc
