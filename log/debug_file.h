#pragma once

#include <cstddef>
#include <filesystem>
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

}  // namespace kqc
