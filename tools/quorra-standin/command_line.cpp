#include "quorra-standin/command_line.h"

#include <charconv>
#include <functional>
#include <map>

namespace kqc::standin {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: quorra-standin [options]

A local stand-in for the Quorra transcoder: serves the MediaAdapter SOAP endpoint at
http://HOST:PORT/axis/services/MediaAdapter and answers one transcode call at a time.
GET on the endpoint with ?wsdl answers the WSDL that describes the transcode call.

Options:
  --host ADDR          address to listen on (default 127.0.0.1; loopback only unless changed)
  --port N             port of the SOAP endpoint (default 8080; 0 picks a free port)
  --engine NAME        auto, ffmpeg or echo (default auto: ffmpeg when it is in PATH, else echo);
                       echo answers with the source bytes unchanged
  --ffmpeg PATH        the ffmpeg program (default: ffmpeg from PATH)
  --max-body BYTES     largest request body and fetched source (default 1073741824);
                       a larger request body is refused with HTTP 413
  --web-root DIR       also serve DIR over plain HTTP, for the client's URL mode
  --web-port N         port of the web root (default 8081; 0 picks a free port)
  --force-code CODE    answer every transcode call with this return code
  --force-status N     answer every POST with this HTTP status and a SOAP Fault
  --delay-ms N         wait N milliseconds before answering each request
  --strict             accept only what this project's client sends (see below)
  --read-timeout-ms N  drop a client that sends nothing for N milliseconds while its request
                       is read (default 5000)
  --request-timeout-ms N
                       drop a client whose request has not arrived whole N milliseconds
                       after its first byte, however it trickles (default 60000)
  --quiet              no request log on standard error
  --help               show this text

By default any SOAP 1.1 client is served: the SOAPAction header must be present, with any
value (an empty one counts as missing), and the call is the Body's first element named
transcode, in any namespace or none, read as rpc/encoded clients write it: its parts
unqualified or in the call's namespace, multi-reference values (href="#id") followed, numbers
by their xsi:type; the answer is in the call's namespace. With --strict, SOAPAction must be
transcode (bare or quoted), the Body's first element must be transcode in the namespace
http://www.korvane.com/quorra/MediaAdapter and its parts unqualified, in place; anything else
is answered with a SOAP Fault.

Each request is logged to standard error: time, HTTP status, source kind, size,
profile (format/codec/bit rate/sampling rate/channels), return code or fault, duration,
SOAPAction as received.
)";

bool ParseNumber(std::string_view text, long long low, long long high, long long& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

using Setter = std::function<bool(std::string_view, CommandLine&)>;

Setter Number(long long low, long long high, std::function<void(CommandLine&, long long)> set) {
    return [=](std::string_view text, CommandLine& line) {
        long long value = 0;
        if (!ParseNumber(text, low, high, value)) return false;
        set(line, value);
        return true;
    };
}

const std::map<std::string_view, Setter>& ValueFlags() {
    static const std::map<std::string_view, Setter> flags = {
        {"--host",
         [](std::string_view v, CommandLine& l) { return !(l.options.host = v).empty(); }},
        {"--port", Number(0, 65535, [](CommandLine& l, long long v) { l.options.port = int(v); })},
        {"--web-port",
         Number(0, 65535, [](CommandLine& l, long long v) { l.options.webPort = int(v); })},
        {"--engine",
         [](std::string_view v, CommandLine& l) {
             if (v == "auto")
                 l.engine = EngineChoice::automatic;
             else if (v == "ffmpeg")
                 l.engine = EngineChoice::ffmpeg;
             else if (v == "echo")
                 l.engine = EngineChoice::echo;
             else
                 return false;
             return true;
         }},
        {"--ffmpeg",
         [](std::string_view v, CommandLine& l) { return !(l.options.ffmpeg = v).empty(); }},
        {"--max-body", Number(1, 1LL << 40,
                              [](CommandLine& l, long long v) {
                                  l.options.maxBody = static_cast<std::size_t>(v);
                              })},
        {"--web-root",
         [](std::string_view v, CommandLine& l) { return !(l.options.webRoot = v).empty(); }},
        {"--force-code",
         [](std::string_view v, CommandLine& l) {
             l.options.forceCode = std::string(v);
             return true;
         }},
        {"--force-status",
         Number(200, 599, [](CommandLine& l, long long v) { l.options.forceStatus = int(v); })},
        {"--delay-ms", Number(0, 3600000,
                              [](CommandLine& l, long long v) {
                                  l.options.delay = std::chrono::milliseconds(v);
                              })},
        {"--read-timeout-ms", Number(1, 3600000,
                                     [](CommandLine& l, long long v) {
                                         l.options.readTimeout = std::chrono::milliseconds(v);
                                     })},
        {"--request-timeout-ms", Number(1, 86400000,
                                        [](CommandLine& l, long long v) {
                                            l.options.requestTimeout = std::chrono::milliseconds(v);
                                        })},
    };
    return flags;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string_view>& args, CommandLine& line,
                      std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view flag = args[i];
        if (flag == "--help" || flag == "-h") {
            line.help = true;
            continue;
        }
        if (flag == "--quiet") {
            line.quiet = true;
            continue;
        }
        if (flag == "--strict") {
            line.options.strict = true;
            continue;
        }
        auto setter = ValueFlags().find(flag);
        if (setter == ValueFlags().end()) {
            error = "unknown option " + std::string(flag);
            return false;
        }
        if (i + 1 == args.size()) {
            error = std::string(flag) + " needs a value";
            return false;
        }
        if (!setter->second(args[++i], line)) {
            error = "bad value for " + std::string(flag) + ": " + std::string(args[i]);
            return false;
        }
    }
    return true;
}

std::string_view UsageText() {
    return kUsage;
}

}  // namespace kqc::standin
