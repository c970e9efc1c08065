// The stand-in's reading of a request body: ParseTranscodeCall on arbitrary bytes, then what the
// service does with the outcome before any transcoding: the Fault envelope for a refused body, the
// chart lookup of the profile and the decoding of fileData for a call. Beyond what the sanitizers
// catch, it checks that a refused body comes with a reason and no call, that the Fault envelope
// reads back with that reason, and that a call's values, written again by the client's request
// builder, are read back the same.
#include "support/recording_sink.h"
#include "client/request_builder.h"
#include "media/base64.h"
#include "quorra-standin/codec_chart.h"
#include "quorra-standin/soap_request.h"
#include "quorra-standin/soap_response.h"
#include "quorra-standin/standin_options.h"
#include "xml_chars.h"

#include <pugixml.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <optional>
#include <tuple>

namespace {

using kqc::standin::ParsedCall;
using kqc::standin::SoapProblem;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool sameCall(const ParsedCall& a, const ParsedCall& b) {
    const auto profile = [](const ParsedCall& p) {
        return p.call.profile ? std::optional(std::tuple(p.call.profile->fileFormat,
                                                         p.call.profile->codec,
                                                         p.call.profile->bitRate,
                                                         p.call.profile->channels,
                                                         p.call.profile->samplingRate))
                              : std::nullopt;
    };
    return a.problem == b.problem && a.detail == b.detail &&
           a.operationNamespace == b.operationNamespace && a.call.hasSource == b.call.hasSource &&
           a.call.location == b.call.location && a.call.fileData == b.call.fileData &&
           profile(a) == profile(b);
}

// The service parses in place, lenient; the copying parse must read the same call.
ParsedCall readCall(std::string_view body) {
    using kqc::standin::CallMatch;
    using kqc::standin::kServiceNamespace;
    ParsedCall copied =
        kqc::standin::ParseTranscodeCall(body, kServiceNamespace, CallMatch::lenient);
    std::string buffer(body);
    ParsedCall parsed =
        kqc::standin::ParseTranscodeCallInPlace(buffer, kServiceNamespace, CallMatch::lenient);
    require(sameCall(copied, parsed), "parsing in place reads another call than a copy");
    return parsed;
}

void checkFault(const ParsedCall& parsed) {
    require(!parsed.detail.empty(), "a refused body without a reason");
    require(!parsed.call.hasSource && !parsed.call.location && !parsed.call.fileData &&
                !parsed.call.profile,
            "a refused body with parts of a call");
    const std::string fault = kqc::standin::SoapFaultXml("Client", parsed.detail);
    pugi::xml_document doc;
    require(static_cast<bool>(doc.load_buffer(fault.data(), fault.size())),
            "the Fault envelope is not well-formed");
    const std::string_view faultString =
        doc.document_element().first_element_by_path("soapenv:Body/soapenv:Fault/faultstring")
            .text()
            .get();
    require(faultString == parsed.detail, "the Fault envelope does not carry the reason");
}

// Text the client's builder writes so that it reads back exactly: XML characters only, and not
// blank only (a reader drops text of white space alone between tags).
bool carriable(std::string_view value) {
    if (!kqc::fuzz::IsXmlText(value)) return false;
    return value.find_first_not_of(" \t\r\n") != std::string_view::npos || value.empty();
}

void checkRebuilt(const kqc::standin::TranscodeCall& call) {
    const auto& p = *call.profile;
    const bool byLocation = call.location && !call.location->empty();
    const std::string source = byLocation ? *call.location : call.fileData.value_or("");
    for (std::string_view value : {std::string_view(source), std::string_view(p.fileFormat),
                                   std::string_view(p.codec), std::string_view(p.bitRate),
                                   std::string_view(p.channels),
                                   std::string_view(p.samplingRate)})
        if (!carriable(value)) return;

    const kqc::TargetProfile target{p.fileFormat, p.codec, p.bitRate, p.samplingRate, p.channels};
    kqc::test::RecordingSink view;
    kqc::ActivityLog log(view, false);
    std::string request;
    kqc::CreateSOAPRequestXML(target, log, request, byLocation ? "" : source,
                              byLocation ? source : "");

    const ParsedCall again = readCall(request);
    require(again.problem == SoapProblem::none, "the rebuilt request is refused");
    require(again.call.hasSource && again.call.profile, "the rebuilt request lost its parts");
    const auto& q = *again.call.profile;
    require(q.fileFormat == p.fileFormat && q.codec == p.codec && q.bitRate == p.bitRate &&
                q.channels == p.channels && q.samplingRate == p.samplingRate,
            "the rebuilt request reads back another profile");
    const auto& readSource = byLocation ? again.call.location : again.call.fileData;
    require(readSource == source, "the rebuilt request reads back another source");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const ParsedCall parsed = readCall(body);
    if (parsed.problem != SoapProblem::none) {
        checkFault(parsed);
        return 0;
    }
    require(parsed.call.hasSource || (!parsed.call.location && !parsed.call.fileData),
            "source parts without a source");
    if (parsed.call.profile) {
        kqc::standin::ChartLookup(*parsed.call.profile);
        if (parsed.call.hasSource) checkRebuilt(parsed.call);
    }
    if (parsed.call.fileData) {
        std::string bytes;
        kqc::Base64Decode(*parsed.call.fileData, bytes);
    }
    return 0;
}
