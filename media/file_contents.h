#pragma once

#include "media/io_result.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kqc {

// How ReadFileContents lays out and bounds what it reads.
struct FileReadRoom {
    // The buffer's capacity for a file of that size, so that what the caller adds after the file
    // (its Base64 text, the rest of a request) fits without a copy.
    std::function<std::size_t(std::size_t)> capacityFor;
    // Chars of room (their contents unspecified) left before the file's bytes.
    std::function<std::size_t(std::size_t)> leadFor;
    // The most the buffer's capacity may take; a file that would need more is refused, before it
    // is read or, when it grows while read, as soon as it does.
    std::size_t limit = SIZE_MAX;
    // Checked between pieces of a large file: true abandons the read.
    std::function<bool()> stopRequested;
};

// Appends a whole regular file to buffer, one char per byte. A failure, with buffer unchanged,
// when it cannot be opened or read, is not a regular file (a FIFO or device would block or never
// end), is larger than the limit allows, or the read is abandoned.
IoResult ReadFileContents(std::string_view path, std::string& buffer, const FileReadRoom& room);

// Writes data as the file at path; success when every byte was written (nothing is synced to the
// disk). A new file, the saver's own file and a symlink at the path are replaced by a file written
// beside it and renamed over it (the own file's mode, group and extended attributes kept). Any
// other existing file (another user's, one with further links, or one whose folder refuses the
// replacement) is written in place, keeping its owner, group, ACLs and links, once its room is
// reserved; where the room cannot be had, or the file may not be written, it stays as it is.
IoResult SaveTranscodedFile(std::string_view path, std::string_view data);

}  // namespace kqc
