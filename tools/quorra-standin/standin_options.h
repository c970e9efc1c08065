#pragma once

#include "quorra-standin/transcoder.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace kqc::standin {

inline constexpr std::string_view kEndpointPath = "/axis/services/MediaAdapter";
inline constexpr std::string_view kServiceNamespace = "http://www.korvane.com/quorra/MediaAdapter";

struct StandinOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: any free port
    Engine engine = Engine::echo;
    std::filesystem::path ffmpeg = "ffmpeg";
    std::size_t maxBody = std::size_t{1} << 30;  // bytes of a request body or a fetched source
    std::filesystem::path webRoot;               // served over HTTP when not empty
    int webPort = 8081;                          // 0: any free port
    std::optional<std::string> forceCode;        // answer every transcode call with this code
    int forceStatus = 0;                         // answer every POST with this HTTP status
    std::chrono::milliseconds delay{0};          // added to every request while it is served
    int workers = 1;  // transcode calls served at once; a call beyond them is answered 2005
    // Longest silence of a client while its request is read or its answer written, and longest
    // idle time of a kept-alive connection.
    std::chrono::milliseconds readTimeout{5000};
    // Longest a whole request, head and body, may take from its connection's accept (or from
    // the previous answer on that connection).
    std::chrono::milliseconds requestTimeout{60000};
    int maxConnections = 512;  // served at once; the one beyond them is answered 503
    std::chrono::seconds fetchTimeout{120};
    std::chrono::seconds transcodeTimeout{600};
    // Strict: only the client's own namespace and SOAPAction. Otherwise any SOAP 1.1 client's
    // transcode call is served.
    bool strict = false;
    std::ostream* requestLog = nullptr;  // one line per request; nothing when null
};

}  // namespace kqc::standin
