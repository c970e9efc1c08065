#include "quorra-standin/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <map>

namespace kqc::standin {
namespace {

constexpr const char* kDescription =
    R"(A local stand-in for the Quorra transcoder: serves the MediaAdapter SOAP endpoint at
http://HOST:PORT/axis/services/MediaAdapter and answers one transcode call at a time
(--workers: more).
GET on the endpoint with ?wsdl answers the WSDL that describes the transcode call.)";

constexpr const char* kNotes =
    R"(By default any SOAP 1.1 client is served: the SOAPAction header must be present, with any
value (an empty one counts as missing), and the call is the Body's first element named
transcode, in any namespace or none, read as rpc/encoded clients write it: its parts
unqualified or in the call's namespace, multi-reference values (href="#id") followed, numbers
by their xsi:type; the answer is in the call's namespace. With --strict, SOAPAction must be
transcode (bare or quoted), the Body's first element must be transcode in the namespace
http://www.korvane.com/quorra/MediaAdapter and its parts unqualified, in place; anything else
is answered with a SOAP Fault.

A connection that waits for bytes holds no thread: any number of slow clients leave the
others served. SIGINT or SIGTERM stops accepting, lets the calls in flight finish for up to
5 seconds, then ends every ffmpeg still running and removes the private temporary folder; a
second signal does that at once.

Each request is logged to standard error: time, HTTP status, source kind, size,
profile (format/codec/bit rate/sampling rate/channels), return code or fault, duration,
SOAPAction as received.)";

// The usage line first, then what the program is, its options and the notes: the layout help2man
// reads the manual page from.
class UsageFirst : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        // One blank line before the notes, however CLI11 ends the groups (here: after the
        // unlisted group as well).
        std::string options = make_groups(app, mode);
        while (options.ends_with("\n\n")) options.pop_back();
        return "Usage: " + name + " [options]\n\n" + make_description(app) + options + "\n" +
               make_footer(app);
    }
};

// Numbers are decimal, leading zeros and all: CLI11 alone reads "010" as octal and "0x50" as hex.
// The validators here have empty descriptions, which keeps them out of the help text.
const CLI::Validator kDecimal(
    [](std::string& text) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
            return "Value " + text + " is not a whole decimal number";
        text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
        return std::string();
    },
    "");

const CLI::Validator kNotEmpty(
    [](const std::string& text) { return text.empty() ? std::string("Value is empty") : ""; }, "");

CLI::Validator InRange(std::int64_t low, std::int64_t high) {
    return CLI::Range(low, high).description("");
}

template <class T>
void Number(CLI::App& app, const char* name, const char* type, T& value, std::int64_t low,
            std::int64_t high, const char* meaning) {
    app.add_option(name, value, meaning)
        ->type_name(type)
        ->transform(kDecimal)
        ->check(InRange(low, high));
}

void Milliseconds(CLI::App& app, const char* name, std::chrono::milliseconds& value,
                  std::int64_t low, std::int64_t high, const char* meaning) {
    app.add_option_function<std::int64_t>(
           name, [&value](const std::int64_t& ms) { value = std::chrono::milliseconds(ms); },
           meaning)
        ->type_name("N")
        ->transform(kDecimal)
        ->check(InRange(low, high));
}

// A string or a path, never empty.
template <class T>
void Text(CLI::App& app, const char* name, const char* type, T& value, const char* meaning) {
    app.add_option_function<std::string>(
           name, [&value](const std::string& text) { value = text; }, meaning)
        ->type_name(type)
        ->check(kNotEmpty);
}

// The options, read into line.
void Declare(CLI::App& app, CommandLine& line) {
    StandinOptions& o = line.options;
    app.formatter(std::make_shared<UsageFirst>());
    app.get_formatter()->column_width(23);
    app.description(kDescription);
    app.footer(kNotes);
    // An option given twice takes its last value, as a flag given twice counts once.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    Text(app, "--host", "ADDR", o.host,
         "address to listen on (default 127.0.0.1; loopback only unless changed)");
    Number(app, "--port", "N", o.port, 0, 65535,
           "port of the SOAP endpoint (default 8080; 0 picks a free port)");
    static const std::map<std::string, EngineChoice> kEngines = {{"auto", EngineChoice::automatic},
                                                                 {"ffmpeg", EngineChoice::ffmpeg},
                                                                 {"echo", EngineChoice::echo}};
    app.add_option_function<std::string>(
           "--engine", [&line](const std::string& name) { line.engine = kEngines.at(name); },
           "auto, ffmpeg or echo (default auto: ffmpeg when it is in PATH, else echo);\n"
           "echo answers with the source bytes unchanged")
        ->type_name("NAME")
        ->check(CLI::IsMember({"auto", "ffmpeg", "echo"}).description(""));
    Text(app, "--ffmpeg", "PATH", o.ffmpeg, "the ffmpeg program (default: ffmpeg from PATH)");
    Number(app, "--max-body", "BYTES", o.maxBody, 1, std::int64_t{1} << 40,
           "largest request body and fetched source (default 1073741824);\n"
           "a larger request body is refused with HTTP 413");
    Text(app, "--web-root", "DIR", o.webRoot,
         "also serve DIR over plain HTTP, for the client's URL mode");
    Number(app, "--web-port", "N", o.webPort, 0, 65535,
           "port of the web root (default 8081; 0 picks a free port)");
    app.add_option_function<std::string>(
           "--force-code", [&o](const std::string& code) { o.forceCode = code; },
           "answer every transcode call with this return code")
        ->type_name("CODE");
    Number(app, "--force-status", "N", o.forceStatus, 200, 599,
           "answer every POST with this HTTP status and a SOAP Fault");
    Milliseconds(app, "--delay-ms", o.delay, 0, 3600000,
                 "wait N milliseconds before answering each request");
    Number(app, "--workers", "N", o.workers, 1, 64,
           "transcode calls served at once (default 1); a call beyond them is\n"
           "answered with return code 2005");
    app.add_flag("--strict", o.strict, "accept only what this project's client sends (see below)");
    Milliseconds(app, "--read-timeout-ms", o.readTimeout, 1, 3600000,
                 "drop a client that sends nothing for N milliseconds while its request\n"
                 "is read, or takes nothing for N milliseconds of its answer; a kept-alive\n"
                 "connection waits as long for its next request (default 5000)");
    Milliseconds(app, "--request-timeout-ms", o.requestTimeout, 1, 86400000,
                 "drop a client whose request, head and body, has not arrived whole N\n"
                 "milliseconds after it connected (or after the answer before it on the\n"
                 "same connection), however it trickles (default 60000)");
    Number(app, "--max-connections", "N", o.maxConnections, 1, 65536,
           "connections served at once (default 512); one beyond them is answered\n"
           "HTTP 503 with Retry-After and closed");
    app.add_flag("--quiet", line.quiet, "no request log on standard error");
    // Declared again last, so that it is listed last; -h works too, unlisted.
    app.set_help_flag("--help", "show this text");
    app.add_flag("-h", line.help)->group("");
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string_view>& args, CommandLine& line,
                      std::string& error) {
    CLI::App app("", "quorra-standin");
    Declare(app, line);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        line.help = true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    return true;
}

std::string UsageText() {
    CommandLine unused;
    CLI::App app("", "quorra-standin");
    Declare(app, unused);
    return app.help();
}

}  // namespace kqc::standin
