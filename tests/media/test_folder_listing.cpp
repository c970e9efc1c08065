#include "media/folder_listing.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace kqc {
namespace {

using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

TEST(ListPlainFiles, TakesRegularFilesAndLinksToThemOnly) {
    TempDir dir;
    writeBytes(dir / "a.mp3", "a");
    writeBytes(dir / "Rock & Roll \xc3\xa9t\xc3\xa9.mp3", "b");
    writeBytes(dir / "new\nline.mp3", "c");
    fs::create_directory(dir / "sub.mp3");
    writeBytes(dir / "sub.mp3" / "deep.mp3", "d");
    fs::create_symlink(dir / "a.mp3", dir / "link.mp3");
    fs::create_directory_symlink(dir / "sub.mp3", dir / "dirlink.mp3");
    fs::create_symlink(dir / "gone", dir / "dangling.mp3");
    ASSERT_EQ(mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);

    auto files = ListPlainFiles(dir.path().string());
    ASSERT_TRUE(files);
    std::vector<std::string> names;
    for (const auto& file : *files) {
        names.push_back(file.name);
        EXPECT_EQ(file.path, (dir / file.name).string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Rock & Roll \xc3\xa9t\xc3\xa9.mp3", "a.mp3",
                                               "link.mp3", "new\nline.mp3"}));
}

TEST(ListPlainFiles, FolderOfSubfoldersYieldsNothingAndMissingFolderFails) {
    TempDir dir;
    fs::create_directory(dir / "only");
    ASSERT_TRUE(ListPlainFiles(dir.path().string()));
    EXPECT_TRUE(ListPlainFiles(dir.path().string())->empty());
    EXPECT_FALSE(ListPlainFiles((dir / "missing").string()));
    writeBytes(dir / "file", "x");
    EXPECT_FALSE(ListPlainFiles((dir / "file").string()));
}

TEST(NameMatchesFilter, IsACaseInsensitiveSubstringTest) {
    struct Case { const char* name; const char* filter; bool matches; };
    const Case cases[] = {
        {"song.mp3", "mp3", true},      {"Song.MP3", "mp3", true},
        {"mp3song.wav", "mp3", true},   {"notes.mp3.txt", "MP3", true},
        {"wavetable.txt", "wav", true}, {"anything", "", true},
        {"c.wav", "mp3", false},        {"song.mp", "mp3", false},
        // Letters beyond ASCII, as UTF-8, in both directions.
        {"M\xc3\x9cSIK-01.wav", "m\xc3\xbcsik", true},
        {"\xc3\xa9", "\xc3\x89", true},          {"\xc3\x89", "\xc3\xa9", true},
        {"\xce\xa3\xce\x9f\xce\xa6.wav", "\xcf\x83\xce\xbf", true},  // Greek
        {"MUSIK.wav", "m\xc3\xbcsik", false},
        // A name that is not UTF-8 matches on its ASCII letters and keeps its other bytes.
        {"\xff" "SONG.MP3", "mp3", true},
        {"\xff" "M\xc3\x9cSIK", "m\xc3\x9c", true},
        {"\xff" "M\xc3\x9cSIK", "m\xc3\xbcsik", false},
    };
    for (const auto& c : cases) EXPECT_EQ(NameMatchesFilter(c.name, c.filter), c.matches) << c.name << " / " << c.filter;
}

}  // namespace
}  // namespace kqc
