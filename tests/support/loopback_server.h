#pragma once

#include <httplib.h>

#include <string>
#include <thread>

namespace kqc::test {

// A real HTTP server on a free port of 127.0.0.1, listening on its own thread from start() until
// destruction. Register handlers on server() before start().
class LoopbackServer {
public:
    LoopbackServer() = default;
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& server() { return m_server; }
    void start();
    void stop();
    int port() const { return m_port; }
    std::string url(const std::string& path = "/") const;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
};

}  // namespace kqc::test
