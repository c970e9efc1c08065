#include "quorra-standin/soap_response.h"

#include "media/base64.h"

#include <cstring>

namespace kqc::standin {
namespace {

constexpr std::string_view kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n"
    "<soapenv:Body>\r\n";
constexpr std::string_view kEnvelopeEnd = "</soapenv:Body>\r\n</soapenv:Envelope>\r\n";

}  // namespace

std::string_view ServiceMessage(std::string_view code) {
    struct Row {
        std::string_view code, message;
    };
    // The service's own wording, typos included: clients compare these texts.
    static constexpr Row kMessages[] = {
        {"0", "OK"},
        {"0000", "OK"},
        {"1001", "Parsing Error"},
        {"1002", "Transcoder activation failure"},
        {"1003", "Timeout waiting for Transcoder response"},
        {"1004", "Erroneous response structure"},
        {"1005", "Error is response data"},
        {"1006", "General Server Error"},
        {"2001", "Error in command parameters"},
        {"2002", "Error in input media"},
        {"2003", "Processing Error"},
        {"2004", "Unsurported media"},
        {"2005", "Number of concurrent requests exceeded"},
        {"2006", "Unsupported transcoding request"},
        {"2007", "Erroneous transconding request"},
        {"2008", "Transcoding initialization failure"},
        {"3001", "Resources not available"},
        {"3002", "Request Type not supported"},
        {"3003", "Resourceactivation refused"},
        {"3004", "General timeout"},
        {"3005", "Internal resource activation failure"},
        {"9999", "Unknown Error"},
    };
    for (const Row& row : kMessages)
        if (row.code == code) return row.message;
    return "Unknown Error [Not specified]";
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
}

namespace {

// Everything up to the fileData element, and the rest after it.
std::string ResponseHead(std::string_view callNamespace, std::string_view code,
                         std::string_view message) {
    std::string xml(kEnvelopeStart);
    // A call in no namespace is answered in none: a prefix cannot be bound to the empty name.
    std::string_view prefix = callNamespace.empty() ? "" : "ns1:";
    xml.append("<").append(prefix).append("transcodeResponse ");
    xml += "soapenv:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"";
    if (!callNamespace.empty()) {
        xml += " xmlns:ns1=\"";
        AppendEscaped(xml, callNamespace);
        xml += "\"";
    }
    xml.append(">\r\n<transcodeReturn xsi:type=\"").append(prefix);
    xml += "TranscodeResponse\">\r\n";
    xml += "<returnCode xsi:type=\"xsd:int\">";
    AppendEscaped(xml, code);
    xml += "</returnCode>\r\n<message xsi:type=\"xsd:string\">";
    AppendEscaped(xml, message);
    xml += "</message>\r\n";
    return xml;
}

constexpr std::string_view kFileDataStart = "<fileData xsi:type=\"xsd:base64Binary\">";
constexpr std::string_view kFileDataEnd = "</fileData>\r\n";

std::string ResponseTail(std::string_view callNamespace) {
    std::string_view prefix = callNamespace.empty() ? "" : "ns1:";
    std::string xml("</transcodeReturn>\r\n</");
    xml.append(prefix).append("transcodeResponse>\r\n").append(kEnvelopeEnd);
    return xml;
}

}  // namespace

std::string TranscodeResponseXml(std::string_view callNamespace, std::string_view code,
                                 std::string_view message,
                                 std::optional<std::string_view> fileData) {
    std::string head = ResponseHead(callNamespace, code, message);
    std::string tail = ResponseTail(callNamespace);
    std::string xml;
    xml.reserve(head.size() + (fileData ? fileData->size() : 0) + 512);
    xml += head;
    if (fileData) {
        xml += kFileDataStart;
        xml += *fileData;
        xml += kFileDataEnd;
    }
    xml += tail;
    return xml;
}

std::string TranscodeResponseXmlAroundBytes(std::string_view callNamespace, std::string_view code,
                                            std::string_view message, std::string fileBytes) {
    std::string head = ResponseHead(callNamespace, code, message);
    head += kFileDataStart;
    const std::string tail = std::string(kFileDataEnd) + ResponseTail(callNamespace);
    // The bytes move to the end of their text's room behind the head, in their own buffer, and
    // become their Base64 text there. That buffer held the request, which is about as long as the
    // answer: asking for more than the answer needs would copy it all into a new one.
    std::string xml = std::move(fileBytes);
    const std::size_t count = xml.size();
    const std::size_t lead = kqc::Base64EncodedSize(count) - count;
    const std::size_t total = head.size() + kqc::Base64EncodedSize(count) + tail.size();
    if (xml.capacity() < total) xml.reserve(total);
    xml.resize(head.size() + lead + count);
    std::memmove(xml.data() + head.size() + lead, xml.data(), count);
    std::memcpy(xml.data(), head.data(), head.size());
    kqc::Base64TailEncoder(xml, head.size(), lead).encodeUpTo(xml, std::string::npos);
    xml += tail;
    return xml;
}

std::string SoapFaultXml(std::string_view faultCode, std::string_view faultString) {
    std::string xml(kEnvelopeStart);
    xml += "<soapenv:Fault>\r\n<faultcode>soapenv:";
    AppendEscaped(xml, faultCode);
    xml += "</faultcode>\r\n<faultstring>";
    AppendEscaped(xml, faultString);
    xml += "</faultstring>\r\n</soapenv:Fault>\r\n";
    xml += kEnvelopeEnd;
    return xml;
}

}  // namespace kqc::standin
