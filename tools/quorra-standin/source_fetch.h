#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace kqc::standin {

// GETs an http or https URL into data. True only for status 200 with a body of at most
// maxBytes; redirects are not followed. Gives up after timeout, or as soon as cancel is set.
bool FetchLocation(const std::string& url, std::size_t maxBytes, std::chrono::seconds timeout,
                   const std::atomic<bool>& cancel, std::string& data);

}  // namespace kqc::standin
