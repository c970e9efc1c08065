#include "reliability/hostile_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace kqc::test {

namespace {

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr int kSocketTimeoutSeconds = 30;

std::string statusLine(int status) {
    return "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Status") + "\r\n";
}

std::string headers(int status, size_t length) {
    return statusLine(status) + "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool sendReply(int fd, const Reply& reply) {
    if (!sendAll(fd, reply.head)) return false;
    for (size_t i = 0; i < reply.blockCount; ++i)
        if (!sendAll(fd, reply.block)) return false;
    return sendAll(fd, reply.tail);
}

size_t contentLength(std::string_view head) {
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return std::stoul(lower.substr(at + 17));
}

// Reads the request headers and, when wanted, the body. False when the client went away first.
bool readRequest(int fd, bool withBody, std::string& body) {
    std::string data;
    char buffer[64 * 1024];
    size_t headEnd = std::string::npos;
    size_t wanted = 0;
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                wanted = headEnd + 4 + contentLength(std::string_view(data).substr(0, headEnd));
                if (!withBody) return true;
            } else if (data.size() > kMaxHeaderBytes) {
                return false;
            }
        }
        if (headEnd != std::string::npos && data.size() >= wanted) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.append(buffer, static_cast<size_t>(n));
    }
    body = data.substr(headEnd + 4, wanted - headEnd - 4);
    return true;
}

}  // namespace

Reply httpAnswer(int status, const std::string& body) {
    Reply reply;
    reply.head = headers(status, body.size()) + body;
    return reply;
}

Reply resetMidBody(const std::string& body) {
    Reply reply;
    reply.head = headers(200, body.size()) + body.substr(0, body.size() / 2);
    reply.reset = true;
    return reply;
}

Reply closeWithoutAnswer() { return Reply{}; }

HostileService::HostileService(std::vector<Reply> replies) : HostileService(Responder{}) {
    if (replies.empty()) throw std::invalid_argument("no reply given");
    m_replies = std::move(replies);
}

HostileService::HostileService(Responder responder) : m_responder(std::move(responder)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 16) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_listenFd);
        throw std::runtime_error("cannot listen on loopback");
    }
    m_port = ntohs(address.sin_port);
}

HostileService::~HostileService() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    ::close(m_listenFd);
}

void HostileService::start() { m_thread = std::thread([this] { serve(); }); }

std::string HostileService::endpoint() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/axis/services/MediaAdapter";
}

std::vector<std::string> HostileService::requestBodies() {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void HostileService::serve() {
    for (size_t index = 0; !m_stop;) {
        pollfd waiting{m_listenFd, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) continue;
        int connection = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        handle(connection, index++);
        ::close(connection);
    }
}

void HostileService::handle(int connection, size_t index) {
    timeval timeout{kSocketTimeoutSeconds, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);

    const bool fromList = !m_replies.empty();
    Reply reply = fromList ? m_replies[std::min(index, m_replies.size() - 1)] : Reply{};
    std::string body;
    if (!readRequest(connection, reply.readRequest, body)) return;
    if (reply.readRequest) {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(body);
    }
    if (!fromList) reply = m_responder(index, body);
    sendReply(connection, reply);
    if (reply.reset) {
        linger abort{1, 0};  // a close with zero linger sends RST instead of FIN
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
        ::shutdown(connection, SHUT_WR);
    }
}

}  // namespace kqc::test
