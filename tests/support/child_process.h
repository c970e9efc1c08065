#pragma once

#include <sys/types.h>

namespace kqc::test {

// The exit status of the child process pid; -1 when it died of a signal (stored in signal when
// given) or did not end within seconds (it is killed then, and signal is SIGKILL).
int waitForExit(pid_t pid, int seconds, int* signal = nullptr);

}  // namespace kqc::test
