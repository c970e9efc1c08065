#pragma once

#include "client/defaults.h"
#include "log/activity_log.h"

#include <cstddef>
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

    bool operator==(const TargetProfile&) const = default;
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
    // A source whose target file exists already is not sent. The window has no field for it.
    bool skipExisting = false;

    bool operator==(const RunValues&) const = default;
};

// What became of one source.
enum class FileOutcome {
    saved,
    failed,
    busy,     // the service answered 2005: too many requests at once
    stopped,  // the run was stopped meanwhile
    skipped,  // its target existed already, and the run was asked to keep such files
};

// Why a run goes on with fewer requests at a time than it was asked for.
enum class FewerJobs {
    serviceBusy,  // the service answered 2005 while others were in flight
    noThread,     // no further thread could be started
};

// What a run shows: its log lines, and how it gets on. Calls come from the run's threads, one at
// a time for each source under way; an implementation for several jobs serialises them.
class RunSink : public LogView {
public:
    // The web server URL once the run has added its "/".
    virtual void webServerUrlChanged(std::string_view) {}
    // The number of sources the run goes over, once known, before the first starts.
    virtual void sourcesFound(std::size_t) {}
    // One source's outcome is final. The text holds its lines, each ended by "\n", when the run
    // held them back to keep them together (several jobs); it is empty when each was shown as it
    // came.
    virtual void sourceDone(FileOutcome, std::string_view /*heldLines*/) {}
    // The run goes on with at most that many sources under way at once.
    virtual void fewerJobs(unsigned /*jobs*/, FewerJobs) {}
    // About once a second while the sources are under way, on the thread that runs them.
    virtual void tick() {}
};

}  // namespace kqc
