#pragma once

#include "media/io_result.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace kqc {

// Appends one entry, its pieces one after the other, at the end of the debug log, creating the
// file when missing. The file is opened and closed for the entry and locked (flock) while it is
// written in one write (up to the most the system writes at once, about 2 GiB), so that another
// program that appends, with a lock or without, never lands inside one. The log holds whole
// source files: it is made readable by its owner only, and a file there that is not a regular
// file of this user is never written. An entry that cannot be written whole is cut off again
// while the file still ends with it: the entry is lost, never torn. A failure, with its cause,
// when the entry is not in the file.
IoResult AppendToDebugFile(const std::filesystem::path& path,
                           const std::vector<std::string_view>& pieces);

}  // namespace kqc
