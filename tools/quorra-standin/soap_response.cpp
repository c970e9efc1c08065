#include "quorra-standin/soap_response.h"

#include <array>
#include <utility>

namespace kqc::standin {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 22> kMessages = {{
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
}};

constexpr std::string_view kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n"
    "<soapenv:Body>\r\n";
constexpr std::string_view kEnvelopeEnd = "</soapenv:Body>\r\n</soapenv:Envelope>\r\n";

}  // namespace

std::string_view ServiceMessage(std::string_view code) {
    for (const auto& [known, message] : kMessages)
        if (known == code) return message;
    return "Unknown Error";
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

std::string TranscodeResponseXml(std::string_view serviceNamespace, std::string_view code,
                                 std::string_view message,
                                 std::optional<std::string_view> fileData) {
    std::string xml;
    xml.reserve((fileData ? fileData->size() : 0) + 1024);
    xml += kEnvelopeStart;
    xml +=
        "<ns1:transcodeResponse "
        "soapenv:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\" xmlns:ns1=\"";
    AppendEscaped(xml, serviceNamespace);
    xml += "\">\r\n<transcodeReturn xsi:type=\"ns1:TranscodeResponse\">\r\n";
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
    xml += "</transcodeReturn>\r\n</ns1:transcodeResponse>\r\n";
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
