#include "quorra-standin/soap_request.h"

#include "quorra-standin/xml_text.h"

#include <pugixml.hpp>

#include <algorithm>
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

constexpr std::string_view kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// The namespaces whose integer types a value may be declared with: XML Schema (both editions
// SOAP 1.1 toolkits write) and SOAP encoding.
bool IsIntegerType(std::string_view ns, std::string_view local) {
    if (ns != "http://www.w3.org/2001/XMLSchema" && ns != "http://www.w3.org/1999/XMLSchema" &&
        ns != "http://schemas.xmlsoap.org/soap/encoding/")
        return false;
    for (std::string_view type : {"int", "integer", "long", "short", "byte", "unsignedInt",
                                  "unsignedLong", "unsignedShort", "unsignedByte",
                                  "nonNegativeInteger", "positiveInteger", "negativeInteger",
                                  "nonPositiveInteger"})
        if (local == type) return true;
    return false;
}

// The node's XML Schema instance attribute of that local name, whatever its prefix.
pugi::xml_attribute XsiAttribute(const pugi::xml_node& node, std::string_view local) {
    for (pugi::xml_attribute a : node.attributes()) {
        std::string_view name = a.name();
        auto colon = name.find(':');
        if (colon != std::string_view::npos && name.substr(colon + 1) == local &&
            NamespaceOf(node, name.substr(0, colon)) == kXsiNamespace)
            return a;
    }
    return {};
}

bool DeclaredInteger(const pugi::xml_node& node) {
    pugi::xml_attribute typeAttribute = XsiAttribute(node, "type");
    if (!typeAttribute) return false;
    std::string_view type = typeAttribute.value();
    auto typeColon = type.find(':');
    std::string_view typePrefix =
        typeColon == std::string_view::npos ? std::string_view() : type.substr(0, typeColon);
    return IsIntegerType(NamespaceOf(node, typePrefix), type.substr(typeColon + 1));
}

// xsi:nil="true" or "1", with or without white space around it: the value was not sent.
bool DeclaredNil(const pugi::xml_node& node) {
    std::string_view value = XsiAttribute(node, "nil").value();
    const auto first = value.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return false;
    value = value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
    return value == "true" || value == "1";
}

// An integer's canonical text ("+016000 " is "16000"); the text itself when it is none.
std::string CanonicalInteger(std::string text) {
    std::string_view digits = text;
    const auto first = digits.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return text;
    digits = digits.substr(first, digits.find_last_not_of(" \t\r\n") - first + 1);
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return text;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return (negative && digits != "0" ? "-" : "") + std::string(digits);
}

// Finds the call's parts below the operation element. Strictly, they are unqualified elements in
// place. Leniently, as SOAP 1.1 rpc/encoded clients write them: also in the call's namespace,
// reached through href="#id" references to elements elsewhere in the envelope (multi-reference
// values), read as the integer their xsi:type declares, and a nil part as one not sent (a
// client fills the source form it does not use with nil).
class PartReader {
public:
    PartReader(const pugi::xml_node& envelope, std::string_view callNamespace, CallMatch match)
        : m_envelope(envelope),
          m_callNamespace(callNamespace),
          m_lenient(match == CallMatch::lenient) {}

    pugi::xml_node child(const pugi::xml_node& parent, std::string_view local) const {
        for (pugi::xml_node c : parent.children()) {
            if (c.type() != pugi::node_element || LocalName(c) != local) continue;
            std::string_view ns = NamespaceOf(c, Prefix(c));
            if (!ns.empty() && !(m_lenient && ns == m_callNamespace)) continue;
            if (!m_lenient) return c;
            pugi::xml_node value = referenced(c);
            return DeclaredNil(value) ? pugi::xml_node() : value;
        }
        return {};
    }

    std::optional<std::string> text(const pugi::xml_node& parent, std::string_view local) const {
        pugi::xml_node node = child(parent, local);
        if (!node) return std::nullopt;
        return m_lenient && DeclaredInteger(node) ? CanonicalInteger(TextOf(node)) : TextOf(node);
    }

private:
    // The element an href="#id" points to (none when no element has that id), or the node itself.
    pugi::xml_node referenced(const pugi::xml_node& node) const {
        std::string_view href = node.attribute("href").value();
        if (!href.starts_with('#')) return node;
        href.remove_prefix(1);
        return m_envelope.find_node([href](const pugi::xml_node& n) {
            return n.type() == pugi::node_element && n.attribute("id").value() == href;
        });
    }

    pugi::xml_node m_envelope;
    std::string_view m_callNamespace;
    bool m_lenient;
};

std::optional<TargetProfile> ReadProfile(const pugi::xml_node& request, const PartReader& parts) {
    pugi::xml_node audio =
        parts.child(parts.child(parts.child(request, "target"), "profile"), "audio");
    auto fileFormat = parts.text(audio, "fileFormat");
    auto codec = parts.text(audio, "codec");
    auto bitRate = parts.text(audio, "bitRate");
    auto channels = parts.text(audio, "channels");
    auto samplingRate = parts.text(audio, "samplingRate");
    if (!audio || !fileFormat || !codec || !bitRate || !channels || !samplingRate)
        return std::nullopt;
    return TargetProfile{.fileFormat = *fileFormat, .codec = *codec, .bitRate = *bitRate,
                         .samplingRate = *samplingRate, .channels = *channels};
}

ParsedCall NotWellFormed(std::string detail) {
    ParsedCall parsed;
    parsed.problem = SoapProblem::notXml;
    parsed.detail = "Request is not well-formed XML: " + std::move(detail);
    return parsed;
}

constexpr std::string_view kNotXmlCharacters =
    "a character is not valid UTF-8 or not allowed in XML";

// The element's text, taken out of a body parsed in place without a copy: a single text node
// (the Base64 data of a whole file) is moved to the front of the body, whose memory then becomes
// the text. Anything else is copied as usual.
std::optional<std::string> TakeText(const pugi::xml_node& node, std::string& body) {
    if (!node) return std::nullopt;
    pugi::xml_node text = node.first_child();
    const bool single = text && !text.next_sibling() &&
                        (text.type() == pugi::node_pcdata || text.type() == pugi::node_cdata);
    const char* value = single ? text.value() : nullptr;
    if (!value || value < body.data() || value >= body.data() + body.size()) return TextOf(node);
    const std::size_t length = std::strlen(value);
    std::memmove(body.data(), value, length);
    body.resize(length);
    return std::move(body);
}

ParsedCall ReadLoadedCall(const pugi::xml_parse_result& result, const pugi::xml_document& doc,
                          std::string_view serviceNamespace, CallMatch match,
                          std::string* inPlaceBody) {
    ParsedCall parsed;
    if (!result)
        return NotWellFormed(std::string(result.description()) + " at offset " +
                             std::to_string(result.offset));
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
    const PartReader parts(envelope, operationNamespace, match);
    pugi::xml_node request = parts.child(parts.child(operation, "in0"), "request");
    pugi::xml_node source = parts.child(request, "source");
    parsed.call.hasSource = static_cast<bool>(source);
    parsed.call.location = parts.text(source, "location");
    parsed.call.profile = ReadProfile(request, parts);
    // Last: taking the text in place gives the body's memory away, and the document with it.
    // Base64 text whatever type is declared, so that both ways of parsing read the same.
    pugi::xml_node fileData = parts.child(source, "fileData");
    parsed.call.fileData = inPlaceBody ? TakeText(fileData, *inPlaceBody)
                           : fileData  ? std::optional(TextOf(fileData))
                                       : std::nullopt;
    return parsed;
}

}  // namespace

ParsedCall ParseTranscodeCall(std::string_view body, std::string_view serviceNamespace,
                              CallMatch match) {
    if (!HasValidXmlCharacters(body)) return NotWellFormed(std::string(kNotXmlCharacters));
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer(body.data(), body.size(), pugi::parse_default);
    return ReadLoadedCall(result, doc, serviceNamespace, match, nullptr);
}

ParsedCall ParseTranscodeCallInPlace(std::string& body, std::string_view serviceNamespace,
                                     CallMatch match) {
    // A document in another encoding is converted into a new buffer by the parser anyway.
    if (!IsUtf8Document(body)) return ParseTranscodeCall(body, serviceNamespace, match);
    if (!HasValidXmlCharacters(body)) return NotWellFormed(std::string(kNotXmlCharacters));
    pugi::xml_document doc;
    // The string's terminator goes with the text, as the copying parse adds one: errors then
    // name the same offsets. pugixml writes no other value there than the NUL it holds.
    pugi::xml_parse_result result =
        doc.load_buffer_inplace(body.data(), body.size() + 1, pugi::parse_default);
    return ReadLoadedCall(result, doc, serviceNamespace, match, &body);
}

}  // namespace kqc::standin
