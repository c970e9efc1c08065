#include "quorra-standin/soap_request.h"

#include "quorra-standin/xml_text.h"

#include <pugixml.hpp>

#include <cstring>

namespace kqc::standin {
namespace {

std::string_view Prefix(const pugi::xml_node& node) {
    std::string_view name = node.name();
    auto colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

std::string_view LocalName(const pugi::xml_node& node) {
    std::string_view name = node.name();
    auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The namespace URI a prefix stands for at node, declared on it or an ancestor; "" for the
// empty prefix without a default namespace in scope.
std::string_view NamespaceOf(const pugi::xml_node& node, std::string_view prefix) {
    std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) {
        if (pugi::xml_attribute a = n.attribute(attribute.c_str())) return a.value();
    }
    return prefix == "xml" ? "http://www.w3.org/XML/1998/namespace" : "";
}

bool Is(const pugi::xml_node& node, std::string_view ns, std::string_view local) {
    return node.type() == pugi::node_element && LocalName(node) == local &&
           NamespaceOf(node, Prefix(node)) == ns;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view ns, std::string_view local) {
    for (pugi::xml_node c : parent.children())
        if (Is(c, ns, local)) return c;
    return {};
}

pugi::xml_node FirstElement(const pugi::xml_node& parent) {
    for (pugi::xml_node c : parent.children())
        if (c.type() == pugi::node_element) return c;
    return {};
}

pugi::xml_node FirstNamed(const pugi::xml_node& parent, std::string_view local) {
    for (pugi::xml_node c : parent.children())
        if (c.type() == pugi::node_element && LocalName(c) == local) return c;
    return {};
}

// The element's text: its character data and CDATA, in order.
std::string TextOf(const pugi::xml_node& node) {
    std::string text;
    for (pugi::xml_node c : node.children())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
    return text;
}

std::optional<std::string> OptionalText(const pugi::xml_node& parent, std::string_view local) {
    pugi::xml_node node = Child(parent, "", local);
    if (!node) return std::nullopt;
    return TextOf(node);
}

// A header entry addressed to this service (no actor) that it must understand; it understands
// none.
bool HasMandatoryHeader(const pugi::xml_node& envelope) {
    pugi::xml_node header = Child(envelope, kSoapEnvelopeNamespace, "Header");
    for (pugi::xml_node entry : header.children()) {
        if (entry.type() != pugi::node_element) continue;
        for (pugi::xml_attribute a : entry.attributes()) {
            std::string_view name = a.name();
            auto colon = name.find(':');
            if (colon == std::string_view::npos || name.substr(colon + 1) != "mustUnderstand")
                continue;
            if (NamespaceOf(entry, name.substr(0, colon)) == kSoapEnvelopeNamespace &&
                std::strcmp(a.value(), "1") == 0)
                return true;
        }
    }
    return false;
}

std::optional<TargetProfile> ReadProfile(const pugi::xml_node& request) {
    pugi::xml_node audio = Child(Child(Child(request, "", "target"), "", "profile"), "", "audio");
    auto fileFormat = OptionalText(audio, "fileFormat");
    auto codec = OptionalText(audio, "codec");
    auto bitRate = OptionalText(audio, "bitRate");
    auto channels = OptionalText(audio, "channels");
    auto samplingRate = OptionalText(audio, "samplingRate");
    if (!audio || !fileFormat || !codec || !bitRate || !channels || !samplingRate)
        return std::nullopt;
    return TargetProfile{*fileFormat, *codec, *bitRate, *channels, *samplingRate};
}

}  // namespace

ParsedCall ParseTranscodeCall(std::string_view body, std::string_view serviceNamespace,
                              CallMatch match) {
    ParsedCall parsed;
    if (!HasValidXmlCharacters(body)) {
        parsed.problem = SoapProblem::notXml;
        parsed.detail =
            "Request is not well-formed XML: a character is not valid UTF-8 or not "
            "allowed in XML";
        return parsed;
    }
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer(body.data(), body.size(), pugi::parse_default);
    if (!result) {
        parsed.problem = SoapProblem::notXml;
        parsed.detail = std::string("Request is not well-formed XML: ") + result.description() +
                        " at offset " + std::to_string(result.offset);
        return parsed;
    }
    pugi::xml_node envelope = doc.document_element();
    if (!Is(envelope, kSoapEnvelopeNamespace, "Envelope")) {
        parsed.problem = SoapProblem::versionMismatch;
        parsed.detail = "The root element is not a SOAP 1.1 Envelope";
        return parsed;
    }
    if (HasMandatoryHeader(envelope)) {
        parsed.problem = SoapProblem::mustUnderstand;
        parsed.detail = "A header entry marked mustUnderstand is not understood";
        return parsed;
    }
    pugi::xml_node bodyNode = Child(envelope, kSoapEnvelopeNamespace, "Body");
    if (!bodyNode) {
        parsed.problem = SoapProblem::noBody;
        parsed.detail = "The Envelope has no Body";
        return parsed;
    }
    pugi::xml_node operation =
        match == CallMatch::strict ? FirstElement(bodyNode) : FirstNamed(bodyNode, "transcode");
    std::string_view operationNamespace = NamespaceOf(operation, Prefix(operation));
    if (!operation || LocalName(operation) != "transcode" ||
        (match == CallMatch::strict && operationNamespace != serviceNamespace)) {
        parsed.problem = SoapProblem::notTranscode;
        parsed.detail = match == CallMatch::strict
                            ? "The Body holds no transcode call of " + std::string(serviceNamespace)
                            : std::string("The Body holds no transcode call");
        return parsed;
    }
    parsed.operationNamespace = operationNamespace;
    pugi::xml_node request = Child(Child(operation, "", "in0"), "", "request");
    pugi::xml_node source = Child(request, "", "source");
    parsed.call.hasSource = static_cast<bool>(source);
    parsed.call.location = OptionalText(source, "location");
    parsed.call.fileData = OptionalText(source, "fileData");
    parsed.call.profile = ReadProfile(request);
    return parsed;
}

}  // namespace kqc::standin
