#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kqc {

// POSTs the request to the endpoint with "SOAPAction: transcode". True only for HTTP 200.
// response receives the body whenever one was read, whatever the status; every failure
// becomes false, nothing is thrown.
bool PostXML(const std::string& endpoint, std::string_view request, std::string& response);
bool PostXML(const std::string& endpoint, const char* request, std::string& response);

// The same for a request the caller gives up: once libcurl has taken its last byte, the
// request's memory is released, or serves as the answer's buffer, so that a whole-file request
// and its whole-file answer never take room at the same time. request is empty afterwards.
// untilUnused, when given, is called before the request's memory is reused or released, and
// returns once nobody else reads it (the debug log may still be writing it).
bool PostXML(const std::string& endpoint, std::string&& request, std::string& response,
             const std::function<void()>& untilUnused = {});

}  // namespace kqc
