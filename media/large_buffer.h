#pragma once

#include <cstddef>
#include <string>

namespace kqc {

// Reserves capacity for a buffer that may hold a whole media file or request. For large buffers
// it asks the system to back them with huge pages: on virtual machines every first touch of a
// 4 KiB page can cost a trap to the hypervisor, which made filling a fresh 256 MiB buffer take
// several times longer than encoding it.
void ReserveLargeBuffer(std::string& buffer, std::size_t capacity);

}  // namespace kqc
