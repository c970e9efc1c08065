#pragma once

#include <cstddef>
#include <string>

namespace kqc {

// The most one buffer of a run (a whole-file request, an answer) may take: the memory available
// now, at most half of the machine's. On Linux a larger allocation seldom fails; the system would
// rather push the rest of the desktop out, or end the program, so a file or an answer beyond it
// is refused. A run takes it once, when it starts.
std::size_t LargeBufferLimit();
// For tests: makes LargeBufferLimit() return limit; 0 restores the machine's figure.
void SetLargeBufferLimitForTesting(std::size_t limit);

// Makes room for needed chars, growing the capacity to twice what it was (at most limit), so that
// appending piece by piece copies the buffer only a few times. False, with buffer unchanged, when
// needed passes limit.
bool ReserveWithin(std::string& buffer, std::size_t needed, std::size_t limit);

}  // namespace kqc
