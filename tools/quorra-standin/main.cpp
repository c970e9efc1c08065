// quorra-standin: runs the stand-in Quorra transcoder until SIGINT or SIGTERM.
#include "quorra-standin/command_line.h"
#include "quorra-standin/process_runner.h"
#include "quorra-standin/standin_service.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <future>
#include <iostream>
#include <thread>

using namespace kqc::standin;

namespace {

// Ending ffmpeg takes a second at most; a thread stuck beyond this is left to the exit.
constexpr std::chrono::seconds kLongestEnd{5};

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

// Each connection takes a descriptor; the soft limit (often 1024) would leave a burst of
// clients waiting unaccepted, while the hard limit is what the system grants this process.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The first signal stops accepting and gives the calls in flight kStopGrace to finish; the
// second, or the end of that time, ends them and every ffmpeg they run.
void StopOnSignals(StandinService& service, const sigset_t& signals) {
    int received = 0;
    sigwait(&signals, &received);
    service.stopAccepting();
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    const timespec poll{0, 20'000'000};
    while (!service.idle() && std::chrono::steady_clock::now() < deadline)
        if (sigtimedwait(&signals, nullptr, &poll) > 0) break;
    std::promise<void> stopped;
    std::thread stopping([&] {
        service.stop(std::chrono::milliseconds(0));
        stopped.set_value();
    });
    if (stopped.get_future().wait_for(kLongestEnd) != std::future_status::ready) {
        std::error_code ec;
        std::filesystem::remove_all(service.privateFolder(), ec);
        std::_Exit(0);
    }
    stopping.join();
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

    RaiseDescriptorLimit();
    // Every thread inherits the blocked signals; the main thread alone takes them. ffmpeg gets
    // them back unblocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Request bodies and answers of many MiB are allocated on the service's threads. With
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

    StopOnSignals(service, stopSignals);
    return 0;
}
