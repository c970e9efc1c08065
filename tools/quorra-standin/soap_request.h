#pragma once

#include "quorra-standin/codec_chart.h"

#include <optional>
#include <string>
#include <string_view>

namespace kqc::standin {

inline constexpr std::string_view kSoapEnvelopeNamespace =
    "http://schemas.xmlsoap.org/soap/envelope/";

// Why a body is no transcode call at the SOAP level; each is answered with a SOAP Fault.
enum class SoapProblem { none, notXml, versionMismatch, noBody, mustUnderstand, notTranscode };

// The parts of a transcode call the service uses. A missing part stays empty (nullopt).
struct TranscodeCall {
    std::optional<std::string> location;
    std::optional<std::string> fileData;
    std::optional<TargetProfile> profile;  // only when all five profile elements are present
    bool hasSource = false;
};

struct ParsedCall {
    SoapProblem problem = SoapProblem::none;
    std::string detail;              // what was wrong, for the Fault's faultstring
    std::string operationNamespace;  // of the transcode element; "" for none
    TranscodeCall call;
};

// strict: the Body's first element must be transcode in the service namespace, its parts
// unqualified elements in place. lenient: the Body's first element named transcode, in any
// namespace or none, read however a SOAP 1.1 rpc/encoded client writes it: parts unqualified or
// in the call's namespace, multi-reference values (href="#id"), an integer by its xsi:type, a
// nil part (xsi:nil) as one not sent.
enum class CallMatch { strict, lenient };

// Reads a SOAP 1.1 transcode call: elements are matched by namespace URI and local name, so
// prefixes do not matter; xsi:type attributes are never checked, only read as above. Entities
// are decoded; a document type declaration is skipped, never expanded.
// Bytes that are not XML characters (invalid UTF-8, control characters) make the body not
// well-formed.
ParsedCall ParseTranscodeCall(std::string_view body, std::string_view serviceNamespace,
                              CallMatch match = CallMatch::strict);

// The same, parsing the body where it stands: the body is used up, and its memory holds the
// fileData text afterwards, so that a whole-file request is never copied.
ParsedCall ParseTranscodeCallInPlace(std::string& body, std::string_view serviceNamespace,
                                     CallMatch match = CallMatch::strict);

}  // namespace kqc::standin
