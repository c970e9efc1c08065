#pragma once

#include "media/io_result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kqc {

struct FolderFile {
    std::string name;  // UTF-8, without directory
    std::string path;  // UTF-8, full path
};

// The regular files lying directly in the folder (a symlink to a regular file counts; folders,
// FIFOs, sockets and devices never do), in the order the file system lists them. Nothing when
// the folder does not exist or cannot be listed, and then why in failure when given.
std::optional<std::vector<FolderFile>> ListPlainFiles(std::string_view folder,
                                                      IoResult* failure = nullptr);

// True when the lower-cased filter occurs anywhere in the lower-cased name; an empty filter
// matches every name.
bool NameMatchesFilter(std::string_view name, std::string_view filter);

}  // namespace kqc
