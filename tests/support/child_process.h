#pragma once

#include <sys/types.h>

namespace kqc::test {

// The exit status of the child process pid; -1 when it died of a signal or did not end within
// seconds (it is killed then).
int waitForExit(pid_t pid, int seconds);

}  // namespace kqc::test
