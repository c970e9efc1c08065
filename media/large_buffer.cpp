#include "media/large_buffer.h"

#include <algorithm>
#include <atomic>
#include <fstream>

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

// What the kernel could hand out without swapping: free memory and the cache it may drop.
std::size_t availableMemory() {
#ifdef __linux__
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::size_t kib = 0;
    while (meminfo >> key >> kib) {
        if (key == "MemAvailable:") return kib * 1024;
        meminfo.ignore(64, '\n');
    }
#endif
    return SIZE_MAX;
}

}  // namespace

std::size_t LargeBufferLimit() {
    if (const std::size_t forTest = testLimit.load()) return forTest;
    return std::min(halfOfMemory(), availableMemory());
}

void SetLargeBufferLimitForTesting(std::size_t limit) { testLimit.store(limit); }

bool ReserveWithin(std::string& buffer, std::size_t needed, std::size_t limit) {
    if (needed <= buffer.capacity()) return true;
    const std::size_t capacity = std::max(needed, 2 * buffer.capacity());
    if (capacity > limit) return false;
    // Asked of a fresh string, the capacity is the one asked for; growing a string in place may
    // double it past what was asked.
    std::string grown;
    grown.reserve(capacity);
    grown.append(buffer);
    buffer.swap(grown);
    return true;
}

}  // namespace kqc
