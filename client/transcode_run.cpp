#include "client/transcode_run.h"

#include "client/batch_run.h"
#include "client/request_builder.h"
#include "client/response_handler.h"
#include "client/service_call.h"
#include "client/stop_signal.h"
#include "media/base64.h"
#include "media/file_contents.h"
#include "media/large_buffer.h"
#include "media/paths.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>

namespace kqc {

namespace {

constexpr std::string_view kSeparator = "-------------------------------------------------";
// A file's Base64 text is made in pieces of this many chars when made ahead; a stop waits for one.
constexpr size_t kEncodePiece = size_t{16} << 20;

bool stopped(const StopSignal* stop) { return stop && stop->requested(); }

// Logs how building the request went, posts it and hands the answer on. The request is given
// up to the service call, which releases it once sent. Nothing when the request went no further
// than a failure line, or the run was stopped meanwhile.
std::optional<FileOutcome> postBuiltRequest(const RunValues& values, ActivityLog& log,
                                            StopSignal* stop, std::size_t memoryLimit, bool built,
                                            RequestBody request, std::string_view sourceName) {
    if (!built) {
        log.LogOutput("CreateSOAPRequestXML Failure");
        return std::nullopt;
    }
    log.LogOutput("CreateSOAPRequestXML successfully");

    std::string response, cause;
    const bool posted =
        PostXML(values.endpoint, std::move(request), response, stop, memoryLimit, &cause);
    if (stopped(stop)) return std::nullopt;
    if (!posted) {
        log.LogFailure("PostXML Failure: Transcoder response Failure (Not 200 OK)", cause);
        return std::nullopt;
    }
    log.LogOutput("PostXML successfullly");
    const std::string outputName = OutputName(sourceName, values.target.format);
    return ResponseHandle(values.targetDir, log, response, outputName);
}

FileOutcome transcodeEntry(const RunValues& values, std::string_view entry, ActivityLog& log,
                           StopSignal* stop, std::size_t memoryLimit) {
    const std::string url = WebServerUrlOf(values);
    log.LogOutput("Starting on " + url + "/" + std::string(entry));
    std::string request;
    const bool built = CreateSOAPRequestXML(values.target, log, request, {}, url + UrlPathOf(entry),
                                            values.sourceCodec);
    const auto outcome =
        postBuiltRequest(values, log, stop, memoryLimit, built, {std::move(request), {}}, entry);
    // A failed request goes straight on to the next entry, without the separator.
    if (!outcome) return stopped(stop) ? FileOutcome::stopped : FileOutcome::failed;
    log.LogOutput(kSeparator);
    log.LogOutput("");
    return *outcome;
}

// One buffer becomes the whole request: the file is read in after the request's head, turned
// into its Base64 text where it stands, and the rest follows.
FileOutcome transcodeFile(const RunValues& values, const FolderFile& file, ActivityLog& log,
                          StopSignal* stop, std::size_t memoryLimit) {
    std::string request = FileDataRequestHead(values.sourceCodec);
    const size_t head = request.size();
    size_t lead = 0;  // the room before the bytes that their text needs beyond them
    FileReadRoom room{[&values](size_t size) {
                          return FileDataRequestCapacity(size, values.target, values.sourceCodec);
                      },
                      [&lead](size_t size) { return lead = Base64EncodedSize(size) - size; },
                      memoryLimit, [stop] { return stopped(stop); }};
    IoResult read;
    try {
        read = ReadFileContents(file.path, request, room);
    } catch (const std::bad_alloc&) {
        read = IoResult::failure("out of memory");
    }
    if (stopped(stop)) return FileOutcome::stopped;
    if (!read) {
        log.LogFailure("Error reading source file " + file.path, read.cause());
        return FileOutcome::failed;
    }
    log.LogOutput("Starting to Base64 Encode File");
    Base64TailEncoder text(request, head, lead);
    // The request's debug entry needs the whole text first. Otherwise nothing reads the request
    // before the service: its text is made as it is sent, while the service takes in the start.
    while (values.debugToFile && !text.done()) {
        if (stopped(stop)) return FileOutcome::stopped;
        text.encodeUpTo(request, text.finalEnd() + kEncodePiece);
    }
    const bool built = CreateSOAPRequestXML(values.target, log, request);
    RequestBody body{std::move(request),
                     [&text](std::string& bytes, size_t end) { text.encodeUpTo(bytes, end); }};
    const auto outcome =
        postBuiltRequest(values, log, stop, memoryLimit, built, std::move(body), file.name);
    return outcome ? *outcome : stopped(stop) ? FileOutcome::stopped : FileOutcome::failed;
}

bool keptInUrlPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

}  // namespace

std::string WebServerUrlOf(const RunValues& values) {
    const std::string& url = values.webServerUrl;
    return url.empty() || url.back() != '/' ? url + "/" : url;
}

std::string UrlPathOf(std::string_view entry) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string path;
    path.reserve(entry.size());
    for (const char c : entry) {
        const auto byte = static_cast<unsigned char>(c);
        if (keptInUrlPath(byte)) {
            path.push_back(c);
        } else {
            path.push_back('%');
            path.push_back(kHex[byte >> 4]);
            path.push_back(kHex[byte & 15]);
        }
    }
    return path;
}

std::string OutputName(std::string_view name, std::string_view targetFormat) {
    std::string output(name.substr(0, name.rfind('.')));
    output.push_back('.');
    output.append(targetFormat);
    return output;
}

std::vector<FolderFile> RunSources(const RunValues& values, ActivityLog& log) {
    std::vector<FolderFile> sources;
    if (values.urlMode) {
        // Entries are split at CR LF only, and kept as they are.
        std::string_view list = values.fileList;
        for (bool more = true; more;) {
            const size_t at = list.find("\r\n");
            const std::string_view entry = list.substr(0, at);
            if (!entry.empty()) sources.push_back({std::string(entry), std::string(entry)});
            more = at != std::string_view::npos;
            if (more) list.remove_prefix(at + 2);
        }
        return sources;
    }
    return FolderSources(values.sourceDir, values.sourceFormat, log).value_or(sources);
}

std::optional<std::vector<FolderFile>> FolderSources(std::string_view folder,
                                                     std::string_view filter, ActivityLog& log) {
    IoResult why;
    auto files = ListPlainFiles(folder, &why);
    if (!files) {
        log.LogFailure("Error reading source directory " + std::string(folder), why.cause());
        return std::nullopt;
    }
    std::erase_if(*files, [filter](const FolderFile& file) {
        return !NameMatchesFilter(file.name, filter);
    });
    return files;
}

FileOutcome TranscodeSource(const RunValues& values, const FolderFile& source, ActivityLog& log,
                            StopSignal* stop, std::size_t memoryLimit) {
    try {
        return values.urlMode ? transcodeEntry(values, source.name, log, stop, memoryLimit)
                              : transcodeFile(values, source, log, stop, memoryLimit);
    } catch (const std::bad_alloc&) {
        // The source ends with the lines it has; the next one follows.
        return stopped(stop) ? FileOutcome::stopped : FileOutcome::failed;
    }
}

void TranscodeRun(const RunValues& values, RunSink& sink, StopSignal* stop) {
    ActivityLog log(sink, values.debugToFile, values.debugLogPath);
    try {
        if (values.urlMode && WebServerUrlOf(values) != values.webServerUrl)
            sink.webServerUrlChanged(WebServerUrlOf(values));
        BatchRun batch(values, RunSources(values, log), 1, sink, log);
        if (stop) stop->setWake([&batch] { batch.stop(); });
        const std::unique_ptr<StopSignal, void (*)(StopSignal*)> unwake(
            stop, [](StopSignal* signal) { signal->setWake({}); });
        if (!stopped(stop)) batch.run();
    } catch (const std::exception& e) {
        // Nothing but a failure outside any one source gets here: the window stays usable.
        if (!stopped(stop)) log.LogOutput(std::string("Transcoding stopped: ") + e.what());
    }
    if (stopped(stop) && stop->sayInLog()) log.LogOutput(kRunStoppedLine);
}

std::optional<std::string> TargetPathOf(const RunValues& values, const FolderFile& source) {
    const std::string name = OutputName(source.name, values.target.format);
    if (name.find('\0') != std::string::npos) return std::nullopt;
    const std::filesystem::path path = PathFromUtf8(name);
    const auto up = std::find(path.begin(), path.end(), "..");
    if (path.has_root_path() || up != path.end() || path.filename().empty() ||
        path.filename() == ".")
        return std::nullopt;
    return JoinPath(values.targetDir, name);
}

}  // namespace kqc
