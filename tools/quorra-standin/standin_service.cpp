#include "quorra-standin/standin_service.h"

#include "quorra-standin/service_wsdl.h"
#include "quorra-standin/soap_response.h"
#include "quorra-standin/web_root.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

#include <chrono>
#include <ctime>
#include <future>
#include <ostream>
#include <stdexcept>

namespace kqc::standin {
namespace {

constexpr const char* kXmlType = "text/xml; charset=utf-8";

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

std::string HeaderValue(const HttpRequest& request, std::string_view name) {
    auto field = request.find(boost::beast::string_view(name.data(), name.size()));
    return field == request.end() ? std::string() : std::string(field->value());
}

// SOAP 1.1 requires the header but leaves its value to each client (often a URI, or "" for the
// request URI); an empty one counts as missing. Strictly, only the client's bare word or the
// quoted one the WSDL names.
bool SoapActionAccepted(const std::string& action, bool strict) {
    if (action.empty()) return false;
    return !strict || action == "transcode" || action == "\"transcode\"";
}

bool AsksForWsdl(std::string_view target) {
    const auto query = target.find('?');
    if (query == std::string_view::npos) return false;
    for (std::string_view rest = target.substr(query + 1);;) {
        const std::string_view pair = rest.substr(0, rest.find('&'));
        const std::string_view key = pair.substr(0, pair.find('='));
        if (key == "wsdl" || key == "WSDL") return true;
        if (pair.size() == rest.size()) return false;
        rest.remove_prefix(pair.size() + 1);
    }
}

HttpResponse TextResponse(http::status status, std::string text, const char* type = "text/plain") {
    HttpResponse response{status, 11};
    response.set(http::field::content_type, type);
    response.body() = std::move(text);
    return response;
}

HttpResponse PostOnly() {
    HttpResponse refused = TextResponse(http::status::method_not_allowed,
                                        "MediaAdapter takes SOAP requests by POST only.\n");
    refused.set(http::field::allow, "POST");
    return refused;
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

ConnectionLimits Limits(const StandinOptions& options) {
    return {options.readTimeout, options.requestTimeout, options.maxBody, options.maxConnections};
}

}  // namespace

struct StandinService::Exchange {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    int status = 200;
    std::string sourceKind = "-";
    std::size_t size = 0;
    std::string profile = "-";
    std::string outcome = "-";  // "code=...", "fault=..." or "refused=..."
    std::string action = "-";   // the SOAPAction header as received
};

StandinService::StandinService(StandinOptions options)
    : m_options(std::move(options)),
      m_processor(m_options),
      m_server(
          m_io, Limits(m_options),
          [this](HttpRequest&& request, Reply reply) {
              handleEndpoint(std::move(request), std::move(reply));
          },
          [this](const HttpRequest& head, Refusal refusal) { logRefusal(head, refusal); }),
      m_pool(static_cast<std::size_t>(m_options.workers) + 1) {}

StandinService::~StandinService() {
    stop();
}

void StandinService::start() {
    m_port = m_server.listen(m_options.host, m_options.port);
    if (!m_options.webRoot.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(m_options.webRoot, ec))
            throw std::runtime_error("web root is no folder: " + m_options.webRoot.string());
        m_webServer.emplace(m_io, Limits(m_options),
                            [root = m_options.webRoot](HttpRequest&& request, Reply reply) {
                                AnswerFromWebRoot(root, request, std::move(reply));
                            });
        m_webPort = m_webServer->listen(m_options.host, m_options.webPort);
    }
    // Runs until stop(), however many connections there are.
    m_thread = std::thread([this, work = boost::asio::make_work_guard(m_io)] { m_io.run(); });
}

void StandinService::onNetworkThread(const std::function<void()>& work) {
    std::promise<void> done;
    boost::asio::post(m_io, [&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

void StandinService::stopAccepting() {
    if (!m_thread.joinable()) return;
    onNetworkThread([this] {
        m_server.stopAccepting();
        if (m_webServer) m_webServer->stopAccepting();
    });
}

bool StandinService::idle() const {
    return m_server.callsInFlight() == 0 && (!m_webServer || m_webServer->callsInFlight() == 0);
}

void StandinService::stop(std::chrono::milliseconds grace) {
    if (m_stopped) return;
    m_stopped = true;
    stopAccepting();
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!idle() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The calls still running fail at once; their answers find their connections closed.
    m_processor.stop();
    if (m_thread.joinable())
        onNetworkThread([this] {
            m_server.closeAll();
            if (m_webServer) m_webServer->closeAll();
        });
    m_pool.join();
    m_io.stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string StandinService::endpointUrl() const {
    return "http://" + m_options.host + ":" + std::to_string(m_port) + std::string(kEndpointPath);
}

std::string StandinService::webRootUrl() const {
    return "http://" + m_options.host + ":" + std::to_string(m_webPort) + "/";
}

// Runs on the network thread: the WSDL is answered there, a POST is parsed, run and answered on
// the pool.
void StandinService::handleEndpoint(HttpRequest&& request, Reply reply) {
    const std::string_view target(request.target().data(), request.target().size());
    if (target.substr(0, target.find('?')) != kEndpointPath)
        return std::move(reply)(TextResponse(http::status::not_found, "Not found\n"));
    // HEAD is answered as GET; the connection sends the head alone.
    if (request.method() == http::verb::get || request.method() == http::verb::head)
        return std::move(reply)(answerGet(request));
    if (request.method() != http::verb::post) return std::move(reply)(PostOnly());
    boost::asio::post(m_pool, [this, request = std::move(request), reply]() mutable {
        Exchange exchange;
        exchange.start = reply.headArrived();
        HttpResponse response;
        answerPost(request, response, exchange);
        logExchange(exchange);
        std::move(reply)(std::move(response));
    });
}

HttpResponse StandinService::answerGet(const HttpRequest& request) const {
    const std::string_view target(request.target().data(), request.target().size());
    if (!AsksForWsdl(target)) return PostOnly();
    // The address a SOAP tool should call is the one it reached the WSDL by.
    std::string host = HeaderValue(request, "Host");
    if (host.empty()) host = m_options.host + ":" + std::to_string(m_port);
    std::string address = "http://" + host + std::string(kEndpointPath);
    return TextResponse(http::status::ok, ServiceWsdl(kServiceNamespace, address), kXmlType);
}

void StandinService::answerPost(HttpRequest& request, HttpResponse& response, Exchange& exchange) {
    const std::string action = HeaderValue(request, "SOAPAction");
    if (!action.empty()) exchange.action = action;
    if (m_options.forceStatus != 0) {
        std::this_thread::sleep_for(m_options.delay);
        answerFault(response, "Server", "Forced status " + std::to_string(m_options.forceStatus),
                    exchange);
        response.result(static_cast<unsigned>(m_options.forceStatus));
        exchange.status = m_options.forceStatus;
    } else if (!SoapActionAccepted(action, m_options.strict)) {
        answerFault(response, "Client",
                    m_options.strict ? "Missing or unknown SOAPAction; expected transcode"
                                     : "Missing SOAPAction header",
                    exchange);
    } else {
        answerCall(request.body(), response, exchange);
    }
}

void StandinService::answerCall(std::string& body, HttpResponse& response, Exchange& exchange) {
    exchange.size = body.size();
    ParsedCall parsed = ParseTranscodeCallInPlace(
        body, kServiceNamespace, m_options.strict ? CallMatch::strict : CallMatch::lenient);
    if (parsed.problem != SoapProblem::none) {
        answerFault(response, FaultCodeFor(parsed.problem), parsed.detail, exchange);
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
    response.body() =
        result.target
            ? TranscodeResponseXmlAroundBytes(parsed.operationNamespace, result.returnCode, message,
                                              std::move(*result.target))
            : TranscodeResponseXml(parsed.operationNamespace, result.returnCode, message,
                                   std::nullopt);
    response.set(http::field::content_type, kXmlType);
}

void StandinService::answerFault(HttpResponse& response, std::string_view code,
                                 std::string_view text, Exchange& exchange) const {
    response =
        TextResponse(http::status::internal_server_error, SoapFaultXml(code, text), kXmlType);
    exchange.status = 500;
    exchange.outcome = "fault=" + std::string(code);
}

// The server answered the request itself (400 or 413) and closed its connection.
void StandinService::logRefusal(const HttpRequest& head, Refusal refusal) const {
    Exchange exchange;
    const std::string action = HeaderValue(head, "SOAPAction");
    if (!action.empty()) exchange.action = action;
    const bool tooLarge = refusal == Refusal::tooLarge;
    exchange.status = tooLarge ? 413 : 400;
    exchange.outcome = tooLarge ? "refused=too-large" : "refused=incomplete";
    logExchange(exchange);
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
