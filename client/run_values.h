#pragma once

#include "client/defaults.h"
#include "log/activity_log.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kqc {

inline constexpr std::string_view kWindowSourceCodec = "mp3";

// The target profile a request asks for, each value as typed: the service judges it.
struct TargetProfile {
    std::string format = "mp4";
    std::string codec = "aac";
    std::string bitRate = "16000";
    std::string samplingRate = "22050";
    std::string channels = "Mono";
};

// What a transcode run works from, read from the main window once, at the click; its defaults are
// the window's initial contents.
struct RunValues {
    std::string endpoint = DefaultEndpoint();
    bool urlMode = true;
    std::string webServerUrl;  // URL mode: the service fetches each entry from here
    std::string fileList;      // URL mode: the entries, separated by CR LF
    std::string sourceDir = DefaultSourceDir();  // file-system mode
    std::string sourceFormat = "mp3";            // the name filter
    // The codec the request declares for every source. The window has no field for it and always
    // declares mp3; the request's source format is mp3 whatever the name filter.
    std::string sourceCodec = std::string(kWindowSourceCodec);
    TargetProfile target;
    std::string targetDir = DefaultTargetDir();
    bool debugToFile = false;
    std::filesystem::path debugLogPath = DefaultDebugLogPath();
};

// What a run shows: its log lines, and the web server URL once the run has added its "/".
class RunSink : public LogView {
public:
    virtual void webServerUrlChanged(std::string_view url) = 0;
};

// What became of one source.
enum class FileOutcome {
    saved,
    failed,
    busy,     // the service answered 2005: too many requests at once
    stopped,  // the run was stopped meanwhile
};

}  // namespace kqc
