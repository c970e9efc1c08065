// What the next start of the main window shows of the settings a window remembered: as it wrote
// them, none at all (RunValues' defaults), or after someone else damaged or edited the file.
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/form1_fields.h"
#include "ui/local_ip.h"
#include "ui/window_settings.h"

#include <gtest/gtest.h>
#include <QFile>

#include <filesystem>

namespace kqc {
namespace {

namespace fs = std::filesystem;

constexpr char kFuture[] = "[Future]\nColour=blue\n";  // a section of another version

struct SettingsCase {
    const char* name;
    // Changes the text the first window wrote; the file goes when it comes back empty.
    void (*damage)(std::string& text, const fs::path& folders);
    void (*lost)(RunValues& expected, const RunValues& fresh);  // the values that start afresh
    bool keepsPosition;
};

void PrintTo(const SettingsCase& row, std::ostream* out) {
    *out << row.name;
}

class Form1Remembered : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(Form1Remembered, NextStartShows) {
    const test::TempDir folders;
    fs::create_directory(folders / "src");
    const std::string file =
        qgetenv("XDG_CONFIG_HOME").toStdString() + "/KorvaneQuorraClient/KorvaneQuorraClient.ini";
    const RunValues remembered{.endpoint = "http://h:1/a,b;c \"d\"",
                               .urlMode = false,
                               .webServerUrl = "http://w/ = # [x]",
                               .fileList = "a.mp3\r\nb c.mp3\rlone\nLF \\ \xc3\xa9",
                               .sourceDir = (folders / "src").string(),
                               .sourceFormat = "wav",
                               .target = {.format = "au", .codec = "opus", .channels = "Stereo"},
                               .targetDir = folders.path().string(),
                               .debugToFile = true};
    {
        Form1 first;
        first.rememberSettingsIn(WindowSettingsPath());
        first.fields().fill(remembered);
        first.move(40, 30);
        first.close();
    }
    std::string text = test::readBytes(file) + kFuture;
    fs::remove(file);
    GetParam().damage(text, folders.path());
    if (!text.empty()) test::writeBytes(file, text);
    // A window starts from RunValues' defaults, with a web server URL made from the local address.
    RunValues expected = remembered, fresh;
    fresh.webServerUrl = "http://" + LocalIPAddress().toStdString() + "/";
    GetParam().lost(expected, fresh);

    Form1 next;
    next.rememberSettingsIn(QString::fromStdString(file));
    EXPECT_EQ(next.fields().runValues(), expected);
    EXPECT_EQ(next.pos() == QPoint(40, 30), GetParam().keepsPosition);
    next.close();
    EXPECT_EQ(test::readBytes(file).find(kFuture) != std::string::npos,
              text.find(kFuture) != std::string::npos);
}

void replace(std::string& text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Form1Remembered,
    ::testing::Values(
        SettingsCase{"RoundTrip", [](std::string&, const fs::path&) {},
                     [](RunValues&, const RunValues&) {}, true},
        SettingsCase{"Missing", [](std::string& text, const fs::path&) { text.clear(); },
                     [](RunValues& expected, const RunValues& fresh) { expected = fresh; }, false},
        SettingsCase{"Corrupt",
                     [](std::string& text, const fs::path&) { text = test::allByteValues(); },
                     [](RunValues& expected, const RunValues& fresh) { expected = fresh; }, false},
        SettingsCase{
            "HalfWritten",
            [](std::string& text, const fs::path&) { text.resize(text.find("[Target]") + 5); },
            [](RunValues& expected, const RunValues& fresh) {
                expected.target = fresh.target;
                expected.targetDir = fresh.targetDir;
            },
            false},
        SettingsCase{"VanishedFolder",
                     [](std::string&, const fs::path& folders) { fs::remove(folders / "src"); },
                     [](RunValues& expected, const RunValues& fresh) {
                         expected.sourceDir = fresh.sourceDir;
                     },
                     true},
        SettingsCase{"ValuesOutsideTheirWords",
                     [](std::string& text, const fs::path&) {
                         replace(text, "Mode=Directory", "Mode=sideways");
                         replace(text, "DebugToFile=true", "DebugToFile=1");
                         replace(text, "Format=au", "Format=au, wav");
                     },
                     [](RunValues& expected, const RunValues& fresh) {
                         expected.urlMode = fresh.urlMode;
                         expected.debugToFile = fresh.debugToFile;
                         expected.target.format = fresh.target.format;
                     },
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kqc
