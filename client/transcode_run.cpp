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

// Logs how building the request went, posts it and hands the answer on. The request is given
// up to the service call, which releases it once sent. False when the request went no further
// than a failure line.
bool postBuiltRequest(FormFields& fields, ActivityLog& log, bool built, std::string request,
                      std::string_view sourceName) {
    // The debug log may still be writing the request: it is not released before that, whatever
    // way this ends.
    struct UntilLogged {
        ActivityLog& log;
        ~UntilLogged() { log.WaitForDebugFile(); }
    } untilLogged{log};
    if (!built) {
        log.LogOutput("CreateSOAPRequestXML Failure");
        return false;
    }
    log.LogOutput("CreateSOAPRequestXML successfully");

    std::string response;
    bool posted = false;
    const std::string endpoint = fields.text(Field::txtTranscoderURLPort);
    fields.runBlocking([&] {
        posted = PostXML(endpoint, std::move(request), response,
                         [&log] { log.WaitForDebugFile(); });
    });
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
        std::string request;
        const bool built =
            CreateSOAPRequestXML(fields, log, request, {}, currentUrl + std::string(entry));
        // A failed request goes straight on to the next entry, without the separator.
        if (!postBuiltRequest(fields, log, built, std::move(request), entry)) continue;
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
        // One buffer becomes the whole request: the file is read in after the request's head,
        // turned into its Base64 text where it stands, and the rest of the request follows.
        const std::string& head = FileDataRequestHead();
        std::string request(head);
        bool read = false;
        fields.runBlocking(
            [&] { read = AppendFileContents(file.path, request, FileDataRequestCapacity); });
        if (!read) {
            log.LogOutput("Error reading source file " + file.path);
            continue;
        }
        log.LogOutput("Starting to Base64 Encode File");
        fields.runBlocking([&] { Base64EncodeTail(request, head.size()); });
        const bool built = CreateSOAPRequestXML(fields, log, request);
        postBuiltRequest(fields, log, built, std::move(request), file.name);
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
