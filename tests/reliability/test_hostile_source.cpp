// Source folders and file lists that fight back: FIFOs, files swapped after the listing,
// symlinks of every kind, and names with spaces, "&", non-ASCII letters and line breaks.
#include "client/transcode_run.h"
#include "media/base64.h"
#include "media/large_buffer.h"
#include "reliability/hostile_service.h"
#include "reliability/run_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace kqc::test {
namespace {

namespace fs = std::filesystem;

// The source of a request as the service's XML reader sees it: the location, or the decoded
// file data. Empty when the request is no well-formed XML.
std::optional<std::string> sourceOf(const std::string& request) {
    pugi::xml_document doc;
    if (!doc.load_buffer(request.data(), request.size())) return std::nullopt;
    auto source = doc.child("soapenv:Envelope").child("soapenv:Body").child("ns1:transcode")
                      .child("in0").child("request").child("source");
    if (auto location = source.child("location")) return std::string(location.text().get());
    std::string bytes;
    if (!Base64Decode(source.child("fileData").text().get(), bytes)) return std::nullopt;
    return bytes;
}

// Answers every request with its own source as the transcoded file; a request that is no
// well-formed XML gets a fault.
Reply echo(size_t, const std::string& request) {
    auto source = sourceOf(request);
    if (!source) return httpAnswer(500, "<faultstring>request is not well-formed</faultstring>");
    return httpAnswer(200, successResponse(*source));
}

// Opens the write end of every FIFO given while the run is still busy after a grace time: a
// reader blocked on one of them is set free, and the test learns that it was blocked.
class FifoWatchdog {
public:
    explicit FifoWatchdog(std::vector<fs::path> fifos) : m_fifos(std::move(fifos)) {
        m_thread = std::thread([this] {
            const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!m_done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (std::chrono::steady_clock::now() < grace) continue;
                for (const auto& fifo : m_fifos) {
                    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                    if (fd < 0) continue;
                    m_rescued = true;
                    ::close(fd);
                }
            }
        });
    }
    ~FifoWatchdog() { finish(); }
    bool finish() {
        m_done = true;
        if (m_thread.joinable()) m_thread.join();
        return !m_rescued;
    }

private:
    std::vector<fs::path> m_fifos;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_rescued{false};
    std::thread m_thread;
};

class SourceTest : public HostileRunTest {
protected:
    SourceTest() {
        values.sourceFormat = "mp3";
        service.start();
    }
    size_t count(std::string_view text) const {
        const std::string box = sink.box;
        size_t n = 0;
        for (size_t at = box.find(text); at != std::string::npos; at = box.find(text, at + 1)) ++n;
        return n;
    }
    HostileService service{echo};
};

TEST_F(SourceTest, MatchingFifoDoesNotBlockTheRun) {
    writeBytes(source / "song.mp3", allByteValues());
    ASSERT_EQ(::mkfifo((source / "pipe.mp3").c_str(), 0600), 0);
    FifoWatchdog watchdog({source / "pipe.mp3"});
    runFileSystemMode(service.endpoint());
    EXPECT_TRUE(watchdog.finish()) << "the run blocked on the FIFO";
    EXPECT_EQ(sink.box,
              lines({"Starting to Base64 Encode File", "CreateSOAPRequestXML successfully",
                     "PostXML successfullly", saved("song.mp4")}));
    EXPECT_EQ(readBytes(target / "song.mp4"), allByteValues());
}

// A file too big to hold in memory is refused before it is read; the next file follows.
TEST_F(SourceTest, FileTooBigToHoldGetsTheReadErrorAndTheRunGoesOn) {
    writeBytes(source / "song.mp3", allByteValues());
    const fs::path huge = source / "huge.mp3";
    writeBytes(huge, "");
    fs::resize_file(huge, LargeBufferLimit());  // sparse: takes no room on the disk
    runFileSystemMode(service.endpoint());
    EXPECT_EQ(count("Error reading source file " + huge.string()), 1u) << sink.box;
    EXPECT_EQ(count("Starting to Base64 Encode File"), 1u);
    EXPECT_EQ(readBytes(target / "song.mp4"), allByteValues());
}

// Between the listing and the reading, every file but the first one read vanishes or is swapped
// for something that is no plain file.
TEST_F(SourceTest, FilesSwappedAfterTheListingAreSkippedWithoutBlocking) {
    const std::vector<std::string> names{"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
    for (const auto& name : names) writeBytes(source / name, name);
    std::vector<fs::path> paths;
    for (const auto& name : names) paths.push_back(source / name);
    std::atomic<bool> swapped{false};
    HostileService swapping([&](size_t index, const std::string& request) {
        if (index == 0) {
            const std::string first = sourceOf(request).value_or("");
            std::vector<fs::path> others;
            for (const auto& path : paths)
                if (path.filename() != first) others.push_back(path);
            for (const auto& path : others) fs::remove(path);
            ::mkfifo(others.at(0).c_str(), 0600);
            fs::create_directory(others.at(1));
            fs::create_symlink(source / "gone", others.at(2));
            swapped = true;  // others.at(3) stays removed
        }
        return echo(index, request);
    });
    swapping.start();
    FifoWatchdog watchdog(paths);
    runFileSystemMode(swapping.endpoint());
    EXPECT_TRUE(watchdog.finish()) << "the run blocked on a FIFO";
    ASSERT_TRUE(swapped);
    EXPECT_EQ(count("\r\nError reading source file " + source.string() + "/"), 4u)
        << sink.box;
    EXPECT_EQ(count("\r\nSaved transcoded file as "), 1u);
    EXPECT_EQ(swapping.requestBodies().size(), 1u);
}

TEST_F(SourceTest, SymlinksToFilesTakePartAndAllOthersAreSkipped) {
    writeBytes(source / "real.mp3", allByteValues());
    fs::create_directory(source / "folder");
    fs::create_symlink(source / "real.mp3", source / "link.mp3");
    fs::create_directory_symlink(source / "folder", source / "dirlink.mp3");
    fs::create_symlink(source / "gone", source / "dangling.mp3");
    fs::create_symlink(source / "loop.mp3", source / "loop.mp3");
    runFileSystemMode(service.endpoint());
    EXPECT_EQ(namesIn(target), (std::vector<std::string>{"link.mp4", "real.mp4"}));
    EXPECT_EQ(readBytes(target / "real.mp4"), allByteValues());
    EXPECT_EQ(readBytes(target / "link.mp4"), allByteValues());
    EXPECT_EQ(count("\r\nSaved transcoded file as "), 2u);
    EXPECT_EQ(count("Error"), 0u) << sink.box;
    EXPECT_EQ(service.requestBodies().size(), 2u);
}

const std::vector<std::string> kAwkwardNames{
    "with space.mp3", "Rock & Roll.mp3", "Gr\xc3\xbc\xc3\x9f" "e \xe6\x97\xa5\xe6\x9c\xac.mp3",
    "new\nline.mp3", "lone\rreturn.mp3", "tab\there.mp3", "<tag> \"quoted\" 'single'.mp3",
    "&amp;.mp3", "]]>.mp3"};

std::string withoutExtension(const std::string& name) { return name.substr(0, name.rfind('.')); }

TEST_F(SourceTest, AwkwardNamesInAFolderKeepTheirNameAndBytes) {
    std::vector<std::string> names = kAwkwardNames;
    names.push_back("not utf-8 \xff\xfe.mp3");
    for (const auto& name : names) writeBytes(source / name, "contents of " + name);
    runFileSystemMode(service.endpoint());
    for (const auto& name : names) {
        const std::string output = withoutExtension(name) + ".mp4";
        EXPECT_EQ(readBytes(target / output), "contents of " + name) << name;
        EXPECT_EQ(count("\r\n" + saved(output)), 1u) << name;
    }
    EXPECT_EQ(namesIn(target).size(), names.size());
    // The debug file holds the same lines, byte for byte.
    const std::string debug = readBytes(dir / "debug.log");
    for (const auto& name : names)
        EXPECT_NE(debug.find(saved(withoutExtension(name) + ".mp4") + "\r\n\r\n"), std::string::npos);
}

// In URL mode the names travel inside the request: every request must read back, in a real XML
// reader, as exactly the location that was meant.
TEST_F(SourceTest, AwkwardNamesInTheFileListReachTheServiceExactly) {
    std::string list;
    for (const auto& name : kAwkwardNames) list += (list.empty() ? "" : "\r\n") + name;
    const std::string base = "http://127.0.0.1/media?user=a&b=<c>/";
    values.webServerUrl = base;
    runUrlMode(service.endpoint(), list);
    const auto requests = service.requestBodies();
    ASSERT_EQ(requests.size(), kAwkwardNames.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        const std::string location = base + UrlPathOf(kAwkwardNames[i]);
        EXPECT_EQ(sourceOf(requests[i]).value_or("<not well-formed>"), location);
        const std::string output = withoutExtension(kAwkwardNames[i]) + ".mp4";
        EXPECT_EQ(readBytes(target / output), location) << kAwkwardNames[i];
    }
    EXPECT_EQ(count(std::string(kPostFailure)), 0u);
}

}  // namespace
}  // namespace kqc::test
