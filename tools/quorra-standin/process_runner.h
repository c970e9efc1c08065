#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kqc::standin {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // -1 when it did not exit normally
};

// The child processes a service has running, each the leader of its own process group, so that
// a stop can end them and whatever they started.
class ChildProcesses {
public:
    // False once endAll() has begun: no child may start after that.
    bool add(pid_t child);
    void remove(pid_t child);
    // SIGTERM to every group, SIGKILL to those still there after grace; from now on add() fails.
    void endAll(std::chrono::milliseconds grace);

private:
    void signalAll(int signal);

    std::mutex m_mutex;
    std::set<pid_t> m_running;
    bool m_ended = false;
};

// Runs argv[0] (searched in PATH when it holds no "/") with argv as its arguments, without a
// shell: stdin from /dev/null, stdout and stderr into outputFile, no other descriptor, default
// signal actions, no signal blocked, in a process group of its own, and killed should the thread
// that started it end first. A run that outlasts timeout is killed. With children, the run is
// listed there while it lasts.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& outputFile, std::chrono::milliseconds timeout,
                         ChildProcesses* children = nullptr);

// The program's path when it is an executable file, or when it has no "/" and an executable of
// that name lies in a PATH folder; empty otherwise.
std::filesystem::path FindProgram(const std::string& program);

}  // namespace kqc::standin
