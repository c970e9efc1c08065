#pragma once

#include "quorra-standin/call_processor.h"
#include "quorra-standin/http_server.h"
#include "quorra-standin/standin_options.h"

#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kqc::standin {

// How long a stop lets the calls in flight finish before it ends them.
inline constexpr std::chrono::seconds kStopGrace{5};

// The stand-in Quorra transcoder: the MediaAdapter SOAP endpoint on host:port and, when a web
// root is given, a plain file server on host:webPort. One thread serves every connection of both;
// up to options.workers transcode calls run at once on threads of their own, each with its own
// ffmpeg in its own private folder.
class StandinService {
public:
    explicit StandinService(StandinOptions options);
    ~StandinService();
    StandinService(const StandinService&) = delete;
    StandinService& operator=(const StandinService&) = delete;

    // Binds both servers and starts serving. Throws std::runtime_error when a port cannot be
    // bound or the web root is no folder.
    void start();
    // Takes no new connection and closes those waiting for a request; calls in flight go on.
    void stopAccepting();
    // No call in flight (a request whose head has arrived and whose answer is not yet written).
    bool idle() const;
    // Stops accepting, lets the calls in flight finish for up to grace, then ends every ffmpeg
    // (SIGTERM, then SIGKILL), closes every connection and removes the private folder.
    void stop(std::chrono::milliseconds grace = kStopGrace);

    int port() const { return m_port; }
    int webPort() const { return m_webPort; }
    std::string endpointUrl() const;
    std::string webRootUrl() const;  // ends with "/"
    // Where the ffmpeg engine keeps each call's files; empty for the echo engine.
    const std::filesystem::path& privateFolder() const { return m_processor.privateFolder(); }

    // Called while a transcode call holds the service, before it answers. Tests use it to keep
    // the service busy; set it before start().
    void setWhileBusyHook(std::function<void()> hook) { m_whileBusy = std::move(hook); }

private:
    struct Exchange;

    void handleEndpoint(HttpRequest&& request, Reply reply);
    void onNetworkThread(const std::function<void()>& work);
    HttpResponse answerGet(const HttpRequest& request) const;
    void answerPost(HttpRequest& request, HttpResponse& response, Exchange& exchange);
    void answerCall(std::string& body, HttpResponse& response, Exchange& exchange);
    void answerFault(HttpResponse& response, std::string_view code, std::string_view text,
                     Exchange& exchange) const;
    void logRefusal(const HttpRequest& head, Refusal refusal) const;
    void logExchange(const Exchange& exchange) const;

    StandinOptions m_options;
    CallProcessor m_processor;
    boost::asio::io_context m_io;
    HttpServer m_server;
    std::optional<HttpServer> m_webServer;
    // Calls are parsed, run and answered here: one thread more than workers, so that the call
    // beyond them is answered 2005 at once.
    boost::asio::thread_pool m_pool;
    std::thread m_thread;
    int m_port = -1;
    int m_webPort = -1;
    bool m_stopped = false;
    std::atomic<int> m_callsServed{0};
    std::function<void()> m_whileBusy;
    mutable std::mutex m_logMutex;
};

}  // namespace kqc::standin
