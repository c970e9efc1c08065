#pragma once

#include "quorra-standin/call_processor.h"
#include "quorra-standin/standin_options.h"

#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kqc::standin {

// The stand-in Quorra transcoder: the MediaAdapter SOAP endpoint on host:port and, when a web
// root is given, a plain file server on host:webPort. Serves up to options.workers transcode
// calls at once, each with its own ffmpeg in its own private folder.
class StandinService {
public:
    explicit StandinService(StandinOptions options);
    ~StandinService();
    StandinService(const StandinService&) = delete;
    StandinService& operator=(const StandinService&) = delete;

    // Binds both servers and starts listening on their own threads. Throws std::runtime_error
    // when a port cannot be bound or the web root is no folder.
    void start();
    void stop();

    int port() const { return m_port; }
    int webPort() const { return m_webPort; }
    std::string endpointUrl() const;
    std::string webRootUrl() const;  // ends with "/"

    // Called while a transcode call holds the service, before it answers. Tests use it to keep
    // the service busy; set it before start().
    void setWhileBusyHook(std::function<void()> hook) { m_whileBusy = std::move(hook); }

private:
    struct Exchange;
    enum class BodyRead { complete, tooLarge, incomplete };

    void handleGet(const httplib::Request& req, httplib::Response& res) const;
    void handlePost(const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader& reader);
    BodyRead readBody(const httplib::Request& req, const httplib::ContentReader& reader,
                      std::chrono::steady_clock::time_point deadline, std::string& body) const;
    void answerCall(std::string& body, httplib::Response& res, Exchange& exchange);
    void answerFault(httplib::Response& res, std::string_view code, std::string_view text,
                     Exchange& exchange) const;
    void logExchange(const Exchange& exchange) const;

    StandinOptions m_options;
    CallProcessor m_processor;
    httplib::Server m_server;
    httplib::Server m_webServer;
    std::thread m_thread;
    std::thread m_webThread;
    int m_port = -1;
    int m_webPort = -1;
    std::atomic<int> m_callsServed{0};
    std::function<void()> m_whileBusy;
    mutable std::mutex m_logMutex;
};

}  // namespace kqc::standin
