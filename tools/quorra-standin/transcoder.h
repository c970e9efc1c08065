#pragma once

#include "quorra-standin/codec_chart.h"

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace kqc::standin {

enum class Engine { echo, ffmpeg };

struct TranscodeOutcome {
    int returnCode = 0;  // 0, 2002, 2003 or 2006
    std::string data;    // the target file's bytes when returnCode is 0
};

// Turns source bytes into the target file. The echo engine hands the source back unchanged; the
// ffmpeg engine runs ffmpeg on private temporary files, and encodes AMR-WB with libvo-amrwbenc.
class Transcoder {
public:
    Transcoder(Engine engine, std::filesystem::path ffmpeg, std::chrono::milliseconds timeout);

    TranscodeOutcome transcode(std::string source, const EncoderChoice& choice);

private:
    bool hasEncoder(std::string_view encoder);
    TranscodeOutcome runFfmpeg(const std::string& source, const EncoderChoice& choice);
    TranscodeOutcome runAmrWb(const std::string& source, const EncoderChoice& choice);

    Engine m_engine;
    std::filesystem::path m_ffmpeg;
    std::chrono::milliseconds m_timeout;
    std::once_flag m_encodersRead;
    std::set<std::string, std::less<>> m_encoders;
};

// "ffmpeg" found in PATH, or nothing.
std::optional<std::filesystem::path> FindFfmpeg();

}  // namespace kqc::standin
