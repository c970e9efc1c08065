#include "quorra-standin/command_line.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kqc::standin {
namespace {

TEST(StandinCommandLine, ReadsEveryFlag) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(
        {"--host",       "0.0.0.0",  "--port",         "0",       "--engine",   "echo",
         "--max-body",   "1000",     "--web-root",     "/srv",    "--web-port", "9000",
         "--force-code", "2004",     "--force-status", "503",     "--delay-ms", "250",
         "--quiet",      "--ffmpeg", "/opt/ffmpeg",    "--strict", "--read-timeout-ms", "300",
         "--request-timeout-ms", "900", "--workers", "3", "--max-connections", "40"},
        line, error))
        << error;
    EXPECT_EQ(line.options.host, "0.0.0.0");
    EXPECT_EQ(line.options.port, 0);
    EXPECT_EQ(line.engine, EngineChoice::echo);
    EXPECT_EQ(line.options.maxBody, 1000u);
    EXPECT_EQ(line.options.webRoot, "/srv");
    EXPECT_EQ(line.options.webPort, 9000);
    EXPECT_EQ(line.options.forceCode, "2004");
    EXPECT_EQ(line.options.forceStatus, 503);
    EXPECT_EQ(line.options.delay, std::chrono::milliseconds(250));
    EXPECT_EQ(line.options.readTimeout, std::chrono::milliseconds(300));
    EXPECT_EQ(line.options.requestTimeout, std::chrono::milliseconds(900));
    EXPECT_EQ(line.options.workers, 3);
    EXPECT_EQ(line.options.maxConnections, 40);
    EXPECT_EQ(line.options.ffmpeg, "/opt/ffmpeg");
    EXPECT_TRUE(line.quiet);
    EXPECT_TRUE(line.options.strict);
    EXPECT_FALSE(line.help);
}

TEST(StandinCommandLine, DefaultsToLoopbackOn8080AndRejectsBadInput) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({}, line, error));
    EXPECT_EQ(line.options.host, "127.0.0.1");
    EXPECT_EQ(line.options.port, 8080);
    EXPECT_EQ(line.options.maxBody, std::size_t{1} << 30);
    EXPECT_EQ(line.engine, EngineChoice::automatic);
    EXPECT_FALSE(line.options.strict);
    EXPECT_EQ(line.options.workers, 1);
    for (auto args : std::vector<std::vector<std::string_view>>{{"--port"},
                                                                {"--port", "65536"},
                                                                {"--port", "80x"},
                                                                {"--port", "0x50"},
                                                                {"--engine", "sox"},
                                                                {"--force-status", "99"},
                                                                {"--max-body", "0"},
                                                                {"--verbose"},
                                                                {"--delay-ms", "-1"},
                                                                {"--read-timeout-ms", "0"},
                                                                {"--request-timeout-ms", "0"},
                                                                {"--workers", "0"},
                                                                {"--max-connections", "0"}}) {
        CommandLine bad;
        error.clear();
        EXPECT_FALSE(ParseCommandLine(args, bad, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace kqc::standin
