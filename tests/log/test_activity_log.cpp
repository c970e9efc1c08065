#include "log/activity_log.h"
#include "log/debug_file.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kqc {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

class ActivityLogTest : public ::testing::Test {
protected:
    TempDir dir;
    test::RecordingSink view;
    fs::path logPath = dir / "KorvaneQuorraClient.log";
    ActivityLog log{view, true, logPath};
};

TEST_F(ActivityLogTest, UntickedNeverTouchesTheFile) {
    ActivityLog unticked(view, false, logPath);
    unticked.LogOutput("A");
    unticked.DebugToFile("Request Structure:\r\n<x/>");
    EXPECT_FALSE(fs::exists(logPath));
    EXPECT_EQ(view.box, "\r\nA");
}

TEST_F(ActivityLogTest, TickedWritesEntriesEachEndingWithABlankLine) {
    log.LogOutput("A");
    EXPECT_EQ(readBytes(logPath), "A\r\n\r\n");
    log.LogOutput("");
    log.LogOutput("B\r\nC");
    log.DebugToFile({"Request Structure:\r\n", "<x/>"});
    EXPECT_EQ(readBytes(logPath), "A\r\n\r\n\r\n\r\nB\r\nC\r\n\r\nRequest Structure:\r\n<x/>\r\n\r\n");
    EXPECT_EQ(view.box, "\r\nA\r\n\r\nB\r\nC") << "the request entry stays out of the box";
}

class OtherWriterTest : public ::testing::TestWithParam<bool> {};

// Another program appending to the log (a second client, or a shell's ">>" that takes no lock)
// while a large entry is written and between entries: every entry stays whole, and nothing of the
// other's is cut or split.
TEST_P(OtherWriterTest, NeverLandsInsideAnEntry) {
    TempDir dir;
    const fs::path path = dir / "shared.log";
    const std::string large(size_t{8} << 20, 'L');
    const pid_t other = fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
        for (int i = 0; i < 2000; ++i) {
            if (GetParam()) AppendToDebugFile(path, {"other ", "entry\n"});
            else if (::write(fd, "other entry\n", 12) != 12) _exit(1);
        }
        _exit(0);
    }
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(AppendToDebugFile(path, {"[", large, "]\n"}));
    int status = 0;
    waitpid(other, &status, 0);
    std::string rest = readBytes(path);
    size_t larges = 0, others = 0;
    while (!rest.empty()) {
        if (rest.starts_with("other entry\n")) {
            rest.erase(0, 12);
            ++others;
        } else {
            ASSERT_TRUE(rest.starts_with("[" + large + "]\n")) << "a torn entry at " << larges << ", " << others;
            rest.erase(0, large.size() + 3);
            ++larges;
        }
    }
    EXPECT_EQ(larges, 8u);
    EXPECT_EQ(others, 2000u);
}

INSTANTIATE_TEST_SUITE_P(Appenders, OtherWriterTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Locking" : "NotLocking"; });

// A disk that fills up half-way (the file size limit of a child process): the entry is cut off
// again, and the next one that fits follows the earlier content directly.
TEST(AppendToDebugFile, EntryThatCannotBeWrittenWholeIsLost) {
    TempDir dir;
    const fs::path path = dir / "full.log";
    writeBytes(path, "earlier\r\n\r\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool refused = !AppendToDebugFile(path, {"head ", std::string(3000, 'x'), std::string(3000, 'y')});
        _exit(refused && AppendToDebugFile(path, {"small\r\n\r\n"}) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readBytes(path), "earlier\r\n\r\nsmall\r\n\r\n");
}

TEST_F(ActivityLogTest, AppendsAfterTheLastByteOfAnExistingFile) {
    writeBytes(logPath, "earlier, no line end");
    log.LogOutput("A");
    EXPECT_EQ(readBytes(logPath), "earlier, no line endA\r\n\r\n");
}

// The line stays and the failure is told once, also by a second log of the same run.
TEST_F(ActivityLogTest, UnwritableLogLosesTheEntryButKeepsTheLine) {
    ActivityLog missingFolder(view, true, dir / "no-such-folder" / "x.log");
    missingFolder.LogOutput("A");
    ActivityLog(view, missingFolder).LogOutput("A2");
    EXPECT_FALSE(fs::exists(dir / "no-such-folder")) << "the folder is never created";

    fs::create_directory(dir / "is-a-dir");
    ActivityLog directory(view, true, dir / "is-a-dir");
    directory.LogOutput("B");
    EXPECT_EQ(view.box, "\r\nA\r\nError writing debug log file " +
                            (dir / "no-such-folder" / "x.log").string() +
                            "\r\nCause: cannot open: No such file or directory\r\nA2\r\nB"
                            "\r\nError writing debug log file " + (dir / "is-a-dir").string() +
                            "\r\nCause: cannot open: Is a directory");
}

TEST_F(ActivityLogTest, PlantedSymlinkIsNotFollowed) {
    writeBytes(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", logPath);
    log.LogOutput("A");
    EXPECT_EQ(readBytes(dir / "victim"), "precious");
    EXPECT_EQ(view.box.find("\r\nA\r\nError writing debug log file "), 0u) << view.box;
}

// The log in the shared temp folder holds whole source files: new or older and open to others,
// it is its owner's alone, and one that another user created first is never written.
TEST_F(ActivityLogTest, OnlyItsOwnersFileTakesEntries) {
    const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
    writeBytes(dir / "older.log", "");
    fs::permissions(dir / "older.log", fs::perms(0644));
    ActivityLog(view, true, dir / "older.log").LogOutput("A");
    EXPECT_EQ(fs::status(dir / "older.log").permissions() & fs::perms::all, ownerOnly);
    log.LogOutput("A");
    EXPECT_EQ(fs::status(logPath).permissions() & fs::perms::all, ownerOnly);
    if (geteuid() != 0) GTEST_SKIP() << "giving the file to another user needs root";
    ASSERT_EQ(chown(logPath.c_str(), 65534, 65534), 0);
    log.LogOutput("B");
    EXPECT_EQ(readBytes(logPath), "A\r\n\r\n");
    EXPECT_EQ(view.box, "\r\nA\r\nA\r\nB\r\nError writing debug log file " + logPath.string() +
                            "\r\nCause: not a regular file of this user");
}

TEST(DefaultDebugLogPath, IsTheProgramLogInTheTempFolder) {
    EXPECT_EQ(DefaultDebugLogPath().filename(), "KorvaneQuorraClient.log");
    EXPECT_EQ(DefaultDebugLogPath().parent_path(), fs::temp_directory_path());
}

}  // namespace
}  // namespace kqc
