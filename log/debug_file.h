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

// One entry appended to the end of the debug file as its bytes come (a whole-file request while
// it uploads). The file is created when missing, readable by its owner only; one that is not a
// regular file or belongs to another user is never written. The file stays open until finish();
// an entry dropped unfinished is cut off again, leaving the file as it was.
class DebugEntryWriter {
public:
    // size: the entry's length as far as it is known, which decides whether it goes past the
    // page cache.
    DebugEntryWriter(const std::filesystem::path& path, std::size_t size);
    ~DebugEntryWriter();
    DebugEntryWriter(const DebugEntryWriter&) = delete;
    DebugEntryWriter& operator=(const DebugEntryWriter&) = delete;

    void append(std::string_view bytes);
    // Writes what is left and closes the file. False when the entry could not be written.
    bool finish();

private:
    struct File;
    std::unique_ptr<File> m_file;
};

// Appends the pieces, one after the other, as one entry. False when it cannot be written.
bool AppendToDebugFile(const std::filesystem::path& path,
                       const std::vector<std::string_view>& pieces);

}  // namespace kqc
