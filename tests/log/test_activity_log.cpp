#include "client/plain_fields.h"
#include "log/activity_log.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kqc {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

class ActivityLogTest : public ::testing::Test {
protected:
    TempDir dir;
    PlainFields fields;
    fs::path logPath = dir / "KorvaneQuorraClient.log";
    ActivityLog log{fields, logPath};
};

TEST_F(ActivityLogTest, BoxTextPrecedesEveryLineWithCrLf) {
    log.LogOutput("A");
    EXPECT_EQ(fields.outputLogText(), "\r\nA");
    log.LogOutput("");
    log.LogOutput("B\r\nC");
    EXPECT_EQ(fields.outputLogText(), "\r\nA\r\n\r\nB\r\nC");
    EXPECT_EQ(fields.refreshCount(), 3);
}

TEST_F(ActivityLogTest, BoxKeepsWhatTheUserTyped) {
    fields.setOutputLogText("typed");
    log.LogOutput("A");
    EXPECT_EQ(fields.outputLogText(), "typed\r\nA");
}

TEST_F(ActivityLogTest, UntickedOrGreyedNeverTouchesTheFile) {
    for (int value : {0, 2}) {
        fields.setDebugValue(value);
        log.LogOutput("A");
        log.DebugToFile("Request Structure:\r\n<x/>");
        EXPECT_FALSE(fs::exists(logPath)) << "chkDebug " << value;
    }
}

TEST_F(ActivityLogTest, TickedWritesEntriesEachEndingWithABlankLine) {
    fields.setDebugValue(1);
    log.LogOutput("A");
    EXPECT_EQ(readBytes(logPath), "A\r\n\r\n");
    log.LogOutput("");
    log.LogOutput("B\r\nC");
    log.DebugToFile({"Request Structure:\r\n", "<x/>"});
    EXPECT_EQ(readBytes(logPath), "A\r\n\r\n\r\n\r\nB\r\nC\r\n\r\nRequest Structure:\r\n<x/>\r\n\r\n");
    EXPECT_EQ(fields.outputLogText(), "\r\nA\r\n\r\nB\r\nC") << "the request entry stays out of the box";
}

TEST_F(ActivityLogTest, AppendsAfterTheLastByteOfAnExistingFile) {
    writeBytes(logPath, "earlier, no line end");
    fields.setDebugValue(1);
    log.LogOutput("A");
    EXPECT_EQ(readBytes(logPath), "earlier, no line endA\r\n\r\n");
}

TEST_F(ActivityLogTest, TickingTakesEffectWithTheNextEntry) {
    log.LogOutput("before");
    fields.setDebugValue(1);
    log.LogOutput("after");
    fields.setDebugValue(0);
    log.LogOutput("later");
    EXPECT_EQ(readBytes(logPath), "after\r\n\r\n");
}

TEST_F(ActivityLogTest, UnwritableLogLosesTheEntryButKeepsTheLine) {
    fields.setDebugValue(1);
    ActivityLog missingFolder(fields, dir / "no-such-folder" / "x.log");
    missingFolder.LogOutput("A");
    EXPECT_FALSE(fs::exists(dir / "no-such-folder")) << "the folder is never created";

    fs::create_directory(dir / "is-a-dir");
    ActivityLog directory(fields, dir / "is-a-dir");
    directory.LogOutput("B");
    EXPECT_EQ(fields.outputLogText(), "\r\nA\r\nB");
    EXPECT_EQ(fields.refreshCount(), 2);
}

TEST_F(ActivityLogTest, PlantedSymlinkIsNotFollowed) {
    writeBytes(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", logPath);
    fields.setDebugValue(1);
    log.LogOutput("A");
    EXPECT_EQ(readBytes(dir / "victim"), "precious");
    EXPECT_EQ(fields.outputLogText(), "\r\nA");
}

TEST(DefaultDebugLogPath, IsTheProgramLogInTheTempFolder) {
    EXPECT_EQ(DefaultDebugLogPath().filename(), "KorvaneQuorraClient.log");
    EXPECT_EQ(DefaultDebugLogPath().parent_path(), fs::temp_directory_path());
}

}  // namespace
}  // namespace kqc
