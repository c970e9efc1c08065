// quorra-transcode: the client's transcode run from the command line, without a window.
#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/signal_watch.h"
#include "cli/sources.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

using namespace kqc;
using namespace kqc::cli;

constexpr int kUsageError = 2;

int refuse(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", std::string(kProgram).c_str(), what.c_str());
    return kUsageError;
}

bool readList(const std::string& file, std::vector<std::string>& entries) {
    if (file == "-") {
        entries = ReadListEntries(std::cin);
        return !std::cin.bad();
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    entries = ReadListEntries(in);
    return !in.bad();
}

int transcode(const CommandLine& line, SignalWatch& watch) {
    std::vector<std::string> listEntries;
    if (line.listFile && !readList(*line.listFile, listEntries))
        return refuse("cannot read the list " + *line.listFile);
    // From here on a signal ends the batch as a close ends the client's run.
    watch.onSignal({});

    Console console;
    std::vector<FolderFile> sources;
    ActivityLog log(console, line.values.debugToFile, line.values.debugLogPath);
    const bool listed = CollectSources(line, listEntries, log, sources);
    const std::size_t total = sources.size();
    BatchRun batch(line.values, std::move(sources), line.jobs, console);
    watch.onSignal([&batch] { batch.stop(); });
    console.start(total);
    batch.run();
    console.finish();
    if (const int signal = watch.signal()) return 128 + signal;
    console.showLine("Transcoding Finished.");
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
