#pragma once

#include "client/run_values.h"
#include "log/activity_log.h"

#include <shared_mutex>
#include <string_view>

namespace kqc {

// The text between the first startTag and the first endTag, both searched from the start,
// case-sensitively. False, with value unchanged, when either is missing or the end tag stands
// before the end of the start tag.
bool ExtractTagValue(std::string_view text, std::string_view startTag, std::string_view endTag,
                     std::string_view& value);

// Held shared while a transcoded file is saved. A program that ends at once takes it whole
// first, so that it never ends in the middle of a save and leaves a half-written file.
std::shared_mutex& SavesUnderWay();

// Reads the return code of a service answer; on "0" decodes the file data and saves it as
// vcFilename in targetDir, otherwise logs the code and its message.
FileOutcome ResponseHandle(std::string_view targetDir, ActivityLog& log,
                           std::string_view vcResponseCode, std::string_view vcFilename);
// The same, decoding the file data inside the answer's own memory, which it overwrites.
FileOutcome ResponseHandle(std::string_view targetDir, ActivityLog& log,
                           std::string& vcResponseCode, std::string_view vcFilename);

}  // namespace kqc
