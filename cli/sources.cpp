#include "cli/sources.h"

#include "client/transcode_run.h"
#include "media/paths.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

namespace kqc::cli {

std::vector<std::string> ReadListEntries(std::istream& in) {
    std::vector<std::string> entries;
    for (std::string entry; std::getline(in, entry);) {
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
        if (!entry.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

bool CollectSources(const CommandLine& line, const std::vector<std::string>& listEntries,
                    ActivityLog& log, std::vector<FolderFile>& sources) {
    const RunValues& values = line.values;
    if (values.urlMode) {
        for (const auto* entries : {&line.sources, &listEntries})
            for (const std::string& entry : *entries)
                if (!entry.empty()) sources.push_back({entry, entry});
        return true;
    }
    bool listed = true;
    for (const std::string& source : line.sources) {
        std::error_code ec;
        const std::filesystem::path path = PathFromUtf8(source);
        if (!std::filesystem::is_directory(path, ec)) {
            sources.push_back({Utf8FromPath(path.filename()), source});
            continue;
        }
        auto files = FolderSources(source, values.sourceFormat, log);
        if (!files) {
            listed = false;
            continue;
        }
        std::move(files->begin(), files->end(), std::back_inserter(sources));
    }
    return listed;
}

}  // namespace kqc::cli
