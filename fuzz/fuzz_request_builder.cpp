// CreateSOAPRequestXML with arbitrary field values, location and file data. The request is XML 1.0
// exactly when every value is; such a request, read back with pugixml, has the envelope's fixed
// structure and gives back every value byte for byte. A value holding a character XML 1.0 cannot
// carry (a control character other than tab, LF and CR, or bytes that are no UTF-8) is written
// as it is, which leaves the request unreadable to a strict reader: that is what the builder
// does, and the target expects it.
#include "client/request_builder.h"
#include "support/recording_sink.h"
#include "xml_chars.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// The children of audio, in order; the values of the profile fields sit at indexes 0, 1, 2, 3, 5.
constexpr std::array<std::string_view, 7> kAudioChildren = {
    "fileFormat", "codec", "bitRate", "channels", "durationLimit", "samplingRate",
    "samplingResolution"};
constexpr std::array<size_t, 5> kProfileIndex = {0, 1, 2, 3, 5};

std::string_view textOf(const pugi::xml_node& node) {
    return node.first_child() ? node.first_child().value() : "";
}

void checkReadBack(const std::string& request, const std::array<std::string, 5>& profile,
                   std::string_view sourceName, std::string_view source) {
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_buffer(
        request.data(), request.size(), pugi::parse_default | pugi::parse_ws_pcdata);
    require(static_cast<bool>(result), "a request of XML characters does not parse");
    const pugi::xml_node call = doc.child("soapenv:Envelope").child("soapenv:Body")
                                    .child("ns1:transcode").child("in0").child("request");
    require(static_cast<bool>(call), "the envelope lost its structure");

    const pugi::xml_node sourceNode = call.child("source");
    const pugi::xml_node value = sourceNode.child(std::string(sourceName).c_str());
    require(value && !value.next_sibling(std::string(sourceName).c_str()),
            "the source value is missing or doubled");
    require(!sourceNode.child(sourceName == "location" ? "fileData" : "location"),
            "both kinds of source were sent");
    require(value.first_child() == value.last_child(), "the source value holds markup");
    require(textOf(value) == source, "the source value reads back differently");

    const pugi::xml_node audio = call.child("target").child("profile").child("audio");
    std::array<pugi::xml_node, 7> children;
    size_t count = 0;
    for (pugi::xml_node c = audio.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        require(count < children.size() && kAudioChildren[count] == c.name(),
                "the profile holds other elements");
        children[count++] = c;
    }
    require(count == children.size(), "the profile lost elements");
    for (size_t i = 0; i < profile.size(); ++i) {
        const pugi::xml_node node = children[kProfileIndex[i]];
        require(node.first_child() == node.last_child(), "a profile value holds markup");
        require(textOf(node) == profile[i], "a profile value reads back differently");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    // In the order the request lists them: format, codec, bit rate, channels, sampling rate.
    std::array<std::string, 5> profile;
    bool allXml = true;
    for (std::string& value : profile) {
        value = provider.ConsumeRandomLengthString(64);
        allXml = allXml && kqc::fuzz::IsXmlText(value);
    }
    const kqc::TargetProfile target{.format = profile[0], .codec = profile[1],
                                    .bitRate = profile[2], .samplingRate = profile[3],
                                    .channels = profile[4]};
    const std::string location = provider.ConsumeRandomLengthString(256);
    const std::string fileData = provider.ConsumeRemainingBytesAsString();
    const bool byLocation = !location.empty();
    const std::string_view source = byLocation ? location : fileData;
    allXml = allXml && kqc::fuzz::IsXmlText(source);

    kqc::test::RecordingSink view;
    kqc::ActivityLog log(view, false);
    std::string request;
    require(kqc::CreateSOAPRequestXML(target, log, request, fileData, location),
            "the builder reported a failure");
    require(kqc::fuzz::IsXmlText(request) == allXml,
            "the request is XML exactly when every value is");
    if (allXml) checkReadBack(request, profile, byLocation ? "location" : "fileData", source);
    return 0;
}
