#include "quorra-standin/soap_response.h"

#include "client/return_codes.h"

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
    // The service and the client share one table of codes; "0" is success.
    return code == "0" ? "OK" : ReturnCodeText(code);
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

std::string TranscodeResponseXml(std::string_view callNamespace, std::string_view code,
                                 std::string_view message,
                                 std::optional<std::string_view> fileData) {
    std::string xml;
    xml.reserve((fileData ? fileData->size() : 0) + 1024);
    xml += kEnvelopeStart;
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
    if (fileData) {
        xml += "<fileData xsi:type=\"xsd:base64Binary\">";
        xml += *fileData;
        xml += "</fileData>\r\n";
    }
    xml.append("</transcodeReturn>\r\n</").append(prefix).append("transcodeResponse>\r\n");
    xml += kEnvelopeEnd;
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
