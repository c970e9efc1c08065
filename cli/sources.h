#pragma once

#include "cli/command_line.h"
#include "log/activity_log.h"
#include "media/folder_listing.h"

#include <string>
#include <vector>

namespace kqc::cli {

// The entries of a URL-mode list file ("-": standard input), one a line as the client's file list
// holds them: the CR of a CR LF line end is dropped, and empty lines are skipped. A failure when
// the file cannot be opened or read to its end.
IoResult ReadListEntries(const std::string& file, std::vector<std::string>& entries);

// What the run goes over, in order. URL mode: the entries (an empty one skipped, as the client
// skips it). Otherwise each SOURCE that is a folder gives its plain files whose names pass the
// name filter, in listing order, and any other SOURCE is taken as a file. A folder that cannot be
// listed is logged as the client logs it, and makes the result false.
bool CollectSources(const CommandLine& line, const std::vector<std::string>& listEntries,
                    ActivityLog& log, std::vector<FolderFile>& sources);

}  // namespace kqc::cli
