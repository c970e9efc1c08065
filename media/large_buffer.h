#pragma once

#include <cstddef>
#include <string>

namespace kqc {

// Reserves capacity for a buffer that may hold a whole media file or request. For large buffers
// it asks the system to back them with huge pages: on virtual machines every first touch of a
// 4 KiB page can cost a trap to the hypervisor, which made filling a fresh 256 MiB buffer take
// several times longer than encoding it.
void ReserveLargeBuffer(std::string& buffer, std::size_t capacity);

// The most one buffer of a run (a whole-file request, an answer) may take: half of the
// machine's memory. On Linux a larger allocation seldom fails; the system would rather push the
// rest of the desktop out, or end the program, so a file or an answer beyond it is refused.
std::size_t LargeBufferLimit();
// For tests: makes LargeBufferLimit() return limit; 0 restores the machine's figure.
void SetLargeBufferLimitForTesting(std::size_t limit);

}  // namespace kqc
