#pragma once

#include <cstddef>

namespace kqc {

// The most one buffer of a run (a whole-file request, an answer) may take: half of the
// machine's memory. On Linux a larger allocation seldom fails; the system would rather push the
// rest of the desktop out, or end the program, so a file or an answer beyond it is refused.
std::size_t LargeBufferLimit();
// For tests: makes LargeBufferLimit() return limit; 0 restores the machine's figure.
void SetLargeBufferLimitForTesting(std::size_t limit);

}  // namespace kqc
