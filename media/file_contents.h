#pragma once

#include "log/activity_log.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kqc {

// Reads a whole regular file, one char per byte. False, with contents unchanged, when it cannot
// be opened or read, or is not a regular file (a FIFO or device would block or never end).
bool ReadFileContents(std::string_view path, std::string& contents);

// Appends a whole regular file to buffer, as ReadFileContents reads it; buffer is unchanged when
// that fails. Before reading, the buffer's capacity is made capacityFor(file size), so that what
// the caller adds after the file (its Base64 text, the rest of a request) fits without a copy.
// A file whose capacity would pass LargeBufferLimit() is refused before it is read. With leadFor,
// leadFor(file size) chars of room (their contents unspecified) come before the file's bytes.
bool AppendFileContents(std::string_view path, std::string& buffer,
                        const std::function<std::size_t(std::size_t)>& capacityFor,
                        const std::function<std::size_t(std::size_t)>& leadFor = {});

// Writes data as the file at path, replacing an earlier one only once every byte is on disk, and
// logs "Saved transcoded file as " or "Error saving transcoded file as " followed by the path.
// An earlier file that could not be written (read-only) stays as it is and gives the error
// line; a replaced one keeps its permissions; a symlink at the path is replaced, not followed.
void SaveTranscodedFile(ActivityLog& log, std::string_view path, std::string_view data);

}  // namespace kqc
