#include "quorra-standin/http_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace kqc::standin {

namespace beast = boost::beast;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// SOAP clients send heads of a few hundred bytes; this is room for any sane one.
constexpr std::uint32_t kHeaderLimit = 64 * 1024;
// How much a client may still send after an answer that ends its connection before its request
// was read whole. Reading it, rather than closing with it unread (which resets the connection),
// lets the client see the answer.
constexpr std::size_t kDrainAllowance = std::size_t{1} << 20;
constexpr std::size_t kDrainPiece = 64 * 1024;
// How long the server waits to accept again when it ran out of descriptors.
constexpr std::chrono::milliseconds kAcceptRetry{50};
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
// Beast reads as much as the buffer's free room (at least 512 bytes, at most 64 KiB): through a
// buffer left at its first 512 bytes, a 341 MiB body took a system call per 512 bytes and three
// times as long (curl's POST of 256 MiB: 7 s instead of 2.2 s). Only a request's body gets the
// larger buffer: a connection waiting for a head keeps the small one.
constexpr std::size_t kBodyPiece = 64 * 1024;

// Bytes that are no HTTP request, as opposed to a connection that ended or went silent.
bool IsBadRequest(const beast::error_code& ec) {
    return ec.category() == beast::http::make_error_code(http::error::bad_target).category() &&
           ec != http::error::end_of_stream && ec != http::error::partial_message;
}

bool ExpectsContinue(const HttpRequest& head) {
    auto expect = head.find(http::field::expect);
    return expect != head.end() && beast::iequals(expect->value(), "100-continue");
}

}  // namespace

// One accepted connection: reads requests one after another (keep-alive), hands each to the
// server's handler and writes the answer the handler gives back through a Reply. Lives as long as
// an operation of its own or a Reply refers to it; the server holds it until it ends.
//
// Its one timer cancels the operation in progress when it expires, rather than closing the
// socket as beast::tcp_stream's does: a request cut off by its deadline is logged and answered
// before its connection closes.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, HttpServer& server)
        : m_socket(std::move(socket)), m_timer(m_socket.get_executor()), m_server(server) {}

    void serve() { readRequest(); }
    void refuseBusy();
    void close() {
        disarm();
        beast::error_code ignored;
        m_socket.close(ignored);
    }
    bool inCall() const { return m_inCall; }
    tcp::socket::executor_type executor() { return m_socket.get_executor(); }

    template <class Body>
    void answer(http::response<Body> response);

private:
    void expireAt(Clock::time_point at);
    void disarm();
    void readRequest();
    void readSome();
    void onRead(beast::error_code ec);
    void beginCall();
    void endCall();
    void sendContinue();
    void handOver();
    void refuse(http::status status, std::string text, std::optional<Refusal> refusal);
    template <class Body>
    void writeSome(std::shared_ptr<http::response<Body>> response,
                   std::shared_ptr<http::response_serializer<Body>> serializer);
    void afterAnswer();
    void drain();
    void drainSome();
    void finish();

    tcp::socket m_socket;
    net::steady_timer m_timer;
    unsigned m_timerArmed = 0;  // an expiry of an earlier arming is no timeout
    bool m_timedOut = false;
    HttpServer& m_server;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    Clock::time_point m_requestDeadline;
    Clock::time_point m_headArrived;
    unsigned m_version = 11;
    bool m_headOnly = false;
    bool m_inCall = false;
    bool m_continued = false;
    bool m_keepAlive = false;
    bool m_drainAfterAnswer = false;
    bool m_finished = false;
    std::size_t m_drained = 0;
};

void Session::expireAt(Clock::time_point at) {
    m_timedOut = false;
    m_timer.expires_at(at);
    m_timer.async_wait([self = shared_from_this(), armed = ++m_timerArmed](beast::error_code ec) {
        if (ec || armed != self->m_timerArmed) return;
        self->m_timedOut = true;
        beast::error_code ignored;
        self->m_socket.cancel(ignored);
    });
}

void Session::disarm() {
    ++m_timerArmed;
    m_timer.cancel();
}

void Session::readRequest() {
    m_parser.emplace();
    m_parser->header_limit(kHeaderLimit);
    m_parser->body_limit(m_server.m_limits.maxBody);
    m_requestDeadline = Clock::now() + m_server.m_limits.requestTimeout;
    m_continued = false;
    m_headOnly = false;
    readSome();
}

// Each wait ends at the next silence bound or at the request's deadline, whichever comes first.
void Session::readSome() {
    expireAt(std::min(Clock::now() + m_server.m_limits.readTimeout, m_requestDeadline));
    http::async_read_some(
        m_socket, m_buffer, *m_parser,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
}

void Session::onRead(beast::error_code ec) {
    if (ec == net::error::operation_aborted && !m_timedOut) return finish();  // closed by a stop
    const bool headDone = m_parser->is_header_done();
    if (headDone && !m_inCall) beginCall();
    if (ec == http::error::body_limit)
        return refuse(
            http::status::payload_too_large,
            "Request body exceeds " + std::to_string(m_server.m_limits.maxBody) + " bytes\n",
            Refusal::tooLarge);
    // The client stopped sending, went away or missed the deadline: nothing of a cut-off request
    // is acted on.
    if (ec && headDone)
        return refuse(http::status::bad_request, "Request body incomplete\n", Refusal::incomplete);
    if (ec && IsBadRequest(ec))
        return refuse(http::status::bad_request, "Bad request\n", std::nullopt);
    if (ec) return finish();
    if (m_parser->is_done()) return handOver();
    if (headDone && !m_continued && ExpectsContinue(m_parser->get())) return sendContinue();
    readSome();
}

void Session::beginCall() {
    m_buffer.reserve(kBodyPiece);
    m_inCall = true;
    m_headArrived = Clock::now();
    ++m_server.m_callsInFlight;
}

void Session::endCall() {
    if (!m_inCall) return;
    m_inCall = false;
    --m_server.m_callsInFlight;
}

void Session::sendContinue() {
    m_continued = true;
    expireAt(Clock::now() + m_server.m_limits.readTimeout);
    net::async_write(m_socket, net::buffer(kContinue.data(), kContinue.size()),
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                         if (ec) return self->finish();
                         self->readSome();
                     });
}

// The handler may take minutes (a transcode): no timer runs until the answer is written.
void Session::handOver() {
    HttpRequest& request = m_parser->get();
    m_version = request.version();
    m_headOnly = request.method() == http::verb::head;
    m_keepAlive = request.keep_alive() && !m_server.m_stopping;
    disarm();
    m_server.m_handler(m_parser->release(), Reply(shared_from_this(), m_headArrived));
}

// The connection ends with this answer, so that the rest of the request, should it still come,
// is never read as further requests. A client cut off at its deadline or its silence is not
// waited for any longer.
void Session::refuse(http::status status, std::string text, std::optional<Refusal> refusal) {
    if (refusal && m_server.m_refused) m_server.m_refused(m_parser->get(), *refusal);
    HttpResponse response{status, 11};
    response.set(http::field::content_type, "text/plain");
    response.body() = std::move(text);
    m_keepAlive = false;
    m_drainAfterAnswer = refusal != Refusal::incomplete;
    answer(std::move(response));
}

void Session::refuseBusy() {
    HttpResponse response{http::status::service_unavailable, 11};
    response.set(http::field::content_type, "text/plain");
    response.set(http::field::retry_after, "1");
    response.body() = "Too many connections; try again in a moment.\n";
    m_keepAlive = false;
    m_drainAfterAnswer = true;
    answer(std::move(response));
}

template <class Body>
void Session::answer(http::response<Body> response) {
    if constexpr (!std::is_same_v<Body, http::empty_body>) {
        response.prepare_payload();
        // The answer to HEAD is the head alone, with the length the body would have.
        if (m_headOnly) return answer(http::response<http::empty_body>(std::move(response.base())));
    }
    m_keepAlive = m_keepAlive && !m_server.m_stopping;
    response.version(m_version);
    response.keep_alive(m_keepAlive);
    auto message = std::make_shared<http::response<Body>>(std::move(response));
    auto serializer = std::make_shared<http::response_serializer<Body>>(*message);
    writeSome(std::move(message), std::move(serializer));
}

// Written piece by piece, so that each silence of the client is bounded rather than the whole
// answer, which may be hundreds of MiB.
template <class Body>
void Session::writeSome(std::shared_ptr<http::response<Body>> response,
                        std::shared_ptr<http::response_serializer<Body>> serializer) {
    expireAt(Clock::now() + m_server.m_limits.readTimeout);
    auto& pieces = *serializer;
    http::async_write_some(
        m_socket, pieces,
        [self = shared_from_this(), response = std::move(response),
         serializer = std::move(serializer)](beast::error_code ec, std::size_t) mutable {
            if (ec) return self->finish();
            if (!serializer->is_done())
                return self->writeSome(std::move(response), std::move(serializer));
            self->afterAnswer();
        });
}

void Session::afterAnswer() {
    endCall();
    if (m_drainAfterAnswer) return drain();
    if (m_keepAlive && !m_server.m_stopping) return readRequest();
    finish();
}

void Session::drain() {
    beast::error_code ignored;
    m_socket.shutdown(tcp::socket::shutdown_send, ignored);
    expireAt(Clock::now() + m_server.m_limits.readTimeout);
    drainSome();
}

void Session::drainSome() {
    m_buffer.consume(m_buffer.size());
    m_socket.async_read_some(m_buffer.prepare(kDrainPiece),
                             [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                 self->m_drained += n;
                                 if (ec || self->m_drained > kDrainAllowance) return self->finish();
                                 self->drainSome();
                             });
}

void Session::finish() {
    if (m_finished) return;
    m_finished = true;
    endCall();
    beast::error_code ignored;
    m_socket.shutdown(tcp::socket::shutdown_both, ignored);
    close();
    m_server.forget(this);
}

template <class Body>
void Reply::send(http::response<Body> response) {
    auto executor = m_session->executor();
    net::post(executor, [session = std::move(m_session), response = std::move(response)]() mutable {
        session->answer(std::move(response));
    });
}

void Reply::operator()(HttpResponse response) && {
    send(std::move(response));
}

void Reply::operator()(http::response<http::file_body> response) && {
    send(std::move(response));
}

HttpServer::HttpServer(net::io_context& io, ConnectionLimits limits, Handler handler,
                       RefusalLog refused)
    : m_io(io),
      m_acceptor(io),
      m_retry(io),
      m_limits(limits),
      m_handler(std::move(handler)),
      m_refused(std::move(refused)) {}

int HttpServer::listen(const std::string& host, int port) {
    beast::error_code ec;
    tcp::resolver resolver(m_io);
    auto found = resolver.resolve(host, std::to_string(port), tcp::resolver::passive, ec);
    if (!ec && !found.empty()) {
        const tcp::endpoint endpoint = found.begin()->endpoint();
        m_acceptor.open(endpoint.protocol(), ec);
        // Not SO_REUSEPORT: a second service must fail on a port already in use.
        if (!ec) m_acceptor.set_option(net::socket_base::reuse_address(true), ec);
        if (!ec) m_acceptor.bind(endpoint, ec);
        if (!ec) m_acceptor.listen(net::socket_base::max_listen_connections, ec);
    }
    if (ec || !m_acceptor.is_open())
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port));
    accept();
    return m_acceptor.local_endpoint().port();
}

void HttpServer::accept() {
    m_acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !m_acceptor.is_open()) return;
        if (ec) return acceptLater();  // out of descriptors, most likely
        auto session = std::make_shared<Session>(std::move(socket), *this);
        const bool counted = m_counted < m_limits.maxConnections;
        m_sessions.emplace(session.get(), Open{session, counted});
        if (counted) {
            ++m_counted;
            session->serve();
        } else {
            session->refuseBusy();
        }
        accept();
    });
}

void HttpServer::acceptLater() {
    m_retry.expires_after(kAcceptRetry);
    m_retry.async_wait([this](beast::error_code ec) {
        if (!ec && m_acceptor.is_open()) accept();
    });
}

void HttpServer::forget(Session* session) {
    auto open = m_sessions.find(session);
    if (open == m_sessions.end()) return;
    if (open->second.counted) --m_counted;
    m_sessions.erase(open);
}

void HttpServer::stopAccepting() {
    m_stopping = true;
    beast::error_code ignored;
    m_acceptor.close(ignored);
    m_retry.cancel();
    for (auto& [session, open] : m_sessions)
        if (!session->inCall()) session->close();
}

void HttpServer::closeAll() {
    stopAccepting();
    for (auto& [session, open] : m_sessions) session->close();
    m_sessions.clear();
    m_counted = 0;
}

}  // namespace kqc::standin
