#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kqc::standin {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // -1 when it did not exit normally
};

// Runs argv[0] (searched in PATH when it holds no "/") with argv as its arguments, without a
// shell: stdin from /dev/null, stdout and stderr into outputFile, no other descriptor. A run that
// outlasts timeout is killed.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& outputFile,
                         std::chrono::milliseconds timeout);

// The program's path when it is an executable file, or when it has no "/" and an executable of
// that name lies in a PATH folder; empty otherwise.
std::filesystem::path FindProgram(const std::string& program);

}  // namespace kqc::standin
