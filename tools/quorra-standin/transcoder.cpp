#include "quorra-standin/transcoder.h"

#include "quorra-standin/process_runner.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace kqc::standin {
namespace {

// Demuxers ffmpeg may use on a source. Playlist and concatenation formats are left out, so that
// a source cannot make ffmpeg read other files; only the file protocol is allowed at all.
constexpr const char* kSourceFormats =
    "mp3,wav,mov,aac,au,amr,amrnb,amrwb,asf,flac,ogg,aiff,caf,w64,gsm,g722,g723_1,g729,"
    "alaw,mulaw,wv,ape,tta,matroska,mpc,mpc8,voc,xwma";

// A folder only this process can enter, removed with its contents at the end of the scope.
class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorra-standin-XXXXXX");
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    bool ok() const { return !m_path.empty(); }
    std::filesystem::path operator/(const char* name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

bool WriteNewFile(const std::filesystem::path& file, const std::string& bytes) {
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return close(fd) == 0 && done == bytes.size();
}

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::vector<std::string> FfmpegArguments(const std::filesystem::path& ffmpeg,
                                         const std::filesystem::path& source,
                                         const std::filesystem::path& target,
                                         const EncoderChoice& choice) {
    std::vector<std::string> args = {ffmpeg.string(),
                                     "-nostdin",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-protocol_whitelist",
                                     "file",
                                     "-format_whitelist",
                                     kSourceFormats,
                                     "-i",
                                     "file:" + source.string(),
                                     "-map",
                                     "0:a:0",
                                     "-vn",
                                     "-c:a",
                                     std::string(choice.encoder),
                                     "-ar",
                                     std::to_string(choice.samplingRate),
                                     "-ac",
                                     std::to_string(choice.channels)};
    if (choice.bitRate > 0) {
        args.push_back("-b:a");
        args.push_back(std::to_string(choice.bitRate));
    }
    args.insert(args.end(), {"-f", std::string(choice.muxer), "-y", "file:" + target.string()});
    return args;
}

}  // namespace

std::optional<std::filesystem::path> FindFfmpeg() {
    auto path = FindProgram("ffmpeg");
    if (path.empty()) return std::nullopt;
    return path;
}

Transcoder::Transcoder(Engine engine, std::filesystem::path ffmpeg,
                       std::chrono::milliseconds timeout)
    : m_engine(engine), m_ffmpeg(std::move(ffmpeg)), m_timeout(timeout) {}

TranscodeOutcome Transcoder::transcode(std::string source, const EncoderChoice& choice) {
    if (m_engine == Engine::echo) return {0, std::move(source)};
    if (!hasEncoder(choice.encoder)) return {2006, {}};
    if (source.empty()) return {2002, {}};
    return runFfmpeg(source, choice);
}

// Reads the encoder names from "ffmpeg -encoders" once; lines look like " A..... aac   AAC ...".
bool Transcoder::hasEncoder(std::string_view encoder) {
    std::call_once(m_encodersRead, [this] {
        PrivateFolder folder;
        if (!folder.ok()) return;
        auto listing = folder / "encoders";
        auto run = RunProcess({m_ffmpeg.string(), "-hide_banner", "-encoders"}, listing, m_timeout);
        std::string text;
        if (run.exitCode != 0 || !ReadWholeFile(listing, text)) return;
        std::istringstream lines(text);
        std::string flags, name;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            if (words >> flags >> name && flags.size() == 6 && flags[0] == 'A')
                m_encoders.insert(name);
        }
    });
    return m_encoders.contains(encoder);
}

TranscodeOutcome Transcoder::runFfmpeg(const std::string& source, const EncoderChoice& choice) {
    PrivateFolder folder;
    auto sourceFile = folder / "source";
    auto targetFile = folder / "target";
    if (!folder.ok() || !WriteNewFile(sourceFile, source)) return {2003, {}};
    auto run = RunProcess(FfmpegArguments(m_ffmpeg, sourceFile, targetFile, choice),
                          folder / "ffmpeg.log", m_timeout);
    TranscodeOutcome outcome{2003, {}};
    if (run.exitCode == 0 && ReadWholeFile(targetFile, outcome.data)) outcome.returnCode = 0;
    return outcome;
}

}  // namespace kqc::standin
