#include "quorra-standin/standin_service.h"

#include "media/base64.h"
#include "quorra-standin/service_wsdl.h"
#include "quorra-standin/soap_response.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <ostream>
#include <stdexcept>

namespace kqc::standin {
namespace {

constexpr const char* kXmlType = "text/xml; charset=utf-8";

// How much of a chunked body beyond the limit is still read and dropped, so that a client which
// overshoots a little gets the 413 answer instead of a reset connection.
constexpr std::size_t kDrainAllowance = std::size_t{1} << 20;

std::string ProfileText(const std::optional<TargetProfile>& p) {
    if (!p) return "-";
    return p->fileFormat + "/" + p->codec + "/" + p->bitRate + "/" + p->samplingRate + "/" +
           p->channels;
}

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string_view FaultCodeFor(SoapProblem problem) {
    switch (problem) {
        case SoapProblem::versionMismatch:
            return "VersionMismatch";
        case SoapProblem::mustUnderstand:
            return "MustUnderstand";
        default:
            return "Client";
    }
}

// SOAP 1.1 requires the header but leaves its value to each client (often a URI, or "" for the
// request URI). Strictly, only the client's bare word or the quoted one the WSDL names.
bool SoapActionAccepted(const httplib::Request& req, bool strict) {
    if (!req.has_header("SOAPAction")) return false;
    std::string action = req.get_header_value("SOAPAction");
    return !strict || action == "transcode" || action == "\"transcode\"";
}

// httplib keeps a connection open after an answer unless the answer's content provider fails;
// this one fails once the whole text is written, so no unread byte is taken for a request.
void AnswerThenClose(httplib::Response& res, std::string text) {
    auto body = std::make_shared<const std::string>(std::move(text));
    res.set_content_provider(
        body->size(), "text/plain",
        [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            sink.write(body->data() + offset, length);
            return false;
        });
}

void StartListening(httplib::Server& server, std::thread& thread) {
    thread = std::thread([&server] { server.listen_after_bind(); });
    for (int i = 0; i < 1000 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!server.is_running()) throw std::runtime_error("server thread did not start");
}

// httplib's default sets SO_REUSEPORT, which would let a second service share a port already in
// use instead of failing.
void ReuseAddressOnly(socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

int Bind(httplib::Server& server, const std::string& host, int port) {
    server.set_socket_options(ReuseAddressOnly);
    if (port == 0) return server.bind_to_any_port(host.c_str());
    return server.bind_to_port(host.c_str(), port) ? port : -1;
}

// One of the limited places for a call being served, held for the guard's life; owned() is
// false when all were taken.
class BusyGuard {
public:
    BusyGuard(std::atomic<int>& served, int limit) : m_served(served) {
        int now = m_served.load();
        while (now < limit && !m_served.compare_exchange_weak(now, now + 1)) {
        }
        m_owned = now < limit;
    }
    ~BusyGuard() {
        if (m_owned) --m_served;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    bool owned() const { return m_owned; }

private:
    std::atomic<int>& m_served;
    bool m_owned = false;
};

}  // namespace

struct StandinService::Exchange {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    int status = 200;
    std::string sourceKind = "-";
    std::size_t size = 0;
    std::string profile = "-";
    std::string outcome = "-";  // "code=..." or "fault=..."
    std::string action = "-";   // the SOAPAction header as received
};

StandinService::StandinService(StandinOptions options)
    : m_options(std::move(options)), m_processor(m_options) {
    m_server.set_payload_max_length(m_options.maxBody);
    m_server.set_read_timeout(m_options.readTimeout);
    // Each call holds a thread of the pool from its head to its answer. With no more threads than
    // workers, the call beyond them would wait in the queue instead of being answered 2005.
    const std::size_t threads =
        std::max<std::size_t>(CPPHTTPLIB_THREAD_POOL_COUNT, m_options.workers + 1);
    m_server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    m_server.Post(std::string(kEndpointPath),
                  [this](const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& reader) { handlePost(req, res, reader); });
    m_server.Get(
        std::string(kEndpointPath),
        [this](const httplib::Request& req, httplib::Response& res) { handleGet(req, res); });
}

StandinService::~StandinService() {
    stop();
}

void StandinService::start() {
    m_port = Bind(m_server, m_options.host, m_options.port);
    if (m_port <= 0)
        throw std::runtime_error("cannot listen on " + m_options.host + ":" +
                                 std::to_string(m_options.port));
    if (!m_options.webRoot.empty()) {
        if (!m_webServer.set_mount_point("/", m_options.webRoot.string()))
            throw std::runtime_error("web root is no folder: " + m_options.webRoot.string());
        m_webPort = Bind(m_webServer, m_options.host, m_options.webPort);
        if (m_webPort <= 0)
            throw std::runtime_error("cannot listen on " + m_options.host + ":" +
                                     std::to_string(m_options.webPort));
        StartListening(m_webServer, m_webThread);
    }
    StartListening(m_server, m_thread);
}

void StandinService::stop() {
    for (auto [server, thread] : {std::pair{&m_server, &m_thread}, {&m_webServer, &m_webThread}}) {
        if (!thread->joinable()) continue;
        server->stop();
        thread->join();
    }
}

std::string StandinService::endpointUrl() const {
    return "http://" + m_options.host + ":" + std::to_string(m_port) + std::string(kEndpointPath);
}

std::string StandinService::webRootUrl() const {
    return "http://" + m_options.host + ":" + std::to_string(m_webPort) + "/";
}

void StandinService::handleGet(const httplib::Request& req, httplib::Response& res) const {
    if (!req.has_param("wsdl") && !req.has_param("WSDL")) {
        res.status = 405;
        res.set_header("Allow", "POST");
        res.set_content("MediaAdapter takes SOAP requests by POST only.\n", "text/plain");
        return;
    }
    // The address a SOAP tool should call is the one it reached the WSDL by.
    std::string host = req.get_header_value("Host");
    if (host.empty()) host = m_options.host + ":" + std::to_string(m_port);
    std::string address = "http://" + host + std::string(kEndpointPath);
    res.set_content(ServiceWsdl(kServiceNamespace, address), kXmlType);
}

void StandinService::handlePost(const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
    Exchange exchange;
    if (req.has_header("SOAPAction")) exchange.action = req.get_header_value("SOAPAction");
    std::string body;
    const BodyRead read = readBody(req, reader, exchange.start + m_options.requestTimeout, body);
    if (read == BodyRead::incomplete) {
        // The client stopped sending, went away or missed the deadline: nothing of a cut-off
        // request is acted on, and the connection ends with this answer, so that the rest of
        // the body, should it still come, is never read as further requests.
        res.status = exchange.status = 400;
        res.set_header("Connection", "close");
        AnswerThenClose(res, "Request body incomplete\n");
        exchange.outcome = "refused=incomplete";
    } else if (read == BodyRead::tooLarge) {
        // The rest of the body stays unread, so the connection ends with this answer.
        res.status = exchange.status = 413;
        res.set_header("Connection", "close");
        AnswerThenClose(res,
                        "Request body exceeds " + std::to_string(m_options.maxBody) + " bytes\n");
        exchange.outcome = "refused=too-large";
    } else if (m_options.forceStatus != 0) {
        std::this_thread::sleep_for(m_options.delay);
        answerFault(res, "Server", "Forced status " + std::to_string(m_options.forceStatus),
                    exchange);
        res.status = exchange.status = m_options.forceStatus;
    } else if (!SoapActionAccepted(req, m_options.strict)) {
        answerFault(res, "Client",
                    m_options.strict ? "Missing or unknown SOAPAction; expected transcode"
                                     : "Missing SOAPAction header",
                    exchange);
    } else {
        answerCall(body, res, exchange);
    }
    logExchange(exchange);
}

// The head has arrived whole when this runs: httplib reads it before any handler, each wait for
// its bytes bounded by the read timeout. The body must arrive by the deadline, however it
// trickles; a wait for its bytes takes the read timeout at most, so a client is dropped no later
// than that after the deadline.
StandinService::BodyRead StandinService::readBody(const httplib::Request& req,
                                                  const httplib::ContentReader& reader,
                                                  std::chrono::steady_clock::time_point deadline,
                                                  std::string& body) const {
    if (req.has_header("Content-Length") &&
        req.get_header_value<uint64_t>("Content-Length") > m_options.maxBody)
        return BodyRead::tooLarge;
    // The announced length is reserved at once: a whole-file body grown piece by piece would be
    // copied again and again.
    if (req.has_header("Content-Length"))
        body.reserve(req.get_header_value<uint64_t>("Content-Length"));
    bool withinLimit = true;
    std::size_t dropped = 0;
    const bool complete = reader([&](const char* data, std::size_t length) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (withinLimit && body.size() + length <= m_options.maxBody) {
            body.append(data, length);
            return true;
        }
        if (withinLimit) std::string().swap(body);
        withinLimit = false;
        dropped += length;
        return dropped <= kDrainAllowance;
    });
    if (!withinLimit) return BodyRead::tooLarge;
    return complete ? BodyRead::complete : BodyRead::incomplete;
}

void StandinService::answerCall(std::string& body, httplib::Response& res, Exchange& exchange) {
    exchange.size = body.size();
    ParsedCall parsed = ParseTranscodeCallInPlace(
        body, kServiceNamespace, m_options.strict ? CallMatch::strict : CallMatch::lenient);
    if (parsed.problem != SoapProblem::none) {
        answerFault(res, FaultCodeFor(parsed.problem), parsed.detail, exchange);
        return;
    }
    exchange.profile = ProfileText(parsed.call.profile);

    CallResult result;
    BusyGuard guard(m_callsServed, m_options.workers);
    if (!guard.owned()) {
        result.returnCode = "2005";
    } else {
        result = m_processor.process(parsed.call);
        std::this_thread::sleep_for(m_options.delay);
        if (m_whileBusy) m_whileBusy();
    }
    exchange.sourceKind = result.sourceKind;
    exchange.size = result.sourceSize;
    exchange.outcome = "code=" + result.returnCode;

    // The answer takes over the target's buffer instead of a copy of it.
    const std::string_view message = ServiceMessage(result.returnCode);
    res.body = result.target ? TranscodeResponseXmlAroundBytes(parsed.operationNamespace,
                                                               result.returnCode, message,
                                                               std::move(*result.target))
                             : TranscodeResponseXml(parsed.operationNamespace, result.returnCode,
                                                    message, std::nullopt);
    res.set_header("Content-Type", kXmlType);
}

void StandinService::answerFault(httplib::Response& res, std::string_view code,
                                 std::string_view text, Exchange& exchange) const {
    res.status = exchange.status = 500;
    res.set_content(SoapFaultXml(code, text), kXmlType);
    exchange.outcome = "fault=" + std::string(code);
}

void StandinService::logExchange(const Exchange& exchange) const {
    if (!m_options.requestLog) return;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - exchange.start)
                  .count();
    std::lock_guard lock(m_logMutex);
    *m_options.requestLog << UtcNow() << " status=" << exchange.status
                          << " source=" << exchange.sourceKind << " size=" << exchange.size
                          << " profile=" << exchange.profile << " " << exchange.outcome
                          << " duration=" << ms << "ms action=" << exchange.action << std::endl;
}

}  // namespace kqc::standin
