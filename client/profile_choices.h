#pragma once

#include <span>
#include <string_view>

namespace kqc {

// The items the window's combo boxes offer, in their order, duplicates kept. They are
// suggestions: any other text is sent as typed, and the service judges it.
inline constexpr std::string_view kSourceFormatChoices[] = {"gif", "bmp", "mp3", "mp4", "wma",
                                                            "au",  "gsm", "raw", "wav"};
inline constexpr std::string_view kTargetFormatChoices[] = {"mp4", "gsm", "au", "amr",
                                                            "raw", "wav", "wma"};
inline constexpr std::string_view kTargetCodecChoices[] = {
    "aac", "amr-nb", "anr-wb", "pcm", "g711", "g711a", "g711u",
    "mp3", "adpcm",  "gsm-fr", "pcm", "wma",  "g711b"};
inline constexpr std::string_view kTargetBitRateChoices[] = {"16000", "32000"};
inline constexpr std::string_view kTargetChannelsChoices[] = {"Mono", "Stereo"};
inline constexpr std::string_view kTargetSamplingRateChoices[] = {"8000", "16000", "22050", "44100",
                                                                  "48000"};

using Choices = std::span<const std::string_view>;

}  // namespace kqc
