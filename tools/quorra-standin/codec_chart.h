#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kqc::standin {

// The audio target profile of a transcode request, as the client's texts.
struct TargetProfile {
    std::string fileFormat;
    std::string codec;
    std::string bitRate;       // bits per second
    std::string samplingRate;  // Hz
    std::string channels;      // "Mono" or "Stereo"
};

// How the service produces a combination that the chart allows.
struct EncoderChoice {
    std::string_view chartRow;  // the chart's codec name, for the request log
    std::string_view encoder;   // ffmpeg encoder, or kAmrWbEncoder
    std::string_view muxer;     // ffmpeg muxer; for AMR-WB the format, "amr" or "mp4"
    int samplingRate = 0;
    int channels = 0;
    int bitRate = 0;  // 0: the encoder chooses
};

// The encoder choice when the chart of allowed combinations has a row for the profile's codec
// that accepts its sampling rate, channel mode, bit rate and container format; nothing otherwise.
// Names are compared without regard to case.
std::optional<EncoderChoice> ChartLookup(const TargetProfile& profile);

}  // namespace kqc::standin
