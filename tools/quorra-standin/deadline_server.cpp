#include "quorra-standin/deadline_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kqc::standin {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Millis(time_t sec, time_t usec) {
    return milliseconds(sec * 1000 + usec / 1000);
}

// Whether the socket becomes ready for events within timeout.
bool WaitFor(socket_t sock, short events, milliseconds timeout) {
    pollfd entry{sock, events, 0};
    int ready;
    do {
        ready = poll(&entry, 1, static_cast<int>(std::max<milliseconds::rep>(timeout.count(), 0)));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// As the library's own stream judges it: a peer that has closed its end is sent nothing more.
bool PeerOpen(socket_t sock) {
    if (!WaitFor(sock, POLLIN, milliseconds(0))) return true;
    char byte;
    return recv(sock, &byte, 1, MSG_PEEK) > 0;
}

void NumericAddress(int (*get)(int, sockaddr*, socklen_t*), socket_t sock, std::string& ip,
                    int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (get(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

// The connection's bytes for the library, buffered for its byte-wise reading of the head, and
// read only until the current request's deadline.
class DeadlineStream final : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, milliseconds readTimeout, milliseconds writeTimeout)
        : m_sock(sock), m_readTimeout(readTimeout), m_writeTimeout(writeTimeout) {}

    void startRequest(Clock::time_point deadline) { m_deadline = deadline; }
    bool hasBuffered() const { return m_begin < m_end; }

    bool is_readable() const override {
        if (hasBuffered()) return true;
        const auto left = std::chrono::ceil<milliseconds>(m_deadline - Clock::now());
        return left.count() > 0 && WaitFor(m_sock, POLLIN, std::min(left, m_readTimeout));
    }
    bool is_writable() const override {
        return WaitFor(m_sock, POLLOUT, m_writeTimeout) && PeerOpen(m_sock);
    }

    ssize_t read(char* into, size_t size) override {
        if (!hasBuffered()) {
            if (size >= sizeof m_buffer) return receive(into, size);
            const ssize_t n = receive(m_buffer, sizeof m_buffer);
            if (n <= 0) return n;
            m_begin = 0;
            m_end = static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min(size, m_end - m_begin);
        std::memcpy(into, m_buffer + m_begin, n);
        m_begin += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* from, size_t size) override {
        if (!is_writable()) return -1;
        ssize_t n;
        do n = send(m_sock, from, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        NumericAddress(getpeername, m_sock, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        NumericAddress(getsockname, m_sock, ip, port);
    }
    socket_t socket() const override { return m_sock; }

private:
    // What has arrived, waiting for it when nothing has; -1 past the deadline.
    ssize_t receive(char* into, size_t size) {
        while (Clock::now() < m_deadline) {
            const ssize_t n = recv(m_sock, into, size, MSG_DONTWAIT);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !is_readable()) return -1;
        }
        return -1;
    }

    socket_t m_sock;
    milliseconds m_readTimeout, m_writeTimeout;
    Clock::time_point m_deadline;
    char m_buffer[4096];
    std::size_t m_begin = 0, m_end = 0;
};

// Waits, while the server runs, up to the keep-alive timeout for the first bytes of a request.
bool AwaitRequest(const DeadlineStream& stream, const std::atomic<socket_t>& listening,
                  milliseconds keepAlive) {
    const auto end = Clock::now() + keepAlive;
    for (;;) {
        if (stream.hasBuffered()) return true;
        const auto left = std::chrono::ceil<milliseconds>(end - Clock::now());
        if (listening == INVALID_SOCKET || left.count() <= 0) return false;
        // Woken now and then to see whether the server is stopping.
        if (WaitFor(stream.socket(), POLLIN, std::min(left, milliseconds(50)))) return true;
    }
}

}  // namespace

bool DeadlineServer::process_and_close_socket(socket_t sock) {
    DeadlineStream stream(sock, Millis(read_timeout_sec_, read_timeout_usec_),
                          Millis(write_timeout_sec_, write_timeout_usec_));
    bool served = false;
    for (std::size_t left = keep_alive_max_count_;
         left > 0 && AwaitRequest(stream, svr_sock_, Millis(keep_alive_timeout_sec_, 0)); --left) {
        stream.startRequest(Clock::now() + m_requestTimeout);
        bool closed = false;
        served = process_request(stream, left == 1, closed, nullptr);
        if (!served || closed) break;
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return served;
}

}  // namespace kqc::standin
