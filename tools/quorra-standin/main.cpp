// quorra-standin: runs the stand-in Quorra transcoder until SIGINT or SIGTERM.
#include "quorra-standin/command_line.h"
#include "quorra-standin/process_runner.h"
#include "quorra-standin/standin_service.h"

#include <malloc.h>
#include <signal.h>

#include <exception>
#include <iostream>

using namespace kqc::standin;

namespace {

// Resolves the engine choice; false when ffmpeg was asked for and cannot be found.
bool ChooseEngine(CommandLine& line) {
    std::filesystem::path ffmpeg = FindProgram(line.options.ffmpeg.string());
    switch (line.engine) {
        case EngineChoice::echo:
            line.options.engine = Engine::echo;
            return true;
        case EngineChoice::ffmpeg:
            if (ffmpeg.empty()) return false;
            break;
        case EngineChoice::automatic:
            if (ffmpeg.empty()) {
                std::cerr << "quorra-standin: " << line.options.ffmpeg.string()
                          << " not found; using the echo engine\n";
                line.options.engine = Engine::echo;
                return true;
            }
            break;
    }
    line.options.engine = Engine::ffmpeg;
    line.options.ffmpeg = ffmpeg;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine({argv + 1, argv + argc}, line, error)) {
        std::cerr << "quorra-standin: " << error << " (see --help)\n";
        return 2;
    }
    if (line.help) {
        std::cout << UsageText();
        return 0;
    }
    if (!ChooseEngine(line)) {
        std::cerr << "quorra-standin: cannot find " << line.options.ffmpeg.string() << "\n";
        return 1;
    }
    if (!line.quiet) line.options.requestLog = &std::cerr;

    // Every thread inherits the blocked signals; the main thread alone takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Request bodies and answers of many MiB are allocated on the server's worker threads. With
    // glibc's adaptive threshold they soon come from per-thread heaps that keep the freed memory,
    // and the resident size grew by about 25 MiB with every large call; mapped directly, they
    // go back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    StandinService service(line.options);
    try {
        service.start();
    } catch (const std::exception& e) {
        std::cerr << "quorra-standin: " << e.what() << "\n";
        return 1;
    }
    bool echo = line.options.engine == Engine::echo;
    std::cout << "quorra-standin: MediaAdapter at " << service.endpointUrl() << " (engine "
              << (echo ? "echo" : "ffmpeg " + line.options.ffmpeg.string()) << ")\n";
    if (!line.options.webRoot.empty())
        std::cout << "quorra-standin: serving " << line.options.webRoot.string() << " at "
                  << service.webRootUrl() << "\n";
    std::cout << std::flush;

    int received = 0;
    sigwait(&stopSignals, &received);
    service.stop();
    return 0;
}
