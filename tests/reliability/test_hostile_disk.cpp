// A disk that refuses: target folders that cannot take a file, writes that fail half-way, a full
// disk and debug log paths that are no plain file. The run logs each failure, goes on, and never
// damages a file that was there before.
#include "client/transcode_run.h"
#include "reliability/hostile_service.h"
#include "reliability/run_support.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <memory>

namespace kqc::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kEarlier = "the good earlier result";
const std::string kNew = "new transcoded data";

// Both entries get the same good answer.
class DiskTest : public HostileRunTest {
protected:
    std::string entryLines(const std::string& entry, const std::string& outcome) {
        return lines({startingOn(entry), "CreateSOAPRequestXML successfully",
                      "PostXML successfullly", outcome, kSeparator, ""});
    }
    // Replaces the service; a child run needs it before its fork, unstarted.
    void serve(std::vector<Reply> replies) {
        m_service = std::make_unique<HostileService>(std::move(replies));
    }
    HostileService& service() { return *m_service; }

private:
    std::unique_ptr<HostileService> m_service =
        std::make_unique<HostileService>(std::vector<Reply>{httpAnswer(200, successResponse(kNew))});
};

// A 1 MiB result for the first entry, a small one for the second.
std::vector<Reply> largeThenSmall() {
    return {httpAnswer(200, successResponse(std::string(1 << 20, 'L'))),
            httpAnswer(200, successResponse(kNew))};
}

struct TargetCase {
    std::string name;
    // Prepares the folders and returns the text of txtTargetDir.
    std::function<std::string(const fs::path& dir, const fs::path& target)> prepare;
    bool firstSaved;
    bool secondSaved;
    std::string cause;  // of a file not saved
    // Checks that nothing that was there before was harmed.
    std::function<void(const fs::path& dir, const fs::path& target)> unharmed;
};

void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.name; }

std::vector<TargetCase> targetCases() {
    return {
        {"TargetFolderMissing",
         [](const fs::path& dir, const fs::path&) { return (dir / "missing").string(); }, false,
         false, "cannot create: No such file or directory", [](const fs::path& dir, const fs::path&) { EXPECT_FALSE(fs::exists(dir / "missing")); }},
        {"TargetFolderIsAFile",
         [](const fs::path& dir, const fs::path&) {
             writeBytes(dir / "plain", kEarlier);
             return (dir / "plain").string();
         },
         false, false, "cannot create: Not a directory",
         [](const fs::path& dir, const fs::path&) { EXPECT_EQ(readBytes(dir / "plain"), kEarlier); }},
        {"TargetFolderUnderProc", [](const fs::path&, const fs::path&) { return std::string("/proc"); },
         false, false, "cannot create: No such file or directory", [](const fs::path&, const fs::path&) { EXPECT_FALSE(fs::exists("/proc/a.mp4")); }},
        {"OutputPathIsAFolder",
         [](const fs::path&, const fs::path& target) {
             fs::create_directory(target / "a.mp4");
             writeBytes(target / "a.mp4" / "inside", kEarlier);
             return target.string();
         },
         false, true, "cannot replace it: Is a directory",
         [](const fs::path&, const fs::path& target) {
             EXPECT_EQ(readBytes(target / "a.mp4" / "inside"), kEarlier);
             EXPECT_EQ(namesIn(target), (std::vector<std::string>{"a.mp4", "b.mp4"}));
         }},
        // The output replaces the link itself; the file it points to stays as it was.
        {"OutputPathIsAPlantedSymlink",
         [](const fs::path& dir, const fs::path& target) {
             writeBytes(dir / "victim", kEarlier);
             fs::create_symlink(dir / "victim", target / "a.mp4");
             return target.string();
         },
         true, true, "",
         [](const fs::path& dir, const fs::path& target) {
             EXPECT_EQ(readBytes(dir / "victim"), kEarlier);
             EXPECT_FALSE(fs::is_symlink(target / "a.mp4"));
             EXPECT_EQ(namesIn(target), (std::vector<std::string>{"a.mp4", "b.mp4"}));
         }},
        // Another user's writable file in a sticky folder is written in place: it stays theirs.
        {"AnotherUsersTargetInAStickyFolder",
         [](const fs::path&, const fs::path& target) {
             writeBytes(target / "a.mp4", kEarlier);
             fs::permissions(target / "a.mp4", fs::perms(0666));
             fs::permissions(target, fs::perms(01777));
             if (::chown((target / "a.mp4").c_str(), 65534, 65534) != 0) ADD_FAILURE() << "needs root";
             return target.string();
         },
         true, true, "",
         [](const fs::path&, const fs::path& target) {
             struct stat info {};
             ASSERT_EQ(::stat((target / "a.mp4").c_str(), &info), 0);
             EXPECT_EQ(info.st_uid, 65534u);
             EXPECT_EQ(info.st_gid, 65534u);
         }},
        // A target with a second hard link is written in place: the link sees the new bytes.
        {"TargetWithASecondLink",
         [](const fs::path& dir, const fs::path& target) {
             writeBytes(target / "a.mp4", kEarlier);
             fs::create_hard_link(target / "a.mp4", dir / "second-link");
             return target.string();
         },
         true, true, "",
         [](const fs::path& dir, const fs::path&) { EXPECT_EQ(readBytes(dir / "second-link"), kNew); }},
    };
}

class TargetTest : public DiskTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(TargetTest, RefusedSaveIsLoggedAndTheRunGoesOn) {
    const TargetCase& c = GetParam();
    values.targetDir = c.prepare(dir.path(), target);
    service().start();
    runUrlMode(service().endpoint(), "a.mp3\r\nb.mp3");
    EXPECT_EQ(sink.box,
              entryLines("a.mp3", c.firstSaved ? saved("a.mp4") : errorSaving("a.mp4", c.cause)) +
                  entryLines("b.mp3", c.secondSaved ? saved("b.mp4") : errorSaving("b.mp4", c.cause)));
    if (c.firstSaved) {
        EXPECT_EQ(readBytes(target / "a.mp4"), kNew);
    }
    if (c.secondSaved) {
        EXPECT_EQ(readBytes(target / "b.mp4"), kNew);
    }
    c.unharmed(dir.path(), target);
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetTest, ::testing::ValuesIn(targetCases()),
                         [](const auto& info) { return info.param.name; });

// The run in a child process whose box text comes back through a file. mountTarget, when given,
// runs first in a private mount namespace; the child reports kChildSkipped when it may not
// mount.
class ChildRunTest : public DiskTest {
protected:
    int runChild(const std::function<bool()>& mountTarget, const std::function<void()>& limit) {
        return runInChild(
            [&] {
                if (mountTarget) {
                    if (::unshare(CLONE_NEWNS) != 0 ||
                        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                        !mountTarget())
                        return kChildSkipped;
                }
                if (limit) limit();
                values.endpoint = service().endpoint();
                values.fileList = "a.mp3\r\nb.mp3";
                TranscodeRun(values, sink);
                writeBytes(dir / "child-box.txt", sink.box);
                writeBytes(dir / "child-target.txt", targetState());
                return 0;
            },
            [this] { service().start(); });
    }
    std::string childBox() { return readBytes(dir / "child-box.txt"); }
    // What the target folder held at the end of the child's run, as the child saw it.
    std::string childTarget() { return readBytes(dir / "child-target.txt"); }
    std::string targetState() {
        std::string state;
        for (const std::string& name : namesIn(target)) state += name + "\n";
        if (fs::is_regular_file(target / "a.mp4")) state += "a.mp4 holds " + readBytes(target / "a.mp4");
        return state;
    }
};

TEST_F(ChildRunTest, ReadOnlyTargetFolderKeepsTheEarlierFile) {
    writeBytes(target / "a.mp4", kEarlier);
    const int code = runChild(
        [this] {
            return ::mount(target.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                   ::mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                           nullptr) == 0;
        },
        {});
    if (code == kChildSkipped) GTEST_SKIP() << "no private mount namespace here";
    ASSERT_EQ(code, 0);
    EXPECT_EQ(childBox(),
              entryLines("a.mp3", errorSaving("a.mp4", "cannot open: Read-only file system")) +
                  entryLines("b.mp3", errorSaving("b.mp4", "cannot create: Read-only file system")));
    EXPECT_EQ(childTarget(), "a.mp4\na.mp4 holds " + kEarlier);
    EXPECT_EQ(readBytes(target / "a.mp4"), kEarlier);
}

class FullDiskTest : public ChildRunTest, public ::testing::WithParamInterface<bool> {};

// A disk that fills up half-way through the first output: the earlier file stays whole, and the
// second output fits. A replacement's temporary file goes; a file written in place (it has a
// second link) finds its room cannot be reserved and is never cut.
TEST_P(FullDiskTest, KeepsTheEarlierFileAndTheNextOneFits) {
    serve(largeThenSmall());
    const int code = runChild(
        [this] {
            if (::mount("kqc-full", target.c_str(), "tmpfs", 0, "size=256k") != 0) return false;
            writeBytes(target / "a.mp4", kEarlier);
            if (GetParam()) fs::create_hard_link(target / "a.mp4", target / "a.link");
            return true;
        },
        {});
    if (code == kChildSkipped) GTEST_SKIP() << "no private mount namespace or tmpfs here";
    ASSERT_EQ(code, 0);
    const std::string cause = GetParam() ? "cannot reserve space" : "cannot write";
    EXPECT_EQ(childBox(), entryLines("a.mp3", errorSaving("a.mp4", cause + ": No space left on device")) +
                              entryLines("b.mp3", saved("b.mp4")));
    EXPECT_EQ(childTarget(), (GetParam() ? "a.link\n" : "") + "a.mp4\nb.mp4\na.mp4 holds "s + kEarlier);
}

INSTANTIATE_TEST_SUITE_P(Saves, FullDiskTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InPlace" : "Replaced"; });

// The child may write files of at most 4 KiB: the 1 MiB result fails half-way.
TEST_F(ChildRunTest, HalfWrittenResultNeverReplacesTheEarlierFile) {
    serve(largeThenSmall());
    writeBytes(target / "a.mp4", kEarlier);
    values.debugToFile = false;
    const int code = runChild({}, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    ASSERT_EQ(code, 0);
    EXPECT_EQ(childBox(),
              entryLines("a.mp3", errorSaving("a.mp4", "cannot write: File too large")) +
                  entryLines("b.mp3", saved("b.mp4")));
    EXPECT_EQ(readBytes(target / "a.mp4"), kEarlier);
    EXPECT_EQ(readBytes(target / "b.mp4"), kNew);
    EXPECT_EQ(namesIn(target), (std::vector<std::string>{"a.mp4", "b.mp4"}));
}

struct DebugLogCase {
    std::string name;
    std::function<void(const fs::path& logPath, const fs::path& dir)> plant;
    std::string cause;
    bool sizeLimited = false;  // no file may grow past 4 KiB during the run
};

void PrintTo(const DebugLogCase& c, std::ostream* out) { *out << c.name; }

class DebugLogTest : public DiskTest, public ::testing::WithParamInterface<DebugLogCase> {};

// Whatever stands at the debug log path, the box gets every line and, once, why the debug log
// was not written; the outputs are saved and nothing the path points to is written.
TEST_P(DebugLogTest, UnusableDebugLogLosesOnlyItsEntries) {
    writeBytes(dir / "victim", kEarlier);
    fs::create_directory(dir / "victim-folder");
    GetParam().plant(dir / "debug.log", dir.path());
    service().start();
    rlimit unlimited{};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    const rlimit fourKiB{4096, unlimited.rlim_max};
    const auto oldAction = std::signal(SIGXFSZ, SIG_IGN);
    if (GetParam().sizeLimited) ::setrlimit(RLIMIT_FSIZE, &fourKiB);
    runUrlMode(service().endpoint(), "a.mp3\r\nb.mp3");
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, oldAction);
    const std::string told = "\r\nError writing debug log file " + (dir / "debug.log").string() +
                             "\r\nCause: " + GetParam().cause;
    std::string first = entryLines("a.mp3", saved("a.mp4"));
    first.insert(first.find("\r\n", 2), told);
    EXPECT_EQ(sink.box, first + entryLines("b.mp3", saved("b.mp4")));
    EXPECT_EQ(readBytes(target / "b.mp4"), kNew);
    EXPECT_EQ(readBytes(dir / "victim"), kEarlier);
    EXPECT_TRUE(fs::is_empty(dir / "victim-folder"));
    EXPECT_FALSE(fs::exists(dir / "gone"));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DebugLogTest,
    ::testing::Values(
        DebugLogCase{"Folder", [](const fs::path& log, const fs::path&) { fs::create_directory(log); },
                     "cannot open: Is a directory"},
        DebugLogCase{"SymlinkToAFile",
                     [](const fs::path& log, const fs::path& dir) { fs::create_symlink(dir / "victim", log); },
                     "cannot open: Too many levels of symbolic links"},
        DebugLogCase{"DanglingSymlink",
                     [](const fs::path& log, const fs::path& dir) { fs::create_symlink(dir / "gone", log); },
                     "cannot open: Too many levels of symbolic links"},
        DebugLogCase{"SymlinkToAFolder",
                     [](const fs::path& log, const fs::path& dir) {
                         fs::create_directory_symlink(dir / "victim-folder", log);
                     },
                     "cannot open: Too many levels of symbolic links"},
        DebugLogCase{"FifoWithoutReader",
                     [](const fs::path& log, const fs::path&) { ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0); },
                     "cannot open: No such device or address"},
        DebugLogCase{"AnotherUsersFile",
                     [](const fs::path& log, const fs::path& dir) {
                         fs::create_hard_link(dir / "victim", log);
                         ASSERT_EQ(::chown(log.c_str(), 65534, 65534), 0) << "needs root";
                     },
                     "not a regular file of this user"},
        DebugLogCase{"FileAtTheSizeLimit",
                     [](const fs::path& log, const fs::path&) { writeBytes(log, std::string(4096, 'o')); },
                     "cannot write: File too large", true}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kqc::test
