#include "client/response_handler.h"
#include "support/recording_sink.h"
#include "client/return_codes.h"
#include "media/base64.h"
#include "support/service_answer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kqc {
namespace {

using test::allByteValues;
using test::fileData;
using test::message;
using test::returnCode;
using test::readBytes;
using test::TempDir;
namespace fs = std::filesystem;

TEST(ExtractTagValue, FindsTheFirstStartAndTheFirstEndTag) {
    struct Case { std::string text; bool found; std::string value; };
    const Case cases[] = {
        {"<a>x</a>", true, "x"},
        {"<a></a>", true, ""},
        {"<a> &amp; </a>", true, " &amp; "},
        {"<a>1</a><a>2</a>", true, "1"},
        {"<a>1<a>2</a></a>", true, "1<a>2"},
        {"</a><a>x</a>", false, "unchanged"},  // end tag before the start tag
        {"<a>", false, "unchanged"},
        {"</a>", false, "unchanged"},
        {"<A>x</A>", false, "unchanged"},
    };
    for (const auto& c : cases) {
        std::string_view value = "unchanged";
        EXPECT_EQ(ExtractTagValue(c.text, "<a>", "</a>", value), c.found) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    std::string_view value = "unchanged";
    EXPECT_FALSE(ExtractTagValue("<ab>x", "<ab>", "b>", value)) << "end tag inside the start tag";
}

TEST(ReturnCodeText, EveryRowAndTheFallback) {
    const std::pair<const char*, const char*> table[] = {
        {"0000", "OK"}, {"1001", "Parsing Error"}, {"1002", "Transcoder activation failure"},
        {"1003", "Timeout waiting for Transcoder response"}, {"1004", "Erroneous response structure"},
        {"1005", "Error is response data"}, {"1006", "General Server Error"},
        {"2001", "Error in command parameters"}, {"2002", "Error in input media"},
        {"2003", "Processing Error"}, {"2004", "Unsurported media"},
        {"2005", "Number of concurrent requests exceeded"}, {"2006", "Unsupported transcoding request"},
        {"2007", "Erroneous transconding request"}, {"2008", "Transcoding initialization failure"},
        {"3001", "Resources not available"}, {"3002", "Request Type not supported"},
        {"3003", "Resourceactivation refused"}, {"3004", "General timeout"},
        {"3005", "Internal resource activation failure"}, {"9999", "Unknown Error"},
        {"0", "Unknown Error [Not specified]"}, {"", "Unknown Error [Not specified]"},
        {" 2001", "Unknown Error [Not specified]"}, {"02001", "Unknown Error [Not specified]"},
    };
    for (const auto& [code, text] : table) EXPECT_EQ(ReturnCodeText(code), text) << code;
}

class ResponseHandleTest : public ::testing::Test {
protected:
    std::string handle(const std::string& response, std::string_view name = "out.mp4") {
        sink.box = "";
        ResponseHandle(targetDir, log, response, name);
        return sink.box;
    }
    std::string outPath(std::string_view name = "out.mp4") const { return (dir / name).string(); }

    TempDir dir;
    std::string targetDir = dir.path().string();
    test::RecordingSink sink;
    ActivityLog log{sink, false};
};

TEST_F(ResponseHandleTest, SuccessSavesTheDecodedBytes) {
    EXPECT_EQ(handle(returnCode("0") + message("done") + fileData(Base64Encode(allByteValues()))),
              "\r\nSaved transcoded file as " + outPath());
    EXPECT_EQ(readBytes(outPath()), allByteValues());
    EXPECT_EQ(handle(returnCode("0") + fileData("")), "\r\nSaved transcoded file as " + outPath());
    EXPECT_EQ(readBytes(outPath()), "");
}

TEST_F(ResponseHandleTest, FailureCodesAreLoggedWithTheirMessageAndWriteNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"2001", "2001 - Error in command parameters"},
        {"0000", "0000 - OK"},
        {"9999", "9999 - Unknown Error"},
        {"42", "42 - Unknown Error [Not specified]"},
        {"", " - Unknown Error [Not specified]"},
        {" 0 ", " 0  - Unknown Error [Not specified]"},
    };
    for (const auto& [code, tail] : cases) {
        EXPECT_EQ(handle(returnCode(code) + message("ignored") + fileData("Zm9v")),
                  "\r\nResponseHandle Failure: Returncode was " + tail);
    }
    EXPECT_FALSE(fs::exists(outPath()));
}

TEST_F(ResponseHandleTest, WithoutAReturnCodeOnlyTheMessageIsLogged) {
    EXPECT_EQ(handle(message("Tom &amp; Jerry") + fileData("Zm9v")),
              "\r\nResponse Message: Tom &amp; Jerry");
    EXPECT_EQ(handle("<returnCode>0</returnCode>" + fileData("Zm9v")), "")
        << "a code without its type attribute counts as missing";
    EXPECT_EQ(handle("</returnCode><returnCode xsi:type=\"xsd:int\">0"), "")
        << "end tag first: absent";
    EXPECT_FALSE(fs::exists(outPath()));
}

TEST_F(ResponseHandleTest, MissingOrUndecodableFileData) {
    EXPECT_EQ(handle(returnCode("0")), "\r\nNo <fileData> was Found");
    EXPECT_EQ(handle(returnCode("0") + "<fileData>Zm9v</fileData>"), "\r\nNo <fileData> was Found");
    EXPECT_EQ(handle(returnCode("0") + fileData("Zm9v!")),
              "\r\nError decoding <fileData> for " + outPath());
    EXPECT_FALSE(fs::exists(outPath()));
    EXPECT_EQ(handle(returnCode("0") + fileData("Zm9v\r\nYmFy\r\n")),
              "\r\nSaved transcoded file as " + outPath());
    EXPECT_EQ(readBytes(outPath()), "foobar");
}

TEST_F(ResponseHandleTest, PathIsFolderSeparatorAndNameWithoutCheckingTheFolderEnd) {
    targetDir += "/";
    EXPECT_EQ(handle(returnCode("0") + fileData("Zm9v")),
              "\r\nSaved transcoded file as " + dir.path().string() + "//out.mp4");
    EXPECT_EQ(readBytes(outPath()), "foo");
}

}  // namespace
}  // namespace kqc
