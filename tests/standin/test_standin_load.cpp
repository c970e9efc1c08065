// The stand-in under concurrent load and hostile clients on loopback: many clients at once, a
// client that trickles its request, clients that vanish in the middle of the body or the answer,
// bursts of connections, the resident size of the process that holds the service, and its stop
// by signal during a transcode.
#include "media/base64.h"
#include "standin/standin_test_support.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

namespace kqc::test {
namespace {

std::string FileDataRequest(std::string_view bytes) {
    return ClientRequestText(FileDataLine(kqc::Base64Encode(bytes)), DefaultProfile());
}

const std::string kWsdlGet = "GET " + std::string(standin::kEndpointPath) +
                             "?wsdl HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";

// argv-style pointers to the strings, ending with a null pointer.
std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string HttpHead(std::size_t contentLength) {
    return "POST " + std::string(standin::kEndpointPath) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nSOAPAction: transcode\r\n"
           "Content-Type: text/xml\r\nContent-Length: " +
           std::to_string(contentLength) + "\r\n\r\n";
}

// A connected loopback socket whose reads give up after 10 s; closed on destruction, with a
// reset instead of an orderly close when abort() was called.
class RawClient {
public:
    explicit RawClient(int port) : m_fd(ConnectLoopback(port)), m_connected(m_fd >= 0) {}
    ~RawClient() {
        if (m_fd >= 0) close(m_fd);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_connected; }
    bool send(std::string_view bytes) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Everything until the peer closes the connection (or 10 s pass without a byte).
    std::string readToEnd(bool& closedByPeer) {
        std::string bytes;
        char buffer[4096];
        ssize_t n;
        while ((n = recv(m_fd, buffer, sizeof buffer, 0)) > 0) bytes.append(buffer, n);
        closedByPeer = n == 0 || errno == ECONNRESET;
        m_reset = n < 0 && errno == ECONNRESET;
        return bytes;
    }
    bool wasReset() const { return m_reset; }
    // Whether the peer has closed or reset the connection, without waiting.
    bool peerHasClosed() {
        char byte;
        const ssize_t n = recv(m_fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
        return n == 0 || (n < 0 && errno != EAGAIN);
    }
    std::string readSome(std::size_t atLeast) {
        std::string bytes;
        char buffer[4096];
        for (ssize_t n; bytes.size() < atLeast && (n = recv(m_fd, buffer, sizeof buffer, 0)) > 0;)
            bytes.append(buffer, n);
        return bytes;
    }
    void abort() {
        linger reset{1, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }

private:
    int m_fd;
    bool m_connected = false;
    bool m_reset = false;
};

// "code=..." or "refused=..." etc. of every line of the request log, in order.
std::vector<std::string> Outcomes(const std::string& log) {
    std::vector<std::string> outcomes;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        auto end = line.rfind(" duration=");
        auto start = line.rfind(' ', end - 1);
        outcomes.push_back(line.substr(start + 1, end - start - 1));
    }
    return outcomes;
}

// The service still answers a plain call exactly.
void ExpectServes(RunningStandin& standin) {
    const std::string bytes = "still here";
    auto result = standin.post(FileDataRequest(bytes));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    EXPECT_EQ(ElementText(result->body, "returnCode"), "0");
    std::string decoded;
    EXPECT_TRUE(kqc::Base64Decode(ElementText(result->body, "fileData").value_or(""), decoded));
    EXPECT_EQ(decoded, bytes);
}

struct Tally {
    int answered = 0;
    int done = 0;   // code 0 with the source echoed exactly
    int busy = 0;   // code 2005
    std::vector<std::string> other;
};

// Each client posts its requests one after another on its own connection.
Tally PostMany(int port, int client, int requests, std::size_t sourceBytes) {
    Tally tally;
    httplib::Client http("127.0.0.1", port);
    http.set_read_timeout(60, 0);
    for (int i = 0; i < requests; ++i) {
        const std::string bytes(sourceBytes, static_cast<char>('a' + (client * 7 + i) % 26));
        auto result = http.Post(std::string(standin::kEndpointPath).c_str(),
                                {{"SOAPAction", "transcode"}}, FileDataRequest(bytes), "text/xml");
        if (!result) {
            tally.other.push_back("no answer: " + httplib::to_string(result.error()));
            continue;
        }
        ++tally.answered;
        const auto code = ElementText(result->body, "returnCode").value_or("missing");
        std::string decoded;
        if (result->status == 200 && code == "2005") {
            ++tally.busy;
        } else if (result->status == 200 && code == "0" &&
                   kqc::Base64Decode(ElementText(result->body, "fileData").value_or(""),
                                     decoded) &&
                   decoded == bytes) {
            ++tally.done;
        } else {
            tally.other.push_back(std::to_string(result->status) + " code " + code);
        }
    }
    return tally;
}

Tally PostFromClientsAtOnce(int port, int clients, int requests,
                            std::size_t sourceBytes) {
    std::vector<std::future<Tally>> futures;
    for (int c = 0; c < clients; ++c)
        futures.push_back(std::async(std::launch::async, PostMany, port, c, requests,
                                     sourceBytes));
    Tally total;
    for (auto& f : futures) {
        Tally t = f.get();
        total.answered += t.answered;
        total.done += t.done;
        total.busy += t.busy;
        total.other.insert(total.other.end(), t.other.begin(), t.other.end());
    }
    return total;
}

TEST(StandinLoad, EightClientsPostingFiftyRequestsEachAreAllAnswered) {
    RunningStandin standin;
    const Tally tally = PostFromClientsAtOnce(standin.service().port(), 8, 50, 4096);
    EXPECT_EQ(tally.answered, 400);
    EXPECT_EQ(tally.done + tally.busy, 400);
    EXPECT_GT(tally.done, 0);
    EXPECT_TRUE(tally.other.empty()) << tally.other.front();
    ExpectServes(standin);
    const auto outcomes = Outcomes(standin.log());
    EXPECT_EQ(outcomes.size(), 401u);
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), "code=0"), tally.done + 1);
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), "code=2005"), tally.busy);
}

class StandinWorkersTest : public ::testing::TestWithParam<int> {};

// As many slow calls as there are workers are served at once, and one more at the same time is
// answered 2005 rather than queued: eight workers take more threads than httplib's default pool.
TEST_P(StandinWorkersTest, ServeThatManySlowCallsAtOnceAndAnswerOneMore2005) {
    auto options = TestOptions();
    options.workers = GetParam();
    options.delay = std::chrono::milliseconds(1500);
    RunningStandin standin(options);
    const Tally tally = PostFromClientsAtOnce(standin.service().port(), GetParam() + 1, 1, 16);
    EXPECT_EQ(tally.done, GetParam());
    EXPECT_EQ(tally.busy, 1);
}

INSTANTIATE_TEST_SUITE_P(Workers, StandinWorkersTest, ::testing::Values(2, 8),
                         [](const auto& info) { return std::to_string(info.param) + "Workers"; });

TEST(StandinLoad, ATricklingClientDoesNotHoldUpOthersAndIsCutOffWhenItStops) {
    auto options = TestOptions();
    options.readTimeout = std::chrono::milliseconds(300);
    RunningStandin standin(options);
    const std::string body = FileDataRequest("trickled");
    const std::string request = HttpHead(body.size()) + body;
    RawClient trickler(standin.service().port());
    ASSERT_TRUE(trickler.connected());
    // Half the head, then half the body, a byte at a time; another client is served meanwhile.
    const std::size_t headHalf = request.find("\r\n\r\n") / 2;
    const std::size_t bodyHalf = request.size() - body.size() / 2;
    for (std::size_t i = 0; i < bodyHalf; ++i) {
        ASSERT_TRUE(trickler.send(request.substr(i, 1))) << i;
        if (i == headHalf) ExpectServes(standin);
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 64 == 0 ? 20 : 0));
    }
    ExpectServes(standin);
    bool closed = false;
    const std::string answer = trickler.readToEnd(closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer.find("returnCode"), std::string::npos) << answer;
    EXPECT_EQ(Outcomes(standin.log()),
              (std::vector<std::string>{"code=0", "code=0", "refused=incomplete"}));
}

TEST(StandinLoad, AClientTricklingWithinEveryReadTimeoutIsDroppedAtTheRequestDeadline) {
    auto options = TestOptions();
    options.requestTimeout = std::chrono::milliseconds(400);
    RunningStandin standin(options);
    const std::string body = FileDataRequest("trickled");
    const std::string request = HttpHead(body.size()) + body;
    // A byte every 20 ms, from the head's first byte or the body's: without a deadline, 20 s. A
    // request dropped before its head was whole is not logged.
    for (std::size_t sent : {std::size_t{0}, request.find("\r\n\r\n") + 4}) {
        RawClient trickler(standin.service().port());
        ASSERT_TRUE(trickler.send(request.substr(0, sent)));
        const auto start = std::chrono::steady_clock::now();
        while (sent < request.size() && trickler.send(request.substr(sent++, 1)))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << sent;
    }
    ExpectServes(standin);
    EXPECT_EQ(Outcomes(standin.log()), (std::vector<std::string>{"refused=incomplete", "code=0"}));
}

TEST(StandinLoad, ClientsThatVanishMidBodyAreNotServedAndLeaveTheServiceWorking) {
    RunningStandin standin;
    const std::string body = FileDataRequest(std::string(256 * 1024, 'v'));
    for (bool reset : {false, true}) {
        RawClient client(standin.service().port());
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(client.send(HttpHead(body.size()) + body.substr(0, body.size() / 2)));
        if (reset) client.abort();
    }
    ExpectServes(standin);
    standin.service().stop();  // waits for the vanished clients' handlers
    auto outcomes = Outcomes(standin.log());
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes,
              (std::vector<std::string>{"code=0", "refused=incomplete", "refused=incomplete"}));
}

TEST(StandinLoad, ClientsThatVanishMidAnswerLeaveTheServiceWorking) {
    RunningStandin standin;
    const std::string body = FileDataRequest(std::string(8 << 20, 'w'));  // an 11 MiB answer
    for (bool reset : {false, true}) {
        RawClient client(standin.service().port());
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(client.send(HttpHead(body.size()) + body));
        EXPECT_NE(client.readSome(64 * 1024).find("HTTP/1.1 200"), std::string::npos);
        if (reset) client.abort();
    }
    ExpectServes(standin);
    EXPECT_EQ(Outcomes(standin.log()).size(), 3u);
}

// A quorra-standin process on a free loopback port (the echo engine unless options say
// otherwise), with tmpdir as its TMPDIR when given, stopped with SIGTERM on destruction.
class SpawnedStandin {
public:
    explicit SpawnedStandin(std::vector<std::string> options = {"--engine", "echo", "--quiet"},
                            const std::string& tmpdir = {}) {
        options.insert(options.begin(), {KQC_STANDIN_PROGRAM, "--port", "0"});
        std::vector<std::string> environment;
        for (char** variable = environ; *variable; ++variable)
            if (tmpdir.empty() || std::strncmp(*variable, "TMPDIR=", 7) != 0)
                environment.emplace_back(*variable);
        if (!tmpdir.empty()) environment.push_back("TMPDIR=" + tmpdir);
        auto argv = Pointers(options), envp = Pointers(environment);
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            execve(KQC_STANDIN_PROGRAM, argv.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        // "quorra-standin: MediaAdapter at http://127.0.0.1:PORT/..."
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const auto colon = line.find(':', line.find("127.0.0.1"));
        if (colon != std::string::npos) m_port = std::atoi(line.c_str() + colon + 1);
    }
    ~SpawnedStandin() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    SpawnedStandin(const SpawnedStandin&) = delete;
    SpawnedStandin& operator=(const SpawnedStandin&) = delete;

    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    // The signals 100 ms apart, then the exit status when the process ended within seconds, -1
    // otherwise.
    int exitAfter(const std::vector<int>& signals, int seconds) {
        for (int signal : signals) {
            kill(m_pid, signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const int status = waitForExit(m_pid, seconds);
        m_pid = -1;
        return status;
    }
    bool stopsWithin(std::chrono::seconds limit) {
        return exitAfter({SIGTERM}, limit.count()) == 0;
    }
    long statusKiB(const char* field) const {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_port = -1;
};

// A client that trickles a request's head within every read timeout holds its connection for as
// long as it goes on; SIGTERM ends the service all the same.
TEST(StandinLoad, SigtermEndsTheServiceWhileAClientTricklesItsHead) {
    SpawnedStandin standin;
    ASSERT_GT(standin.port(), 0);
    RawClient trickler(standin.port());
    std::atomic<bool> stop = false;
    std::thread trickle([&] {
        const std::string head = HttpHead(1 << 20);
        for (std::size_t i = 0; !stop && trickler.send(head.substr(i % head.size(), 1)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(standin.stopsWithin(std::chrono::seconds(15)));
    stop = true;
    trickle.join();
}

// The figure, for the quorra-standin process alone: its resident size peaks under 96 MiB while
// eight clients post 1 MiB sources at once and two more vanish in the middle of 8 MiB answers,
// round after round; from the third round to the ninth it grows by under 32 MiB.
TEST(StandinLoad, ResidentSizeOfTheServiceStaysBounded) {
    SpawnedStandin standin;
    ASSERT_GT(standin.port(), 0);
    const std::string large = FileDataRequest(std::string(8 << 20, 'w'));
    auto rounds = [&](int count) {
        for (int round = 0; round < count; ++round) {
            EXPECT_EQ(PostFromClientsAtOnce(standin.port(), 8, 4, 1 << 20).answered, 32);
            for (bool reset : {false, true}) {
                RawClient client(standin.port());
                EXPECT_TRUE(client.send(HttpHead(large.size()) + large));
                client.readSome(64 * 1024);
                if (reset) client.abort();
            }
        }
        return standin.statusKiB("VmRSS:");
    };
    const long third = rounds(3);
    const long ninth = rounds(6);
    const long peak = standin.statusKiB("VmHWM:");
    std::printf("quorra-standin VmRSS %ld KiB after 3 rounds, %ld KiB after 9; VmHWM %ld KiB\n",
                third, ninth, peak);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's shadow memory and its quarantine of freed blocks (which fills up over
    // the rounds) take hundreds of MiB: the figure says nothing about the service there.
    constexpr bool kFigureHolds = false;
#else
    constexpr bool kFigureHolds = true;
#endif
    if (kFigureHolds) {
        EXPECT_LT(peak, 96 * 1024);
        // The fault this guards against kept about 25 MiB per large call, some 270 MiB over
        // these six rounds; the worker threads' heaps warming up add a few MiB.
        EXPECT_LT(ninth - third, 32 * 1024);
    }
    EXPECT_EQ(PostFromClientsAtOnce(standin.port(), 1, 1, 10).done, 1);
}

int ThreadsOf(pid_t pid) {
    const auto tasks =
        std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// 256 clients trickle request heads, a byte every 50 ms: the service holds no thread for them,
// answers others at once and drops each at its request deadline.
TEST(StandinLoad, HeadTricklersHoldNoThreadAndAreDroppedAtTheRequestDeadline) {
    using namespace std::chrono;
    constexpr auto kDeadline = milliseconds(2000);
    SpawnedStandin standin({"--engine", "echo", "--quiet", "--request-timeout-ms", "2000"});
    ASSERT_GT(standin.port(), 0);
    std::vector<std::unique_ptr<RawClient>> tricklers;
    std::vector<steady_clock::time_point> connected, dropped(256);
    for (int i = 0; i < 256; ++i) {
        tricklers.push_back(std::make_unique<RawClient>(standin.port()));
        connected.push_back(steady_clock::now());
    }
    const std::string head = HttpHead(1000);
    const auto end = steady_clock::now() + 2 * kDeadline;
    for (std::size_t byte = 0; steady_clock::now() < end; ++byte) {
        if (std::count(dropped.begin(), dropped.end(), steady_clock::time_point{}) == 0) break;
        for (std::size_t i = 0; i < tricklers.size(); ++i) {
            if (dropped[i] != steady_clock::time_point{}) continue;
            if (tricklers[i]->peerHasClosed()) dropped[i] = steady_clock::now();
            if (dropped[i] == steady_clock::time_point{}) tricklers[i]->send(head.substr(byte, 1));
        }
        if (byte == 5) {
            httplib::Client http("127.0.0.1", standin.port());
            auto start = steady_clock::now();
            const auto wsdl = http.Get(std::string(standin::kEndpointPath) + "?wsdl");
            const auto wsdlTime = steady_clock::now() - start;
            start = steady_clock::now();
            const auto echo =
                http.Post(std::string(standin::kEndpointPath).c_str(),
                          {{"SOAPAction", "transcode"}}, FileDataRequest("x"), "text/xml");
            const auto echoTime = steady_clock::now() - start;
            std::printf("WSDL in %ld ms, echo in %ld ms, %d threads\n",
                        long(duration_cast<milliseconds>(wsdlTime).count()),
                        long(duration_cast<milliseconds>(echoTime).count()),
                        ThreadsOf(standin.pid()));
            ASSERT_TRUE(wsdl && echo);
            EXPECT_EQ(wsdl->status, 200);
            EXPECT_EQ(ElementText(echo->body, "returnCode"), "0");
            EXPECT_LT(wsdlTime, milliseconds(100));
            EXPECT_LT(echoTime, milliseconds(100));
            // main, the network thread, and the pool of workers + 1
            EXPECT_LE(ThreadsOf(standin.pid()), 1 + 3);
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    milliseconds latest{0};
    for (std::size_t i = 0; i < tricklers.size(); ++i) {
        EXPECT_GT(dropped[i], connected[i] + kDeadline - milliseconds(100)) << i;
        EXPECT_LT(dropped[i], connected[i] + kDeadline + milliseconds(500)) << i;
        latest = std::max(latest, duration_cast<milliseconds>(dropped[i] - connected[i]));
    }
    std::printf("the last trickler dropped %ld ms after it connected\n", long(latest.count()));
}

// A thousand clients connect at once and ask for the WSDL: each is answered, with the WSDL or,
// past the connection limit, 503; none is reset. The test and the service together need more
// descriptors than the usual soft limit of 1024: the test raises its soft limit to the hard
// limit, and the service inherits it.
TEST(StandinLoad, AThousandConnectionsAtOnceAreAllAnsweredAndNoneReset) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    ASSERT_GT(limit.rlim_cur, 1100u) << "the hard limit of descriptors is too low";
    SpawnedStandin standin;
    ASSERT_GT(standin.port(), 0);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 1000; ++i) clients.push_back(std::make_unique<RawClient>(standin.port()));
    for (auto& client : clients) EXPECT_TRUE(client->connected() && client->send(kWsdlGet));
    int wsdl = 0, busy = 0, reset = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (auto& client : clients) {
        bool closed = false;
        const std::string answer = client->readToEnd(closed);
        wsdl += answer.starts_with("HTTP/1.1 200") && answer.ends_with("</wsdl:definitions>\n");
        busy += answer.starts_with("HTTP/1.1 503") &&
                answer.find("Retry-After: 1\r\n") != std::string::npos;
        reset += client->wasReset();
        if (std::chrono::steady_clock::now() > end) break;
    }
    std::printf("%d WSDL, %d 503 answers, %d reset\n", wsdl, busy, reset);
    EXPECT_EQ(wsdl + busy, 1000);
    EXPECT_EQ(reset, 0);
}

// Both places taken by clients that send nothing: the third connection is answered 503 and
// closed after its request was read, so that it sees the answer rather than a reset.
TEST(StandinLoad, AConnectionBeyondTheLimitIsAnswered503WithoutAReset) {
    auto options = TestOptions();
    options.maxConnections = 2;
    RunningStandin standin(options);
    RawClient first(standin.service().port()), second(standin.service().port());
    RawClient third(standin.service().port());
    ASSERT_TRUE(third.send(kWsdlGet));
    bool closed = false;
    const std::string answer = third.readToEnd(closed);
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 503") << answer;
    EXPECT_NE(answer.find("Retry-After: 1\r\n"), std::string::npos) << answer;
    EXPECT_TRUE(closed && !third.wasReset());
}

// The processes whose command line mentions text (ffmpeg names its files by their paths).
std::vector<std::string> ProcessesMentioning(const std::string& text) {
    std::vector<std::string> found;
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(process.path() / "cmdline", std::ios::binary);
        std::string line;
        try {
            line.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } catch (const std::ios_base::failure&) {
            continue;  // the process ended between the open and the read (ESRCH)
        }
        if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
}

struct StopCase {
    const char* name;
    std::vector<int> signals;
    int withinSeconds;
};
void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

class StandinStopTest : public ::testing::TestWithParam<StopCase> {};

// Half an hour of sound to 48 kHz stereo AAC keeps ffmpeg busy for about 15 s, longer than the
// 5 s the calls in flight are given: no ffmpeg and no private folder outlive the service.
TEST_P(StandinStopTest, LeavesNoFfmpegAndNoPrivateFolder) {
    if (!FfmpegPresent()) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
    TempDir tmp;
    SpawnedStandin standin({"--engine", "ffmpeg", "--quiet"}, tmp.path().string());
    ASSERT_GT(standin.port(), 0);
    const std::string body =
        ClientRequestText(FileDataLine(kqc::Base64Encode(ToneWav(8000, 30 * 60 * 1000))),
                          {"mp4", "aac", "64000", "48000", "Stereo"});
    RawClient client(standin.port());
    ASSERT_TRUE(client.send(HttpHead(body.size()) + body));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ProcessesMentioning(tmp.path().string()).empty() &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(ProcessesMentioning(tmp.path().string()).empty()) << "ffmpeg did not start";
    EXPECT_EQ(standin.exitAfter(GetParam().signals, GetParam().withinSeconds), 0);
    EXPECT_EQ(ProcessesMentioning(tmp.path().string()), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

INSTANTIATE_TEST_SUITE_P(Signals, StandinStopTest,
                         ::testing::Values(StopCase{"Sigterm", {SIGTERM}, 10},
                                           StopCase{"Sigint", {SIGINT}, 10},
                                           StopCase{"SigtermTwice", {SIGTERM, SIGTERM}, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kqc::test
