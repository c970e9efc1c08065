// The stand-in under concurrent load and hostile clients on loopback: many clients at once, a
// client that trickles its request, clients that vanish in the middle of the body or the answer,
// and the resident size of the process that holds the service.
#include "media/base64.h"
#include "standin/standin_test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

namespace kqc::test {
namespace {

std::string FileDataRequest(std::string_view bytes) {
    return ClientRequestText(FileDataLine(kqc::Base64Encode(bytes)), DefaultProfile());
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
        return bytes;
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
    // A byte every 20 ms from the body's first: without a deadline, 20 s. (The head is read by
    // httplib before the service sees the request: only the read timeout bounds it.)
    for (std::size_t sent : {request.find("\r\n\r\n") + 4}) {
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

// A quorra-standin process with the echo engine on a free loopback port, stopped with SIGTERM on
// destruction.
class SpawnedStandin {
public:
    SpawnedStandin() {
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            execl(KQC_STANDIN_PROGRAM, KQC_STANDIN_PROGRAM, "--port", "0", "--engine", "echo",
                  "--quiet", static_cast<char*>(nullptr));
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

}  // namespace
}  // namespace kqc::test
