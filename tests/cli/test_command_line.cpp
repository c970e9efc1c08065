// The real program's answer to command lines it refuses or warns about; none of them sends a
// request.
#include "cli/cli_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kqc::test {
namespace {

struct Usage {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string stderrLine;
};
void PrintTo(const Usage& usage, std::ostream* out) {
    *out << usage.name;
}

class CommandLineTest : public ::testing::TestWithParam<Usage> {};

TEST_P(CommandLineTest, GivesItsLineAndExitStatus) {
    TempDir dir;
    const CliRun run = RunCli(GetParam().args, dir.path());
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(run.err, "quorra-transcode: " + GetParam().stderrLine + "\n");
    if (run.exitCode == 2) EXPECT_EQ(run.out, "");
}

const std::string kUnreachable = "--endpoint=http://127.0.0.1:9/";

INSTANTIATE_TEST_SUITE_P(
    Refused, CommandLineTest,
    ::testing::Values(
        Usage{"UnknownOption",
              {"--frobnicate", "a.mp3"},
              2,
              "The following argument was not expected: --frobnicate"},
        Usage{"MissingValue", {"a.mp3", "--codec"}, 2, "--codec: 1 required TEXT missing"},
        Usage{"NoSource", {"--jobs", "2"}, 2, "no SOURCE given"},
        Usage{"NoEntry", {"--url", "http://127.0.0.1:9/"}, 2, "no SOURCE and no --list given"},
        Usage{"ListWithoutUrl", {"--list", "-", "a.mp3"}, 2, "--list requires --url"},
        Usage{"UnreadableList",
              {"--url", "http://h/", "--list", "/nonexistent/list"},
              2,
              "cannot read the list /nonexistent/list"},
        Usage{"NoJobs", {"--jobs", "0", "a.mp3"}, 2, "--jobs: Value 0 not in range 1 to 256"},
        Usage{
            "JobsNotANumber", {"-j", "two", "a.mp3"}, 2, "--jobs: Value two not in range 1 to 256"},
        Usage{"CodecOutsideTheList",
              {kUnreachable, "--codec", "opus", "/nonexistent.mp3"},
              1,
              "--codec \"opus\" is none of aac, amr-nb, anr-wb, pcm, g711, g711a, g711u, mp3, "
              "adpcm, gsm-fr, wma, g711b; it is sent as typed"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kqc::test
