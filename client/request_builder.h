#pragma once

#include "client/run_values.h"
#include "log/activity_log.h"

#include <string>
#include <string_view>

namespace kqc {

// Namespace of the service's transcode operation.
inline constexpr std::string_view kServiceNamespace = "http://www.korvane.com/quorra/MediaAdapter";

// Builds the SOAP 1.1 transcode request for one source: location when it is not empty,
// otherwise fileData (Base64). The source codec and the target values are XML-escaped. Writes the
// request to the debug log as "Request Structure:". Always true.
bool CreateSOAPRequestXML(const TargetProfile& target, ActivityLog& log, std::string& request,
                          std::string_view fileData, std::string_view location,
                          std::string_view sourceCodec = kWindowSourceCodec);

// The same request for file-system mode built around the file data already in place: request
// holds a FileDataRequestHead followed by the Base64 text of our own encoder (which has no
// character to escape); the rest of the request is appended to it.
bool CreateSOAPRequestXML(const TargetProfile& target, ActivityLog& log, std::string& request);

// The text of a file-system mode request before its Base64 file data.
std::string FileDataRequestHead(std::string_view sourceCodec = kWindowSourceCodec);

// The exact size of a file-system mode request for a file of that size, values escaped.
std::size_t FileDataRequestCapacity(std::size_t fileSize, const TargetProfile& target,
                                    std::string_view sourceCodec = kWindowSourceCodec);

// Appends text with &, < and > replaced by their entities, and CR by a character reference.
void AppendXmlEscaped(std::string& out, std::string_view text);

}  // namespace kqc
