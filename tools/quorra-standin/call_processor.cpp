#include "quorra-standin/call_processor.h"

#include "media/base64.h"
#include "quorra-standin/codec_chart.h"
#include "quorra-standin/source_fetch.h"

namespace kqc::standin {

namespace {

// The text's own memory becomes the source's bytes.
bool decodeFileData(std::string& text, std::string& source) {
    std::size_t length = 0;
    if (!kqc::Base64DecodeInPlace(text, length)) return false;
    text.resize(length);
    source = std::move(text);
    return true;
}

}  // namespace

CallProcessor::CallProcessor(const StandinOptions& options)
    : m_options(options), m_transcoder(options.engine, options.ffmpeg, options.transcodeTimeout) {}

CallResult CallProcessor::process(TranscodeCall& call) {
    CallResult result;
    bool hasMedia = (call.location && !call.location->empty()) || call.fileData;
    if (!call.hasSource || !hasMedia || !call.profile) {
        result.returnCode = "2007";
        return result;
    }
    result.sourceKind = call.location && !call.location->empty() ? "location" : "fileData";
    if (m_options.forceCode) {
        result.returnCode = *m_options.forceCode;
        return result;
    }
    auto choice = ChartLookup(*call.profile);
    if (!choice) {
        result.returnCode = "2001";
        return result;
    }
    std::string source;
    if (!readSource(call, result, source)) {
        result.returnCode = "2002";
        return result;
    }
    TranscodeOutcome outcome = m_transcoder.transcode(std::move(source), *choice);
    result.returnCode = std::to_string(outcome.returnCode);
    if (outcome.returnCode == 0) result.target = std::move(outcome.data);
    return result;
}

void CallProcessor::stop() {
    m_stopped = true;
    m_transcoder.stop();
}

bool CallProcessor::readSource(TranscodeCall& call, CallResult& result, std::string& source) {
    bool ok = result.sourceKind == "location"
                  ? FetchLocation(*call.location, m_options.maxBody, m_options.fetchTimeout,
                                  m_stopped, source)
                  : decodeFileData(*call.fileData, source);
    result.sourceSize = source.size();
    return ok;
}

}  // namespace kqc::standin
