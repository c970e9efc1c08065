#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kqc::standin {

// The service's message for a return code; "Unknown Error [Not specified]" for a code it does
// not know.
std::string_view ServiceMessage(std::string_view code);

// An rpc/encoded transcodeResponse whose returnCode, message and fileData elements carry their
// xsi:type attributes; the fileData element (Base64 text) only when fileData is given. The
// response and its type are in callNamespace (the call's), or in none when it is empty.
std::string TranscodeResponseXml(std::string_view callNamespace, std::string_view code,
                                 std::string_view message,
                                 std::optional<std::string_view> fileData);

// The same success answer around the target's bytes, which are encoded where they stand: the
// answer is built in the bytes' own buffer.
std::string TranscodeResponseXmlAroundBytes(std::string_view callNamespace, std::string_view code,
                                            std::string_view message, std::string fileBytes);

// A SOAP 1.1 Fault envelope; faultCode is a local name in the envelope namespace ("Client",
// "Server", "VersionMismatch", "MustUnderstand").
std::string SoapFaultXml(std::string_view faultCode, std::string_view faultString);

// Appends text with &, <, > and " replaced by their entities.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace kqc::standin
