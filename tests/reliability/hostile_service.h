#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kqc::test {

// The raw bytes a service sends back on one connection: head, then block repeated blockCount
// times, then tail. Large bodies are streamed, never held whole.
struct Reply {
    std::string head;
    std::string block;
    size_t blockCount = 0;
    std::string tail;
    bool readRequest = true;  // false: close once the headers are in, the body left unread
    bool reset = false;       // end with a TCP reset instead of an orderly close

    size_t size() const { return head.size() + block.size() * blockCount + tail.size(); }
};

// An HTTP answer with Content-Length and "Connection: close".
Reply httpAnswer(int status, const std::string& body);
// The headers of a full answer, then half of its body, then a reset.
Reply resetMidBody(const std::string& body);
// Accepts, reads the request and closes without a byte of answer.
Reply closeWithoutAnswer();

// Builds the reply for the index-th connection (from 0) from the request body it received. A
// responder always reads the whole request first.
using Responder = std::function<Reply(size_t index, const std::string& requestBody)>;

// A service on a free port of 127.0.0.1 written on plain POSIX sockets, so that it can misbehave
// in ways an HTTP library will not: no answer, a reset half-way, a lying length. Connections are
// served one at a time on one thread; every socket wait is bounded.
class HostileService {
public:
    explicit HostileService(Responder responder);
    // The i-th connection gets replies[i]; connections past the end get the last one.
    explicit HostileService(std::vector<Reply> replies);
    ~HostileService();
    HostileService(const HostileService&) = delete;
    HostileService& operator=(const HostileService&) = delete;

    // The port is bound and listening from construction, so a child process forked before
    // start() can already connect; its connection waits in the backlog.
    void start();
    std::string endpoint() const;
    std::vector<std::string> requestBodies();

private:
    void serve();
    void handle(int connection, size_t index);

    std::vector<Reply> m_replies;
    Responder m_responder;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

}  // namespace kqc::test
