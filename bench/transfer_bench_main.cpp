// kqc-bench-transfer: one big file through the whole run in file-system mode, with and without
// "Debug To File", against a copy-only peer (the least a service can do), side by side with a
// reference made of the tools that do the same work against the same peer: curl posting the
// client's request and saving the answer, coreutils base64 encoding the file and decoding it
// again. A second leg runs the client and curl against the stand-in (echo engine), so that the
// stand-in's own cost shows beside the peer's. With --baseline-core-run, another build's client
// (an earlier commit's kqc-bench-core-run) runs in every round too, so that two builds are
// compared in the same hour on a machine whose speed moves from hour to hour; with
// --baseline-standin, another build's quorra-standin takes the same curl request in every round.
//
//   kqc-bench-transfer --standin PATH --core-run PATH --work DIR [--mib 256] [--runs 5]
//                      [--baseline-core-run PATH] [--baseline-standin PATH]
#include "bench/bench_support.h"
#include "bench/copy_peer.h"
#include "bench/standin_process.h"
#include "support/recording_sink.h"
#include "client/request_builder.h"
#include "log/activity_log.h"
#include "media/base64.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace kqc::bench;

namespace {

struct Round {
    ChildResult client, clientDebug, baseline, curl, encode, decode;
    ChildResult standinClient, standinCurl, baselineStandinCurl;
    double standinPeakMiB = 0, baselineStandinPeakMiB = 0;
    double reference() const { return curl.wallSeconds + encode.wallSeconds + decode.wallSeconds; }
};

struct Endpoints {
    std::string peer, standin;
};

struct Paths {
    fs::path source, target, input, output, debugLog, request, answer, encoded, decoded;
    explicit Paths(const fs::path& work)
        : source(work / "source"),
          target(work / "target"),
          input(source / "random.mp3"),
          output(target / "random.mp4"),
          debugLog(work / "debug.log"),
          request(work / "request.xml"),
          answer(work / "answer.xml"),
          encoded(work / "random.b64"),
          decoded(work / "decoded.bin") {}
};

// The request the client itself sends for the file, saved for curl to post.
void writeRequest(const Paths& paths) {
    std::string contents;
    {
        std::ifstream in(paths.input, std::ios::binary);
        contents.assign(std::istreambuf_iterator<char>(in), {});
    }
    kqc::test::RecordingSink view;
    kqc::ActivityLog log(view, false);
    std::string request;
    kqc::CreateSOAPRequestXML(kqc::TargetProfile{}, log, request, kqc::Base64Encode(contents), "");
    std::ofstream out(paths.request, std::ios::binary | std::ios::trunc);
    out.write(request.data(), static_cast<std::streamsize>(request.size()));
    if (!out) throw std::runtime_error("cannot write " + paths.request.string());
}

void require(const ChildResult& result, const char* what) {
    if (result.exitCode != 0)
        throw std::runtime_error(std::string(what) + " failed with exit code " +
                                 std::to_string(result.exitCode));
}

std::vector<std::string> clientCommand(const Paths& paths, const std::string& coreRun,
                                       const std::string& endpoint) {
    return {coreRun,        "--endpoint",         endpoint, "--source-dir", paths.source.string(),
            "--target-dir", paths.target.string()};
}

ChildResult runClient(const Paths& paths, std::vector<std::string> command, bool check,
                      const char* what) {
    ChildResult result = RunChild(command);
    require(result, what);
    if (check && !SameFileContents(paths.input, paths.output))
        throw std::runtime_error(std::string(what) + ": the output differs from the input");
    fs::remove(paths.output);
    return result;
}

ChildResult runCurl(const Paths& paths, const std::string& endpoint, bool check) {
    ChildResult result =
        RunChild({"curl", "-sS", "--fail", "-o", paths.answer.string(), "-H",
                  "SOAPAction: transcode", "-H", "Content-Type: text/xml; charset=utf-8", "-H",
                  "Expect:", "--data-binary", "@" + paths.request.string(), endpoint});
    require(result, "curl");
    if (check && fs::file_size(paths.answer) < fs::file_size(paths.request) / 2)
        throw std::runtime_error("curl's answer is too short to hold the file");
    fs::remove(paths.answer);
    return result;
}

// One curl request to a stand-in process, with the process's peak resident size meanwhile.
ChildResult curlToStandin(const Paths& paths, const StandinProcess& standin, bool check,
                          double& peakMiB) {
    standin.resetPeakResidentSize();
    ChildResult result = runCurl(paths, standin.endpoint(), check);
    peakMiB = standin.peakResidentMiB();
    return result;
}

Round runRound(const Paths& paths, const std::string& coreRun, const std::string& baselineRun,
               const Endpoints& endpoints, const StandinProcess& standin,
               const StandinProcess* baselineStandin, bool check, long turn) {
    Round round;
    const auto client = clientCommand(paths, coreRun, endpoints.peer);
    auto withDebug = client;
    withDebug.insert(withDebug.end(), {"--debug-log", paths.debugLog.string()});
    // Every run pays for the memory the run before it gave back, which this machine's host takes
    // back meanwhile: the runs take turns at going first.
    std::vector<std::function<void()>> runs{
        [&] { round.client = runClient(paths, client, check, "client run"); },
        [&] {
            round.clientDebug = runClient(paths, withDebug, check, "client run with Debug To File");
            if (check && fs::file_size(paths.debugLog) < fs::file_size(paths.request))
                throw std::runtime_error("the debug log misses the request entry");
            fs::remove(paths.debugLog);
        }};
    if (!baselineRun.empty())
        runs.push_back([&] {
            round.baseline = runClient(paths, clientCommand(paths, baselineRun, endpoints.peer),
                                       check, "baseline client run");
        });
    std::rotate(runs.begin(), runs.begin() + turn % static_cast<long>(runs.size()), runs.end());
    for (const auto& run : runs) run();

    round.curl = runCurl(paths, endpoints.peer, check);
    round.encode = RunChild({"base64", "-w0", paths.input.string()}, paths.encoded.string());
    require(round.encode, "base64");
    round.decode = RunChild({"base64", "-d", paths.encoded.string()}, paths.decoded.string());
    require(round.decode, "base64 -d");
    if (check && !SameFileContents(paths.input, paths.decoded))
        throw std::runtime_error("base64 -d did not give the file back");
    fs::remove(paths.encoded);
    fs::remove(paths.decoded);

    std::vector<std::function<void()>> standins{
        [&] { round.standinCurl = curlToStandin(paths, standin, check, round.standinPeakMiB); }};
    if (baselineStandin)
        standins.push_back([&] {
            round.baselineStandinCurl =
                curlToStandin(paths, *baselineStandin, check, round.baselineStandinPeakMiB);
        });
    std::rotate(standins.begin(), standins.begin() + turn % static_cast<long>(standins.size()),
                standins.end());
    for (const auto& run : standins) run();
    round.standinClient = runClient(paths, clientCommand(paths, coreRun, endpoints.standin), check,
                                    "client run against the stand-in");
    return round;
}

template <typename Get>
double medianOf(const std::vector<Round>& rounds, Get get) {
    std::vector<double> values;
    for (const Round& round : rounds) values.push_back(get(round));
    return Median(values);
}

template <typename Get>
std::string secondsOf(const std::vector<Round>& rounds, Get get) {
    return Fixed(medianOf(rounds, get), 2) + " s";
}

void printBaselineRows(const std::vector<Round>& rounds) {
    PrintRow("1b", "baseline client run (--baseline-core-run), wall",
             secondsOf(rounds, [](auto& r) { return r.baseline.wallSeconds; }));
    PrintRow(
        "1b", "baseline client / reference",
        Fixed(medianOf(rounds, [](auto& r) { return r.baseline.wallSeconds / r.reference(); }), 2));
    PrintRow("1b", "client / baseline client",
             Fixed(medianOf(rounds,
                            [](auto& r) { return r.client.wallSeconds / r.baseline.wallSeconds; }),
                   2));
}

// The other build's stand-in beside this one: the same request, the same peer, the same rounds.
void printBaselineStandinRows(const std::vector<Round>& rounds) {
    const double peak = medianOf(rounds, [](auto& r) { return r.standinPeakMiB; });
    const double baselinePeak = medianOf(rounds, [](auto& r) { return r.baselineStandinPeakMiB; });
    PrintRow("1s", "baseline stand-in (--baseline-standin) / copy-only peer",
             Fixed(medianOf(rounds,
                            [](auto& r) {
                                return r.baselineStandinCurl.wallSeconds / r.curl.wallSeconds;
                            }),
                   2));
    PrintRow("1s", "stand-in / baseline stand-in, same curl request",
             Fixed(medianOf(rounds,
                            [](auto& r) {
                                return r.standinCurl.wallSeconds /
                                       r.baselineStandinCurl.wallSeconds;
                            }),
                   2));
    PrintRow("1s", "baseline stand-in peak resident size", Fixed(baselinePeak, 0) + " MiB");
    PrintRow("1s", "stand-in peak resident size / baseline's", Fixed(peak / baselinePeak, 2),
             "<= 1.10", AtMost(peak / baselinePeak, 1.10));
}

void printRows(const std::vector<Round>& rounds, long mib) {
    const std::string size = std::to_string(mib) + " MiB";
    const double rssLimit = 1.5 * mib + 64;
    const double ratio =
        medianOf(rounds, [](auto& r) { return r.client.wallSeconds / r.reference(); });
    const double rss = medianOf(rounds, [](auto& r) { return r.client.peakRssMiB; });
    PrintRow("1", "client run, " + size + ", file-system mode, copy-only peer, wall",
             secondsOf(rounds, [](auto& r) { return r.client.wallSeconds; }));
    PrintRow("1", "reference (base64 + curl + base64 -d, same peer), wall",
             secondsOf(rounds, [](auto& r) { return r.reference(); }));
    PrintRow("1", "  of which curl POST, base64, base64 -d",
             Fixed(medianOf(rounds, [](auto& r) { return r.curl.wallSeconds; }), 2) + " + " +
                 Fixed(medianOf(rounds, [](auto& r) { return r.encode.wallSeconds; }), 2) + " + " +
                 Fixed(medianOf(rounds, [](auto& r) { return r.decode.wallSeconds; }), 2) + " s");
    PrintRow("1", "client / reference (median of per-round ratios)", Fixed(ratio, 2), "<= 0.80",
             AtMost(ratio, 0.80));
    PrintRow("1", "client peak resident size", Fixed(rss, 0) + " MiB",
             "<= " + Fixed(rssLimit, 0) + " MiB", AtMost(rss, rssLimit));

    const double debugRatio =
        medianOf(rounds, [](auto& r) { return r.clientDebug.wallSeconds / r.client.wallSeconds; });
    const double debugRss = medianOf(rounds, [](auto& r) { return r.clientDebug.peakRssMiB; });
    PrintRow("2", "client run with Debug To File, wall",
             secondsOf(rounds, [](auto& r) { return r.clientDebug.wallSeconds; }));
    PrintRow("2", "with / without Debug To File", Fixed(debugRatio, 2), "<= 1.60",
             AtMost(debugRatio, 1.60));
    PrintRow("2", "client peak resident size with Debug To File", Fixed(debugRss, 0) + " MiB",
             "<= " + Fixed(rssLimit, 0) + " MiB", AtMost(debugRss, rssLimit));

    const double standinRatio =
        medianOf(rounds, [](auto& r) { return r.standinCurl.wallSeconds / r.curl.wallSeconds; });
    PrintRow("1s", "curl POST to the stand-in (echo engine), wall",
             secondsOf(rounds, [](auto& r) { return r.standinCurl.wallSeconds; }));
    PrintRow("1s", "stand-in / copy-only peer, same curl request", Fixed(standinRatio, 2),
             "<= 1.20", AtMost(standinRatio, 1.20));
    PrintRow("1s", "stand-in peak resident size during that request",
             Fixed(medianOf(rounds, [](auto& r) { return r.standinPeakMiB; }), 0) + " MiB");
    PrintRow("1s", "client run against the stand-in, wall",
             secondsOf(rounds, [](auto& r) { return r.standinClient.wallSeconds; }));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string standin = OptionValue(argc, argv, "--standin", "");
    const std::string coreRun = OptionValue(argc, argv, "--core-run", "");
    const fs::path workRoot = OptionValue(argc, argv, "--work", "");
    const long mib = OptionNumber(argc, argv, "--mib", 256);
    const long runs = OptionNumber(argc, argv, "--runs", 5);
    const std::string baselineRun = OptionValue(argc, argv, "--baseline-core-run", "");
    const std::string baselineStandin = OptionValue(argc, argv, "--baseline-standin", "");
    if (standin.empty() || coreRun.empty() || workRoot.empty()) {
        std::fprintf(stderr,
                     "usage: %s --standin PATH --core-run PATH --work DIR [--mib N] "
                     "[--runs N] [--baseline-core-run PATH] [--baseline-standin PATH]\n",
                     argv[0]);
        return 2;
    }
    const fs::path work = workRoot / "transfer";  // removed whole at the end
    try {
        const Paths paths(work);
        fs::create_directories(paths.source);
        fs::create_directories(paths.target);
        WriteRandomFile(paths.input, static_cast<std::uint64_t>(mib) << 20);
        writeRequest(paths);
        StandinProcess service(standin);
        std::optional<StandinProcess> baselineService;
        if (!baselineStandin.empty()) baselineService.emplace(baselineStandin);
        const StandinProcess* other = baselineService ? &*baselineService : nullptr;
        CopyPeer peer;
        const Endpoints endpoints{peer.endpoint(), service.endpoint()};

        // The warm-up is checked.
        runRound(paths, coreRun, baselineRun, endpoints, service, other, true, 0);
        std::vector<Round> rounds;
        for (long i = 0; i < runs; ++i)
            rounds.push_back(
                runRound(paths, coreRun, baselineRun, endpoints, service, other, i == 0, i));
        printRows(rounds, mib);
        if (other) printBaselineStandinRows(rounds);
        if (!baselineRun.empty()) printBaselineRows(rounds);
        fs::remove_all(work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kqc-bench-transfer: %s\n", e.what());
        return 1;
    }
    return 0;
}
