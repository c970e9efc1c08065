#pragma once

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

// Appends a whole regular file to buffer, one char per byte. False, with buffer unchanged, when it
// cannot be opened or read, is not a regular file (a FIFO or device would block or never end), or
// the read is refused or abandoned.
bool ReadFileContents(std::string_view path, std::string& buffer, const FileReadRoom& room);

// Writes data as the file at path; true when every byte is in the file. A new file, the saver's
// own file and a symlink at the path are replaced once every byte is on disk (the own file keeps
// its permissions, group and extended attributes); any other existing file (another user's, one
// with further hard links, or one whose folder refuses the replacement) is written in place, so
// that it keeps its owner, group, ACLs and links. A target that may not be written stays as it is.
bool SaveTranscodedFile(std::string_view path, std::string_view data);

}  // namespace kqc
