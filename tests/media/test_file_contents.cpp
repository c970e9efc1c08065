#include "media/file_contents.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kqc {
namespace {

using test::allByteValues;
using test::readBytes;
using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The whole file, read as a run reads it.
std::optional<std::string> contentsOf(const fs::path& path) {
    std::string contents;
    if (!ReadFileContents(path.string(), contents, {[](size_t size) { return size; }})) return {};
    return contents;
}

TEST(ReadFileContents, ReadsEveryByteUnchanged) {
    TempDir dir;
    writeBytes(dir / "all", allByteValues());
    writeBytes(dir / "empty", "");
    fs::create_symlink(dir / "all", dir / "link");
    EXPECT_EQ(contentsOf(dir / "all"), allByteValues());
    EXPECT_EQ(contentsOf(dir / "link"), allByteValues());
    EXPECT_EQ(contentsOf(dir / "empty"), "");
    // procfs gives its files the size 0: what lies past a file's size is read all the same.
    EXPECT_NE(contentsOf("/proc/self/status").value_or("").find("\nPid:"), std::string::npos);
}

TEST(ReadFileContents, KeepsWhatTheBufferHeldAndReservesWhatTheCallerAsks) {
    TempDir dir;
    writeBytes(dir / "all", allByteValues());
    std::string buffer = "head";
    size_t askedFor = 0;
    ASSERT_TRUE(ReadFileContents((dir / "all").string(), buffer, {[&](size_t size) {
        askedFor = size;
        return size_t{1} << 20;
    }}));
    EXPECT_EQ(askedFor, allByteValues().size());
    EXPECT_EQ(buffer, "head" + allByteValues());
    EXPECT_GE(buffer.capacity(), size_t{1} << 20);
    EXPECT_FALSE(ReadFileContents((dir / "missing").string(), buffer, {[](size_t s) { return s; }}));
    EXPECT_EQ(buffer, "head" + allByteValues());

    // Room left before the bytes; finding the file's end takes no room beyond the capacity.
    std::string room = "head";
    const auto exact = [](size_t size) { return 4 + 5 + size; };
    ASSERT_TRUE(ReadFileContents((dir / "all").string(), room, {exact, [](size_t) { return 5; }}));
    EXPECT_EQ(room.substr(9), allByteValues());
    EXPECT_LT(room.capacity(), 2 * exact(allByteValues().size()));
}

TEST(ReadFileContents, RefusesWhatIsNoReadableRegularFile) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);  // no writer: a blocking open would hang
    for (const char* name : {"missing", "folder", "fifo"})
        EXPECT_EQ(contentsOf(dir / name), std::nullopt) << name;
}

class SaveTranscodedFileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(SaveTranscodedFileTest, WritesExactBytes) {
    const std::string path = (dir / "out.mp4").string();
    EXPECT_TRUE(SaveTranscodedFile(path, allByteValues()));
    EXPECT_EQ(readBytes(path), allByteValues());
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left";
}

TEST_F(SaveTranscodedFileTest, ReplacesAnEarlierFileWhole) {
    const std::string path = (dir / "out.wav").string();
    writeBytes(path, std::string(1000, 'x'));
    SaveTranscodedFile(path, "new");
    EXPECT_TRUE(SaveTranscodedFile(path, ""));
    EXPECT_EQ(readBytes(path), "");
    SaveTranscodedFile(path, "second");
    EXPECT_EQ(readBytes(path), "second");
}

TEST_F(SaveTranscodedFileTest, FailuresCreateNothing) {
    fs::create_directory(dir / "taken");
    writeBytes(dir / "taken" / "inside", "kept");
    const std::string missingFolder = (dir / "nowhere" / "out.mp4").string();
    const std::string folderInTheWay = (dir / "taken").string();
    const std::string unwritable = "/proc/kqc-cannot-create-here.mp4";
    for (const std::string& path : {missingFolder, folderInTheWay, unwritable}) {
        EXPECT_FALSE(SaveTranscodedFile(path, "data")) << path;
    }
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_EQ(readBytes(dir / "taken" / "inside"), "kept");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

// A write that fails half-way (the file size limit of a child process) keeps the earlier file.
TEST_F(SaveTranscodedFileTest, HalfWrittenFileNeverReplacesAGoodOne) {
    const std::string path = (dir / "out.mp4").string();
    writeBytes(path, "the good earlier result");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(SaveTranscodedFile(path, std::string(1 << 20, 'n')) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child reported the save as done";
    EXPECT_EQ(readBytes(path), "the good earlier result");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "the temporary file was removed";
}

// An existing target is replaced only where writing it in place would be allowed, and keeps its
// permissions; a symlink at its path is replaced, never followed.
TEST_F(SaveTranscodedFileTest, ExistingTargetsAreTreatedAsWritingThemWould) {
    const fs::path kept = dir / "kept.mp4", link = dir / "link.mp4", readOnly = dir / "ro.mp4";
    writeBytes(kept, "old");
    fs::permissions(kept, fs::perms(0640));
    SaveTranscodedFile(kept.string(), "new");
    EXPECT_EQ(readBytes(kept), "new");
    EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0640));

    writeBytes(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", link);
    SaveTranscodedFile(link.string(), "new");
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readBytes(link), "new");
    EXPECT_EQ(readBytes(dir / "victim"), "precious");

    // Root may write any file: the save then runs as another user, in a folder open to all.
    writeBytes(readOnly, "old");
    fs::permissions(readOnly, fs::perms(0444));
    fs::permissions(dir.path(), fs::perms(0777));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        _exit(SaveTranscodedFile(readOnly.string(), "new") ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "no error line for a read-only target";
    EXPECT_EQ(readBytes(readOnly), "old");
    EXPECT_EQ(entriesIn(dir.path()), 4u) << "no temporary file is left";
}

}  // namespace
}  // namespace kqc
