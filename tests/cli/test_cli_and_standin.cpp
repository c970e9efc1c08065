// quorra-transcode against the stand-in: the same saved files, log lines and debug log as the
// client's own run of the same files, with one job or several; and a stop by signal.
#include "cli/cli_process.h"
#include "client/transcode_run.h"
#include "standin/standin_test_support.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kqc::test {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = readBytes(entry.path());
    return files;
}

// The lines of each file, one block per file, in order: a block begins with "Starting".
std::vector<std::string> FileBlocks(const std::string& lines) {
    std::vector<std::string> blocks;
    for (size_t at = 0, end; at < lines.size(); at = end + 1) {
        end = lines.find('\n', at);
        if (lines.compare(at, 8, "Starting") == 0 || blocks.empty()) blocks.emplace_back();
        blocks.back().append(lines, at, end - at + 1);
    }
    return blocks;
}

struct Batch {
    const char* name;
    bool urlMode;
    int jobs;
    std::string sourceCodec;
};
void PrintTo(const Batch& batch, std::ostream* out) {
    *out << batch.name;
}

class CliAndStandin : public ::testing::TestWithParam<Batch> {};

// Two workers and a delay, so that a third call at once is answered 2005.
TEST_P(CliAndStandin, SavesAndLogsWhatTheClientsRunDoes) {
    TempDir work;
    for (const char* folder : {"web", "src", "out"}) fs::create_directory(work / folder);
    auto options = TestOptions();
    options.webRoot = work / "web";
    options.workers = 2;
    options.delay = std::chrono::milliseconds(150);
    RunningStandin standin(options);

    RunValues values;
    values.urlMode = GetParam().urlMode;
    values.endpoint = standin.service().endpointUrl();
    values.webServerUrl = standin.service().webRootUrl();
    values.sourceDir = (work / "src").string();
    values.targetDir = (work / "out").string();
    values.debugToFile = true;
    values.debugLogPath = work / "debug.log";
    values.sourceCodec = GetParam().sourceCodec;
    std::vector<std::string> args = {"--endpoint",
                                     values.endpoint,
                                     "--target-dir",
                                     values.targetDir,
                                     "--debug-file=" + values.debugLogPath.string(),
                                     "--jobs",
                                     std::to_string(GetParam().jobs),
                                     "--source-codec",
                                     values.sourceCodec};
    if (values.urlMode)
        args.insert(args.end(), {"--url", values.webServerUrl});
    else
        args.push_back(values.sourceDir);
    for (int i = 0; i < 7; ++i) {
        const std::string name = "song " + std::to_string(i) + ".mp3";
        writeBytes(work / (values.urlMode ? "web" : "src") / name, name + allByteValues());
        values.fileList += (i ? "\r\n" : "") + name;
        if (values.urlMode) args.push_back(name);
    }

    RecordingSink sink;
    TranscodeRun(values, sink);
    const auto saved = FilesIn(work / "out");
    const std::string debugLog = readBytes(values.debugLogPath);
    ASSERT_EQ(saved.size(), 7u) << sink.box;
    EXPECT_NE(debugLog.find("<codec>" + values.sourceCodec + "</codec>"), std::string::npos);
    fs::remove_all(work / "out");
    fs::create_directory(work / "out");
    fs::remove(values.debugLogPath);
    std::string lines;  // the box's lines as the program prints them
    for (size_t at = 2, end; at <= sink.box.size(); at = end + 2) {
        end = std::min(sink.box.find("\r\n", at), sink.box.size());
        lines.append(sink.box, at, end - at).append("\n");
    }

    const CliRun run = RunCli(args, work.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(FilesIn(work / "out"), saved);
    ASSERT_TRUE(run.out.ends_with("\nTranscoding Finished.\n"));
    const std::string cliLines = run.out.substr(0, run.out.size() - 22);
    if (GetParam().jobs == 1) {
        EXPECT_EQ(cliLines, lines);
        EXPECT_EQ(readBytes(values.debugLogPath), debugLog);
    } else {
        auto expected = FileBlocks(lines), got = FileBlocks(cliLines);
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected);
        EXPECT_NE(standin.log().find("code=2005"), std::string::npos);
        EXPECT_NE(run.err.find("going on with 2 at a time"), std::string::npos) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Batches, CliAndStandin,
                         ::testing::Values(Batch{"UrlModeOneJob", true, 1, "mp3"},
                                           Batch{"FileSystemModeOneJob", false, 1, "mpeg-layer-3"},
                                           Batch{"UrlModeThreeJobs", true, 3, "mp3"},
                                           Batch{"FileSystemModeThreeJobs", false, 3, "mp3"}),
                         [](const auto& info) { return info.param.name; });

class StopBySignal : public ::testing::TestWithParam<int> {};

// A service that takes the connection and never answers: only the signal ends the call.
TEST_P(StopBySignal, EndsACallInFlightAtOnceLeavingNothing) {
    TempDir work;
    fs::create_directory(work / "out");
    writeBytes(work / "song.mp3", allByteValues());
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string endpoint =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";

    const pid_t pid = StartCli({"--endpoint", endpoint, "--target-dir", (work / "out").string(),
                                (work / "song.mp3").string()},
                               work / "stdout", work / "stderr");
    pollfd waiting{silent, POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 10000), 1) << "the program never connected";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid, GetParam());
    EXPECT_EQ(WaitCli(pid, 5), 128 + GetParam());
    EXPECT_TRUE(fs::is_empty(work / "out"));
    EXPECT_EQ(readBytes(work / "stdout").find("Transcoding Finished."), std::string::npos);
    ::close(silent);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopBySignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) {
                             return info.param == SIGINT ? "Sigint" : "Sigterm";
                         });

}  // namespace
}  // namespace kqc::test
