#include "client/request_builder.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace kqc {
namespace {

using test::readBytes;
using test::TempDir;

std::string expectedRequest(const std::string& sourceLine) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n"
           "<soapenv:Envelope\r\n"
           "soapenv:encodingStyle = \"http://schemas.xmlsoap.org/soap/encoding/\"\r\n"
           "xmlns:soapenv = \"http://schemas.xmlsoap.org/soap/envelope/\"\r\n"
           "xmlns:xsd = \"http://www.w3.org/2001/XMLSchema\"\r\n"
           "xmlns:xsi = \"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
           "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
           "<soapenv:Body>\r\n"
           "<ns1:transcode xmlns:ns1=\"http://www.korvane.com/quorra/MediaAdapter\">\r\n"
           "<in0>\r\n<transactionID />\r\n<request>\r\n<source>\r\n<type>audio</type>\r\n"
           "<format>mp3</format>\r\n<codec>mp3</codec>\r\n" +
           sourceLine +
           "\r\n</source>\r\n<target>\r\n<profileID />\r\n<profile>\r\n<audio>\r\n"
           "<fileFormat>wav</fileFormat>\r\n<codec>pcm</codec>\r\n<bitRate>32000</bitRate>\r\n"
           "<channels>Stereo</channels>\r\n<durationLimit>-1</durationLimit>\r\n"
           "<samplingRate>44100</samplingRate>\r\n<samplingResolution>0</samplingResolution>\r\n"
           "</audio>\r\n</profile>\r\n</target>\r\n<additionalData />\r\n</request>\r\n"
           "</in0>\r\n</ns1:transcode>\r\n</soapenv:Body>\r\n</soapenv:Envelope>";
}

class RequestBuilderTest : public ::testing::Test {
protected:
    std::string build(std::string_view fileData, std::string_view location) {
        std::string request = "overwritten";
        EXPECT_TRUE(CreateSOAPRequestXML(target, log, request, fileData, location, sourceCodec));
        return request;
    }
    TempDir dir;
    TargetProfile target{.format = "wav", .codec = "pcm", .bitRate = "32000",
                         .samplingRate = "44100", .channels = "Stereo"};
    std::string sourceCodec = "mp3";
    test::RecordingSink view;
    ActivityLog log{view, false, dir / "debug.log"};
};

TEST_F(RequestBuilderTest, FileDataBuiltInPlaceIsTheSameRequest) {
    std::string request = FileDataRequestHead() + "Zm9v";
    ASSERT_TRUE(CreateSOAPRequestXML(target, log, request));
    EXPECT_EQ(request, expectedRequest("<fileData>Zm9v</fileData>"));
    EXPECT_EQ(FileDataRequestCapacity(3, target), request.size());
    target.codec = "&<>\r";  // each escaped five times longer
    request = FileDataRequestHead() + "Zm9v";
    ASSERT_TRUE(CreateSOAPRequestXML(target, log, request));
    EXPECT_EQ(FileDataRequestCapacity(3, target), request.size());
}

TEST_F(RequestBuilderTest, ThirtyEightLinesByteForByte) {
    EXPECT_EQ(build("Zm9v", "http://host/a.mp3"),
              expectedRequest("<location>http://host/a.mp3</location>"));
    EXPECT_EQ(build("Zm9v", ""), expectedRequest("<fileData>Zm9v</fileData>"));
    EXPECT_EQ(build("", ""), expectedRequest("<fileData></fileData>"));
    const std::string request = build("", "x");
    EXPECT_EQ(std::count(request.begin(), request.end(), '\n'), 37);
}

TEST_F(RequestBuilderTest, EmptyComboGivesAnEmptyElement) {
    target.bitRate = "";
    EXPECT_NE(build("", "x").find("\r\n<bitRate></bitRate>\r\n"), std::string::npos);
}

TEST_F(RequestBuilderTest, DebugEntryHoldsTheWholeRequestAndNothingInTheBox) {
    ActivityLog ticked(view, true, dir / "debug.log");
    std::string request;
    CreateSOAPRequestXML(target, ticked, request, "Zm9v", "");
    EXPECT_EQ(readBytes(dir / "debug.log"), "Request Structure:\r\n" + request + "\r\n\r\n");
    EXPECT_EQ(view.box, "");
}

// A real XML reader gets every value back exactly, however awkward the text.
TEST_F(RequestBuilderTest, ValuesSurviveARealXmlParser) {
    const std::string awkward[] = {"Rock & Roll.mp4", "<b>\"quoted\" 'single'</b>", "a > b",
                                   "Gr\xc3\xbc\xc3\x9f""e \xe6\x97\xa5\xe6\x9c\xac", "&amp;"};
    for (const std::string& value : awkward) {
        target = {value, value, value, value, value};
        sourceCodec = value;
        const std::string location = "http://host/" + value + "?a=1&b=2";
        pugi::xml_document doc;
        const std::string request = build("", location);
        ASSERT_TRUE(doc.load_string(request.c_str())) << request;
        auto envelope = doc.child("soapenv:Envelope");
        auto in0 = envelope.child("soapenv:Body").child("ns1:transcode").child("in0");
        auto audio = in0.child("request").child("target").child("profile").child("audio");
        EXPECT_EQ(in0.child("request").child("source").child("location").text().get(), location);
        EXPECT_EQ(in0.child("request").child("source").child("codec").text().get(), value);
        for (const char* name : {"fileFormat", "codec", "bitRate", "channels", "samplingRate"})
            EXPECT_EQ(audio.child(name).text().get(), value) << name;
        EXPECT_STREQ(envelope.child("soapenv:Body").child("ns1:transcode").attribute("xmlns:ns1").value(),
                     std::string(kServiceNamespace).c_str());
    }
}

}  // namespace
}  // namespace kqc
