#include "client/response_handler.h"

#include "client/return_codes.h"
#include "media/base64.h"
#include "media/file_contents.h"
#include "media/paths.h"

#include <span>
#include <string>

namespace kqc {

namespace {

constexpr std::string_view kReturnCodeStart = "<returnCode xsi:type=\"xsd:int\">";
constexpr std::string_view kReturnCodeEnd = "</returnCode>";
constexpr std::string_view kMessageStart = "<message xsi:type=\"xsd:string\">";
constexpr std::string_view kMessageEnd = "</message>";
constexpr std::string_view kFileDataStart = "<fileData xsi:type=\"xsd:base64Binary\">";
constexpr std::string_view kFileDataEnd = "</fileData>";

void logMessageIfAny(ActivityLog& log, std::string_view response) {
    std::string_view message;
    if (!ExtractTagValue(response, kMessageStart, kMessageEnd, message)) return;
    std::string line("Response Message: ");
    line.append(message);
    log.LogOutput(line);
}

// Decodes the file data where its text stands in the answer: the bytes take less room than the
// text, so no second whole-file buffer is needed.
FileOutcome saveFileData(std::string_view targetDir, ActivityLog& log, std::string& response,
                         std::string_view filename) {
    std::string_view fileData;
    if (!ExtractTagValue(response, kFileDataStart, kFileDataEnd, fileData)) {
        log.LogOutput("No <fileData> was Found");
        return FileOutcome::failed;
    }
    const std::string path = JoinPath(targetDir, filename);
    const std::span<char> text(response.data() + (fileData.data() - response.data()),
                               fileData.size());
    size_t decodedLength = 0;
    if (!Base64DecodeInPlace(text, decodedLength)) {
        log.LogOutput("Error decoding <fileData> for " + path);
        return FileOutcome::failed;
    }
    const IoResult saved = [&] {
        const std::shared_lock underWay(SavesUnderWay());
        return SaveTranscodedFile(path, std::string_view(text.data(), decodedLength));
    }();
    if (!saved) {
        log.LogFailure("Error saving transcoded file as " + path, saved.cause());
        return FileOutcome::failed;
    }
    log.LogOutput("Saved transcoded file as " + path);
    return FileOutcome::saved;
}

}  // namespace

std::shared_mutex& SavesUnderWay() {
    static std::shared_mutex saves;
    return saves;
}

bool ExtractTagValue(std::string_view text, std::string_view startTag, std::string_view endTag,
                     std::string_view& value) {
    const size_t start = text.find(startTag);
    const size_t end = text.find(endTag);
    if (start == std::string_view::npos || end == std::string_view::npos) return false;
    const size_t valueStart = start + startTag.size();
    if (end < valueStart) return false;  // the end tag stands inside or before the start tag
    value = text.substr(valueStart, end - valueStart);
    return true;
}

FileOutcome ResponseHandle(std::string_view targetDir, ActivityLog& log,
                           std::string_view vcResponseCode, std::string_view vcFilename) {
    std::string response(vcResponseCode);
    return ResponseHandle(targetDir, log, response, vcFilename);
}

FileOutcome ResponseHandle(std::string_view targetDir, ActivityLog& log,
                           std::string& vcResponseCode, std::string_view vcFilename) {
    std::string_view code;
    const bool hasCode = ExtractTagValue(vcResponseCode, kReturnCodeStart, kReturnCodeEnd, code);
    if (!hasCode) {
        logMessageIfAny(log, vcResponseCode);
        return FileOutcome::failed;
    }
    if (code == "0") return saveFileData(targetDir, log, vcResponseCode, vcFilename);
    std::string line("ResponseHandle Failure: Returncode was ");
    line.append(code).append(" - ").append(ReturnCodeText(code));
    log.LogOutput(line);
    return code == "2005" ? FileOutcome::busy : FileOutcome::failed;
}

}  // namespace kqc
