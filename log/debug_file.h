#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace kqc {

// Entries from this size on (whole-file requests) are written past the page cache where the
// file system allows it: hundreds of MiB that nobody reads back soon would otherwise take as
// much fresh memory for the cache and push out what the desktop keeps cached.
inline constexpr std::size_t kUncachedEntrySize = std::size_t{16} << 20;

// Appends the pieces, one after the other, at the end of the file, creating it when missing.
// The file is opened and closed for the call; a new one is readable by its owner only. False
// when it cannot be opened, is not a regular file, belongs to another user or a write fails.
bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces);

// One large entry appended while its bytes are still being made, so that the disk writes what
// is ready while the caller makes the rest. Whole blocks go past the page cache, handed to the
// kernel's asynchronous writes where the system has them (io_uring on Linux), else written at
// once. Bytes are copied as they are handed on: the caller's memory is never read after a call
// returns. The file is opened, checked and created as by AppendToDebugFile. An entry left
// unfinished is cut off again when destroyed: the file is as it was before it.
class DebugEntry {
public:
    DebugEntry();  // inactive: it writes nothing, and finish() is false
    explicit DebugEntry(const std::filesystem::path& path);
    DebugEntry(DebugEntry&&) noexcept;
    DebugEntry& operator=(DebugEntry&&) noexcept;
    ~DebugEntry();

    bool active() const { return m_writer != nullptr; }
    // The entry's bytes so far; each call's bytes begin with those of the call before. Hands on
    // whole blocks without waiting for the disk.
    void advance(const std::vector<std::string_view>& piecesSoFar);
    // The whole entry: writes the rest and waits until all of it is in the file. False when it
    // could not be written whole.
    bool finish(const std::vector<std::string_view>& pieces);

private:
    struct Writer;
    std::unique_ptr<Writer> m_writer;
};

}  // namespace kqc
