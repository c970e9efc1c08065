#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kqc::standin {

// The encoder name the chart gives AMR-WB: the stand-in encodes it itself with libvo-amrwbenc,
// as Debian's ffmpeg has no AMR-WB encoder.
inline constexpr std::string_view kAmrWbEncoder = "vo-amrwbenc";

// The AMR-WB mode (0 to 8) for a bit rate in bits per second: the highest mode whose rate is not
// above it, or mode 0 below 6600.
int AmrWbMode(int bitRate);

// Encodes a file of 16 kHz mono signed 16-bit native-endian samples as an AMR-WB storage file:
// "#!AMR-WB\n", then one frame per 20 ms, the last one padded with silence. Nothing when the
// file cannot be read, the encoder fails or the deadline passes.
std::optional<std::string> EncodeAmrWbFile(const std::filesystem::path& pcmFile, int mode,
                                           std::chrono::steady_clock::time_point deadline);

}  // namespace kqc::standin
