#include "quorra-standin/codec_chart.h"

#include <gtest/gtest.h>

namespace kqc::standin {
namespace {

struct ChartCase {
    const char* name;
    TargetProfile profile;  // format, codec, bit rate, sampling rate, channels
    const char* encoder;    // nullptr: the chart forbids the combination
    const char* muxer;
    int bitRate;
};

void PrintTo(const ChartCase& c, std::ostream* out) { *out << c.name; }

class ChartLookupTest : public ::testing::TestWithParam<ChartCase> {};

TEST_P(ChartLookupTest, AllowsExactlyTheChartsCombinations) {
    const ChartCase& c = GetParam();
    auto choice = ChartLookup(c.profile);
    if (!c.encoder) {
        EXPECT_FALSE(choice) << "allowed as " << choice->chartRow;
        return;
    }
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->encoder, c.encoder);
    EXPECT_EQ(choice->muxer, c.muxer);
    EXPECT_EQ(choice->bitRate, c.bitRate);
    EXPECT_EQ(choice->samplingRate, std::stoi(c.profile.samplingRate));
    EXPECT_EQ(choice->channels, c.profile.channels == "Stereo" ? 2 : 1);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Chart, ChartLookupTest,
    ::testing::Values(
        // The client's initial profile.
        ChartCase{"AacDefault", {"mp4", "aac", "16000", "22050", "Mono"}, "aac", "mp4", 16000},
        ChartCase{"AacStereoMinimum", {"mp4", "aac", "32000", "44100", "Stereo"}, "aac", "mp4", 32000},
        ChartCase{"AacStereoBelowMinimum", {"mp4", "aac", "16000", "22050", "Stereo"}, nullptr, nullptr, 0},
        ChartCase{"AacMonoBelowMinimum", {"mp4", "aac", "15999", "22050", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AacMaximumAt22050", {"mp4", "aac", "132300", "22050", "Mono"}, "aac", "mp4", 132300},
        ChartCase{"AacAboveMaximumAt22050", {"mp4", "aac", "132301", "22050", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AacMaximumAt48000", {"mp4", "aac", "288000", "48000", "Stereo"}, "aac", "mp4", 288000},
        ChartCase{"AacAt8000", {"mp4", "aac", "16000", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AacInWav", {"wav", "aac", "16000", "22050", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AacEmptyBitRate", {"mp4", "aac", "", "22050", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AacBitRateInKbps", {"mp4", "aac", "16", "22050", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AacBitRateWithBlank", {"mp4", "aac", "16000 ", "22050", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"NamesIgnoreCase", {"MP4", "AAC", "16000", "22050", "mono"}, "aac", "mp4", 16000},
        ChartCase{"UnknownChannelMode", {"mp4", "aac", "16000", "22050", "Joint"}, nullptr, nullptr, 0},
        ChartCase{"AmrWb", {"amr", "amr-wb", "12650", "16000", "Mono"}, "vo-amrwbenc", "amr", 12650},
        ChartCase{"AmrWbClientSpelling", {"mp4", "anr-wb", "23850", "16000", "Mono"}, "vo-amrwbenc", "mp4", 23850},
        ChartCase{"AmrWbUnlistedRate", {"amr", "amr-wb", "16000", "16000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AmrNbIsNotInChart", {"amr", "amr-nb", "12200", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"G711InWav", {"wav", "g711", "64000", "8000", "Mono"}, "pcm_alaw", "wav", 0},
        ChartCase{"G711uRaw", {"raw", "g711u", "64000", "8000", "Mono"}, "pcm_mulaw", "mulaw", 0},
        ChartCase{"G711aStereoInAu", {"au", "g711a", "64000", "8000", "Stereo"}, "pcm_alaw", "au", 0},
        ChartCase{"G711StereoInWav", {"wav", "g711", "64000", "8000", "Stereo"}, nullptr, nullptr, 0},
        ChartCase{"G711OtherBitRate", {"wav", "g711", "32000", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"G711bIsNotInChart", {"wav", "g711b", "64000", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AdpcmG721InAu", {"au", "adpcm", "32000", "8000", "Mono"}, "g726le", "au", 32000},
        ChartCase{"AdpcmG723InAu", {"au", "adpcm", "24000", "8000", "Mono"}, "g726le", "au", 24000},
        ChartCase{"AdpcmG726OnlyRateInAu", {"au", "adpcm", "40000", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"AdpcmG726Raw", {"raw", "adpcm", "40000", "8000", "Mono"}, "g726", "g726", 40000},
        ChartCase{"AdpcmStereo", {"wav", "adpcm", "32000", "8000", "Stereo"}, nullptr, nullptr, 0},
        ChartCase{"PcmWav", {"wav", "pcm", "", "44100", "Stereo"}, "pcm_s16le", "wav", 0},
        ChartCase{"PcmAuAt8000", {"au", "pcm", "16000", "8000", "Mono"}, "pcm_s16be", "au", 0},
        ChartCase{"PcmWavAt8000", {"wav", "pcm", "16000", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"PcmAt16000", {"wav", "pcm", "16000", "16000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"Mp3IsInputOnly", {"mp3", "mp3", "128000", "44100", "Stereo"}, nullptr, nullptr, 0},
        ChartCase{"WmaOutput", {"wma", "wma", "32000", "48000", "Stereo"}, "wmav2", "asf", 32000},
        ChartCase{"WmaMono", {"wma", "wma", "32000", "48000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"WmaAt44100", {"wma", "wma", "32000", "44100", "Stereo"}, nullptr, nullptr, 0},
        ChartCase{"GsmIsNotInChart", {"gsm", "gsm-fr", "13000", "8000", "Mono"}, nullptr, nullptr, 0},
        ChartCase{"NegativeRate", {"mp4", "aac", "-16000", "22050", "Mono"}, nullptr, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace kqc::standin
