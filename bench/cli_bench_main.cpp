// kqc-bench-cli: quorra-transcode beside what it stands for. Workload 5: short mp3 files
// transcoded to AAC in MP4 by the stand-in's ffmpeg engine with two workers, through
// quorra-transcode --jobs 2 beside the same ffmpeg transcodes run directly by xargs -P 2, and
// through --jobs 1 beside the client's core run; every output is checked with ffprobe.
// Workload 6: a URL-mode batch against a loopback service that answers at once, --jobs 1 beside
// the core run and --jobs 4 beside --jobs 1. The sides take turns at going first.
//
//   kqc-bench-cli --standin PATH --cli PATH --core-run PATH --work DIR [--files 40]
//                 [--entries 10000] [--runs 5]
#include "bench/bench_support.h"
#include "bench/reply_server.h"
#include "bench/standin_process.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace kqc::bench;

namespace {

// The stand-in's own ffmpeg command for mp4 / aac / 16000 / Mono / 22050.
const std::string kTranscode =
    "ffmpeg -nostdin -hide_banner -loglevel error -i \"$1\" -map 0:a:0 -vn -c:a aac -ar 22050 "
    "-ac 1 -b:a 16000 -f mp4 -y \"$2/$(basename \"$1\" .mp3).mp4\"";

// Every run saves into a folder of its own (see kqc-bench-batch: reused names slow ext4 down).
fs::path freshFolder(const fs::path& parent) {
    static int count = 0;
    fs::path folder = parent / ("run" + std::to_string(++count));
    fs::create_directories(folder);
    return folder;
}

double timed(const std::vector<std::string>& argv) {
    const ChildResult result = RunChild(argv);
    if (result.exitCode != 0)
        throw std::runtime_error(argv[0] + " failed with exit code " +
                                 std::to_string(result.exitCode));
    return result.wallSeconds;
}

// Runs the sides in turn, the first one first in even rounds and last in odd ones.
void inTurn(long round, const std::vector<std::function<void()>>& sides) {
    for (size_t i = 0; i < sides.size(); ++i) sides[round % 2 ? sides.size() - 1 - i : i]();
}

void makeTones(const fs::path& folder, long files) {
    fs::create_directories(folder);
    for (long i = 1; i <= files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "tone%02ld.mp3", i);
        timed({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
               "sine=frequency=" + std::to_string(200 + 10 * i) + ":duration=10", "-c:a",
               "libmp3lame", "-b:a", "128k", "-y", (folder / name).string()});
    }
}

// Outputs whose first stream ffprobe reads as AAC.
long validOutputs(const fs::path& folder) {
    long valid = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::path probe = folder.parent_path() / "probe.txt";
        RunChild({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                  "stream=codec_name", "-of", "csv=p=0", entry.path().string()},
                 probe.string());
        std::ifstream in(probe);
        std::string codec;
        in >> codec;
        valid += codec == "aac";
    }
    return valid;
}

void mp3Batch(const std::string& standinPath, const std::string& cli, const std::string& coreRun,
              const fs::path& work, long files, long runs) {
    const fs::path source = work / "tones", target = work / "mp3-out";
    makeTones(source, files);
    StandinProcess standin(standinPath, {"--engine", "ffmpeg", "--workers", "2"});
    const std::string endpoint = standin.endpoint();
    std::vector<double> jobs2, xargs, jobs1, core, jobs2OverXargs, jobs1OverCore;
    long valid = 0, outputs = 0;
    auto check = [&](const fs::path& folder) {
        valid += validOutputs(folder);
        outputs += files;
    };
    for (long round = -1; round < runs; ++round) {  // round -1 warms up
        double cli2 = 0, direct = 0, cli1 = 0, run = 0;
        fs::path out2, outX, out1, outC;
        inTurn(round + 1, {
                              [&] {
                                  out2 = freshFolder(target);
                                  cli2 = timed({cli, "--endpoint", endpoint, "--target-dir",
                                                out2.string(), "--jobs", "2", source.string()});
                              },
                              [&] {
                                  outX = freshFolder(target);
                                  direct = timed({"sh", "-c",
                                                  "ls \"$0\"/*.mp3 | xargs -P 2 -I{} sh -c '" +
                                                      kTranscode + "' _ {} \"$1\"",
                                                  source.string(), outX.string()});
                              },
                          });
        inTurn(round + 1, {
                              [&] {
                                  out1 = freshFolder(target);
                                  cli1 = timed({cli, "--endpoint", endpoint, "--target-dir",
                                                out1.string(), source.string()});
                              },
                              [&] {
                                  outC = freshFolder(target);
                                  run = timed({coreRun, "--endpoint", endpoint, "--source-dir",
                                               source.string(), "--target-dir", outC.string()});
                              },
                          });
        for (const fs::path& folder : {out2, outX, out1, outC}) check(folder);
        if (round < 0) continue;
        jobs2.push_back(cli2);
        xargs.push_back(direct);
        jobs1.push_back(cli1);
        core.push_back(run);
        jobs2OverXargs.push_back(cli2 / direct);
        jobs1OverCore.push_back(cli1 / run);
    }
    fs::remove_all(target);

    const std::string n = std::to_string(files);
    PrintRow("5", n + " mp3 files (10 s) to mp4/aac, stand-in ffmpeg --workers 2: --jobs 2, wall",
             Fixed(Median(jobs2), 2) + " s");
    PrintRow("5", "the same ffmpeg transcodes by xargs -P 2, wall", Fixed(Median(xargs), 2) + " s");
    const double parallel = Median(jobs2OverXargs);
    PrintRow("5", "--jobs 2 / xargs -P 2", Fixed(parallel, 3), "<= 1.1", AtMost(parallel, 1.1));
    PrintRow("5", "--jobs 1, wall", Fixed(Median(jobs1), 2) + " s");
    PrintRow("5", "core run of the same files, wall", Fixed(Median(core), 2) + " s");
    const double serial = Median(jobs1OverCore);
    PrintRow("5", "--jobs 1 / core run", Fixed(serial, 3), "<= 1.05", AtMost(serial, 1.05));
    PrintRow("5", "outputs read by ffprobe as AAC",
             std::to_string(valid) + " of " + std::to_string(outputs), "all",
             valid == outputs ? "met" : "MISSED");
}

void urlBatch(const std::string& cli, const std::string& coreRun, const fs::path& work,
              long entries, long runs) {
    const fs::path list = work / "entries.txt", target = work / "url-out";
    {
        std::ofstream out(list);
        char name[32];
        for (long i = 1; i <= entries; ++i) {
            std::snprintf(name, sizeof name, "track%06ld.mp3", i);
            out << name << '\n';
        }
    }
    ReplyServer server;
    std::vector<double> jobs1, jobs4, core, jobs1OverCore, jobs4OverJobs1;
    auto cliRun = [&](const char* jobs) {
        return timed({cli, "--endpoint", server.endpoint(), "--target-dir",
                      freshFolder(target).string(), "--jobs", jobs, "--url", server.webRoot(),
                      "--list", list.string()});
    };
    for (long round = -1; round < runs; ++round) {
        double one = 0, four = 0, run = 0;
        inTurn(round + 1, {[&] { one = cliRun("1"); },
                           [&] {
                               run = timed({coreRun, "--endpoint", server.endpoint(), "--url",
                                            server.webRoot(), "--list", list.string(),
                                            "--target-dir", freshFolder(target).string()});
                           },
                           [&] { four = cliRun("4"); }});
        if (round < 0) continue;
        jobs1.push_back(one);
        jobs4.push_back(four);
        core.push_back(run);
        jobs1OverCore.push_back(one / run);
        jobs4OverJobs1.push_back(four / one);
    }
    fs::remove_all(target);

    const std::string n = std::to_string(entries);
    PrintRow("6", "URL batch of " + n + " entries, loopback reply server: core run, wall",
             Fixed(Median(core), 2) + " s");
    PrintRow("6", "--jobs 1, wall", Fixed(Median(jobs1), 2) + " s");
    const double serial = Median(jobs1OverCore);
    PrintRow("6", "--jobs 1 / core run", Fixed(serial, 3), "<= 1.05", AtMost(serial, 1.05));
    PrintRow("6", "--jobs 4, wall", Fixed(Median(jobs4), 2) + " s");
    const double faster = Median(jobs4OverJobs1);
    PrintRow("6", "--jobs 4 / --jobs 1", Fixed(faster, 3), "< 1", faster < 1 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string standin = OptionValue(argc, argv, "--standin", "");
    const std::string cli = OptionValue(argc, argv, "--cli", "");
    const std::string coreRun = OptionValue(argc, argv, "--core-run", "");
    const std::string work = OptionValue(argc, argv, "--work", "");
    const long files = OptionNumber(argc, argv, "--files", 40);
    const long entries = OptionNumber(argc, argv, "--entries", 10000);
    const long runs = OptionNumber(argc, argv, "--runs", 5);
    if (standin.empty() || cli.empty() || coreRun.empty() || work.empty()) {
        std::fprintf(stderr,
                     "usage: %s --standin PATH --cli PATH --core-run PATH --work DIR [--files N] "
                     "[--entries N] [--runs N]\n",
                     argv[0]);
        return 2;
    }
    try {
        mp3Batch(standin, cli, coreRun, fs::path(work) / "cli", files, runs);
        urlBatch(cli, coreRun, fs::path(work) / "cli", entries, runs);
        fs::remove_all(fs::path(work) / "cli");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kqc-bench-cli: %s\n", e.what());
        return 1;
    }
    return 0;
}
