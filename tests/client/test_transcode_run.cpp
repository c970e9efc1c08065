#include "client/plain_fields.h"
#include "client/request_builder.h"
#include "client/stop_signal.h"
#include "client/transcode_run.h"
#include "media/base64.h"
#include "support/loopback_server.h"
#include "support/service_answer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <mutex>
#include <set>

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
        fields.setText(Field::txtTranscoderURLPort, service.endpoint());
        fields.setText(Field::txtSourceDir, source.string());
        fields.setText(Field::txtTargetDir, target.string());
        fields.onNotice = [this] {
            buttonsDisabledAtNotice = !fields.isEnabled(Button::cmdTranscode) &&
                                      !fields.isEnabled(Button::cmdFileSelect);
        };
    }
    void run() {
        TranscodeRun(fields, log);
        ASSERT_EQ(fields.notices(), std::vector<std::string>{"Transcoding Finished."});
        EXPECT_TRUE(buttonsDisabledAtNotice);
        EXPECT_TRUE(fields.isEnabled(Button::cmdTranscode));
        EXPECT_TRUE(fields.isEnabled(Button::cmdFileSelect));
    }
    std::string saved(const std::string& name) { return "Saved transcoded file as " + (target / name).string(); }

    TempDir dir;
    fs::path source = dir / "source";
    fs::path target = dir / "target";
    EchoService service;
    PlainFields fields;
    ActivityLog log{fields, dir / "debug.log"};
    bool buttonsDisabledAtNotice = false;
};

TEST_F(TranscodeRunTest, UrlModeTwoEntriesByteExactBoxAndDebugFile) {
    fields.setDebugValue(1);
    fields.setOutputLogText("left from before");
    fields.setText(Field::txtURL, "http://10.0.0.5");
    fields.setText(Field::txtSourceFilenames, "track.live.mp3\r\n\r\nREADME");
    fields.setText(Field::cmbTarget_Format, "wma");
    run();
    EXPECT_EQ(fields.text(Field::txtURL), "http://10.0.0.5/");
    EXPECT_EQ(service.locations(),
              (std::vector<std::string>{"http://10.0.0.5/track.live.mp3", "http://10.0.0.5/README"}));
    const std::string box = lines({"Starting on http://10.0.0.5//track.live.mp3",
                                   "CreateSOAPRequestXML successfully", "PostXML successfullly",
                                   saved("track.live.wma"), kSeparator, "",
                                   "Starting on http://10.0.0.5//README",
                                   "CreateSOAPRequestXML successfully", "PostXML successfullly",
                                   saved("README.wma"), kSeparator, ""});
    EXPECT_EQ(fields.outputLogText(), box);
    EXPECT_EQ(readBytes(target / "track.live.wma"), "http://10.0.0.5/track.live.mp3");
    EXPECT_EQ(readBytes(target / "README.wma"), "http://10.0.0.5/README");

    // The debug file holds every line and each request, in order.
    std::string request1, request2;
    PlainFields quiet = fields;
    quiet.setDebugValue(0);
    ActivityLog silent(quiet, dir / "unused.log");
    CreateSOAPRequestXML(quiet, silent, request1, "", "http://10.0.0.5/track.live.mp3");
    CreateSOAPRequestXML(quiet, silent, request2, "", "http://10.0.0.5/README");
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
    EXPECT_EQ(fields.outputLogText(), "");
    EXPECT_EQ(fields.text(Field::txtURL), "/");
    EXPECT_TRUE(service.locations().empty());
}

TEST_F(TranscodeRunTest, UrlModePostFailureSkipsTheRestOfTheEntry) {
    service.status = 500;
    fields.setText(Field::txtURL, "http://h/");
    fields.setText(Field::txtSourceFilenames, "a.mp3\r\nb.mp3");
    run();
    EXPECT_EQ(fields.outputLogText(),
              lines({"Starting on http://h//a.mp3", "CreateSOAPRequestXML successfully",
                     "PostXML Failure: Transcoder response Failure (Not 200 OK)",
                     "Starting on http://h//b.mp3", "CreateSOAPRequestXML successfully",
                     "PostXML Failure: Transcoder response Failure (Not 200 OK)"}));
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(TranscodeRunTest, FileSystemModeRoundTripsEveryByteUnderTheTargetFormat) {
    fields.setUrlMode(false);
    fields.setText(Field::cmbTarget_Format, "wav");
    writeBytes(source / "Song.MP3", allByteValues());
    writeBytes(source / "skipped.wav", "x");
    fs::create_directory(source / "folder.mp3");
    run();
    EXPECT_EQ(fields.outputLogText(),
              lines({"Starting to Base64 Encode File", "CreateSOAPRequestXML successfully",
                     "PostXML successfullly", saved("Song.wav")}));
    EXPECT_EQ(readBytes(target / "Song.wav"), allByteValues());
}

// A large request's entry reaches the file while the file is encoded: the bytes are the same.
TEST_F(TranscodeRunTest, FileSystemModeLargeFileDebugEntryIsTheWholeRequest) {
    fields.setUrlMode(false);
    fields.setDebugValue(1);
    std::string bytes(kUncachedEntrySize + 12345, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + i / 4093);
    writeBytes(source / "big.mp3", bytes);
    run();
    std::string request;
    PlainFields quiet = fields;
    quiet.setDebugValue(0);
    ActivityLog silent(quiet, dir / "unused.log");
    CreateSOAPRequestXML(quiet, silent, request, Base64Encode(bytes), "");
    EXPECT_TRUE(readBytes(dir / "debug.log") ==
                "Starting to Base64 Encode File\r\n\r\nRequest Structure:\r\n" + request +
                    "\r\n\r\nCreateSOAPRequestXML successfully\r\n\r\nPostXML successfullly\r\n\r\n" +
                    saved("big.mp4") + "\r\n\r\n");
    EXPECT_TRUE(readBytes(target / "big.mp4") == bytes);

    // Without the debug file the text is made piece by piece as it is sent.
    fields.setDebugValue(0);
    fs::remove(target / "big.mp4");
    TranscodeSources(fields, log);
    EXPECT_TRUE(readBytes(target / "big.mp4") == bytes);
}

// A stop while a file is encoded ends the run there: no other line, no request entry, no output.
TEST_F(TranscodeRunTest, StopWhileEncodingEndsTheRunThere) {
    struct StopWhenEncoding : PlainFields {
        StopSignal stop;
        void appendOutputLog(std::string_view text) override {
            PlainFields::appendOutputLog(text);
            if (text.ends_with("Starting to Base64 Encode File")) stop.request();
        }
    } stopping;
    static_cast<PlainFields&>(stopping) = fields;
    stopping.setUrlMode(false);
    stopping.setDebugValue(1);
    writeBytes(source / "big.mp3", std::string(kUncachedEntrySize + 12345, 'x'));
    ActivityLog stoppingLog(stopping, dir / "debug.log");
    TranscodeSources(stopping, stoppingLog, &stopping.stop);
    EXPECT_EQ(stopping.outputLogText(), lines({"Starting to Base64 Encode File"}));
    EXPECT_EQ(readBytes(dir / "debug.log"), "Starting to Base64 Encode File\r\n\r\n");
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(TranscodeRunTest, FileSystemModeTwoFilesEmptyFileAndNameWithoutDot) {
    fields.setUrlMode(false);
    fields.setText(Field::cmbSource_Format, "");
    writeBytes(source / "empty.mp3", "");
    writeBytes(source / "README", "\r\n\0"s);
    run();
    EXPECT_EQ(readBytes(target / "empty.mp4"), "");
    EXPECT_EQ(readBytes(target / "README.mp4"), "\r\n\0"s);
    const std::string box = fields.outputLogText();
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
    fields.setUrlMode(false);
    for (const char* name : {"M\xc3\x9cSIK-01.wav", "MUSIK-02.wav", "\xc3\xa9.wav"})
        writeBytes(source / name, "x");
    fields.setText(Field::cmbSource_Format, "m\xc3\xbcsik");
    run();
    EXPECT_EQ(targetNames(), std::set<std::string>{"M\xc3\x9cSIK-01.mp4"});
    fields.setText(Field::cmbSource_Format, "\xc3\x89");
    TranscodeRun(fields, log);
    EXPECT_EQ(targetNames(), (std::set<std::string>{"M\xc3\x9cSIK-01.mp4", "\xc3\xa9.mp4"}));
}

TEST_F(TranscodeRunTest, FileSystemModeMissingFolderEndsTheRunNormally) {
    fields.setUrlMode(false);
    fields.setText(Field::txtSourceDir, (dir / "gone").string());
    run();
    EXPECT_EQ(fields.outputLogText(), lines({"Error reading source directory " + (dir / "gone").string()}));
}

// The first request removes the other file, which then cannot be read: the run logs it and ends.
TEST_F(TranscodeRunTest, FileSystemModeVanishedFileIsLoggedAndSkipped) {
    fields.setUrlMode(false);
    writeBytes(source / "a.mp3", "a");
    writeBytes(source / "b.mp3", "b");
    service.onRequest = [this] {
        fs::remove(source / "a.mp3");
        fs::remove(source / "b.mp3");
    };
    run();
    const std::string box = fields.outputLogText();
    const bool aFirst = fs::exists(target / "a.mp4");
    const std::string vanished = (source / (aFirst ? "b.mp3" : "a.mp3")).string();
    EXPECT_NE(box.find("\r\nError reading source file " + vanished), std::string::npos) << box;
    EXPECT_EQ(service.locations().size(), 1u);
}

}  // namespace
}  // namespace kqc
