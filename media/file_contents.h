#pragma once

#include "log/activity_log.h"

#include <string>
#include <string_view>

namespace kqc {

// Reads a whole regular file, one char per byte. False, with contents unchanged, when it cannot
// be opened or read, or is not a regular file (a FIFO or device would block or never end).
bool ReadFileContents(std::string_view path, std::string& contents);

// Writes data as the file at path, replacing an earlier one only once every byte is on disk, and
// logs "Saved transcoded file as " or "Error saving transcoded file as " followed by the path.
void SaveTranscodedFile(ActivityLog& log, std::string_view path, std::string_view data);

}  // namespace kqc
