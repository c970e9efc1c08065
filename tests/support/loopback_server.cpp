#include "support/loopback_server.h"

#include <chrono>
#include <stdexcept>

namespace kqc::test {

LoopbackServer::~LoopbackServer() { stop(); }

void LoopbackServer::start() {
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    for (int i = 0; i < 500 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!m_server.is_running()) throw std::runtime_error("loopback server did not start");
}

void LoopbackServer::stop() {
    if (!m_thread.joinable()) return;
    m_server.stop();
    m_thread.join();
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

}  // namespace kqc::test
