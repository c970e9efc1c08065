#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kqc::test {

// quorra-transcode as built, with its standard output and error in files.
pid_t StartCli(const std::vector<std::string>& args, const std::filesystem::path& out,
               const std::filesystem::path& err);
// Its exit status, or -1 when it has not ended within seconds (it is killed then) or died of a
// signal.
int WaitCli(pid_t pid, int seconds);

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};
// Runs it to its end, with its output files in folder.
CliRun RunCli(const std::vector<std::string>& args, const std::filesystem::path& folder);

}  // namespace kqc::test
