#include "standin/standin_test_support.h"

#include "quorra-standin/process_runner.h"
#include "quorra-standin/transcoder.h"
#include "support/temp_dir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

namespace kqc::test {
namespace {

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A head and as many body bytes as its Content-Length names.
bool CompleteResponse(std::string_view answer) {
    auto headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) return false;
    auto length = answer.find("Content-Length: ");
    if (length == std::string_view::npos || length > headEnd) return true;
    std::size_t bodySize = std::stoul(std::string(answer.substr(length + 16, 12)));
    return answer.size() >= headEnd + 4 + bodySize;
}

}  // namespace

std::string ClientRequestText(std::string_view sourceLine, const standin::TargetProfile& p) {
    std::string lines[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>",
        "<soapenv:Envelope",
        "soapenv:encodingStyle = \"http://schemas.xmlsoap.org/soap/encoding/\"",
        "xmlns:soapenv = \"http://schemas.xmlsoap.org/soap/envelope/\"",
        "xmlns:xsd = \"http://www.w3.org/2001/XMLSchema\"",
        "xmlns:xsi = \"http://www.w3.org/2001/XMLSchema-instance\"",
        "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\">",
        "<soapenv:Body>",
        "<ns1:transcode xmlns:ns1=\"http://www.korvane.com/quorra/MediaAdapter\">",
        "<in0>",
        "<transactionID />",
        "<request>",
        "<source>",
        "<type>audio</type>",
        "<format>mp3</format>",
        "<codec>mp3</codec>",
        std::string(sourceLine),
        "</source>",
        "<target>",
        "<profileID />",
        "<profile>",
        "<audio>",
        "<fileFormat>" + p.fileFormat + "</fileFormat>",
        "<codec>" + p.codec + "</codec>",
        "<bitRate>" + p.bitRate + "</bitRate>",
        "<channels>" + p.channels + "</channels>",
        "<durationLimit>-1</durationLimit>",
        "<samplingRate>" + p.samplingRate + "</samplingRate>",
        "<samplingResolution>0</samplingResolution>",
        "</audio>",
        "</profile>",
        "</target>",
        "<additionalData />",
        "</request>",
        "</in0>",
        "</ns1:transcode>",
        "</soapenv:Body>",
        "</soapenv:Envelope>"};
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

std::string LocationLine(std::string_view url) {
    return "<location>" + std::string(url) + "</location>";
}

std::string FileDataLine(std::string_view base64) {
    return "<fileData>" + std::string(base64) + "</fileData>";
}

standin::TargetProfile DefaultProfile() {
    return {"mp4", "aac", "16000", "22050", "Mono"};
}

standin::StandinOptions TestOptions() {
    standin::StandinOptions options;
    options.port = 0;
    options.webPort = 0;
    options.engine = standin::Engine::echo;
    options.fetchTimeout = std::chrono::seconds(20);
    options.transcodeTimeout = std::chrono::seconds(60);
    return options;
}

standin::StandinOptions FfmpegOptions() {
    auto options = TestOptions();
    options.engine = standin::Engine::ffmpeg;
    options.ffmpeg = standin::FindFfmpeg().value_or("ffmpeg");
    return options;
}

std::string ToneWav(int samplingRate, int milliseconds) {
    // In 64 bits: half an hour at 8 kHz is more samples times milliseconds than 32 bits hold.
    const auto samples =
        static_cast<std::uint32_t>(std::uint64_t{1} * samplingRate * milliseconds / 1000);
    std::string wav = "RIFF";
    AppendLittleEndian(wav, 36 + samples * 2, 4);
    wav += "WAVEfmt ";
    AppendLittleEndian(wav, 16, 4);
    AppendLittleEndian(wav, 1, 2);  // PCM
    AppendLittleEndian(wav, 1, 2);  // mono
    AppendLittleEndian(wav, samplingRate, 4);
    AppendLittleEndian(wav, samplingRate * 2, 4);
    AppendLittleEndian(wav, 2, 2);
    AppendLittleEndian(wav, 16, 2);
    wav += "data";
    AppendLittleEndian(wav, samples * 2, 4);
    for (std::uint32_t i = 0; i < samples; ++i) {
        double value = 12000.0 * std::sin(2 * M_PI * 440.0 * i / samplingRate);
        AppendLittleEndian(wav, static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), 2);
    }
    return wav;
}

std::optional<std::string> ElementText(std::string_view xml, std::string_view tag) {
    auto open = xml.find("<" + std::string(tag));
    if (open == std::string_view::npos) return std::nullopt;
    auto start = xml.find('>', open);
    auto end = xml.find("</" + std::string(tag) + ">", open);
    if (start == std::string_view::npos || end == std::string_view::npos || end < start)
        return std::nullopt;
    return std::string(xml.substr(start + 1, end - start - 1));
}

std::string ProbeAudio(const std::filesystem::path& file, const char* entries) {
    TempDir dir;
    auto out = dir / "probe.txt";
    auto run = standin::RunProcess(
        {"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
         entries, "-of", "csv=p=0", file.string()},
        out, std::chrono::seconds(60));
    if (run.exitCode != 0) return {};
    std::string text = readBytes(out);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool FfmpegPresent() {
    return standin::FindFfmpeg().has_value() && !standin::FindProgram("ffprobe").empty();
}

int ConnectLoopback(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string RawExchange(int port, std::string_view bytes, std::string_view afterAnswer) {
    int fd = ConnectLoopback(port);
    if (fd < 0) return {};
    std::string answer;
    auto readResponse = [&] {
        char buffer[4096];
        for (ssize_t n; !CompleteResponse(answer) && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, n);
    };
    if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
        readResponse();
        if (!afterAnswer.empty()) {
            // The server may have closed already; whatever it answers next is appended.
            send(fd, afterAnswer.data(), afterAnswer.size(), MSG_NOSIGNAL);
            char buffer[4096];
            for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
        }
    }
    close(fd);
    return answer;
}

RunningStandin::RunningStandin(standin::StandinOptions options, std::function<void()> whileBusy) {
    options.requestLog = &m_log;
    m_service = std::make_unique<standin::StandinService>(std::move(options));
    if (whileBusy) m_service->setWhileBusyHook(std::move(whileBusy));
    m_service->start();
}

httplib::Result RunningStandin::post(const std::string& body, const char* soapAction) {
    httplib::Client client("127.0.0.1", m_service->port());
    client.set_read_timeout(120, 0);
    httplib::Headers headers;
    if (soapAction) headers.emplace("SOAPAction", soapAction);
    return client.Post(std::string(standin::kEndpointPath).c_str(), headers, body, "text/xml");
}

}  // namespace kqc::test
