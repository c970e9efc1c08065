#include "media/large_buffer.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kqc {

namespace {

// Below this, buffers come from the heap and gain nothing from huge pages.
constexpr std::size_t kLargeBufferBytes = std::size_t{8} << 20;

}  // namespace

void ReserveLargeBuffer(std::string& buffer, std::size_t capacity) {
    buffer.reserve(capacity);
#ifdef __linux__
    if (buffer.capacity() < kLargeBufferBytes) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = (begin + buffer.capacity()) / page * page;
    // Only a hint: where it is refused, the buffer works the same with small pages.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

}  // namespace kqc
