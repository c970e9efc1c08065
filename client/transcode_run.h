#pragma once

#include "client/form_fields.h"
#include "log/activity_log.h"

#include <string>
#include <string_view>

namespace kqc {

// What "Transcode Now!" does: one request per file of the list (URL mode) or per matching file
// of the source folder (file-system mode), each answer handled, then the "Transcoding
// Finished." notice. Always ends with cmdTranscode and cmdFileSelect enabled.
void TranscodeRun(FormFields& fields, ActivityLog& log);

// The name up to its last ".", then ".", then the target format; a name without "." is the
// base name whole.
std::string OutputName(std::string_view name, std::string_view targetFormat);

}  // namespace kqc
