#include "quorra-standin/codec_chart.h"

#include "quorra-standin/amr_wb_encoder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace kqc::standin {
namespace {

enum class Channels { monoOnly, stereoOnly, monoOrStereo, stereoInAuOnly };
enum class BitRateRule { listed, aacLimits, free };

struct Output {
    std::string_view format;  // the client's target format name
    std::string_view encoder;
    std::string_view muxer;
};

struct ChartRow {
    std::string_view name;
    std::vector<std::string_view> clientCodecs;
    std::vector<int> samplingRates;        // Hz, in every format
    std::vector<int> auOnlySamplingRates;  // Hz, only with format "au"
    Channels channels;
    BitRateRule bitRateRule;
    std::vector<int> bitRates;  // bits per second, for BitRateRule::listed
    bool passBitRate;           // whether the requested bit rate goes to the encoder
    std::vector<Output> outputs;
};

constexpr Output kAdpcmWav{"wav", "g726", "wav"};
constexpr Output kAdpcmRaw{"raw", "g726", "g726"};
constexpr Output kAdpcmAu{"au", "g726le", "au"};

// The allowed combinations, with the client's codec and format names and how ffmpeg makes each.
// The client has no codec name for G.728 and ffmpeg no encoder, so that row is left out; MP3 is
// accepted as input only and has no outputs. AMR-WB is encoded with libvo-amrwbenc rather than
// through ffmpeg. The client's list spells the AMR-WB codec "anr-wb"; both spellings name the row.
// The chart lists no container for WMA output; the client's "wma" format is taken as ASF.
const std::vector<ChartRow>& Chart() {
    // clang-format off
    static const std::vector<ChartRow> chart = {
        {"ADPCM (G.721)", {"adpcm"}, {8000}, {}, Channels::monoOnly, BitRateRule::listed,
         {32000}, true, {kAdpcmWav, kAdpcmRaw, kAdpcmAu}},
        {"ADPCM (G.723)", {"adpcm"}, {8000}, {}, Channels::monoOnly, BitRateRule::listed,
         {24000}, true, {kAdpcmWav, kAdpcmRaw, kAdpcmAu}},
        {"ADPCM (G.726)", {"adpcm"}, {8000}, {}, Channels::monoOnly, BitRateRule::listed,
         {16000, 24000, 32000, 40000}, true, {kAdpcmWav, kAdpcmRaw}},
        {"AAC-LC", {"aac"}, {22050, 44100, 48000}, {}, Channels::monoOrStereo,
         BitRateRule::aacLimits, {}, true, {{"mp4", "aac", "mp4"}}},
        {"AMR-WB", {"amr-wb", "anr-wb"}, {16000}, {}, Channels::monoOnly, BitRateRule::listed,
         {6600, 8850, 12650, 14250, 15850, 18250, 19850, 23050, 23850}, true,
         {{"mp4", kAmrWbEncoder, "mp4"}, {"amr", kAmrWbEncoder, "amr"}}},
        {"G.711 (a-law)", {"g711", "g711a"}, {8000}, {}, Channels::stereoInAuOnly,
         BitRateRule::listed, {64000}, false,
         {{"wav", "pcm_alaw", "wav"}, {"raw", "pcm_alaw", "alaw"}, {"au", "pcm_alaw", "au"}}},
        {"G.711 (u-law)", {"g711u"}, {8000}, {}, Channels::stereoInAuOnly, BitRateRule::listed,
         {64000}, false,
         {{"wav", "pcm_mulaw", "wav"}, {"raw", "pcm_mulaw", "mulaw"}, {"au", "pcm_mulaw", "au"}}},
        {"MP3 (input only)", {"mp3"}, {}, {}, Channels::monoOrStereo, BitRateRule::free, {},
         false, {}},
        {"PCM WAV", {"pcm"}, {22050, 44100, 48000}, {8000}, Channels::monoOrStereo,
         BitRateRule::free, {}, false, {{"wav", "pcm_s16le", "wav"}, {"au", "pcm_s16be", "au"}}},
        {"WMA", {"wma"}, {48000}, {}, Channels::stereoOnly, BitRateRule::free, {}, true,
         {{"wma", "wmav2", "asf"}}},
    };
    // clang-format on
    return chart;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// A plain decimal number of at most nine digits; nothing for anything else (signs, blanks, "").
std::optional<int> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool Contains(const std::vector<int>& values, int value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::optional<int> ChannelCount(const ChartRow& row, std::string_view text, bool au) {
    bool mono = SameName(text, "Mono");
    bool stereo = SameName(text, "Stereo");
    switch (row.channels) {
        case Channels::monoOnly:
            return mono ? std::optional(1) : std::nullopt;
        case Channels::stereoOnly:
            return stereo ? std::optional(2) : std::nullopt;
        case Channels::monoOrStereo:
            break;
        case Channels::stereoInAuOnly:
            if (stereo && !au) return std::nullopt;
            break;
    }
    if (mono) return 1;
    if (stereo) return 2;
    return std::nullopt;
}

int AacMaximum(int samplingRate) {
    switch (samplingRate) {
        case 22050:
            return 132300;
        case 44100:
            return 264600;
        default:
            return 288000;
    }
}

bool BitRateAllowed(const ChartRow& row, std::optional<int> bitRate, int samplingRate,
                    int channels) {
    switch (row.bitRateRule) {
        case BitRateRule::free:
            return true;
        case BitRateRule::listed:
            return bitRate && Contains(row.bitRates, *bitRate);
        case BitRateRule::aacLimits:
            return bitRate && *bitRate >= (channels == 1 ? 16000 : 32000) &&
                   *bitRate <= AacMaximum(samplingRate);
    }
    return false;
}

std::optional<EncoderChoice> RowLookup(const ChartRow& row, const TargetProfile& profile) {
    auto output = std::find_if(row.outputs.begin(), row.outputs.end(), [&](const Output& o) {
        return SameName(o.format, profile.fileFormat);
    });
    if (output == row.outputs.end()) return std::nullopt;
    bool au = output->format == "au";

    auto samplingRate = ParseCount(profile.samplingRate);
    if (!samplingRate || !(Contains(row.samplingRates, *samplingRate) ||
                           (au && Contains(row.auOnlySamplingRates, *samplingRate))))
        return std::nullopt;
    auto channels = ChannelCount(row, profile.channels, au);
    if (!channels) return std::nullopt;
    auto bitRate = ParseCount(profile.bitRate);
    if (!BitRateAllowed(row, bitRate, *samplingRate, *channels)) return std::nullopt;

    int encoderBitRate = row.passBitRate && bitRate ? *bitRate : 0;
    return EncoderChoice{row.name,      output->encoder, output->muxer,
                         *samplingRate, *channels,       encoderBitRate};
}

}  // namespace

std::optional<EncoderChoice> ChartLookup(const TargetProfile& profile) {
    for (const ChartRow& row : Chart()) {
        bool named = std::any_of(row.clientCodecs.begin(), row.clientCodecs.end(),
                                 [&](std::string_view c) { return SameName(c, profile.codec); });
        if (!named) continue;
        if (auto choice = RowLookup(row, profile)) return choice;
    }
    return std::nullopt;
}

}  // namespace kqc::standin
