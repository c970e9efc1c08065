#include "media/base64.h"
#include "standin/standin_test_support.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <future>

namespace kqc::test {
namespace {

using standin::TargetProfile;

std::string FileDataRequest(std::string_view bytes, TargetProfile profile = DefaultProfile()) {
    return ClientRequestText(FileDataLine(kqc::Base64Encode(bytes)), profile);
}

// The request with its transcode element in another namespace, or in none for "".
std::string InNamespace(std::string request, std::string_view ns) {
    std::string own = "ns1:transcode xmlns:ns1=\"http://www.korvane.com/quorra/MediaAdapter\"";
    std::string other =
        ns.empty() ? "transcode" : "o:transcode xmlns:o=\"" + std::string(ns) + "\"";
    request.replace(request.find(own), own.size(), other);
    std::string end = "</ns1:transcode>";
    request.replace(request.find(end), end.size(), ns.empty() ? "</transcode>" : "</o:transcode>");
    return request;
}

std::string ReturnCode(const httplib::Result& result) {
    if (!result || result->status != 200) return "no 200 answer";
    return ElementText(result->body, "returnCode").value_or("missing");
}

TEST(StandinService, EchoAnswersTheSourceBytesExactlyAsTheClientReadsThem) {
    RunningStandin standin;
    std::string bytes = allByteValues();
    auto result = standin.post(FileDataRequest(bytes));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type"), "text/xml; charset=utf-8");
    // The client searches for these exact start tags.
    EXPECT_NE(result->body.find("<returnCode xsi:type=\"xsd:int\">0</returnCode>"),
              std::string::npos);
    EXPECT_NE(result->body.find("<message xsi:type=\"xsd:string\">OK</message>"),
              std::string::npos);
    auto fileData = ElementText(result->body, "fileData");
    ASSERT_TRUE(fileData);
    EXPECT_NE(result->body.find("<fileData xsi:type=\"xsd:base64Binary\">"), std::string::npos);
    std::string decoded;
    ASSERT_TRUE(kqc::Base64Decode(*fileData, decoded));
    EXPECT_EQ(decoded, bytes);
    EXPECT_NE(
        standin.log().find(" status=200 source=fileData size=" + std::to_string(bytes.size()) +
                           " profile=mp4/aac/16000/22050/Mono code=0 duration="),
        std::string::npos)
        << standin.log();
}

TEST(StandinService, FetchesTheLocationFromItsWebRootWithEntitiesDecoded) {
    TempDir root;
    std::string bytes = allByteValues() + "tail";
    writeBytes(root / "a&b.mp3", bytes);
    auto options = TestOptions();
    options.webRoot = root.path();
    RunningStandin standin(options);
    std::string url = standin.service().webRootUrl() + "a&amp;b.mp3";
    auto result = standin.post(ClientRequestText(LocationLine(url), DefaultProfile()));
    ASSERT_EQ(ReturnCode(result), "0");
    std::string decoded;
    ASSERT_TRUE(kqc::Base64Decode(ElementText(result->body, "fileData").value_or(""), decoded));
    EXPECT_EQ(decoded, bytes);
    EXPECT_NE(standin.log().find("source=location size=" + std::to_string(bytes.size())),
              std::string::npos);
}

struct CodeCase {
    const char* name;
    std::function<std::string(const std::string& webRootUrl)> request;
    const char* code;
    const char* message;
};

void PrintTo(const CodeCase& c, std::ostream* out) { *out << c.name; }

class StandinReturnCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(StandinReturnCodeTest, AnswersWithCodeAndMessageAndNoFileData) {
    TempDir root;
    writeBytes(root / "song.mp3", "ID3");
    auto options = TestOptions();
    options.webRoot = root.path();
    RunningStandin standin(options);
    auto result = standin.post(GetParam().request(standin.service().webRootUrl()));
    ASSERT_EQ(ReturnCode(result), GetParam().code) << (result ? result->body : "");
    EXPECT_EQ(ElementText(result->body, "message"), GetParam().message);
    EXPECT_EQ(result->body.find("<fileData"), std::string::npos);
}

std::string WithoutLine(std::string text, std::string_view line) {
    auto at = text.find(line);
    if (at != std::string::npos) text.erase(at, line.size());
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StandinReturnCodeTest,
    ::testing::Values(
        CodeCase{"ForbiddenCombination",
                 [](auto&) {
                     return FileDataRequest("x", {"mp4", "aac", "16000", "22050", "Stereo"});
                 },
                 "2001", "Error in command parameters"},
        CodeCase{"UnknownCodec",
                 [](auto&) {
                     return FileDataRequest("x", {"mp4", "vorbis", "16000", "22050", "Mono"});
                 },
                 "2001", "Error in command parameters"},
        CodeCase{"NoSource",
                 [](auto&) {
                     std::string text = FileDataRequest("x");
                     return WithoutLine(WithoutLine(text, "<source>"), "</source>");
                 },
                 "2007", "Erroneous transconding request"},
        CodeCase{
            "SourceWithoutMedia",
            [](auto&) { return WithoutLine(FileDataRequest("x"), "<fileData>eA==</fileData>"); },
            "2007", "Erroneous transconding request"},
        CodeCase{"EmptyLocationAndNoFileData",
                 [](auto&) { return ClientRequestText(LocationLine(""), DefaultProfile()); },
                 "2007", "Erroneous transconding request"},
        CodeCase{"NoTarget",
                 [](auto&) {
                     std::string text = FileDataRequest("x");
                     auto from = text.find("<target>");
                     auto to = text.find("</target>") + 9;
                     return text.erase(from, to - from);
                 },
                 "2007", "Erroneous transconding request"},
        CodeCase{
            "ProfileWithoutBitRate",
            [](auto&) { return WithoutLine(FileDataRequest("x"), "<bitRate>16000</bitRate>"); },
            "2007", "Erroneous transconding request"},
        CodeCase{"BadBase64",
                 [](auto&) { return ClientRequestText(FileDataLine("QU*D"), DefaultProfile()); },
                 "2002", "Error in input media"},
        CodeCase{"LocationNotFound",
                 [](const std::string& web) {
                     return ClientRequestText(LocationLine(web + "missing.mp3"), DefaultProfile());
                 },
                 "2002", "Error in input media"},
        CodeCase{"LocationWithANulByte",
                 [](const std::string& web) {
                     return ClientRequestText(LocationLine(web + "song.mp3%00.txt"),
                                              DefaultProfile());
                 },
                 "2002", "Error in input media"},
        CodeCase{"LocationOutsideTheWebRoot",
                 [](const std::string& web) {
                     return ClientRequestText(LocationLine(web + "%2E%2E/%2E%2E/%2E%2E/etc/passwd"),
                                              DefaultProfile());
                 },
                 "2002", "Error in input media"},
        CodeCase{"LocationRefused",
                 [](auto&) {
                     return ClientRequestText(LocationLine("http://127.0.0.1:1/song.mp3"),
                                              DefaultProfile());
                 },
                 "2002", "Error in input media"},
        CodeCase{"LocationNotHttp",
                 [](auto&) {
                     return ClientRequestText(LocationLine("file:///etc/hostname"),
                                              DefaultProfile());
                 },
                 "2002", "Error in input media"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    std::string body;
    const char* soapAction;
    const char* faultCode;  // nullptr: accepted
    bool strict = false;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class StandinFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(StandinFaultTest, AnswersHttp500WithASoapFault) {
    auto options = TestOptions();
    options.strict = GetParam().strict;
    RunningStandin standin(options);
    auto result = standin.post(GetParam().body, GetParam().soapAction);
    ASSERT_TRUE(result);
    // An empty header value is dropped by the HTTP library, so it counts as missing.
    const char* action = GetParam().soapAction;
    EXPECT_NE(
        standin.log().find(std::string(" action=") + (action && *action ? action : "-") + "\n"),
        std::string::npos)
        << standin.log();
    if (!GetParam().faultCode) {
        EXPECT_EQ(ReturnCode(result), "0");
        return;
    }
    EXPECT_EQ(result->status, 500);
    EXPECT_EQ(ElementText(result->body, "faultcode"),
              std::string("soapenv:") + GetParam().faultCode);
    EXPECT_TRUE(ElementText(result->body, "faultstring"));
    EXPECT_EQ(result->body.find("<returnCode"), std::string::npos);
    EXPECT_NE(standin.log().find("status=500"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StandinFaultTest,
    ::testing::Values(
        FaultCase{"NotXml", "this is not xml", "transcode", "Client"},
        FaultCase{"TruncatedXml", FileDataRequest("x").substr(0, 300), "transcode", "Client"},
        FaultCase{"NoSoapAction", FileDataRequest("x"), nullptr, "Client"},
        FaultCase{"StrictNoSoapAction", FileDataRequest("x"), nullptr, "Client", true},
        FaultCase{"StrictWrongSoapAction", FileDataRequest("x"), "convert", "Client", true},
        FaultCase{"StrictEmptySoapAction", FileDataRequest("x"), "", "Client", true},
        FaultCase{"StrictQuotedSoapAction", FileDataRequest("x"), "\"transcode\"", nullptr, true},
        FaultCase{"StrictOtherNamespace", InNamespace(FileDataRequest("x"), "urn:other"),
                  "transcode", "Client", true},
        FaultCase{"UriSoapAction", FileDataRequest("x"), "\"urn:other#transcode\"", nullptr},
        FaultCase{"EmptyQuotedSoapAction", FileDataRequest("x"), "\"\"", nullptr},
        FaultCase{"EmptySoapAction", FileDataRequest("x"), "", "Client"},
        FaultCase{"OtherNamespace", InNamespace(FileDataRequest("x"), "urn:other"), "\"\"",
                  nullptr},
        FaultCase{"NotAnEnvelope", "<transcode/>", "transcode", "VersionMismatch"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StandinService, RefusesAnOversizedBodyWith413BeforeReadingIt) {
    auto options = TestOptions();
    options.maxBody = 1000;
    RunningStandin standin(options);
    // Only the head is sent: the answer must not wait for the body.
    std::string answer = RawExchange(standin.service().port(),
                                     "POST /axis/services/MediaAdapter HTTP/1.1\r\n"
                                     "Host: 127.0.0.1\r\nSOAPAction: transcode\r\n"
                                     "Content-Length: 1001\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 413") << answer;

    std::string chunk(600, 'x');
    answer = RawExchange(standin.service().port(),
                         "POST /axis/services/MediaAdapter HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "SOAPAction: transcode\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "258\r\n" +
                             chunk + "\r\n258\r\n" + chunk + "\r\n0\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 413") << answer;

    // A client that sends the refused body anyway, once the 413 is in: the connection has
    // ended, so a request inside that body is never served.
    std::string inner = "GET /axis/services/MediaAdapter?wsdl HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    answer = RawExchange(standin.service().port(),
                         "POST /axis/services/MediaAdapter HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "SOAPAction: transcode\r\nContent-Length: 1001\r\n\r\n",
                         inner + std::string(1001 - inner.size(), ' '));
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 413") << answer;
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("HTTP/1.1", 12), std::string::npos) << answer;

    // A body of exactly the limit is read and judged (here: not XML).
    auto result = standin.post(std::string(1000, 'x'));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 500);
}

TEST(StandinService, AnswersARequestWhileAnotherIsServedWith2005) {
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    RunningStandin standin(TestOptions(), [&entered, released] {
        entered.set_value();
        released.wait_for(std::chrono::seconds(60));
    });
    auto first =
        std::async(std::launch::async, [&] { return standin.post(FileDataRequest("one")); });
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);

    auto second = standin.post(FileDataRequest("two"));
    EXPECT_EQ(ReturnCode(second), "2005");
    EXPECT_EQ(ElementText(second->body, "message"), "Number of concurrent requests exceeded");
    release.set_value();

    auto firstResult = first.get();
    EXPECT_EQ(ReturnCode(firstResult), "0");
}

TEST(StandinService, ForcedCodeAnswersEveryWellFormedCall) {
    auto options = TestOptions();
    options.forceCode = "2004";
    RunningStandin standin(options);
    auto result = standin.post(FileDataRequest("x"));
    EXPECT_EQ(ReturnCode(result), "2004");
    EXPECT_EQ(ElementText(result->body, "message"), "Unsurported media");

    auto fault = standin.post("not xml");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->status, 500);
}

TEST(StandinService, ForcedCodeZeroCarriesNoFileDataAndOddCodesAreEscaped) {
    for (const char* code : {"0", "a<b&c"}) {
        auto options = TestOptions();
        options.forceCode = code;
        RunningStandin standin(options);
        auto result = standin.post(FileDataRequest("x"));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->body.find("<fileData"), std::string::npos);
        EXPECT_EQ(ElementText(result->body, "returnCode"),
                  std::string(code) == "0" ? "0" : "a&lt;b&amp;c");
    }
}

TEST(StandinService, ForcedStatusAnswersEveryPost) {
    auto options = TestOptions();
    options.forceStatus = 503;
    RunningStandin standin(options);
    auto result = standin.post(FileDataRequest("x"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 503);
    EXPECT_EQ(ElementText(result->body, "faultcode"), "soapenv:Server");
}

TEST(StandinService, AnswersACallInTheNamespaceItCameIn) {
    RunningStandin standin;
    const std::string encoding =
        "soapenv:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"";
    for (std::string ns : {"urn:other", ""}) {
        auto result = standin.post(InNamespace(FileDataRequest("abc"), ns), "\"\"");
        ASSERT_EQ(ReturnCode(result), "0") << ns;
        std::string answer =
            ns.empty() ? "<transcodeResponse " + encoding +
                             ">\r\n<transcodeReturn xsi:type=\"TranscodeResponse\">"
                       : "<ns1:transcodeResponse " + encoding + " xmlns:ns1=\"" + ns +
                             "\">\r\n<transcodeReturn xsi:type=\"ns1:TranscodeResponse\">";
        EXPECT_NE(result->body.find(answer), std::string::npos) << result->body;
        EXPECT_EQ(ElementText(result->body, "fileData"), kqc::Base64Encode("abc"));
    }
}

TEST(StandinService, ServesTheWsdlOnGetAndHeadAndOnlyPostCalls) {
    RunningStandin standin;
    httplib::Client client("127.0.0.1", standin.service().port());
    for (const char* query : {"?wsdl", "?WSDL"}) {
        auto wsdl = client.Get(std::string("/axis/services/MediaAdapter") + query,
                               {{"Host", "stand-in.test:8080"}});
        ASSERT_TRUE(wsdl);
        EXPECT_EQ(wsdl->status, 200);
        EXPECT_EQ(wsdl->get_header_value("Content-Type"), "text/xml; charset=utf-8");
        EXPECT_NE(wsdl->body.find("<wsdlsoap:address "
                                  "location=\"http://stand-in.test:8080/axis/services/"
                                  "MediaAdapter\"/>"),
                  std::string::npos)
            << wsdl->body;
        EXPECT_NE(wsdl->body.find("targetNamespace=\"http://www.korvane.com/quorra/MediaAdapter\""),
                  std::string::npos);
        // rpc/encoded importers refuse a choice: SOAP encoding has no form for one.
        EXPECT_EQ(wsdl->body.find(":choice"), std::string::npos);
        auto head = client.Head(std::string("/axis/services/MediaAdapter") + query,
                                {{"Host", "stand-in.test:8080"}});
        ASSERT_TRUE(head);
        EXPECT_EQ(head->status, 200);
        EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(wsdl->body.size()));
    }
    auto escaped = client.Get("/axis/services/MediaAdapter?wsdl", {{"Host", "a\"<b"}});
    ASSERT_TRUE(escaped);
    EXPECT_NE(escaped->body.find("location=\"http://a&quot;&lt;b/axis/"), std::string::npos);

    auto get = client.Get("/axis/services/MediaAdapter");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 405);
    auto other = client.Post("/axis/services/Other", FileDataRequest("x"), "text/xml");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->status, 404);
}

TEST(StandinService, ListensOnLoopbackOnlyByDefaultAndReportsBindFailures) {
    RunningStandin first;
    EXPECT_EQ(first.service().endpointUrl(),
              "http://127.0.0.1:" + std::to_string(first.service().port()) +
                  "/axis/services/MediaAdapter");
    auto options = TestOptions();
    options.port = first.service().port();
    standin::StandinService clash(options);
    EXPECT_THROW(clash.start(), std::runtime_error);

    auto missingRoot = TestOptions();
    missingRoot.webRoot = "/nonexistent/kqc-web-root";
    standin::StandinService noRoot(missingRoot);
    EXPECT_THROW(noRoot.start(), std::runtime_error);
}

}  // namespace
}  // namespace kqc::test
