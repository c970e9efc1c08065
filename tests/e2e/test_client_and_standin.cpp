#include "client/service_call.h"
#include "client/transcode_run.h"
#include "standin/standin_test_support.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace kqc::test {
namespace {

const std::string kSeparator(49, '-');

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += "\r\n" + line;
    return text;
}

std::string RandomBytes(std::size_t size) {
    std::mt19937 generator(42);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// A client run aimed at an in-process stand-in that also serves web/.
class ClientAndStandin : public ::testing::Test {
protected:
    void startStandin(standin::StandinOptions options = TestOptions()) {
        std::filesystem::create_directory(m_work / "web");
        std::filesystem::create_directory(m_work / "src");
        std::filesystem::create_directory(m_work / "out");
        options.webRoot = m_work / "web";
        // Strict, so that a change in the client's namespace or SOAPAction fails here.
        options.strict = true;
        m_standin = std::make_unique<RunningStandin>(options);
        m_values.endpoint = m_standin->service().endpointUrl();
        m_values.webServerUrl = m_standin->service().webRootUrl();
        m_values.sourceDir = (m_work / "src").string();
        m_values.targetDir = (m_work / "out").string();
        m_values.debugLogPath = m_work / "debug.log";
    }

    void run() { TranscodeRun(m_values, m_sink); }

    std::filesystem::path web(std::string_view name) const { return m_work / "web" / name; }
    std::filesystem::path src(std::string_view name) const { return m_work / "src" / name; }
    std::filesystem::path out(std::string_view name) const { return m_work / "out" / name; }
    std::size_t outputCount() const {
        auto files = std::filesystem::directory_iterator(m_work / "out");
        return static_cast<std::size_t>(std::distance(begin(files), end(files)));
    }

    TempDir m_work;
    RunValues m_values;
    RecordingSink m_sink;
    std::unique_ptr<RunningStandin> m_standin;
};

// Names as users have them, with characters that cannot stand in a URL as they are; an empty
// line in the list is skipped.
TEST_F(ClientAndStandin, UrlModeEchoRoundTripKeepsEveryByteAndEveryName) {
    startStandin();
    const std::vector<std::string> names = {"song.mp3",  "a&b.mp3",  "a440 stereo.mp3",
                                            "#1 hit.mp3", "100%.mp3", "caf\xC3\xA9 \xCE\xB1.mp3"};
    std::string list;
    for (const std::string& name : names) {
        writeBytes(web(name), name + allByteValues());
        list += (list.empty() ? "" : name == "a&b.mp3" ? "\r\n\r\n" : "\r\n") + name;
    }
    m_values.fileList = list;
    run();

    const std::string url = m_standin->service().webRootUrl();
    std::string expected;
    for (const std::string& name : names) {
        const std::string output = name.substr(0, name.size() - 4) + ".mp4";
        EXPECT_EQ(readBytes(out(output)), name + allByteValues()) << name;
        expected += Lines({"Starting on " + url + "/" + name, "CreateSOAPRequestXML successfully",
                           "PostXML successfullly", "Saved transcoded file as " + out(output).string(),
                           kSeparator, ""});
    }
    EXPECT_EQ(m_sink.box, expected);
}

TEST_F(ClientAndStandin, FileSystemModeEchoRoundTripSendsOnlyMatchingFiles) {
    startStandin();
    std::string large = RandomBytes(3 * 1024 * 1024 + 1);
    writeBytes(src("one.mp3"), large);
    writeBytes(src("Two.MP3"), allByteValues());
    writeBytes(src("skip.wav"), "not sent");
    m_values.urlMode = false;
    run();

    EXPECT_EQ(readBytes(out("one.mp4")), large);
    EXPECT_EQ(readBytes(out("Two.mp4")), allByteValues());
    EXPECT_EQ(outputCount(), 2u);
    std::string log = m_sink.box;
    EXPECT_EQ(log.find("Starting on"), std::string::npos);
    EXPECT_NE(log.find(Lines({"Starting to Base64 Encode File", "CreateSOAPRequestXML successfully",
                              "PostXML successfullly",
                              "Saved transcoded file as " + out("one.mp4").string()})),
              std::string::npos)
        << log;
}

class ClientAndStandinBothModes : public ClientAndStandin,
                                  public ::testing::WithParamInterface<bool> {
protected:
    // Puts one source where the current mode takes it from.
    void addSource(std::string_view name, std::string_view bytes) {
        if (GetParam()) {
            writeBytes(web(name), bytes);
            std::string list = m_values.fileList;
            m_values.fileList = list.empty() ? std::string(name) : list + "\r\n" + std::string(name);
        } else {
            writeBytes(src(name), bytes);
        }
        m_values.urlMode = GetParam();
    }
};

TEST_P(ClientAndStandinBothModes, AForbiddenCombinationIsLoggedAs2001AndWritesNothing) {
    startStandin();
    addSource("song.mp3", "ID3");
    m_values.target.channels = "Stereo";  // AAC stereo needs 32000 at least
    run();
    std::string log = m_sink.box + "\r\n";
    EXPECT_NE(log.find("\r\nResponseHandle Failure: Returncode was 2001 - Error in command "
                       "parameters\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(outputCount(), 0u);
}

TEST_P(ClientAndStandinBothModes, ARealWavTranscodeGivesAacAtTheRequestedRateAndChannels) {
    if (!FfmpegPresent()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
    startStandin(FfmpegOptions());
    addSource("tone.wav", ToneWav(44100, 1000));
    m_values.sourceFormat = "wav";
    m_values.target.channels = GetParam() ? "Mono" : "Stereo";
    m_values.target.bitRate = GetParam() ? "16000" : "32000";
    m_values.target.samplingRate = GetParam() ? "22050" : "44100";
    run();
    ASSERT_TRUE(std::filesystem::exists(out("tone.mp4"))) << m_sink.box;
    EXPECT_EQ(ProbeAudio(out("tone.mp4")), GetParam() ? "aac,22050,1" : "aac,44100,2");
}

INSTANTIATE_TEST_SUITE_P(Modes, ClientAndStandinBothModes, ::testing::Bool(), [](const auto& info) {
    return info.param ? "UrlMode" : "FileSystemMode";
});

TEST_F(ClientAndStandin, ARequestThatIsNotXmlGets500FaultSeenAsPostXmlFailure) {
    startStandin();
    // A codec typed in Latin-1, not UTF-8: the request declared as UTF-8 is not well-formed.
    writeBytes(web("cafe.mp3"), "ID3");
    m_values.fileList = "cafe.mp3";
    m_values.target.codec = "a\xE9" "c";
    run();
    std::string url = m_standin->service().webRootUrl();
    EXPECT_EQ(m_sink.box,
              Lines({"Starting on " + url + "/cafe.mp3", "CreateSOAPRequestXML successfully",
                     "PostXML Failure: Transcoder response Failure (Not 200 OK)",
                     "Cause: the service answered with HTTP status 500"}));
    EXPECT_EQ(outputCount(), 0u);
    EXPECT_NE(m_standin->log().find("status=500"), std::string::npos) << m_standin->log();

    std::string response;
    EXPECT_FALSE(PostXML(m_standin->service().endpointUrl(), "not xml at all", response));
    EXPECT_NE(response.find("<faultcode>soapenv:Client</faultcode>"), std::string::npos);
}

TEST_F(ClientAndStandin, ForcedCodesReachTheLogWithTheClientsMessages) {
    auto options = TestOptions();
    options.forceCode = "0000";
    startStandin(options);
    writeBytes(src("a.mp3"), "ID3");
    m_values.urlMode = false;
    run();
    EXPECT_NE(m_sink.box.find("\r\nResponseHandle Failure: Returncode was 0000 - OK"),
              std::string::npos)
        << m_sink.box;
    EXPECT_EQ(outputCount(), 0u);
}

}  // namespace
}  // namespace kqc::test
