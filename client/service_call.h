#pragma once

#include <string>
#include <string_view>

namespace kqc {

class Base64TailEncoder;
class StopSignal;

// POSTs the request to the endpoint with "SOAPAction: transcode". True only for HTTP 200.
// response receives the body whenever one was read, whatever the status; every failure
// becomes false, nothing is thrown. An answer larger than LargeBufferLimit() is cut off there
// and counts as a failure. A stop request ends the call at once, as a failure.
bool PostXML(const std::string& endpoint, std::string_view request, std::string& response,
             StopSignal* stop = nullptr);
bool PostXML(const std::string& endpoint, const char* request, std::string& response);

// The same for a request the caller gives up: once libcurl has taken its last byte, the
// request's memory is released, or serves as the answer's buffer, so that a whole-file request
// and its whole-file answer never take room at the same time. request is empty afterwards.
// unsent, when given, is the request's Base64 text still to be made: each piece of it is made
// just before libcurl takes it, so that the service takes in the start of the request meanwhile.
bool PostXML(const std::string& endpoint, std::string&& request, std::string& response,
             StopSignal* stop = nullptr, Base64TailEncoder* unsent = nullptr);

}  // namespace kqc
