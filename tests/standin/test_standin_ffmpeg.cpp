#include "media/base64.h"
#include "quorra-standin/process_runner.h"
#include "standin/standin_test_support.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace kqc::test {
namespace {

using standin::TargetProfile;

struct TranscodeCase {
    const char* name;
    TargetProfile profile;
    const char* probed;  // codec,sampling rate,channels as ffprobe reads the result
    const char* container = "";  // part of ffprobe's format name for the result
    // A group of combinations: each bit rate in turn, ascending, for the profile's; higher ones
    // must give larger first packets.
    std::vector<std::string> bitRates = {};
};

void PrintTo(const TranscodeCase& c, std::ostream* out) { *out << c.name; }

const std::vector<std::string> kAmrWbRates = {"6600",  "8850",  "12650", "14250", "15850",
                                              "18250", "19850", "23050", "23850"};

class StandinFfmpegTest : public ::testing::TestWithParam<TranscodeCase> {
protected:
    void SetUp() override {
        if (!FfmpegPresent()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
    }
};

TEST_P(StandinFfmpegTest, TranscodesAWavToTheRequestedProfile) {
    RunningStandin standin(FfmpegOptions());
    TargetProfile profile = GetParam().profile;
    auto bitRates =
        GetParam().bitRates.empty() ? std::vector{profile.bitRate} : GetParam().bitRates;
    int previousPacket = 0;
    for (const std::string& bitRate : bitRates) {
        profile.bitRate = bitRate;
        auto result = standin.post(
            ClientRequestText(FileDataLine(kqc::Base64Encode(ToneWav(44100, 500))), profile));
        ASSERT_TRUE(result);
        ASSERT_EQ(ElementText(result->body, "returnCode"), "0") << bitRate << standin.log();
        std::string target;
        ASSERT_TRUE(kqc::Base64Decode(ElementText(result->body, "fileData").value_or(""), target));
        TempDir dir;
        writeBytes(dir / "target", target);
        EXPECT_EQ(ProbeAudio(dir / "target"), GetParam().probed) << bitRate;
        EXPECT_THAT(ProbeAudio(dir / "target", "format=format_name"),
                    ::testing::HasSubstr(GetParam().container));
        if (GetParam().bitRates.empty()) continue;
        int packet = std::atoi(ProbeAudio(dir / "target", "packet=size").c_str());
        EXPECT_GT(packet, previousPacket) << bitRate;
        previousPacket = packet;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, StandinFfmpegTest,
    ::testing::Values(
        TranscodeCase{"AacMonoInMp4", {"mp4", "aac", "16000", "22050", "Mono"}, "aac,22050,1"},
        TranscodeCase{"AacStereoInMp4", {"mp4", "aac", "64000", "48000", "Stereo"}, "aac,48000,2"},
        TranscodeCase{"ALawInWav", {"wav", "g711a", "64000", "8000", "Mono"}, "pcm_alaw,8000,1"},
        TranscodeCase{
            "MuLawStereoInAu", {"au", "g711u", "64000", "8000", "Stereo"}, "pcm_mulaw,8000,2"},
        TranscodeCase{"AdpcmInWav", {"wav", "adpcm", "32000", "8000", "Mono"}, "adpcm_g726,8000,1"},
        TranscodeCase{"AdpcmInAu", {"au", "adpcm", "24000", "8000", "Mono"}, "adpcm_g726le,8000,1"},
        TranscodeCase{"PcmInAuAt8000", {"au", "pcm", "", "8000", "Mono"}, "pcm_s16be,8000,1"},
        TranscodeCase{"PcmStereoInWav", {"wav", "pcm", "", "44100", "Stereo"}, "pcm_s16le,44100,2"},
        TranscodeCase{"Wma", {"wma", "wma", "64000", "48000", "Stereo"}, "wmav2,48000,2"},
        // clang-format off
        TranscodeCase{"AmrWbInAmr", {"amr", "amr-wb", "", "16000", "Mono"}, "amr_wb,16000,1", "amr", kAmrWbRates},
        TranscodeCase{"AmrWbInMp4", {"mp4", "amr-wb", "", "16000", "Mono"}, "amr_wb,16000,1", "mp4", kAmrWbRates},
        TranscodeCase{"AmrWbClientSpellingInAmr", {"amr", "anr-wb", "", "16000", "Mono"}, "amr_wb,16000,1", "amr", kAmrWbRates},
        TranscodeCase{"AmrWbClientSpellingInMp4", {"mp4", "anr-wb", "", "16000", "Mono"}, "amr_wb,16000,1", "mp4", kAmrWbRates}),
    // clang-format on
    [](const auto& info) { return std::string(info.param.name); });

class StandinFfmpegFailureTest : public StandinFfmpegTest {};

TEST_F(StandinFfmpegFailureTest, MediaFfmpegCannotReadGets2003AndEmptyMediaGets2002) {
    RunningStandin standin(FfmpegOptions());
    for (auto [bytes, code] :
         {std::pair<std::string, const char*>{"no audio at all", "2003"}, {"", "2002"}}) {
        auto result = standin.post(
            ClientRequestText(FileDataLine(kqc::Base64Encode(bytes)), DefaultProfile()));
        ASSERT_TRUE(result);
        EXPECT_EQ(ElementText(result->body, "returnCode"), code) << bytes;
        EXPECT_EQ(result->body.find("<fileData"), std::string::npos);
    }
}

// ffmpeg itself would follow an HLS playlist to a local MP3 file by its absolute path.
TEST_F(StandinFfmpegFailureTest, PlaylistSourceCannotMakeFfmpegReadOtherFiles) {
    TempDir dir;
    writeBytes(dir / "secret.wav", ToneWav(22050, 500));
    auto made = standin::RunProcess({"ffmpeg", "-nostdin", "-i", (dir / "secret.wav").string(),
                                     "-c:a", "libmp3lame", (dir / "secret.mp3").string()},
                                    dir / "log", std::chrono::seconds(60));
    ASSERT_EQ(made.exitCode, 0) << readBytes(dir / "log");
    std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" +
                           (dir / "secret.mp3").string() + "\n#EXT-X-ENDLIST\n";
    RunningStandin standin(FfmpegOptions());
    auto result = standin.post(
        ClientRequestText(FileDataLine(kqc::Base64Encode(playlist)), DefaultProfile()));
    ASSERT_TRUE(result);
    EXPECT_EQ(ElementText(result->body, "returnCode"), "2003");
    EXPECT_EQ(result->body.find("<fileData"), std::string::npos);
}

// "true" as ffmpeg lists no encoders at all.
TEST_F(StandinFfmpegFailureTest, ACombinationWithoutAnEncoderGets2006) {
    auto options = FfmpegOptions();
    options.ffmpeg = standin::FindProgram("true");
    RunningStandin standin(options);
    auto result = standin.post(
        ClientRequestText(FileDataLine(kqc::Base64Encode(ToneWav(16000, 200))), DefaultProfile()));
    ASSERT_TRUE(result);
    EXPECT_EQ(ElementText(result->body, "returnCode"), "2006");
    EXPECT_EQ(ElementText(result->body, "message"), "Unsupported transcoding request");
}

// A descriptor left open on exec, as httplib leaves a client connection, stays with the service.
TEST(StandinProcess, GetsNoDescriptorButItsStandardOnes) {
    TempDir dir;
    const int leftOpen = fcntl(STDERR_FILENO, F_DUPFD, 100);
    auto run = standin::RunProcess(
        {"/bin/sh", "-c", "test -e /proc/self/fd/" + std::to_string(leftOpen)}, dir / "log",
        std::chrono::seconds(10));
    close(leftOpen);
    EXPECT_EQ(run.exitCode, 1);
}

}  // namespace
}  // namespace kqc::test
