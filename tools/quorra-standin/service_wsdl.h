#pragma once

#include <string>
#include <string_view>

namespace kqc::standin {

// The WSDL 1.1 description of the transcode operation as the service reads and answers it:
// rpc style, SOAP encoding, SOAP 1.1 over HTTP, soapAction "transcode". Types and messages are in
// serviceNamespace; address is the endpoint URL (XML-escaped here).
std::string ServiceWsdl(std::string_view serviceNamespace, std::string_view address);

}  // namespace kqc::standin
