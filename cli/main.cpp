// quorra-transcode: the client's transcode run from the command line, without a window.
#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/signal_watch.h"
#include "cli/sources.h"
#include "client/batch_run.h"
#include "media/paths.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

using namespace kqc;
using namespace kqc::cli;

constexpr int kUsageError = 2;

int refuse(const std::string& what, int status = kUsageError) {
    std::fprintf(stderr, "%s: %s\n", std::string(kProgram).c_str(), what.c_str());
    return status;
}

int transcode(const CommandLine& line, SignalWatch& watch) {
    // Nothing is sent whose answer could not be saved.
    const std::string& dir = line.values.targetDir;
    std::error_code ec;
    if (!std::filesystem::is_directory(PathFromUtf8(dir), ec))
        return refuse("--target-dir: " + dir + ": " +
                      (ec ? ec : std::make_error_code(std::errc::not_a_directory)).message());
    std::vector<std::string> listEntries;
    const IoResult read = line.listFile ? ReadListEntries(*line.listFile, listEntries) : IoResult{};
    if (!read) return refuse("cannot read the list " + *line.listFile + ": " + read.cause());

    Console console;
    std::vector<FolderFile> sources;
    ActivityLog log(console, line.values.debugToFile, line.values.debugLogPath);
    const bool listed = CollectSources(line, listEntries, log, sources);
    BatchRun batch(line.values, std::move(sources), line.jobs, console, log);
    try {
        // A signal ends the batch as a close ends the window's run, then the program by it.
        const SignalWatch::Scope stopOnSignal(watch, [&] {
            console.abandon();
            batch.stop();
        });
        batch.run();
    } catch (const std::system_error& e) {
        console.finish();
        return refuse(e.what(), 1);
    }
    console.finish();
    if (const int signal = watch.signal()) SignalWatch::endBy(signal);
    console.showLine("Transcoding Finished.");
    console.finish();
    return listed && !batch.brokenOff() && console.failures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    SignalWatch watch;
    // A reader of standard output that goes away must not end the program in the middle of a
    // save; the files are the output that counts.
    std::signal(SIGPIPE, SIG_IGN);

    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return refuse(error);
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("%s %s\n", std::string(kProgram).c_str(), KQC_VERSION);
        return 0;
    }
    for (const std::string& warning : OutsideChoiceWarnings(line.values))
        std::fprintf(stderr, "%s\n", warning.c_str());
    return transcode(line, watch);
}
