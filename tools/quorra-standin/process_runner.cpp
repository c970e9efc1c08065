#include "quorra-standin/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace kqc::standin {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// The child's side of the fork: only async-signal-safe calls until exec. The service blocks
// SIGINT and SIGTERM in every thread and ignores SIGPIPE; the program gets none of that, and the
// parent death signal ends it should the service's thread go away without ending it.
[[noreturn]] void BecomeProgram(const char* program, char* const* argv, int input, int output,
                                pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) _exit(127);
    // Nothing else of the service's: with several calls at once one call's ffmpeg would hold
    // another call's connection open.
    close_range(3, ~0U, 0);
    execve(program, argv, environ);
    _exit(127);
}

// Waits for the child without reaping it, so that its process group cannot be taken by another
// process while ChildProcesses may still signal it; then takes it off the list and reaps it.
ProcessResult WaitBounded(pid_t pid, std::chrono::milliseconds timeout, ChildProcesses* children) {
    ProcessResult result;
    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        siginfo_t info{};
        const int waited = waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT);
        if ((waited == 0 && info.si_pid == pid) || (waited < 0 && errno != EINTR)) break;
        if (!result.timedOut && std::chrono::steady_clock::now() >= deadline) {
            kill(-pid, SIGKILL);
            result.timedOut = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (children) children->remove(pid);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace

bool ChildProcesses::add(pid_t child) {
    std::lock_guard lock(m_mutex);
    if (m_ended) return false;
    m_running.insert(child);
    return true;
}

void ChildProcesses::remove(pid_t child) {
    std::lock_guard lock(m_mutex);
    m_running.erase(child);
}

void ChildProcesses::signalAll(int signal) {
    std::lock_guard lock(m_mutex);
    m_ended = true;
    for (pid_t child : m_running) kill(-child, signal);
}

void ChildProcesses::endAll(std::chrono::milliseconds grace) {
    signalAll(SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_running.empty()) return;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    signalAll(SIGKILL);
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& outputFile, std::chrono::milliseconds timeout,
                         ChildProcesses* children) {
    if (argv.empty()) return {};
    const std::filesystem::path program = FindProgram(argv[0]);
    const Descriptor input(open("/dev/null", O_RDONLY | O_CLOEXEC));
    const Descriptor output(
        open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (program.empty() || input.get() < 0 || output.get() < 0) return {};
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) BecomeProgram(program.c_str(), args.data(), input.get(), output.get(), parent);
    if (pid < 0) return {};
    // Both sides set the group, so that it exists before either goes on.
    setpgid(pid, pid);
    if (children && !children->add(pid)) kill(-pid, SIGKILL);
    return WaitBounded(pid, timeout, children);
}

std::filesystem::path FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0 ? std::filesystem::path(program)
                                                  : std::filesystem::path();
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        std::filesystem::path candidate = std::filesystem::path(folder) / program;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

}  // namespace kqc::standin
