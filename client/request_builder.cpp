#include "client/request_builder.h"

#include "media/base64.h"

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
    "<format>mp3</format>\r\n";

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

// The debug entry of a request: this heading, then the request.
constexpr std::string_view kEntryHeading = "Request Structure:\r\n";

// Room for the fixed text of a request, its element names and a little escaping.
constexpr size_t kRequestFrame = kHead.size() + kSourceHead.size() + kTargetHead.size() +
                                 kTail.size() + kServiceNamespace.size() + 512;

void appendHead(std::string& request, std::string_view sourceCodec) {
    request.append(kHead);
    request.append("<ns1:transcode xmlns:ns1=\"").append(kServiceNamespace).append("\">\r\n");
    request.append(kSourceHead);
    appendElement(request, "codec", sourceCodec);
}

// Everything after the source element.
void appendTarget(std::string& request, const TargetProfile& profile) {
    request.append(kTargetHead);
    appendElement(request, "fileFormat", profile.format);
    appendElement(request, "codec", profile.codec);
    appendElement(request, "bitRate", profile.bitRate);
    appendElement(request, "channels", profile.channels);
    request.append("<durationLimit>-1</durationLimit>\r\n");
    appendElement(request, "samplingRate", profile.samplingRate);
    request.append("<samplingResolution>0</samplingResolution>\r\n");
    request.append(kTail);
}

void appendFileDataTail(std::string& request, const TargetProfile& target) {
    request.append("</fileData>").append(kCrLf);
    appendTarget(request, target);
}

}  // namespace

std::string FileDataRequestHead(std::string_view sourceCodec) {
    std::string head;
    appendHead(head, sourceCodec);
    head.append("<fileData>");
    return head;
}

std::size_t FileDataRequestCapacity(std::size_t fileSize, const TargetProfile& target,
                                    std::string_view sourceCodec) {
    std::string tail;
    appendFileDataTail(tail, target);
    return FileDataRequestHead(sourceCodec).size() + Base64EncodedSize(fileSize) + tail.size();
}

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

bool CreateSOAPRequestXML(const TargetProfile& target, ActivityLog& log, std::string& request,
                          std::string_view fileData, std::string_view location,
                          std::string_view sourceCodec) {
    const bool byLocation = !location.empty();
    const std::string_view source = byLocation ? location : fileData;
    const size_t profileSize = target.format.size() + target.codec.size() + target.bitRate.size() +
                               target.channels.size() + target.samplingRate.size() +
                               sourceCodec.size();

    request.clear();
    request.shrink_to_fit();
    request.reserve(kRequestFrame + source.size() + profileSize);
    appendHead(request, sourceCodec);
    appendElement(request, byLocation ? "location" : "fileData", source);
    appendTarget(request, target);

    log.DebugToFile({kEntryHeading, request});
    return true;
}

bool CreateSOAPRequestXML(const TargetProfile& target, ActivityLog& log, std::string& request) {
    appendFileDataTail(request, target);
    log.DebugToFile({kEntryHeading, request});
    return true;
}

}  // namespace kqc
