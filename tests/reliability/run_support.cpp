#include "reliability/run_support.h"

#include "client/transcode_run.h"
#include "media/base64.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

std::string HostileRunTest::errorSaving(std::string_view name) const {
    return "Error saving transcoded file as " + values.targetDir + "/" +
           std::string(name);
}

std::string HostileRunTest::startingOn(std::string_view entry) const {
    return "Starting on " + values.webServerUrl + "/" + std::string(entry);
}

}  // namespace kqc::test
