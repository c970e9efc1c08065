#include "quorra-standin/transcoder.h"

#include "quorra-standin/amr_wb_encoder.h"
#include "quorra-standin/process_runner.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
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

// How long ffmpeg has to end after SIGTERM before a stop kills it.
constexpr std::chrono::seconds kFfmpegEndGrace{1};

// A folder only this process can enter, made inside parent (the system's temporary folder when
// empty); empty when it cannot be made.
std::filesystem::path MakePrivateFolder(const std::filesystem::path& parent) {
    std::error_code ec;
    const std::filesystem::path inside =
        parent.empty() ? std::filesystem::temp_directory_path(ec) : parent;
    std::string pattern = inside / "quorra-standin-XXXXXX";
    return !ec && mkdtemp(pattern.data()) ? std::filesystem::path(pattern)
                                          : std::filesystem::path();
}

// One call's folder inside the transcoder's, removed with its contents at the end of the scope.
class CallFolder {
public:
    explicit CallFolder(const std::filesystem::path& parent)
        : m_path(parent.empty() ? parent : MakePrivateFolder(parent)) {}
    ~CallFolder() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    CallFolder(const CallFolder&) = delete;
    CallFolder& operator=(const CallFolder&) = delete;
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

// ffmpeg reading one file of the given formats through the file protocol only, quietly.
std::vector<std::string> FfmpegInput(const std::filesystem::path& ffmpeg,
                                     const std::filesystem::path& source, const char* formats) {
    return {ffmpeg.string(),          "-nostdin", "-hide_banner",      "-loglevel", "error",
            "-protocol_whitelist",    "file",     "-format_whitelist", formats,     "-i",
            "file:" + source.string()};
}

std::vector<std::string> FfmpegArguments(const std::filesystem::path& ffmpeg,
                                         const std::filesystem::path& source,
                                         const std::filesystem::path& target,
                                         const EncoderChoice& choice) {
    auto args = FfmpegInput(ffmpeg, source, kSourceFormats);
    args.insert(args.end(),
                {"-map", "0:a:0", "-vn", "-c:a", std::string(choice.encoder), "-ar",
                 std::to_string(choice.samplingRate), "-ac", std::to_string(choice.channels)});
    if (choice.bitRate > 0) {
        args.push_back("-b:a");
        args.push_back(std::to_string(choice.bitRate));
    }
    args.insert(args.end(), {"-f", std::string(choice.muxer), "-y", "file:" + target.string()});
    return args;
}

// The source's first audio stream as raw 16 kHz mono 16-bit samples in the machine's byte order.
std::vector<std::string> AmrWbPcmArguments(const std::filesystem::path& ffmpeg,
                                           const std::filesystem::path& source,
                                           const std::filesystem::path& pcm) {
    auto args = FfmpegInput(ffmpeg, source, kSourceFormats);
    const char* raw = std::endian::native == std::endian::little ? "s16le" : "s16be";
    args.insert(args.end(), {"-map", "0:a:0", "-vn", "-c:a", std::string("pcm_") + raw, "-ar",
                             "16000", "-ac", "1", "-f", raw, "-y", "file:" + pcm.string()});
    return args;
}

// ffmpeg's mp4 muxer has no sample entry for AMR-WB; its 3GP muxer writes the same ISO file with
// the "sawb" entry, and with "mp42" as the major brand the file is an MP4 file.
std::vector<std::string> AmrWbMp4Arguments(const std::filesystem::path& ffmpeg,
                                           const std::filesystem::path& storage,
                                           const std::filesystem::path& target) {
    auto args = FfmpegInput(ffmpeg, storage, "amr");
    args.insert(args.end(),
                {"-c:a", "copy", "-f", "3gp", "-brand", "mp42", "-y", "file:" + target.string()});
    return args;
}

std::chrono::milliseconds TimeLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds(1));
}

}  // namespace

std::optional<std::filesystem::path> FindFfmpeg() {
    auto path = FindProgram("ffmpeg");
    if (path.empty()) return std::nullopt;
    return path;
}

Transcoder::Transcoder(Engine engine, std::filesystem::path ffmpeg,
                       std::chrono::milliseconds timeout)
    : m_engine(engine), m_ffmpeg(std::move(ffmpeg)), m_timeout(timeout) {
    if (m_engine == Engine::ffmpeg) m_folder = MakePrivateFolder({});
}

Transcoder::~Transcoder() {
    std::error_code ec;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
}

void Transcoder::stop() {
    m_children.endAll(kFfmpegEndGrace);
}

TranscodeOutcome Transcoder::transcode(std::string source, const EncoderChoice& choice) {
    if (m_engine == Engine::echo) return {0, std::move(source)};
    bool amrWb = choice.encoder == kAmrWbEncoder;
    if (!amrWb && !hasEncoder(choice.encoder)) return {2006, {}};
    if (source.empty()) return {2002, {}};
    return amrWb ? runAmrWb(source, choice) : runFfmpeg(source, choice);
}

// Reads the encoder names from "ffmpeg -encoders" once; lines look like " A..... aac   AAC ...".
bool Transcoder::hasEncoder(std::string_view encoder) {
    std::call_once(m_encodersRead, [this] {
        CallFolder folder(m_folder);
        if (!folder.ok()) return;
        auto listing = folder / "encoders";
        auto run = RunProcess({m_ffmpeg.string(), "-hide_banner", "-encoders"}, listing, m_timeout,
                              &m_children);
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
    CallFolder folder(m_folder);
    auto sourceFile = folder / "source";
    auto targetFile = folder / "target";
    if (!folder.ok() || !WriteNewFile(sourceFile, source)) return {2003, {}};
    auto run = RunProcess(FfmpegArguments(m_ffmpeg, sourceFile, targetFile, choice),
                          folder / "ffmpeg.log", m_timeout, &m_children);
    TranscodeOutcome outcome{2003, {}};
    if (run.exitCode == 0 && ReadWholeFile(targetFile, outcome.data)) outcome.returnCode = 0;
    return outcome;
}

// ffmpeg decodes the source to PCM, libvo-amrwbenc encodes it, and for MP4 ffmpeg wraps the
// frames without touching them; all within one transcode timeout.
TranscodeOutcome Transcoder::runAmrWb(const std::string& source, const EncoderChoice& choice) {
    auto deadline = std::chrono::steady_clock::now() + m_timeout;
    CallFolder folder(m_folder);
    auto sourceFile = folder / "source";
    auto pcmFile = folder / "pcm";
    auto log = folder / "ffmpeg.log";
    if (!folder.ok() || !WriteNewFile(sourceFile, source)) return {2003, {}};
    if (RunProcess(AmrWbPcmArguments(m_ffmpeg, sourceFile, pcmFile), log, TimeLeft(deadline),
                   &m_children)
            .exitCode != 0)
        return {2003, {}};
    auto storage = EncodeAmrWbFile(pcmFile, AmrWbMode(choice.bitRate), deadline);
    if (!storage) return {2003, {}};
    if (choice.muxer == "amr") return {0, std::move(*storage)};

    auto storageFile = folder / "storage";
    auto targetFile = folder / "target";
    TranscodeOutcome outcome{2003, {}};
    if (WriteNewFile(storageFile, *storage) &&
        RunProcess(AmrWbMp4Arguments(m_ffmpeg, storageFile, targetFile), log, TimeLeft(deadline),
                   &m_children)
                .exitCode == 0 &&
        ReadWholeFile(targetFile, outcome.data))
        outcome.returnCode = 0;
    return outcome;
}

}  // namespace kqc::standin
