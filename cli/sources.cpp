#include "cli/sources.h"

#include "client/transcode_run.h"
#include "media/paths.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

namespace kqc::cli {

IoResult ReadListEntries(const std::string& file, std::vector<std::string>& entries) {
    const int fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return IoResult::failure("cannot open", errno);
    std::string text;
    char piece[1 << 16];
    ssize_t n;
    while ((n = ::read(fd, piece, sizeof piece)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(piece, static_cast<std::size_t>(n));
    }
    const IoResult read = n == 0 ? IoResult{} : IoResult::failure("cannot read", errno);
    if (fd != STDIN_FILENO) ::close(fd);
    for (std::size_t at = 0; n == 0 && at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string entry = text.substr(at, end - at);
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
        if (!entry.empty()) entries.push_back(std::move(entry));
        at = end + 1;
    }
    return read;
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
