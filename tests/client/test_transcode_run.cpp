#include "client/batch_run.h"
#include "client/request_builder.h"
#include "client/stop_signal.h"
#include "client/transcode_run.h"
#include "media/base64.h"
#include "support/loopback_server.h"
#include "support/recording_sink.h"
#include "support/service_answer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

using namespace std::string_literals;

namespace kqc {
namespace {

using test::allByteValues;
using test::kSeparator;
using test::lines;
using test::readBytes;
using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

// A service on loopback that reads each request as XML and answers return code "0" with the
// request's own fileData, or with the Base64 of the location it was asked to fetch.
class EchoService {
public:
    EchoService() {
        m_server.server().Post("/axis/services/MediaAdapter", [this](const httplib::Request& req,
                                                                   httplib::Response& res) {
            pugi::xml_document doc;
            doc.load_string(req.body.c_str());
            auto source = doc.child("soapenv:Envelope").child("soapenv:Body").child("ns1:transcode")
                              .child("in0").child("request").child("source");
            std::string data = source.child("fileData").text().get();
            std::string location = source.child("location").text().get();
            {
                std::lock_guard lock(m_mutex);
                m_locations.push_back(location);
                if (onRequest) onRequest();
            }
            if (!location.empty()) data = Base64Encode(location);
            res.status = status;
            res.set_content("<soapenv:Envelope><returnCode xsi:type=\"xsd:int\">0</returnCode>"
                            "<fileData xsi:type=\"xsd:base64Binary\">" + data +
                                "</fileData></soapenv:Envelope>",
                            "text/xml");
        });
        m_server.start();
    }
    std::string endpoint() const { return m_server.url("/axis/services/MediaAdapter"); }
    std::vector<std::string> locations() {
        std::lock_guard lock(m_mutex);
        return m_locations;
    }
    int status = 200;
    std::function<void()> onRequest;

private:
    test::LoopbackServer m_server;
    std::mutex m_mutex;
    std::vector<std::string> m_locations;
};

class TranscodeRunTest : public ::testing::Test {
protected:
    TranscodeRunTest() {
        fs::create_directory(source);
        fs::create_directory(target);
        values.endpoint = service.endpoint();
        values.sourceDir = source.string();
        values.targetDir = target.string();
        values.debugLogPath = dir / "debug.log";
    }
    void run() { TranscodeRun(values, sink); }
    std::string saved(const std::string& name) { return "Saved transcoded file as " + (target / name).string(); }
    // The request the builder makes for that source, as the debug file's entry holds it.
    std::string request(std::string_view fileData, std::string_view location) {
        std::string built;
        ActivityLog silent(sink, false);
        CreateSOAPRequestXML(values.target, silent, built, fileData, location);
        return built;
    }

    TempDir dir;
    fs::path source = dir / "source";
    fs::path target = dir / "target";
    EchoService service;
    RunValues values;
    test::RecordingSink sink;
};

TEST_F(TranscodeRunTest, UrlModeTwoEntriesByteExactBoxAndDebugFile) {
    values.debugToFile = true;
    values.webServerUrl = "http://10.0.0.5";
    values.fileList = "track.live.mp3\r\n\r\nREADME";
    values.target.format = "wma";
    run();
    EXPECT_EQ(sink.url, "http://10.0.0.5/");
    EXPECT_EQ(service.locations(),
              (std::vector<std::string>{"http://10.0.0.5/track.live.mp3", "http://10.0.0.5/README"}));
    const std::string box = lines({"Starting on http://10.0.0.5//track.live.mp3",
                                   "CreateSOAPRequestXML successfully", "PostXML successfullly",
                                   saved("track.live.wma"), kSeparator, "",
                                   "Starting on http://10.0.0.5//README",
                                   "CreateSOAPRequestXML successfully", "PostXML successfullly",
                                   saved("README.wma"), kSeparator, ""});
    EXPECT_EQ(sink.box, box);
    EXPECT_EQ(readBytes(target / "track.live.wma"), "http://10.0.0.5/track.live.mp3");
    EXPECT_EQ(readBytes(target / "README.wma"), "http://10.0.0.5/README");

    // The debug file holds every line and each request, in order.
    const std::string request1 = request("", "http://10.0.0.5/track.live.mp3");
    const std::string request2 = request("", "http://10.0.0.5/README");
    auto entry = [](const std::string& text) { return text + "\r\n\r\n"; };
    EXPECT_EQ(readBytes(dir / "debug.log"),
              entry("Starting on http://10.0.0.5//track.live.mp3") +
                  entry("Request Structure:\r\n" + request1) +
                  entry("CreateSOAPRequestXML successfully") + entry("PostXML successfullly") +
                  entry(saved("track.live.wma")) + entry(kSeparator) + entry("") +
                  entry("Starting on http://10.0.0.5//README") +
                  entry("Request Structure:\r\n" + request2) +
                  entry("CreateSOAPRequestXML successfully") + entry("PostXML successfullly") +
                  entry(saved("README.wma")) + entry(kSeparator) + entry(""));
}

TEST_F(TranscodeRunTest, UrlModeEmptyListOrEmptyUrlField) {
    run();
    EXPECT_EQ(sink.box, "");
    EXPECT_EQ(sink.url, "/");
    EXPECT_TRUE(service.locations().empty());
}

TEST_F(TranscodeRunTest, UrlModePostFailureSkipsTheRestOfTheEntry) {
    service.status = 500;
    values.webServerUrl = "http://h/";
    values.fileList = "a.mp3\r\nb.mp3";
    run();
    EXPECT_EQ(sink.box,
              lines({"Starting on http://h//a.mp3", "CreateSOAPRequestXML successfully",
                     "PostXML Failure: Transcoder response Failure (Not 200 OK)",
                     "Cause: the service answered with HTTP status 500",
                     "Starting on http://h//b.mp3", "CreateSOAPRequestXML successfully",
                     "PostXML Failure: Transcoder response Failure (Not 200 OK)",
                     "Cause: the service answered with HTTP status 500"}));
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(TranscodeRunTest, FileSystemModeRoundTripsEveryByteUnderTheTargetFormat) {
    values.urlMode = false;
    values.target.format = "wav";
    writeBytes(source / "Song.MP3", allByteValues());
    writeBytes(source / "skipped.wav", "x");
    fs::create_directory(source / "folder.mp3");
    run();
    EXPECT_EQ(sink.box,
              lines({"Starting to Base64 Encode File", "CreateSOAPRequestXML successfully",
                     "PostXML successfullly", saved("Song.wav")}));
    EXPECT_EQ(readBytes(target / "Song.wav"), allByteValues());
}

// A large file's request entry is the whole request, byte for byte, and so is what is sent.
TEST_F(TranscodeRunTest, FileSystemModeLargeFileDebugEntryIsTheWholeRequest) {
    values.urlMode = false;
    values.debugToFile = true;
    std::string bytes((size_t{16} << 20) + 12345, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + i / 4093);
    writeBytes(source / "big.mp3", bytes);
    run();
    EXPECT_TRUE(readBytes(dir / "debug.log") ==
                "Starting to Base64 Encode File\r\n\r\nRequest Structure:\r\n" + request(Base64Encode(bytes), "") +
                    "\r\n\r\nCreateSOAPRequestXML successfully\r\n\r\nPostXML successfullly\r\n\r\n" +
                    saved("big.mp4") + "\r\n\r\n");
    EXPECT_TRUE(readBytes(target / "big.mp4") == bytes);
}

// A stop while a file is encoded ends the run there: no other line, no request entry, no output.
TEST_F(TranscodeRunTest, StopWhileEncodingEndsTheRunThere) {
    struct StopWhenEncoding : test::RecordingSink {
        StopSignal stop;
        void showLine(std::string_view line) override {
            RecordingSink::showLine(line);
            if (line == "Starting to Base64 Encode File") stop.request();
        }
    } stopping;
    values.urlMode = false;
    values.debugToFile = true;
    writeBytes(source / "big.mp3", std::string((size_t{16} << 20) + 12345, 'x'));
    TranscodeRun(values, stopping, &stopping.stop);
    EXPECT_EQ(stopping.box, lines({"Starting to Base64 Encode File"}));
    EXPECT_EQ(readBytes(dir / "debug.log"), "Starting to Base64 Encode File\r\n\r\n");
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(TranscodeRunTest, FileSystemModeTwoFilesEmptyFileAndNameWithoutDot) {
    values.urlMode = false;
    values.sourceFormat = "";
    writeBytes(source / "empty.mp3", "");
    writeBytes(source / "README", "\r\n\0"s);
    run();
    EXPECT_EQ(readBytes(target / "empty.mp4"), "");
    EXPECT_EQ(readBytes(target / "README.mp4"), "\r\n\0"s);
    const std::string box = sink.box;
    EXPECT_EQ(std::count(box.begin(), box.end(), '\n'), 8);
    EXPECT_EQ(box.find(kSeparator), std::string::npos) << "no separator in file-system mode";
}

// The filter and the names are compared with Unicode's case mapping, not only on ASCII letters.
TEST_F(TranscodeRunTest, FileSystemModeFilterIgnoresCaseBeyondAscii) {
    auto targetNames = [this] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(target))
            names.insert(entry.path().filename().string());
        return names;
    };
    values.urlMode = false;
    for (const char* name : {"M\xc3\x9cSIK-01.wav", "MUSIK-02.wav", "\xc3\xa9.wav"})
        writeBytes(source / name, "x");
    values.sourceFormat = "m\xc3\xbcsik";
    run();
    EXPECT_EQ(targetNames(), std::set<std::string>{"M\xc3\x9cSIK-01.mp4"});
    values.sourceFormat = "\xc3\x89";
    run();
    EXPECT_EQ(targetNames(), (std::set<std::string>{"M\xc3\x9cSIK-01.mp4", "\xc3\xa9.mp4"}));
}

TEST_F(TranscodeRunTest, FileSystemModeMissingFolderEndsTheRunNormally) {
    values.urlMode = false;
    values.sourceDir = (dir / "gone").string();
    run();
    EXPECT_EQ(sink.box, lines({"Error reading source directory " + (dir / "gone").string(),
                               "Cause: cannot list: No such file or directory"}));
}

// The first request removes the other file, which then cannot be read: the run logs it and ends.
TEST_F(TranscodeRunTest, FileSystemModeVanishedFileIsLoggedAndSkipped) {
    values.urlMode = false;
    writeBytes(source / "a.mp3", "a");
    writeBytes(source / "b.mp3", "b");
    service.onRequest = [this] {
        fs::remove(source / "a.mp3");
        fs::remove(source / "b.mp3");
    };
    run();
    const std::string box = sink.box;
    const bool aFirst = fs::exists(target / "a.mp4");
    const std::string vanished = (source / (aFirst ? "b.mp3" : "a.mp3")).string();
    EXPECT_NE(box.find("\r\nError reading source file " + vanished), std::string::npos) << box;
    EXPECT_EQ(service.locations().size(), 1u);
}

struct Busy {
    const char* name;
    unsigned jobs;
    int capacity;              // the fake service answers 2005 beyond this many calls at once
    std::size_t threadLimit;   // worker threads that can be started
    std::size_t saved;         // of 12 sources
};
void PrintTo(const Busy& busy, std::ostream* out) {
    *out << busy.name;
}

class BusyServiceTest : public ::testing::TestWithParam<Busy> {
protected:
    ~BusyServiceTest() override { SetWorkerThreadLimitForTesting(SIZE_MAX); }
};

// Against a fake service of limited capacity: every source gets an outcome, a busy one is sent
// again only while others were in flight and at most kMostTries times, and after the run says it
// goes on with fewer, never more are under way.
TEST_P(BusyServiceTest, RetriesWithFewerAtATime) {
    struct Sink : test::RecordingSink {
        std::mutex mutex;
        std::atomic<unsigned> limit = 256;
        std::vector<FileOutcome> outcomes;
        void sourceDone(FileOutcome outcome, std::string_view) override {
            std::lock_guard lock(mutex);
            outcomes.push_back(outcome);
        }
        void fewerJobs(unsigned jobs, FewerJobs) override { limit = jobs; }
    } sink;
    std::atomic<int> underWay = 0, calls = 0;
    std::map<std::string, int> tries;
    std::mutex triesMutex;
    auto fake = [&](const FolderFile& source, ActivityLog&, StopSignal&, std::size_t) {
        const int now = ++underWay;
        EXPECT_LE(unsigned(now), sink.limit.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++calls;
        {
            std::lock_guard lock(triesMutex);
            EXPECT_LE(++tries[source.name], int(BatchRun::kMostTries)) << source.name;
        }
        --underWay;
        return now > GetParam().capacity ? FileOutcome::busy : FileOutcome::saved;
    };
    std::vector<FolderFile> sources;
    for (int i = 0; i < 12; ++i) sources.push_back({std::to_string(i), std::to_string(i)});
    SetWorkerThreadLimitForTesting(GetParam().threadLimit);
    const RunValues values;
    const ActivityLog log(sink, false);
    BatchRun batch(values, sources, GetParam().jobs, sink, log, fake);
    if (GetParam().threadLimit == 0) {
        EXPECT_THROW(batch.run(), std::system_error);
        EXPECT_EQ(calls, 0);
        return;
    }
    batch.run();
    ASSERT_EQ(sink.outcomes.size(), sources.size());
    EXPECT_EQ(std::size_t(std::count(sink.outcomes.begin(), sink.outcomes.end(), FileOutcome::saved)),
              GetParam().saved);
    if (GetParam().jobs == 1) {
        EXPECT_EQ(calls, 12) << "a lone busy call is never sent again";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, BusyServiceTest,
    ::testing::Values(Busy{"FourJobsAgainstTwoWorkers", 4, 2, SIZE_MAX, 12},
                      Busy{"OneJobAgainstNoWorker", 1, 0, SIZE_MAX, 0},
                      Busy{"ThreeJobsAgainstNoWorker", 3, 0, SIZE_MAX, 0},
                      Busy{"FourJobsTwoThreads", 4, 2, 2, 12},
                      Busy{"NoThread", 4, 2, 0, 0}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kqc
