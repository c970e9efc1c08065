#include "quorra-standin/soap_request.h"
#include "quorra-standin/xml_text.h"
#include "standin/standin_test_support.h"

#include <gtest/gtest.h>

namespace kqc::standin {
namespace {

constexpr std::string_view kNs = "http://www.korvane.com/quorra/MediaAdapter";

std::string Wrap(std::string_view envelopeAttributes, std::string_view body) {
    return "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"" +
           std::string(envelopeAttributes) + ">" + std::string(body) + "</e:Envelope>";
}

TEST(ParseTranscodeCall, ReadsTheClientsRequestLineByLine) {
    TargetProfile profile{"wav", "pcm", "", "44100", "Stereo"};
    auto parsed = ParseTranscodeCall(
        test::ClientRequestText(test::LocationLine("http://h/a&amp;b.mp3"), profile), kNs);
    ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
    EXPECT_TRUE(parsed.call.hasSource);
    EXPECT_EQ(parsed.call.location, "http://h/a&b.mp3");
    EXPECT_FALSE(parsed.call.fileData);
    ASSERT_TRUE(parsed.call.profile);
    EXPECT_EQ(parsed.call.profile->fileFormat, "wav");
    EXPECT_EQ(parsed.call.profile->codec, "pcm");
    EXPECT_EQ(parsed.call.profile->bitRate, "");
    EXPECT_EQ(parsed.call.profile->channels, "Stereo");
    EXPECT_EQ(parsed.call.profile->samplingRate, "44100");
}

TEST(ParseTranscodeCall, MatchesNamespacesNotPrefixes) {
    std::string body =
        "<Body><op:transcode xmlns:op=\"http://www.korvane.com/quorra/MediaAdapter\"><in0>"
        "<request><source><fileData>QUJD</fileData></source><target><profile><audio>"
        "<fileFormat>mp4</fileFormat><codec>aac</codec><bitRate>16000</bitRate>"
        "<channels>Mono</channels><samplingRate>22050</samplingRate></audio></profile></target>"
        "</request></in0></op:transcode></Body>";
    std::string xml =
        "<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\">" + body + "</Envelope>";
    auto parsed = ParseTranscodeCall(xml, kNs);
    ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
    // in0 and its parts stand in the default namespace here, not unqualified.
    EXPECT_FALSE(parsed.call.hasSource);

    std::string unqualified =
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<e:Body><t:transcode xmlns:t=\"" +
        std::string(kNs) +
        "\"><in0><request><source><fileData><![CDATA[QU]]>JD</fileData>"
        "</source></request></in0></t:transcode></e:Body></e:Envelope>";
    parsed = ParseTranscodeCall(unqualified, kNs);
    ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
    EXPECT_EQ(parsed.call.fileData, "QUJD");
    EXPECT_FALSE(parsed.call.profile);
    parsed = ParseTranscodeCallInPlace(unqualified, kNs);
    EXPECT_EQ(parsed.call.fileData, "QUJD");
}

// Parsed in place, the client's request gives its fileData text (entities decoded) in the body's
// own memory, and the profile read before it.
TEST(ParseTranscodeCall, InPlaceTakesTheFileDataOutOfTheBody) {
    for (std::string_view text : {"QUJD", "", "Q&amp;UJD", "QUJD\r\nQUJD"}) {
        std::string body = test::ClientRequestText(test::FileDataLine(text), test::DefaultProfile());
        const auto copied = ParseTranscodeCall(body, kNs);
        const char* memory = body.data();
        auto parsed = ParseTranscodeCallInPlace(body, kNs);
        ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
        EXPECT_EQ(parsed.call.fileData, copied.call.fileData) << text;
        if (!text.empty()) {
            EXPECT_EQ(parsed.call.fileData->data(), memory) << text;
        }
        ASSERT_TRUE(parsed.call.profile);
        EXPECT_EQ(parsed.call.profile->fileFormat, copied.call.profile->fileFormat);
    }
    // A UTF-16 body is converted by the parser, and its text copied out.
    std::string utf16 = "\xFF\xFE";
    for (char c : test::ClientRequestText(test::FileDataLine("QUJD"), test::DefaultProfile())) {
        if (c == '\r') continue;
        utf16 += c;
        utf16 += '\0';
    }
    auto parsed = ParseTranscodeCallInPlace(utf16, kNs);
    ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
    EXPECT_EQ(parsed.call.fileData, "QUJD");
    // Found by fuzzing: a UTF-32 mark, where the in-place parse once read one byte more.
    const std::string utf32("\0\0\xFE\xFF<?\x14&#x1;sm\xEFx1;sm\xEF\xBB\xBB\xBFl v", 27);
    std::string body = utf32;
    EXPECT_EQ(ParseTranscodeCallInPlace(body, kNs).detail, ParseTranscodeCall(utf32, kNs).detail);
}

struct ProblemCase {
    const char* name;
    std::string xml;
    SoapProblem problem;
    CallMatch match = CallMatch::strict;
};

void PrintTo(const ProblemCase& c, std::ostream* out) { *out << c.name; }

class SoapProblemTest : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(SoapProblemTest, IsRecognised) {
    auto parsed = ParseTranscodeCall(GetParam().xml, kNs, GetParam().match);
    EXPECT_EQ(parsed.problem, GetParam().problem) << parsed.detail;
    EXPECT_FALSE(parsed.detail.empty());
    std::string body = GetParam().xml;
    auto inPlace = ParseTranscodeCallInPlace(body, kNs, GetParam().match);
    EXPECT_EQ(inPlace.problem, parsed.problem);
    EXPECT_EQ(inPlace.detail, parsed.detail);
}

const std::string kTranscode =
    "<t:transcode xmlns:t=\"http://www.korvane.com/quorra/MediaAdapter\"/>";

INSTANTIATE_TEST_SUITE_P(
    Soap, SoapProblemTest,
    ::testing::Values(
        ProblemCase{"Empty", "", SoapProblem::notXml},
        ProblemCase{"PlainText", "transcode this", SoapProblem::notXml},
        ProblemCase{"Unclosed", "<a><b></a>", SoapProblem::notXml},
        ProblemCase{"SoapTwelve",
                    "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>" +
                        kTranscode + "</e:Body></e:Envelope>",
                    SoapProblem::versionMismatch},
        ProblemCase{"NoBody", Wrap("", "<e:Header/>"), SoapProblem::noBody},
        ProblemCase{"BodyInOtherNamespace", Wrap("", "<Body>" + kTranscode + "</Body>"),
                    SoapProblem::noBody},
        ProblemCase{"OtherOperation",
                    Wrap("",
                         "<e:Body><t:convert xmlns:t=\"http://www.korvane.com/quorra/"
                         "MediaAdapter\"/></e:Body>"),
                    SoapProblem::notTranscode},
        ProblemCase{"OperationInOtherNamespace",
                    Wrap("", "<e:Body><t:transcode xmlns:t=\"urn:other\"/></e:Body>"),
                    SoapProblem::notTranscode},
        ProblemCase{"StrictOperationAfterAnother",
                    Wrap("", "<e:Body><note/>" + kTranscode + "</e:Body>"),
                    SoapProblem::notTranscode},
        ProblemCase{"LenientOtherOperation",
                    Wrap("", "<e:Body><t:convert xmlns:t=\"urn:other\"/></e:Body>"),
                    SoapProblem::notTranscode, CallMatch::lenient},
        ProblemCase{"LenientTranscodeOutsideTheBody",
                    Wrap("", "<e:Header><transcode/></e:Header><e:Body/>"),
                    SoapProblem::notTranscode, CallMatch::lenient},
        ProblemCase{"MandatoryHeader",
                    Wrap("",
                         "<e:Header><h:auth xmlns:h=\"urn:h\" e:mustUnderstand=\"1\"/>"
                         "</e:Header><e:Body>" +
                             kTranscode + "</e:Body>"),
                    SoapProblem::mustUnderstand}),
    [](const auto& info) { return std::string(info.param.name); });

// How a WSDL-driven rpc/encoded client writes the call: prefixes declared on the Envelope, an
// empty Header, xsi:type on every part.
std::string EncodedCall(std::string_view operationStart, std::string_view operationEnd) {
    return "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:ns0=\"urn:other\" "
           "xmlns:ns3=\"http://www.w3.org/2001/XMLSchema\"><SOAP-ENV:Header/><SOAP-ENV:Body>" +
           std::string(operationStart) +
           "<in0 xsi:type=\"ns0:TranscodeInput\"><request xsi:type=\"ns0:TranscodeRequest\">"
           "<source xsi:type=\"ns0:MediaSource\"><location xsi:type=\"ns3:string\"/>"
           "<fileData xsi:type=\"ns3:base64Binary\">QUJD</fileData></source>"
           "<target xsi:type=\"ns0:MediaTarget\"><profile xsi:type=\"ns0:TargetProfile\">"
           "<audio xsi:type=\"ns0:AudioProfile\"><fileFormat xsi:type=\"ns3:string\">mp4"
           "</fileFormat><codec>aac</codec><bitRate>16000</bitRate><channels>Mono</channels>"
           "<samplingRate>22050</samplingRate></audio></profile></target></request></in0>" +
           std::string(operationEnd) + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

TEST(ParseTranscodeCall, LenientlyTakesTheFirstTranscodeInAnyNamespaceOrNone) {
    struct Case {
        std::string start, end, ns;
    };
    for (const Case& c : {Case{"<ns0:transcode>", "</ns0:transcode>", "urn:other"},
                          Case{"<transcode xmlns=\"urn:d\">", "</transcode>", "urn:d"},
                          Case{"<transcode>", "</transcode>", ""},
                          Case{"<ns0:note/><ns0:transcode>", "</ns0:transcode>", "urn:other"}}) {
        std::string xml = EncodedCall(c.start, c.end);
        auto parsed = ParseTranscodeCall(xml, kNs, CallMatch::lenient);
        ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail << "\n" << xml;
        EXPECT_EQ(parsed.operationNamespace, c.ns);
        EXPECT_EQ(parsed.call.location, "");
        EXPECT_EQ(parsed.call.fileData, "QUJD");
        ASSERT_TRUE(parsed.call.profile);
        EXPECT_EQ(parsed.call.profile->samplingRate, "22050");
        EXPECT_EQ(ParseTranscodeCall(xml, kNs).problem, SoapProblem::notTranscode);
    }
    auto own = ParseTranscodeCall(
        test::ClientRequestText(test::FileDataLine("QUJD"), test::DefaultProfile()), kNs,
        CallMatch::lenient);
    EXPECT_EQ(own.operationNamespace, kNs);
}

// The call's parts as rpc/encoded clients write them; prefix p on every part.
std::string Parts(std::string_view p, std::string_view bitRate = "<bitRate>16000</bitRate>") {
    std::string x = "<" + std::string(p), y = "</" + std::string(p);
    return x + "in0>" + x + "request>" + x + "source>" + x + "fileData>QUJD" + y + "fileData>" +
           y + "source>" + x + "target>" + x + "profile>" + x + "audio>" + x + "fileFormat>mp4" +
           y + "fileFormat>" + x + "codec>aac" + y + "codec>" + std::string(bitRate) + x +
           "channels>Mono" + y + "channels>" + x + "samplingRate>22050" + y + "samplingRate>" +
           y + "audio>" + y + "profile>" + y + "target>" + y + "request>" + y + "in0>";
}

const std::string kTypes = " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"";
const std::string kDefaultNs = "<transcode xmlns=\"" + std::string(kNs) + "\">";
const std::string kMultiRef = "<m:transcode xmlns:m=\"" + std::string(kNs) +
                              "\"><in0 href=\"#a\"/></m:transcode><multiRef id=\"a\">" +
                              Parts("").substr(5, Parts("").size() - 11) + "</multiRef>";

// The parts in the default namespace, with media in place of the source's fileData.
std::string WithMedia(std::string_view media) {
    std::string parts = Parts("");
    const std::string_view fileData = "<fileData>QUJD</fileData>";
    return kDefaultNs + parts.replace(parts.find(fileData), fileData.size(), media) +
           "</transcode>";
}

struct PartsCase {
    const char* name;
    std::string body;
    CallMatch match;
    std::string bitRate;                   // "": the parts are not read
    std::optional<std::string> location{};  // set: the URL form, and no fileData read
};

void PrintTo(const PartsCase& c, std::ostream* out) { *out << c.name; }

class CallPartsTest : public ::testing::TestWithParam<PartsCase> {};

TEST_P(CallPartsTest, AreReadAsTheClientMeantThem) {
    std::string xml = Wrap(kTypes, "<e:Body>" + GetParam().body + "</e:Body>");
    auto copied = ParseTranscodeCall(xml, kNs, GetParam().match);
    auto parsed = ParseTranscodeCallInPlace(xml, kNs, GetParam().match);
    ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
    const bool read = !GetParam().bitRate.empty() && !GetParam().location;
    EXPECT_EQ(parsed.call.fileData, read ? std::optional<std::string>("QUJD") : std::nullopt);
    EXPECT_EQ(copied.call.fileData, parsed.call.fileData);
    EXPECT_EQ(parsed.call.location, GetParam().location);
    for (const auto& call : {copied.call, parsed.call})
        EXPECT_EQ(call.profile ? call.profile->bitRate : "", GetParam().bitRate);
}

const CallMatch kLenient = CallMatch::lenient;
INSTANTIATE_TEST_SUITE_P(
    Rpc, CallPartsTest,
    ::testing::Values(
        PartsCase{"DefaultNamespace", kDefaultNs + Parts("") + "</transcode>", kLenient, "16000"},
        PartsCase{"Prefixed", "<m:transcode xmlns:m=\"" + std::string(kNs) + "\">" +
                                  Parts("m:") + "</m:transcode>", kLenient, "16000"},
        PartsCase{"ThirdNamespace", kDefaultNs + "<in0 xmlns=\"urn:x\"" + Parts("").substr(4) +
                                        "</transcode>", kLenient, ""},
        PartsCase{"MultiRef", kMultiRef, kLenient, "16000"},
        PartsCase{"StrictMultiRef", kMultiRef, CallMatch::strict, ""},
        PartsCase{"DanglingHref", kMultiRef.substr(0, kMultiRef.find("<multiRef")), kLenient, ""},
        PartsCase{"IntByType", kDefaultNs + Parts("", "<bitRate xsi:type=\"xsd:int\"> +016000 "
                                                      "</bitRate>") + "</transcode>", kLenient,
                  "16000"},
        PartsCase{"StringByType", kDefaultNs + Parts("", "<bitRate xsi:type=\"xsd:string\">016000"
                                                         "</bitRate>") + "</transcode>", kLenient,
                  "016000"},
        PartsCase{"NilFileDataBesideLocation",
                  WithMedia("<location>u</location><fileData xsi:nil=\"true\"/>"), kLenient,
                  "16000", "u"},
        PartsCase{"NilAsOneAnyPrefix",
                  WithMedia("<location>u</location><fileData xmlns:i=\"http://www.w3.org/2001/"
                            "XMLSchema-instance\" i:nil=\" 1 \">QUJD</fileData>"), kLenient,
                  "16000", "u"},
        PartsCase{"NilLocationBesideFileData",
                  WithMedia("<location xsi:nil=\"true\"/><fileData>QUJD</fileData>"), kLenient,
                  "16000"},
        PartsCase{"NilFalse", WithMedia("<fileData xsi:nil=\"false\">QUJD</fileData>"),
                  kLenient, "16000"},
        PartsCase{"NilOutsideXsi",
                  WithMedia("<fileData xmlns:x=\"urn:x\" x:nil=\"true\">QUJD</fileData>"),
                  kLenient, "16000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseTranscodeCall, OptionalHeaderAndDoctypeEntitiesAreNotExpanded) {
    std::string xml =
        "<!DOCTYPE e:Envelope [<!ENTITY x \"expanded\">]>" +
        Wrap("",
             "<e:Header><h:a xmlns:h=\"urn:h\" e:mustUnderstand=\"0\"/></e:Header><e:Body>"
             "<t:transcode xmlns:t=\"http://www.korvane.com/quorra/MediaAdapter\"><in0>"
             "<request><source><location>&x;</location></source></request></in0>"
             "</t:transcode></e:Body>");
    auto parsed = ParseTranscodeCall(xml, kNs);
    ASSERT_EQ(parsed.problem, SoapProblem::none) << parsed.detail;
    EXPECT_NE(parsed.call.location, "expanded");
}

}  // namespace
}  // namespace kqc::standin

namespace kqc::standin {
namespace {

struct CharsCase {
    const char* name;
    std::string_view document;
    bool valid;
};

void PrintTo(const CharsCase& c, std::ostream* out) { *out << c.name; }

class XmlCharactersTest : public ::testing::TestWithParam<CharsCase> {};

TEST_P(XmlCharactersTest, AcceptOnlyXmlCharactersInUtf8) {
    EXPECT_EQ(HasValidXmlCharacters(GetParam().document), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, XmlCharactersTest,
    ::testing::Values(
        CharsCase{"Ascii", "<a>\t\r\nb</a>", true},
        CharsCase{"TwoThreeFourByteSequences", "<a>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5</a>",
                  true},
        CharsCase{"ByteOrderMark", "\xEF\xBB\xBF<a/>", true},
        CharsCase{"ControlCharacter", "<a>\x01</a>", false},
        CharsCase{"Nul", std::string_view("<a>\0</a>", 8), false},
        CharsCase{"Latin1Byte", "<a>caf\xE9</a>", false},
        CharsCase{"TruncatedSequence", "<a>\xE2\x82</a>", false},
        CharsCase{"Overlong", "<a>\xC0\xAF</a>", false},
        CharsCase{"Surrogate", "<a>\xED\xA0\x80</a>", false},
        CharsCase{"NonCharacterFFFE", "<a>\xEF\xBF\xBE</a>", false},
        CharsCase{"BeyondUnicode", "<a>\xF4\x90\x80\x80</a>", false},
        CharsCase{"DeclaredUtf8", "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><a>\xE9</a>", false},
        CharsCase{"DeclaredLatin1", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9</a>", true},
        CharsCase{"ControlDeepInAsciiRun", "<a>0123456789abcdefghijklm\x1Fnopqrstu</a>", false},
        CharsCase{"HighByteDeepInAsciiRun", "<a>0123456789abcdefghijk\x80lmnopqrstu</a>", false},
        CharsCase{"DeleteInAsciiRun", "<a>0123456789abcdefghijklm\x7Fnopqrstu</a>", true},
        CharsCase{"Utf16WithMark", "\xFF\xFE<\0a\0/\0>\0", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseTranscodeCall, ABodyWithBytesThatAreNoXmlCharactersIsNotXml) {
    auto parsed = ParseTranscodeCall(
        test::ClientRequestText(test::LocationLine("http://h/caf\xE9.mp3"), test::DefaultProfile()),
        kNs);
    EXPECT_EQ(parsed.problem, SoapProblem::notXml);
}

}  // namespace
}  // namespace kqc::standin
