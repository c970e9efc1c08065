#include "support/child_process.h"

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace kqc::test {

int waitForExit(pid_t pid, int seconds, int* signal) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (signal && WIFSIGNALED(status)) *signal = WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kqc::test
