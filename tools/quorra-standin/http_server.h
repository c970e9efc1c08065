#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/file_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

namespace kqc::standin {

namespace http = boost::beast::http;

using HttpRequest = http::request<http::string_body>;
using HttpResponse = http::response<http::string_body>;

struct ConnectionLimits {
    // Longest silence of a client while a request is read or an answer written, and longest
    // idle time of a kept-alive connection.
    std::chrono::milliseconds readTimeout;
    // Longest a whole request (head and body) may take, from the connection's accept or the
    // end of the answer before it.
    std::chrono::milliseconds requestTimeout;
    std::uint64_t maxBody;
    int maxConnections;  // served at once; one more is answered 503 and closed
};

class Session;

// The answer to one request, given once, from any thread: it is written on the server's thread,
// without its body when the request was HEAD.
class Reply {
public:
    Reply(std::shared_ptr<Session> session, std::chrono::steady_clock::time_point headArrived)
        : m_session(std::move(session)), m_headArrived(headArrived) {}

    void operator()(HttpResponse response) &&;
    void operator()(http::response<http::file_body> response) &&;

    std::chrono::steady_clock::time_point headArrived() const { return m_headArrived; }

private:
    template <class Body>
    void send(http::response<Body> response);

    std::shared_ptr<Session> m_session;
    std::chrono::steady_clock::time_point m_headArrived;
};

// Why the server answered a request itself: its body did not arrive whole within the limits, or
// it was larger than the largest body allowed.
enum class Refusal { incomplete, tooLarge };

// An HTTP/1.1 server on an io_context run by one thread. A connection waiting for bytes costs its
// socket and one timer, whatever it waits for; each request is read whole (bounded by the
// limits) before the handler gets it, on the io_context's thread. A request refused while it was
// read is answered by the server, closing the connection, and reported to the refusal log.
// Everything but callsInFlight() runs on the io_context's thread.
class HttpServer {
public:
    using Handler = std::function<void(HttpRequest&&, Reply)>;
    using RefusalLog = std::function<void(const HttpRequest& head, Refusal)>;

    HttpServer(boost::asio::io_context& io, ConnectionLimits limits, Handler handler,
               RefusalLog refused = {});
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds host:port (0: any free port) with the system's largest listen backlog and starts
    // accepting; returns the port. Throws std::runtime_error when that fails.
    int listen(const std::string& host, int port);
    // No new connection; those waiting for a request are closed, and the others after their
    // answer.
    void stopAccepting();
    void closeAll();
    // Requests whose head has arrived and whose answer is not yet written; from any thread.
    int callsInFlight() const { return m_callsInFlight; }

private:
    friend class Session;

    void accept();
    void acceptLater();
    void forget(Session* session);

    boost::asio::io_context& m_io;
    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::steady_timer m_retry;
    ConnectionLimits m_limits;
    Handler m_handler;
    RefusalLog m_refused;
    struct Open {
        std::shared_ptr<Session> session;
        bool counted;  // false for one answered 503
    };
    std::unordered_map<Session*, Open> m_sessions;
    int m_counted = 0;
    bool m_stopping = false;
    std::atomic<int> m_callsInFlight{0};
};

}  // namespace kqc::standin
