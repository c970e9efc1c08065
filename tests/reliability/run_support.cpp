#include "reliability/run_support.h"

#include "client/transcode_run.h"
#include "media/base64.h"
#include "support/child_process.h"

#include <unistd.h>

#include <algorithm>

namespace kqc::test {

namespace fs = std::filesystem;

std::string successResponse(std::string_view bytes) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope><soapenv:Body>" +
           returnCode("0") + message("Transcoding done") + fileData(Base64Encode(bytes)) +
           "</soapenv:Body></soapenv:Envelope>";
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int runInChild(const std::function<int()>& body, const std::function<void()>& inParent,
               int timeoutSeconds) {
    pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        int code = 1;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    if (inParent) inParent();
    return waitForExit(child, timeoutSeconds);
}

HostileRunTest::HostileRunTest() {
    fs::create_directory(source);
    fs::create_directory(target);
    values.sourceDir = source.string();
    values.targetDir = target.string();
    values.webServerUrl = "http://127.0.0.1/media/";
    values.debugToFile = true;
    values.debugLogPath = dir / "debug.log";
}

void HostileRunTest::runAgainst(const std::string& endpoint) {
    values.endpoint = endpoint;
    TranscodeRun(values, sink);
}

void HostileRunTest::runUrlMode(const std::string& endpoint, const std::string& fileList) {
    values.urlMode = true;
    values.fileList = fileList;
    runAgainst(endpoint);
}

void HostileRunTest::runFileSystemMode(const std::string& endpoint) {
    values.urlMode = false;
    runAgainst(endpoint);
}

std::string HostileRunTest::saved(std::string_view name) const {
    return "Saved transcoded file as " + values.targetDir + "/" + std::string(name);
}

std::string HostileRunTest::errorSaving(std::string_view name, std::string_view cause) const {
    return "Error saving transcoded file as " + values.targetDir + "/" + std::string(name) +
           "\r\nCause: " + std::string(cause);
}

std::string HostileRunTest::startingOn(std::string_view entry) const {
    return "Starting on " + values.webServerUrl + "/" + std::string(entry);
}

}  // namespace kqc::test
