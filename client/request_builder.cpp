#include "client/request_builder.h"

#include "media/large_buffer.h"

namespace kqc {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// Lines 1 to 16 and 18 to 38 of the request, with the field values of the profile in between.
constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n"
    "<soapenv:Envelope\r\n"
    "soapenv:encodingStyle = \"http://schemas.xmlsoap.org/soap/encoding/\"\r\n"
    "xmlns:soapenv = \"http://schemas.xmlsoap.org/soap/envelope/\"\r\n"
    "xmlns:xsd = \"http://www.w3.org/2001/XMLSchema\"\r\n"
    "xmlns:xsi = \"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
    "<soapenv:Body>\r\n";

constexpr std::string_view kSourceHead =
    "<in0>\r\n"
    "<transactionID />\r\n"
    "<request>\r\n"
    "<source>\r\n"
    "<type>audio</type>\r\n"
    "<format>mp3</format>\r\n"
    "<codec>mp3</codec>\r\n";

constexpr std::string_view kTargetHead =
    "</source>\r\n"
    "<target>\r\n"
    "<profileID />\r\n"
    "<profile>\r\n"
    "<audio>\r\n";

constexpr std::string_view kTail =
    "</audio>\r\n"
    "</profile>\r\n"
    "</target>\r\n"
    "<additionalData />\r\n"
    "</request>\r\n"
    "</in0>\r\n"
    "</ns1:transcode>\r\n"
    "</soapenv:Body>\r\n"
    "</soapenv:Envelope>";

void appendElement(std::string& out, std::string_view name, std::string_view value) {
    out.append("<").append(name).append(">");
    AppendXmlEscaped(out, value);
    out.append("</").append(name).append(">").append(kCrLf);
}

}  // namespace

void AppendXmlEscaped(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            // A reader turns a raw CR into LF; a lone CR in a file name must arrive as CR.
            case '\r': entity = "&#13;"; break;
            default: continue;
        }
        out.append(text.substr(start, i - start)).append(entity);
        start = i + 1;
    }
    out.append(text.substr(start));
}

bool CreateSOAPRequestXML(const FormFields& fields, ActivityLog& log, std::string& request,
                          std::string_view fileData, std::string_view location) {
    // Read in the order the profile lists them.
    const std::string format = fields.text(Field::cmbTarget_Format);
    const std::string codec = fields.text(Field::cmbTarget_Codec);
    const std::string bitRate = fields.text(Field::cmbTarget_BitRate);
    const std::string channels = fields.text(Field::cmbTarget_Channels);
    const std::string samplingRate = fields.text(Field::cmbTarget_SamplingRate);
    const bool byLocation = !location.empty();
    const std::string_view source = byLocation ? location : fileData;

    request.clear();
    request.shrink_to_fit();
    ReserveLargeBuffer(request, kHead.size() + kSourceHead.size() + kTargetHead.size() +
                                    kTail.size() + 512 + source.size() + format.size() +
                                    codec.size() + bitRate.size() + channels.size() +
                                    samplingRate.size());
    request.append(kHead);
    request.append("<ns1:transcode xmlns:ns1=\"").append(kServiceNamespace).append("\">\r\n");
    request.append(kSourceHead);
    appendElement(request, byLocation ? "location" : "fileData", source);
    request.append(kTargetHead);
    appendElement(request, "fileFormat", format);
    appendElement(request, "codec", codec);
    appendElement(request, "bitRate", bitRate);
    appendElement(request, "channels", channels);
    request.append("<durationLimit>-1</durationLimit>\r\n");
    appendElement(request, "samplingRate", samplingRate);
    request.append("<samplingResolution>0</samplingResolution>\r\n");
    request.append(kTail);

    log.DebugToFile({"Request Structure:\r\n", request});
    return true;
}

}  // namespace kqc
