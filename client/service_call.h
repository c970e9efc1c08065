#pragma once

#include <string>
#include <string_view>

namespace kqc {

// POSTs the request to the endpoint with "SOAPAction: transcode". True only for HTTP 200.
// response receives the body whenever one was read, whatever the status; every failure
// becomes false, nothing is thrown.
bool PostXML(const std::string& endpoint, std::string_view request, std::string& response);

}  // namespace kqc
