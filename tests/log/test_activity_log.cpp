#include "client/plain_fields.h"
#include "log/activity_log.h"
#include "log/debug_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

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

// Large entries go past the page cache in whole blocks, with the bytes before the file's first
// block edge and after the last whole block written as usual: every split gives the same file.
TEST(AppendToDebugFile, SameBytesWhereverTheBlocksFall) {
    TempDir dir;
    const size_t large = kUncachedEntrySize;
    std::string text(large + 3 * 4096 + 17, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    const std::string_view all(text);
    struct Row {
        size_t existing, entry;
    };
    for (const Row row : {Row{0, large}, Row{1, large}, Row{4095, large + 1}, Row{4096, large + 4096},
                          Row{5000, all.size()}, Row{17, large - 1}}) {
        const fs::path path = dir / ("log" + std::to_string(row.existing) + "-" +
                                     std::to_string(row.entry));
        const std::string before(row.existing, 'x');
        if (row.existing) writeBytes(path, before);
        const std::string_view entry = all.substr(0, row.entry);
        // Pieces of odd sizes, with an empty one, as an entry's heading and text would be.
        ASSERT_TRUE(AppendToDebugFile(path, {entry.substr(0, 19), entry.substr(19, 0),
                                             entry.substr(19, 4100), entry.substr(4119)}))
            << row.existing << " " << row.entry;
        // The same entry begun while its text grows, in steps that end anywhere in a block.
        DebugEntry begun(path);
        for (size_t made = 19; made < entry.size(); made += 3 * 1024 * 1024 + 333)
            begun.advance({entry.substr(0, 19), entry.substr(19, made - 19)});
        ASSERT_TRUE(begun.finish({entry.substr(0, 19), entry.substr(19)}));
        EXPECT_TRUE(readBytes(path) == before + std::string(entry) + std::string(entry))
            << row.existing << " " << row.entry;
        // Begun and dropped unfinished: the file is as it was.
        DebugEntry(path).advance({entry});
        EXPECT_EQ(fs::file_size(path), before.size() + 2 * entry.size());
        fs::remove(path);
    }
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

// The log in the shared temp folder holds whole source files: new, it is its owner's alone, and
// one that another user created first is never written.
TEST_F(ActivityLogTest, OnlyItsOwnersFileTakesEntries) {
    fields.setDebugValue(1);
    log.LogOutput("A");
    EXPECT_EQ(fs::status(logPath).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    if (geteuid() != 0) GTEST_SKIP() << "giving the file to another user needs root";
    ASSERT_EQ(chown(logPath.c_str(), 65534, 65534), 0);
    log.LogOutput("B");
    EXPECT_EQ(readBytes(logPath), "A\r\n\r\n");
    EXPECT_EQ(fields.outputLogText(), "\r\nA\r\nB");
}

TEST(DefaultDebugLogPath, IsTheProgramLogInTheTempFolder) {
    EXPECT_EQ(DefaultDebugLogPath().filename(), "KorvaneQuorraClient.log");
    EXPECT_EQ(DefaultDebugLogPath().parent_path(), fs::temp_directory_path());
}

}  // namespace
}  // namespace kqc
