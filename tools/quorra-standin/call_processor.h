#pragma once

#include "quorra-standin/soap_request.h"
#include "quorra-standin/standin_options.h"
#include "quorra-standin/transcoder.h"

#include <atomic>
#include <optional>
#include <string>

namespace kqc::standin {

struct CallResult {
    std::string returnCode;
    std::string sourceKind = "none";    // "location", "fileData" or "none"
    std::size_t sourceSize = 0;         // bytes of the source media
    std::optional<std::string> target;  // the target file's bytes, on success
};

// The service's work for one well-formed transcode call: checks the call and the profile, gets
// the source bytes and transcodes them.
class CallProcessor {
public:
    explicit CallProcessor(const StandinOptions& options);
    // Uses up the call's fileData: its text is decoded in its own memory.
    CallResult process(TranscodeCall& call);
    // Cuts short the fetches and transcodes in progress (their calls fail) and any to come.
    void stop();
    const std::filesystem::path& privateFolder() const { return m_transcoder.privateFolder(); }

private:
    bool readSource(TranscodeCall& call, CallResult& result, std::string& source);

    const StandinOptions& m_options;
    Transcoder m_transcoder;
    std::atomic<bool> m_stopped{false};
};

}  // namespace kqc::standin
