// kqc-bench-core-run: one transcode run in file-system mode through the core, without a window.
// The transfer benchmark starts it as a child process so that its peak resident size can be read
// from the operating system; the command-line benchmark times it beside quorra-transcode.
//
//   kqc-bench-core-run --endpoint URL --source-dir DIR --target-dir DIR [--filter TEXT]
//                      [--debug-log PATH]   (ticks "Debug To File", writing to PATH)
//   kqc-bench-core-run --endpoint URL --url BASE --list FILE --target-dir DIR
//                      (URL mode: the file list is FILE's lines)
#include "bench/bench_support.h"
#include "client/transcode_run.h"
#include "support/recording_sink.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    using namespace kqc;
    const std::string endpoint = bench::OptionValue(argc, argv, "--endpoint", "");
    const std::string sourceDir = bench::OptionValue(argc, argv, "--source-dir", "");
    const std::string targetDir = bench::OptionValue(argc, argv, "--target-dir", "");
    const std::string debugLog = bench::OptionValue(argc, argv, "--debug-log", "");
    const std::string url = bench::OptionValue(argc, argv, "--url", "");
    const std::string list = bench::OptionValue(argc, argv, "--list", "");
    if (endpoint.empty() || (sourceDir.empty() && list.empty()) || targetDir.empty()) {
        std::fprintf(stderr,
                     "usage: %s --endpoint URL (--source-dir DIR | --url BASE --list FILE) "
                     "--target-dir DIR [--filter TEXT] [--debug-log PATH]\n",
                     argv[0]);
        return 2;
    }

    RunValues values;
    values.urlMode = !list.empty();
    values.webServerUrl = url;
    if (values.urlMode) {
        std::ifstream in(list, std::ios::binary);
        for (std::string entry; std::getline(in, entry);)
            values.fileList.append(values.fileList.empty() ? "" : "\r\n").append(entry);
    }
    values.endpoint = endpoint;
    values.sourceDir = sourceDir;
    values.targetDir = targetDir;
    values.sourceFormat = bench::OptionValue(argc, argv, "--filter", "mp3");
    values.debugToFile = !debugLog.empty();
    if (!debugLog.empty()) values.debugLogPath = debugLog;
    test::RecordingSink sink;
    TranscodeRun(values, sink);

    const std::string text = sink.box;
    if (text.find("\r\nSaved transcoded file as ") == std::string::npos) {
        std::fprintf(stderr, "the run saved nothing; its log:%s\n", text.c_str());
        return 1;
    }
    return 0;
}
