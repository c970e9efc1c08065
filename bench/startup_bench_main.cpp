// kqc-bench-startup: workload 7, the client's start-up, from exec to its main window mapped on
// an X server of the benchmark's own (Xvfb, no window manager). The end is the server's
// MapNotify, which the program cannot send early. This build's client starts with an empty
// settings folder (a first start) and with the settings its own window wrote when closed, with a
// 2,000-entry file list put in, beside another build's client (--baseline); the sides take turns
// at going first, and every start has a settings folder of its own.
//
//   kqc-bench-startup --client PATH [--baseline PATH] [--runs 20]
#include "bench/bench_support.h"

#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace kqc::bench;

namespace {

// An X server of its own on a free display, and a connection that sees its top-level windows
// being mapped.
class XServer {
public:
    XServer() {
        int number[2];
        if (::pipe(number) != 0) throw std::runtime_error("pipe failed");
        m_pid = fork();
        if (m_pid == 0) {
            const std::string fd = std::to_string(number[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
                   "1280x1024x24", nullptr);
            _exit(127);
        }
        ::close(number[1]);
        char digits[16] = {};
        const ssize_t got = ::read(number[0], digits, sizeof digits - 1);
        ::close(number[0]);
        if (got <= 0) throw std::runtime_error("Xvfb did not start");
        display = ":" + std::to_string(std::atoi(digits));
        m_x = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_x)) throw std::runtime_error("no connection to Xvfb");
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_x, xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root,
                                     XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_x);
    }
    ~XServer() {
        xcb_disconnect(m_x);
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

    // The next top-level window mapped within 30 s.
    xcb_window_t nextMapped() {
        const Stopwatch clock;
        while (clock.seconds() < 30) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_x)) {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                const bool mapped =
                    (event->response_type & 0x7f) == XCB_MAP_NOTIFY && !map->override_redirect;
                const xcb_window_t window = map->window;
                std::free(event);
                if (mapped) return window;
            }
            pollfd x{xcb_get_file_descriptor(m_x), POLLIN, 0};
            ::poll(&x, 1, 100);
        }
        throw std::runtime_error("no window was mapped within 30 s");
    }
    void forget() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_x)) std::free(event);
    }
    // What the title-bar close makes a window manager send.
    void close(xcb_window_t window) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        xcb_send_event(m_x, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(m_x);
    }

    std::string display;

private:
    xcb_atom_t atom(const char* name) {
        const auto cookie = xcb_intern_atom(m_x, 0, uint16_t(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_x, cookie, nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    }

    pid_t m_pid = -1;
    xcb_connection_t* m_x = nullptr;
};

pid_t startClient(const std::string& client, const std::string& display, const fs::path& config) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        const int quiet = ::open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execl(client.c_str(), client.c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

void end(pid_t pid, int signal) {
    if (signal) kill(pid, signal);
    waitpid(pid, nullptr, 0);
}

// Seconds from exec to the main window mapped; the client is ended by SIGTERM afterwards.
double timeStart(XServer& x, const std::string& client, const fs::path& config) {
    x.forget();
    const Stopwatch clock;
    const pid_t pid = startClient(client, x.display, config);
    x.nextMapped();
    const double seconds = clock.seconds();
    end(pid, SIGTERM);
    return seconds;
}

// A settings folder as this build's window leaves it when it is closed, with a 2,000-entry file
// list put in.
void rememberOnce(XServer& x, const std::string& client, const fs::path& config) {
    x.forget();
    const pid_t pid = startClient(client, x.display, config);
    x.close(x.nextMapped());
    end(pid, 0);
    const fs::path file = config / "KorvaneQuorraClient" / "KorvaneQuorraClient.ini";
    std::ifstream in(file);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string list = "FileList=\"track0001.mp3";
    for (int i = 2; i <= 2000; ++i)
        list += "\\r\\ntrack" + std::to_string(10000 + i).substr(1) + ".mp3";
    const size_t at = text.find("FileList=");
    if (at == std::string::npos) throw std::runtime_error("no file list was remembered");
    text.replace(at, text.find('\n', at) - at, list + "\"");
    std::ofstream(file, std::ios::trunc) << text;
}

// A fresh copy of folder (nothing when it is empty) under parent.
fs::path copyOf(const fs::path& folder, const fs::path& parent) {
    static int count = 0;
    const fs::path copy = parent / ("config" + std::to_string(++count));
    fs::create_directories(copy);
    fs::copy(folder, copy, fs::copy_options::recursive);
    return copy;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string client = OptionValue(argc, argv, "--client", "");
    const std::string baseline = OptionValue(argc, argv, "--baseline", "");
    const long runs = OptionNumber(argc, argv, "--runs", 20);
    if (client.empty()) {
        std::fprintf(stderr, "usage: %s --client PATH [--baseline PATH] [--runs N]\n", argv[0]);
        return 2;
    }
    char pattern[] = "/tmp/kqc-bench-startup.XXXXXX";
    const fs::path work = mkdtemp(pattern);
    try {
        XServer x;
        const fs::path empty = work / "empty", remembered = work / "remembered";
        fs::create_directories(empty);
        rememberOnce(x, client, remembered);
        struct Side {
            const std::string& program;
            const fs::path& config;
            double seconds = 0;
        };
        std::vector<Side> sides = {{client, empty}, {client, remembered}};
        if (!baseline.empty()) sides.push_back({baseline, empty});
        std::vector<double> first, again, previous, firstRatio, againRatio;
        // A round of each first, unmeasured: the caches of the file system and fontconfig.
        for (long round = -1; round < runs; ++round) {
            for (size_t i = 0; i < sides.size(); ++i) {
                Side& side = sides[round % 2 ? sides.size() - 1 - i : i];
                side.seconds = timeStart(x, side.program, copyOf(side.config, work));
            }
            if (round < 0) continue;
            first.push_back(sides[0].seconds);
            again.push_back(sides[1].seconds);
            if (baseline.empty()) continue;
            previous.push_back(sides[2].seconds);
            firstRatio.push_back(sides[0].seconds / sides[2].seconds);
            againRatio.push_back(sides[1].seconds / sides[2].seconds);
        }
        auto ms = [](double seconds) { return Fixed(seconds * 1000, 0) + " ms"; };
        PrintRow("7", "start-up to main window mapped, first start", ms(Median(first)));
        PrintRow("7", "start-up with remembered settings (2,000 entries)", ms(Median(again)));
        if (!baseline.empty()) {
            PrintRow("7", "previous build's start-up", ms(Median(previous)));
            const double ratio = Median(firstRatio), ratioAgain = Median(againRatio);
            PrintRow("7", "first start / previous build", Fixed(ratio, 2), "<= 1.1",
                     AtMost(ratio, 1.1));
            PrintRow("7", "remembered settings / previous build", Fixed(ratioAgain, 2), "<= 1.1",
                     AtMost(ratioAgain, 1.1));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kqc-bench-startup: %s\n", e.what());
        fs::remove_all(work);
        return 1;
    }
    fs::remove_all(work);
    return 0;
}
