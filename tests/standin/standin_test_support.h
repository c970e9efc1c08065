#pragma once

#include "quorra-standin/codec_chart.h"
#include "quorra-standin/standin_options.h"
#include "quorra-standin/standin_service.h"

#include <httplib.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace kqc::test {

// A transcode request laid out line by line as the client sends it; sourceLine is the whole
// <location> or <fileData> line.
std::string ClientRequestText(std::string_view sourceLine, const standin::TargetProfile& profile);
std::string LocationLine(std::string_view url);
std::string FileDataLine(std::string_view base64);

standin::TargetProfile DefaultProfile();  // mp4 / aac / 16000 / 22050 / Mono

// Options for an in-process service: any free loopback port, echo engine, no request log.
standin::StandinOptions TestOptions();
// The same with the ffmpeg engine, ffmpeg from PATH.
standin::StandinOptions FfmpegOptions();

// A mono 16-bit PCM WAV file holding a tone.
std::string ToneWav(int samplingRate, int milliseconds);

// The text between the first <tag ...> and </tag> of a response, or nothing.
std::optional<std::string> ElementText(std::string_view xml, std::string_view tag);

// "codec,sampling rate,channels" of the first audio stream, read with ffprobe; empty when
// ffprobe fails. Other ffprobe entries give their values, one line per section.
std::string ProbeAudio(const std::filesystem::path& file,
                       const char* entries = "stream=codec_name,sample_rate,channels");

bool FfmpegPresent();

// Sends raw bytes to 127.0.0.1:port and returns the server's first response (head and body),
// or what came before the connection closed or 10 s passed. With afterAnswer, those bytes are
// sent once that response is in, and everything the server sends until it closes is appended.
std::string RawExchange(int port, std::string_view bytes, std::string_view afterAnswer = {});

// A TCP socket connected to 127.0.0.1:port with a 10 s receive timeout; -1 when the connection
// fails (the socket is then closed).
int ConnectLoopback(int port);

// An in-process service, started on construction and stopped on destruction, that keeps its
// request log.
class RunningStandin {
public:
    explicit RunningStandin(standin::StandinOptions options = TestOptions(),
                            std::function<void()> whileBusy = {});

    standin::StandinService& service() { return *m_service; }
    httplib::Result post(const std::string& body, const char* soapAction = "transcode");
    // Only while no request is in flight.
    std::string log() const { return m_log.str(); }

private:
    std::ostringstream m_log;
    std::unique_ptr<standin::StandinService> m_service;
};

}  // namespace kqc::test
