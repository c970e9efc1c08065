#include "quorra-standin/codec_chart.h"

#include <gtest/gtest.h>

namespace kqc::standin {
namespace {

struct ChartCase {
    const char* name;
    TargetProfile profile;  // format, codec, bit rate, channels, sampling rate
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
        ChartCase{"AacDefault", {"mp4", "aac", "16000", "Mono", "22050"}, "aac", "mp4", 16000},
        ChartCase{"AacStereoMinimum", {"mp4", "aac", "32000", "Stereo", "44100"}, "aac", "mp4", 32000},
        ChartCase{"AacStereoBelowMinimum", {"mp4", "aac", "16000", "Stereo", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AacMonoBelowMinimum", {"mp4", "aac", "15999", "Mono", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AacMaximumAt22050", {"mp4", "aac", "132300", "Mono", "22050"}, "aac", "mp4", 132300},
        ChartCase{"AacAboveMaximumAt22050", {"mp4", "aac", "132301", "Mono", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AacMaximumAt48000", {"mp4", "aac", "288000", "Stereo", "48000"}, "aac", "mp4", 288000},
        ChartCase{"AacAt8000", {"mp4", "aac", "16000", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"AacInWav", {"wav", "aac", "16000", "Mono", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AacEmptyBitRate", {"mp4", "aac", "", "Mono", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AacBitRateInKbps", {"mp4", "aac", "16", "Mono", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AacBitRateWithBlank", {"mp4", "aac", "16000 ", "Mono", "22050"}, nullptr, nullptr, 0},
        ChartCase{"NamesIgnoreCase", {"MP4", "AAC", "16000", "mono", "22050"}, "aac", "mp4", 16000},
        ChartCase{"UnknownChannelMode", {"mp4", "aac", "16000", "Joint", "22050"}, nullptr, nullptr, 0},
        ChartCase{"AmrWb", {"amr", "amr-wb", "12650", "Mono", "16000"}, "vo-amrwbenc", "amr", 12650},
        ChartCase{"AmrWbClientSpelling", {"mp4", "anr-wb", "23850", "Mono", "16000"}, "vo-amrwbenc", "mp4", 23850},
        ChartCase{"AmrWbUnlistedRate", {"amr", "amr-wb", "16000", "Mono", "16000"}, nullptr, nullptr, 0},
        ChartCase{"AmrNbIsNotInChart", {"amr", "amr-nb", "12200", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"G711InWav", {"wav", "g711", "64000", "Mono", "8000"}, "pcm_alaw", "wav", 0},
        ChartCase{"G711uRaw", {"raw", "g711u", "64000", "Mono", "8000"}, "pcm_mulaw", "mulaw", 0},
        ChartCase{"G711aStereoInAu", {"au", "g711a", "64000", "Stereo", "8000"}, "pcm_alaw", "au", 0},
        ChartCase{"G711StereoInWav", {"wav", "g711", "64000", "Stereo", "8000"}, nullptr, nullptr, 0},
        ChartCase{"G711OtherBitRate", {"wav", "g711", "32000", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"G711bIsNotInChart", {"wav", "g711b", "64000", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"AdpcmG721InAu", {"au", "adpcm", "32000", "Mono", "8000"}, "g726le", "au", 32000},
        ChartCase{"AdpcmG723InAu", {"au", "adpcm", "24000", "Mono", "8000"}, "g726le", "au", 24000},
        ChartCase{"AdpcmG726OnlyRateInAu", {"au", "adpcm", "40000", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"AdpcmG726Raw", {"raw", "adpcm", "40000", "Mono", "8000"}, "g726", "g726", 40000},
        ChartCase{"AdpcmStereo", {"wav", "adpcm", "32000", "Stereo", "8000"}, nullptr, nullptr, 0},
        ChartCase{"PcmWav", {"wav", "pcm", "", "Stereo", "44100"}, "pcm_s16le", "wav", 0},
        ChartCase{"PcmAuAt8000", {"au", "pcm", "16000", "Mono", "8000"}, "pcm_s16be", "au", 0},
        ChartCase{"PcmWavAt8000", {"wav", "pcm", "16000", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"PcmAt16000", {"wav", "pcm", "16000", "Mono", "16000"}, nullptr, nullptr, 0},
        ChartCase{"Mp3IsInputOnly", {"mp3", "mp3", "128000", "Stereo", "44100"}, nullptr, nullptr, 0},
        ChartCase{"WmaOutput", {"wma", "wma", "32000", "Stereo", "48000"}, "wmav2", "asf", 32000},
        ChartCase{"WmaMono", {"wma", "wma", "32000", "Mono", "48000"}, nullptr, nullptr, 0},
        ChartCase{"WmaAt44100", {"wma", "wma", "32000", "Stereo", "44100"}, nullptr, nullptr, 0},
        ChartCase{"GsmIsNotInChart", {"gsm", "gsm-fr", "13000", "Mono", "8000"}, nullptr, nullptr, 0},
        ChartCase{"NegativeRate", {"mp4", "aac", "-16000", "Mono", "22050"}, nullptr, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace kqc::standin
