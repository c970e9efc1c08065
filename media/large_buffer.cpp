#include "media/large_buffer.h"

#include <atomic>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kqc {

namespace {

// Below this, buffers come from the heap and gain nothing from huge pages.
constexpr std::size_t kLargeBufferBytes = std::size_t{8} << 20;

std::atomic<std::size_t> testLimit{0};

std::size_t halfOfMemory() {
#ifdef __linux__
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return static_cast<std::size_t>(pages) / 2 * static_cast<std::size_t>(pageSize);
#endif
    return std::size_t{1} << 31;
}

}  // namespace

std::size_t LargeBufferLimit() {
    static const std::size_t machine = halfOfMemory();
    const std::size_t forTest = testLimit.load();
    return forTest ? forTest : machine;
}

void SetLargeBufferLimitForTesting(std::size_t limit) { testLimit.store(limit); }

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
