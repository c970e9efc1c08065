#pragma once

#include "media/large_buffer.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kqc {

class StopSignal;

// POSTs the request to the endpoint with "SOAPAction: transcode". True only for HTTP 200.
// response receives the body whenever one was read, whatever the status; every failure
// becomes false, nothing is thrown. An answer whose buffer would pass limit is cut off there and
// counts as a failure. A stop request ends the call at once, as a failure. cause, when given,
// receives why a call failed: libcurl's words, the HTTP status, or the answer's size.
bool PostXML(const std::string& endpoint, std::string_view request, std::string& response,
             StopSignal* stop = nullptr, std::size_t limit = LargeBufferLimit());
bool PostXML(const std::string& endpoint, const char* request, std::string& response);

// A request body some of whose bytes may still be in the making: prepare, when set, makes bytes
// final up to end. It is called just before libcurl takes them, so that the service takes in the
// start of a large request while the rest is made.
struct RequestBody {
    std::string bytes;
    std::function<void(std::string& bytes, std::size_t end)> prepare;
};

// The same for a body the caller gives up: once libcurl has taken its last byte, its memory
// becomes the answer's buffer, so that a whole-file request and its whole-file answer never take
// room at the same time.
bool PostXML(const std::string& endpoint, RequestBody body, std::string& response,
             StopSignal* stop = nullptr, std::size_t limit = LargeBufferLimit(),
             std::string* cause = nullptr);
bool PostXML(const std::string& endpoint, std::string&& request, std::string& response,
             StopSignal* stop = nullptr, std::size_t limit = LargeBufferLimit());

}  // namespace kqc
