// quorra-transcode as built, run as a process: the command lines it refuses or warns about; the
// same saved files, log lines and debug log as the client's own run of the same files against the
// stand-in, with one job or several; and a stop by signal.
#include "client/transcode_run.h"
#include "standin/standin_test_support.h"
#include "support/child_process.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kqc::test {
namespace {

namespace fs = std::filesystem;

// The program with its standard output and error in files.
pid_t StartCli(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
    std::vector<std::string> all{KQC_TRANSCODE_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::dup2(outFd, STDOUT_FILENO) < 0 || ::dup2(errFd, STDERR_FILENO) < 0) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
    return pid;
}

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

CliRun RunCli(const std::vector<std::string>& args, const fs::path& folder) {
    CliRun run;
    run.exitCode = waitForExit(StartCli(args, folder / "stdout", folder / "stderr"), 120);
    run.out = readBytes(folder / "stdout");
    run.err = readBytes(folder / "stderr");
    return run;
}

struct Usage {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string stderrLine;
};
void PrintTo(const Usage& usage, std::ostream* out) {
    *out << usage.name;
}

class CommandLineTest : public ::testing::TestWithParam<Usage> {};

TEST_P(CommandLineTest, GivesItsLineAndExitStatus) {
    TempDir dir;
    const CliRun run = RunCli(GetParam().args, dir.path());
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(run.err, "quorra-transcode: " + GetParam().stderrLine + "\n");
    if (run.exitCode == 2) EXPECT_EQ(run.out, "");
}

const std::string kUnreachable = "--endpoint=http://127.0.0.1:9/";

INSTANTIATE_TEST_SUITE_P(
    Refused, CommandLineTest,
    ::testing::Values(
        Usage{"UnknownOption",
              {"--frobnicate", "a.mp3"},
              2,
              "The following argument was not expected: --frobnicate"},
        Usage{"MissingValue", {"a.mp3", "--codec"}, 2, "--codec: 1 required TEXT missing"},
        Usage{"NoSource", {"--jobs", "2"}, 2, "no SOURCE given"},
        Usage{"NoEntry", {"--url", "http://127.0.0.1:9/"}, 2, "no SOURCE and no --list given"},
        Usage{"ListWithoutUrl", {"--list", "-", "a.mp3"}, 2, "--list requires --url"},
        Usage{"UnreadableList",
              {"--url", "http://h/", "--list", "/nonexistent/list"},
              2,
              "cannot read the list /nonexistent/list"},
        Usage{"NoJobs", {"--jobs", "0", "a.mp3"}, 2, "--jobs: Value 0 not in range 1 to 256"},
        Usage{
            "JobsNotANumber", {"-j", "two", "a.mp3"}, 2, "--jobs: Value two not in range 1 to 256"},
        Usage{"CodecOutsideTheList",
              {kUnreachable, "--codec", "opus", "/nonexistent.mp3"},
              1,
              "--codec \"opus\" is none of aac, amr-nb, anr-wb, pcm, g711, g711a, g711u, mp3, "
              "adpcm, gsm-fr, wma, g711b; it is sent as typed"}),
    [](const auto& info) { return info.param.name; });

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
    EXPECT_EQ(waitForExit(pid, 5), 128 + GetParam());
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
