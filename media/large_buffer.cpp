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

// Half of the machine's memory, or less where less is free and reclaimable (MemAvailable).
std::size_t machineLimit() {
    std::size_t limit = std::size_t{1} << 31;
#ifdef __linux__
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) limit = std::size_t(pages) / 2 * std::size_t(pageSize);
    std::ifstream meminfo("/proc/meminfo");
    std::size_t kib = 0;
    for (std::string key; meminfo >> key >> kib; meminfo.ignore(64, '\n'))
        if (key == "MemAvailable:") return std::min(limit, kib * 1024);
#endif
    return limit;
}

}  // namespace

std::size_t LargeBufferLimit() {
    const std::size_t forTest = testLimit.load();
    return forTest ? forTest : machineLimit();
}

void SetLargeBufferLimitForTesting(std::size_t limit) { testLimit.store(limit); }

bool ReserveWithin(std::string& buffer, std::size_t needed, std::size_t limit) {
    if (needed <= buffer.capacity()) return true;
    if (needed > limit) return false;
    const std::size_t capacity = std::clamp(2 * buffer.capacity(), needed, limit);
    // Asked of a fresh string, the capacity is the one asked for; growing a string in place may
    // double it past what was asked.
    std::string grown;
    grown.reserve(capacity);
    grown.append(buffer);
    buffer.swap(grown);
    return true;
}

}  // namespace kqc
