#include "client/transcode_run.h"

#include "client/request_builder.h"
#include "client/response_handler.h"
#include "client/service_call.h"
#include "client/stop_signal.h"
#include "media/base64.h"
#include "media/file_contents.h"
#include "media/folder_listing.h"

#include <new>
#include <vector>

namespace kqc {

namespace {

constexpr std::string_view kSeparator = "-------------------------------------------------";

std::vector<std::string_view> splitAtCrLf(std::string_view text) {
    std::vector<std::string_view> entries;
    for (;;) {
        size_t at = text.find("\r\n");
        entries.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return entries;
        text.remove_prefix(at + 2);
    }
}

bool stopped(const StopSignal* stop) { return stop && stop->requested(); }

// Logs how building the request went, posts it and hands the answer on. The request is given
// up to the service call, which releases it once sent. False when the request went no further
// than a failure line, or the run was stopped meanwhile.
bool postBuiltRequest(FormFields& fields, ActivityLog& log, StopSignal* stop, bool built,
                      std::string request, std::string_view sourceName,
                      Base64TailEncoder* unsent = nullptr) {
    if (!built) {
        log.LogOutput("CreateSOAPRequestXML Failure");
        return false;
    }
    log.LogOutput("CreateSOAPRequestXML successfully");

    std::string response;
    const bool posted = PostXML(fields.text(Field::txtTranscoderURLPort), std::move(request),
                                response, stop, unsent);
    if (stopped(stop)) return false;
    if (!posted) {
        log.LogOutput("PostXML Failure: Transcoder response Failure (Not 200 OK)");
        return false;
    }
    log.LogOutput("PostXML successfullly");
    const std::string outputName = OutputName(sourceName, fields.text(Field::cmbTarget_Format));
    ResponseHandle(fields, log, response, outputName);
    return true;
}

void runUrlMode(FormFields& fields, ActivityLog& log, StopSignal* stop) {
    std::string url = fields.text(Field::txtURL);
    if (url.empty() || url.back() != '/') {
        url.push_back('/');
        fields.setText(Field::txtURL, url);
    }
    const std::string list = fields.text(Field::txtSourceFilenames);
    for (std::string_view entry : splitAtCrLf(list)) {
        if (stopped(stop)) return;
        if (entry.empty()) continue;
        try {
            const std::string currentUrl = fields.text(Field::txtURL);
            log.LogOutput("Starting on " + currentUrl + "/" + std::string(entry));
            std::string request;
            const bool built =
                CreateSOAPRequestXML(fields, log, request, {}, currentUrl + UrlPathOf(entry));
            // A failed request goes straight on to the next entry, without the separator.
            if (!postBuiltRequest(fields, log, stop, built, std::move(request), entry)) continue;
            log.LogOutput(kSeparator);
            log.LogOutput("");
        } catch (const std::bad_alloc&) {
            // The entry ends with the lines it has; the next one follows.
        }
    }
}

void runFileSystemMode(FormFields& fields, ActivityLog& log, StopSignal* stop) {
    const std::string folder = fields.text(Field::txtSourceDir);
    const auto files = ListPlainFiles(folder);
    if (!files) {
        log.LogOutput("Error reading source directory " + folder);
        return;
    }
    for (const FolderFile& file : *files) {
        if (stopped(stop)) return;
        if (!NameMatchesFilter(file.name, fields.text(Field::cmbSource_Format))) continue;
        try {
            // One buffer becomes the whole request: the file is read in after the request's
            // head, turned into its Base64 text where it stands, and the rest follows.
            const std::string& head = FileDataRequestHead();
            std::string request(head);
            bool read = false;
            size_t lead = 0;  // the room before the bytes that their text needs beyond them
            try {
                read = AppendFileContents(
                    file.path, request, FileDataRequestCapacity,
                    [&lead](size_t size) { return lead = Base64EncodedSize(size) - size; });
            } catch (const std::bad_alloc&) {
            }
            if (!read) {
                log.LogOutput("Error reading source file " + file.path);
                continue;
            }
            if (stopped(stop)) return;
            log.LogOutput("Starting to Base64 Encode File");
            Base64TailEncoder text(request, head.size(), lead);
            // The debug file's entry needs the whole text first. Otherwise nothing reads the
            // request before the service does: its text is made as it is sent, while the service
            // takes in what came before.
            DebugEntry entry;
            if (fields.debugValue() == 1) {
                entry = EncodeFileData(log, request, text, stop);
                if (stopped(stop)) return;  // an entry begun is cut off again
            }
            const bool built = CreateSOAPRequestXML(fields, log, request, std::move(entry));
            postBuiltRequest(fields, log, stop, built, std::move(request), file.name, &text);
        } catch (const std::bad_alloc&) {
            // The file ends with the lines it has; the next one follows.
        }
    }
}

bool keptInUrlPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

}  // namespace

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

void BeginTranscodeRun(FormFields& fields) {
    fields.setOutputLogText("");
    fields.setEnabled(Button::cmdTranscode, false);
    fields.setEnabled(Button::cmdFileSelect, false);
}

void TranscodeSources(FormFields& fields, ActivityLog& log, StopSignal* stop) {
    try {
        if (fields.urlModeSelected())
            runUrlMode(fields, log, stop);
        else
            runFileSystemMode(fields, log, stop);
    } catch (const std::exception& e) {
        // Nothing but a failure outside any one file gets here: the window stays usable.
        if (!stopped(stop)) log.LogOutput(std::string("Transcoding stopped: ") + e.what());
    }
}

void EndTranscodeRun(FormFields& fields) {
    fields.showFinishedNotice("Transcoding Finished.");
    fields.setEnabled(Button::cmdTranscode, true);
    fields.setEnabled(Button::cmdFileSelect, true);
}

void TranscodeRun(FormFields& fields, ActivityLog& log) {
    BeginTranscodeRun(fields);
    TranscodeSources(fields, log);
    EndTranscodeRun(fields);
}

}  // namespace kqc
