// quorra-transcode as built, run as a process: the command lines it refuses or warns about; the
// same saved files, log lines and debug log as the client's own run of the same files against the
// stand-in, with one job or several; and a stop by signal.
#include "client/transcode_run.h"
#include "media/base64.h"
#include "standin/standin_test_support.h"
#include "support/child_process.h"
#include "support/loopback_server.h"
#include "support/recording_sink.h"
#include "support/service_answer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kqc::test {
namespace {

namespace fs = std::filesystem;

// Runs argv with the given standard descriptors in the folder cwd, with TMPDIR there too (so a
// default debug log stays inside), in a process group of its own when asked.
pid_t Spawn(std::vector<std::string> all, int in, int out, int err, const fs::path& cwd = {},
            bool ownGroup = false) {
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (ownGroup) ::setpgid(0, 0);
        if (!cwd.empty() && (::chdir(cwd.c_str()) != 0 || ::setenv("TMPDIR", "tmp", 1) != 0))
            ::_exit(126);
        if (::dup2(in, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
            ::dup2(err, STDERR_FILENO) < 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

std::vector<std::string> Program(std::vector<std::string> args) {
    args.insert(args.begin(), KQC_TRANSCODE_PROGRAM);
    return args;
}

int OpenFile(const fs::path& path, int flags) {
    return ::open(path.c_str(), flags | O_CLOEXEC, 0600);
}

// The program with its standard output and error in files.
pid_t StartCli(const std::vector<std::string>& args, const fs::path& out, const fs::path& err,
               const fs::path& cwd = {}, const fs::path& in = "/dev/null") {
    const int fds[] = {OpenFile(in, O_RDONLY), OpenFile(out, O_WRONLY | O_CREAT | O_TRUNC),
                       OpenFile(err, O_WRONLY | O_CREAT | O_TRUNC)};
    const pid_t pid = Spawn(Program(args), fds[0], fds[1], fds[2], cwd);
    for (const int fd : fds) ::close(fd);
    return pid;
}

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

CliRun RunCli(const std::vector<std::string>& args, const fs::path& folder,
              const fs::path& cwd = {}, const fs::path& in = "/dev/null") {
    CliRun run;
    run.exitCode = waitForExit(StartCli(args, folder / "stdout", folder / "stderr", cwd, in), 120);
    run.out = readBytes(folder / "stdout");
    run.err = readBytes(folder / "stderr");
    return run;
}

// Every file below folder with its bytes, inode and change times.
std::map<fs::path, std::string> Snapshot(const fs::path& folder) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        if (S_ISDIR(info.st_mode)) continue;
        char state[96];
        std::snprintf(state, sizeof state, "|%lu|%o|%ld.%09ld|%ld.%09ld", info.st_ino,
                      info.st_mode, info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                      info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
        files[entry.path().lexically_relative(folder)] = readBytes(entry.path()) + state;
    }
    return files;
}

// The sources every row may name: folders of songs, the same name twice, a web root and a list
// entry with a NUL byte; out is the target folder, tmp the temporary folder.
void MakeWorkFolder(const fs::path& work) {
    for (const char* folder : {"d", "dirA", "dirB", "a", "b", "cased", "web", "out", "tmp"})
        fs::create_directories(work / folder);
    for (const char* file : {"d/s1.mp3", "d/s2.mp3", "dirA/one.mp3", "dirB/two.wav", "a/x.mp3",
                             "b/x.mp3", "cased/song.mp3", "cased/song.MP3", "web/x.mp3",
                             "d/s1.wav"})
        writeBytes(work / file, std::string("bytes of ") + file);
    writeBytes(work / "nul.list", std::string("x.mp3\0.z\n", 10));
}

struct Usage {
    const char* name;
    std::vector<std::string> args;  // {E}: the stand-in's endpoint, {W}: its web root
    int exitCode;
    std::string stderrLine;  // none when empty
    std::size_t saved = 0;   // "Saved transcoded file as" lines
    const char* stdinFrom = "/dev/null";
};
void PrintTo(const Usage& usage, std::ostream* out) {
    *out << usage.name;
}

class CommandLineTest : public ::testing::TestWithParam<Usage> {};

// Whatever the command line, no file changes but those it says it saved (and its debug log in the
// temporary folder), none of the files that were there before (each may be a source) among them,
// and its exit status says whether every source was saved.
TEST_P(CommandLineTest, ChangesNoFileButWhatItSaysItSaved) {
    TempDir dir;
    const fs::path work = dir / "work";
    MakeWorkFolder(work);
    auto options = TestOptions();
    options.webRoot = work / "web";
    RunningStandin standin(options);
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        if (arg == "{E}") arg = standin.service().endpointUrl();
        if (arg == "{W}") arg = standin.service().webRootUrl();
    }
    const auto before = Snapshot(work);
    const CliRun run = RunCli(args, dir.path(), work, work / GetParam().stdinFrom);
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out;
    const std::string& line = GetParam().stderrLine;
    EXPECT_EQ(run.err, line.empty() ? "" : "quorra-transcode: " + line + "\n");
    if (run.exitCode == 2) {
        EXPECT_EQ(run.out, "");
    }
    std::set<fs::path> saved;
    const std::regex savedLine("^Saved transcoded file as (.*)$", std::regex::multiline);
    for (std::sregex_iterator it(run.out.begin(), run.out.end(), savedLine), end; it != end; ++it)
        saved.insert(fs::path((*it)[1].str()).lexically_normal());
    EXPECT_EQ(saved.size(), GetParam().saved) << run.out;
    auto after = Snapshot(work);
    after.merge(std::map(before));
    for (const auto& [file, state] : after) {
        const bool changed = !before.contains(file) || before.at(file) != state;
        if (changed && !file.string().starts_with("tmp/")) {
            EXPECT_TRUE(saved.contains(file) && !before.contains(file)) << file << " changed\n"
                                                                         << run.out;
        }
    }
}

const std::string kUnreachable = "--endpoint=http://127.0.0.1:9/";

// The stand-in's endpoint and the target folder, then the rest.
std::vector<std::string> Served(std::vector<std::string> rest) {
    rest.insert(rest.begin(), {"--endpoint", "{E}", "--target-dir", "out"});
    return rest;
}

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
              "cannot read the list /nonexistent/list: cannot open: No such file or directory"},
        Usage{"ListFromAFolder", {"--url", "{W}", "--list", "-"}, 2,
              "cannot read the list -: cannot read: Is a directory", 0,
              "d"},
        Usage{"NoJobs", {"--jobs", "0", "a.mp3"}, 2, "--jobs: Value 0 not in range 1 to 256"},
        Usage{
            "JobsNotANumber", {"-j", "two", "a.mp3"}, 2, "--jobs: Value two not in range 1 to 256"},
        Usage{"JobsInHex", {"-j", "0x10", "a.mp3"}, 2, "--jobs: Value 0x10 not in range 1 to 256"},
        Usage{"JobsWithALeadingZeroAreDecimal", {"-j", "0300", "a.mp3"}, 2,
              "--jobs: Value 0300 not in range 1 to 256"},
        Usage{"EmptyTargetDir", {"--target-dir", "", "d"}, 2, "--target-dir: DIR is empty"},
        Usage{"TargetDirMissing", {"--endpoint", "{E}", "--target-dir=no", "d"}, 2,
              "--target-dir: no: No such file or directory"},
        Usage{"TargetDirAFile", {"--endpoint", "{E}", "--target-dir=d/s1.mp3", "d"}, 2,
              "--target-dir: d/s1.mp3: Not a directory"},
        Usage{"EmptyTargetDirAfterEquals", {"--target-dir=", "a", "b"}, 2,
              "--target-dir: DIR is empty"},
        Usage{"EmptyEndpointAfterEquals", {"--endpoint=", "a", "b"}, 2, "--endpoint: URL is empty"},
        Usage{"DebugFileTakesNoWord", Served({"--debug-file", "d/s1.mp3", "d/s2.mp3"}), 0, "", 2},
        Usage{"DebugFileBeforeAnOption", Served({"--debug-file", "--jobs", "1", "d/s1.mp3"}), 0,
              "", 1},
        Usage{"EmptySourceFormatAfterEquals", Served({"--source-format=", "dirA", "dirB"}), 0,
              "--source-format \"\" is none of gif, bmp, mp3, mp4, wma, au, gsm, raw, wav; it is "
              "sent as typed",
              2},
        Usage{"SameNameInTwoFolders", Served({"a/x.mp3", "b/x.mp3"}), 1, "", 1},
        Usage{"TargetIsItsOwnSource", {"--endpoint", "{E}", "--target-dir", "dirB",
              "--source-format", "wav", "--format", "wav", "--codec", "pcm", "dirB"}, 1, "", 0},
        Usage{"TargetIsAnotherSource", {"--endpoint", "{E}", "--target-dir", "d", "--format=wav",
              "--codec=pcm", "-j", "2", "d/s1.mp3", "d/./s1.wav"}, 1, "", 0},
        Usage{"TargetIsTheDebugLog", {"--endpoint", "{E}", "--target-dir", "tmp",
              "--debug-file=tmp/../tmp/s1.mp4", "d/s1.mp3"}, 1, "", 0},
        Usage{"SameNameInOtherCaseTwoJobs", Served({"--jobs", "2", "cased"}), 1, "", 1},
        Usage{"TargetNameLeavingTheFolder", Served({"--format=/../../x", "d/s1.mp3"}), 1,
              "--format \"/../../x\" is none of mp4, gsm, au, amr, raw, wav, wma; it is sent as "
              "typed",
              0},
        Usage{"NulInAListEntry",
              {"--endpoint", "{E}", "--url", "{W}", "--list", "nul.list", "--target-dir", "web"},
              1,
              "",
              0},
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

// As many jobs as workers, each its own connection: every file is saved (a listen backlog of 5 once
// lost some of them to resets).
TEST(CliAndStandinAtLoad, SixtyFourJobsAgainstSixtyFourWorkersSaveEveryFile) {
    TempDir work;
    fs::create_directory(work / "src");
    fs::create_directory(work / "out");
    for (int i = 0; i < 200; ++i)
        writeBytes(work / "src" / ("song " + std::to_string(i) + ".mp3"), allByteValues());
    auto options = TestOptions();
    options.workers = 64;
    RunningStandin standin(options);
    const CliRun run = RunCli({"--endpoint", standin.service().endpointUrl(), "--target-dir",
                               (work / "out").string(), "--jobs", "64", (work / "src").string()},
                              work.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(FilesIn(work / "out").size(), 200u);
}

struct Stop {
    const char* name;
    int signal;
    bool inABashLoop;     // the program runs in a shell's loop, the signal goes to the group
    bool stalledOutput;   // standard output is a pipe nobody reads
    int seconds;          // the most the end may take
    bool twiceInASave = false;  // a second signal follows the first while the answer is saved
};
void PrintTo(const Stop& stop, std::ostream* out) {
    *out << stop.name;
}

class StopBySignal : public ::testing::TestWithParam<Stop> {};

// A service that takes the connection and never answers: only the signal ends the call. The
// program, and a shell loop around it, end by the signal as the shell expects.
TEST_P(StopBySignal, EndsACallInFlightAtOnceLeavingNothing) {
    const Stop& stop = GetParam();
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
    std::string endpoint = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    LoopbackServer answering;  // 48 MiB of "x", a save long enough to be caught in
    answering.server().Post("/", [](const auto&, auto& res) {
        res.set_content(returnCode("0") + fileData(Base64Encode(std::string(48 << 20, 'x'))), "");
    });
    if (stop.twiceInASave) answering.start(), endpoint = answering.url();

    std::vector<std::string> args =
        Program({"--endpoint", endpoint, "--target-dir", (work / "out").string()});
    // Enough failure lines to fill a pipe before the call.
    for (int i = 0; stop.stalledOutput && i < 3000; ++i)
        args.push_back((work / ("missing " + std::to_string(i) + ".mp3")).string());
    args.push_back((work / "song.mp3").string());
    if (stop.inABashLoop)
        args.insert(args.begin(), {"/bin/bash", "-c", "for i in 1 2; do \"$@\"; echo next; done",
                                   "bash"});
    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    const int in = OpenFile("/dev/null", O_RDWR);
    const int out = stop.stalledOutput ? output[1] : OpenFile(work / "stdout", O_WRONLY | O_CREAT);
    const pid_t pid = Spawn(args, in, out, in, {}, stop.inABashLoop);
    for (const int fd : {in, out, output[1]}) ::close(fd);
    pollfd waiting{silent, POLLIN, 0};
    if (stop.stalledOutput || stop.twiceInASave) {
        // Half a second, or until the save has made its temporary file.
        for (int i = 0; fs::is_empty(work / "out") && i < (stop.twiceInASave ? 20000 : 1000); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    } else {
        ASSERT_EQ(::poll(&waiting, 1, 10000), 1) << "the program never connected";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (int i = 0; i < (stop.twiceInASave ? 2 : 1); ++i)  // 2 ms apart: two, not one pending
        ::kill(stop.inABashLoop ? -pid : pid, stop.signal), ::usleep(2000);
    int signal = 0;
    EXPECT_EQ(waitForExit(pid, stop.seconds, &signal), -1);
    EXPECT_EQ(signal, stop.signal);
    // The save the signals came in is whole; nothing else is there.
    for (const auto& entry : fs::directory_iterator(work / "out"))
        EXPECT_TRUE(stop.twiceInASave && entry.path().filename() == "song.mp4" &&
                    fs::file_size(entry) == (48u << 20)) << entry.path();
    const std::string lines = stop.stalledOutput ? "" : readBytes(work / "stdout");
    EXPECT_EQ(lines.find("Transcoding Finished."), std::string::npos);
    EXPECT_EQ(lines.find("next"), std::string::npos) << "the shell loop went on";
    ::close(output[0]);
    ::close(silent);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopBySignal,
    ::testing::Values(Stop{"Sigint", SIGINT, false, false, 5}, Stop{"Sigterm", SIGTERM, false, false, 5},
                      Stop{"SigintStopsTheShellLoopAroundIt", SIGINT, true, false, 5},
                      Stop{"StalledReaderOfTheOutputHoldsNoStop", SIGINT, false, true, 1},
                      Stop{"SecondSignalLetsTheSaveEnd", SIGINT, false, false, 5, true}),
    [](const auto& info) { return info.param.name; });

// A batch stopped part-way leaves only whole files, and the same command with --skip-existing
// sends only what is missing.
TEST(SkipExisting, FinishesABatchThatWasStopped) {
    TempDir work;
    for (const char* folder : {"src", "out"}) fs::create_directory(work / folder);
    for (int i = 0; i < 6; ++i)
        writeBytes(work / "src" / ("song " + std::to_string(i) + ".mp3"), std::to_string(i));
    auto options = TestOptions();
    options.delay = std::chrono::milliseconds(200);
    RunningStandin standin(options);
    const std::vector<std::string> args = {"--endpoint", standin.service().endpointUrl(),
                                           "--target-dir", (work / "out").string(),
                                           "--skip-existing", (work / "src").string()};
    const pid_t pid = StartCli(args, work / "stdout", work / "stderr");
    while (FilesIn(work / "out").size() < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGINT);
    EXPECT_EQ(waitForExit(pid, 5), -1);
    const std::size_t kept = FilesIn(work / "out").size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the call it abandoned ends
    const std::string firstLog = standin.log();
    const auto callsBefore = std::count(firstLog.begin(), firstLog.end(), '\n');

    const CliRun run = RunCli(args, work.path());
    EXPECT_EQ(run.exitCode, 0) << run.out;
    for (const auto& [name, bytes] : FilesIn(work / "out"))
        EXPECT_EQ(name.substr(5, 1), bytes) << "a partial or wrong file";
    EXPECT_EQ(FilesIn(work / "out").size(), 6u);
    const std::string log = standin.log();
    EXPECT_EQ(std::size_t(std::count(log.begin(), log.end(), '\n') - callsBefore), 6 - kept);
    std::size_t skipped = 0;
    for (std::size_t at = 0; (at = run.out.find("\nSkipped ", at)) != std::string::npos; ++at)
        ++skipped;
    EXPECT_EQ(skipped + (run.out.starts_with("Skipped ") ? 1 : 0), kept);
}

// The shell completion offers every option --help names, and every value it lists.
TEST(Completion, OffersEveryOptionAndListedValueOfTheHelp) {
    TempDir work;
    const CliRun help = RunCli({"--help"}, work.path());
    const std::string completion = readBytes(KQC_COMPLETION_FILE);
    const std::string text = std::regex_replace(help.out, std::regex("\\s+"), " ");
    const std::regex word("--[a-z-]+|listed: [^)]*");
    for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it) {
        std::istringstream names(it->str().starts_with("listed") ? it->str().substr(8) : it->str());
        for (std::string name; names >> name;)
            EXPECT_TRUE(std::regex_search(completion, std::regex("[ \"]" + name + "[ \"\n]")))
                << name;
    }
}

}  // namespace
}  // namespace kqc::test
