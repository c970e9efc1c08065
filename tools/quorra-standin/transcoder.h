#pragma once

#include "quorra-standin/codec_chart.h"
#include "quorra-standin/process_runner.h"

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
// ffmpeg engine runs ffmpeg on temporary files, each call in a folder of its own inside the
// transcoder's private folder, and encodes AMR-WB with libvo-amrwbenc.
class Transcoder {
public:
    Transcoder(Engine engine, std::filesystem::path ffmpeg, std::chrono::milliseconds timeout);
    // Removes the private folder with whatever is left in it.
    ~Transcoder();
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;

    TranscodeOutcome transcode(std::string source, const EncoderChoice& choice);
    // Ends every ffmpeg running (SIGTERM, then SIGKILL) and starts no other: the calls in
    // progress end with 2003.
    void stop();
    // Empty for the echo engine, or when no folder could be made.
    const std::filesystem::path& privateFolder() const { return m_folder; }

private:
    bool hasEncoder(std::string_view encoder);
    TranscodeOutcome runFfmpeg(const std::string& source, const EncoderChoice& choice);
    TranscodeOutcome runAmrWb(const std::string& source, const EncoderChoice& choice);

    Engine m_engine;
    std::filesystem::path m_ffmpeg;
    std::chrono::milliseconds m_timeout;
    std::filesystem::path m_folder;
    ChildProcesses m_children;
    std::once_flag m_encodersRead;
    std::set<std::string, std::less<>> m_encoders;
};

// "ffmpeg" found in PATH, or nothing.
std::optional<std::filesystem::path> FindFfmpeg();

}  // namespace kqc::standin
