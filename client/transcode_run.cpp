#include "client/transcode_run.h"

#include "client/request_builder.h"
#include "client/response_handler.h"
#include "client/service_call.h"
#include "media/base64.h"
#include "media/file_contents.h"
#include "media/folder_listing.h"

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

void releaseText(std::string& text) {
    std::string().swap(text);
}

// Builds, posts and hands on the request for one source: location for URL mode, Base64 file
// data (moved in, released once in the request) for file-system mode. False when the request
// went no further than a failure line.
bool transcodeOne(FormFields& fields, ActivityLog& log, std::string fileData,
                  std::string_view location, std::string_view sourceName) {
    std::string request;
    if (!CreateSOAPRequestXML(fields, log, request, fileData, location)) {
        log.LogOutput("CreateSOAPRequestXML Failure");
        return false;
    }
    log.LogOutput("CreateSOAPRequestXML successfully");
    releaseText(fileData);

    std::string response;
    bool posted = false;
    const std::string endpoint = fields.text(Field::txtTranscoderURLPort);
    fields.runBlocking([&] { posted = PostXML(endpoint, request, response); });
    releaseText(request);
    if (!posted) {
        log.LogOutput("PostXML Failure: Transcoder response Failure (Not 200 OK)");
        return false;
    }
    log.LogOutput("PostXML successfullly");
    const std::string outputName = OutputName(sourceName, fields.text(Field::cmbTarget_Format));
    ResponseHandle(fields, log, response, outputName);
    return true;
}

void runUrlMode(FormFields& fields, ActivityLog& log) {
    std::string url = fields.text(Field::txtURL);
    if (url.empty() || url.back() != '/') {
        url.push_back('/');
        fields.setText(Field::txtURL, url);
    }
    const std::string list = fields.text(Field::txtSourceFilenames);
    for (std::string_view entry : splitAtCrLf(list)) {
        if (entry.empty()) continue;
        const std::string currentUrl = fields.text(Field::txtURL);
        log.LogOutput("Starting on " + currentUrl + "/" + std::string(entry));
        // A failed request goes straight on to the next entry, without the separator.
        if (!transcodeOne(fields, log, {}, currentUrl + std::string(entry), entry)) continue;
        log.LogOutput(kSeparator);
        log.LogOutput("");
    }
}

void runFileSystemMode(FormFields& fields, ActivityLog& log) {
    const std::string folder = fields.text(Field::txtSourceDir);
    const auto files = ListPlainFiles(folder);
    if (!files) {
        log.LogOutput("Error reading source directory " + folder);
        return;
    }
    for (const FolderFile& file : *files) {
        if (!NameMatchesFilter(file.name, fields.text(Field::cmbSource_Format))) continue;
        std::string contents;
        bool read = false;
        fields.runBlocking([&] { read = ReadFileContents(file.path, contents); });
        if (!read) {
            log.LogOutput("Error reading source file " + file.path);
            continue;
        }
        log.LogOutput("Starting to Base64 Encode File");
        std::string fileData;
        fields.runBlocking([&] {
            fileData = Base64Encode(contents);
            releaseText(contents);
        });
        transcodeOne(fields, log, std::move(fileData), {}, file.name);
    }
}

}  // namespace

std::string OutputName(std::string_view name, std::string_view targetFormat) {
    std::string output(name.substr(0, name.rfind('.')));
    output.push_back('.');
    output.append(targetFormat);
    return output;
}

void TranscodeRun(FormFields& fields, ActivityLog& log) {
    fields.setOutputLogText("");
    fields.setEnabled(Button::cmdTranscode, false);
    fields.setEnabled(Button::cmdFileSelect, false);
    try {
        if (fields.urlModeSelected())
            runUrlMode(fields, log);
        else
            runFileSystemMode(fields, log);
    } catch (const std::exception& e) {
        // Only running out of memory gets here: the run ends, the window stays usable.
        log.LogOutput(std::string("Transcoding stopped: ") + e.what());
    }
    fields.showFinishedNotice("Transcoding Finished.");
    fields.setEnabled(Button::cmdTranscode, true);
    fields.setEnabled(Button::cmdFileSelect, true);
}

}  // namespace kqc
