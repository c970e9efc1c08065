#include "media/large_buffer.h"

#include <atomic>

#ifdef __linux__
#include <unistd.h>
#endif

namespace kqc {

namespace {

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

}  // namespace kqc
