// The main window's handlers: start-up, the source modes, the drive and directory lists, Import
// from Dir and Clear Filelist, and their failures; drops on its fields.
#include "ui/form1_fields.h"
#include "media/folder_listing.h"
#include "support/temp_dir.h"
#include "test_form1_support.h"
#include "ui/dir_list.h"
#include "ui/drive_list.h"
#include "ui/form1.h"
#include "ui/local_ip.h"
#include "ui/text_area.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <filesystem>
#include <optional>

namespace kqc {
namespace {

namespace fs = std::filesystem;
using test::closeNextMessageBox;
using test::SeenBox;

class Form1Behaviour : public ::testing::Test {
protected:
    Form1 form;
    test::TempDir dir;
    const Form1Controls& c = form.controls();
    std::string fileList() const { return c.txtSourceFilenames->text(); }
    bool importEnabled() const { return c.cmdFileSelect->isEnabled(); }
    bool clearEnabled() const { return c.cmdClear->isEnabled(); }
    void importFrom(const fs::path& dir, const QString& filter) {
        ASSERT_TRUE(c.DirBox->setPath(QString::fromStdString(dir.string())));
        c.cmbSource_Format->setEditText(filter);
        c.cmdFileSelect->setEnabled(true);
        c.cmdFileSelect->click();
    }
    // The matching names in the order the file system lists them.
    static std::string listed(const fs::path& dir, std::string_view filter) {
        std::string list;
        const auto files = ListPlainFiles(dir.string());
        for (const FolderFile& file : *files)
            if (NameMatchesFilter(file.name, filter))
                list += (list.empty() ? "" : "\r\n") + file.name;
        return list;
    }

};

TEST_F(Form1Behaviour, StartsInUrlModeWithListButtonsDisabled) {
    const QString ip = LocalIPAddress();
    EXPECT_EQ(c.txtLocalIP->text(), ip);
    EXPECT_EQ(c.txtURL->text(), "http://" + ip + "/");
    EXPECT_TRUE(c.radURL->isChecked());
    EXPECT_FALSE(importEnabled());
    EXPECT_FALSE(clearEnabled());
    EXPECT_EQ(fileList(), "");
}

TEST_F(Form1Behaviour, ModeSwitchesSetButtonsAndUrlModeEmptiesTheList) {
    form.fields().setText(Field::txtSourceFilenames, "a.mp3\r\nb.mp3");
    c.radFileSystem->click();
    EXPECT_TRUE(importEnabled());
    EXPECT_TRUE(clearEnabled());
    EXPECT_EQ(fileList(), "a.mp3\r\nb.mp3");
    EXPECT_FALSE(form.fields().urlModeSelected());

    c.cmdClear->click();
    EXPECT_EQ(fileList(), "");
    EXPECT_TRUE(importEnabled());
    EXPECT_TRUE(clearEnabled());
    EXPECT_TRUE(c.radFileSystem->isChecked());

    form.fields().setText(Field::txtSourceFilenames, "c.mp3");
    c.radURL->click();
    EXPECT_FALSE(importEnabled());
    EXPECT_FALSE(clearEnabled());
    EXPECT_EQ(fileList(), "");
    EXPECT_TRUE(form.fields().urlModeSelected());
}

// In the state after a URL-mode run only Import from Dir is enabled; clicking the selected URL
// option again must not take that away or empty the list.
TEST_F(Form1Behaviour, ClickingTheSelectedOptionAgainChangesNothing) {
    c.cmdFileSelect->setEnabled(true);
    form.fields().setText(Field::txtSourceFilenames, "a.mp3");
    c.radURL->click();
    EXPECT_TRUE(importEnabled());
    EXPECT_EQ(fileList(), "a.mp3");
}

TEST_F(Form1Behaviour, ImportKeepsCaseAndListingOrderWithoutSubdirectoriesOrTrailingBreak) {
    for (const char* name : {"b.mp3", "A.MP3", "c.wav", "mp3song.wav", "notes.mp3.txt"})
        test::writeBytes(dir / name, "x");
    fs::create_directory(dir / "mp3");
    test::writeBytes(dir / "mp3" / "inner.mp3", "x");

    importFrom(dir.path(), "mp3");
    const std::string expected = listed(dir.path(), "mp3");
    EXPECT_EQ(fileList(), expected);
    for (const char* name : {"b.mp3", "A.MP3", "mp3song.wav", "notes.mp3.txt"})
        EXPECT_NE(expected.find(name), std::string::npos) << name;
    EXPECT_EQ(expected.find("inner"), std::string::npos);
    EXPECT_EQ(expected.find("c.wav"), std::string::npos);
    EXPECT_NE(fileList().substr(fileList().size() - 2), "\r\n");

    c.cmdFileSelect->click();
    EXPECT_EQ(fileList(), expected) << "a second import replaces the list";
}

struct ImportCase {
    const char* name;
    std::vector<const char*> files;
    const char* filter;
    std::string expected;
};

void PrintTo(const ImportCase& row, std::ostream* out) {
    *out << row.name;
}

class Form1Import : public Form1Behaviour, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(Form1Import, ListsMatchingNames) {
    for (const char* name : GetParam().files) test::writeBytes(dir / name, "x");
    form.fields().setText(Field::txtSourceFilenames, "old.mp3");
    importFrom(dir.path(), GetParam().filter);
    EXPECT_EQ(fileList(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Form1Import,
    ::testing::Values(ImportCase{"SingleMatch", {"one.mp3", "two.wav"}, "mp3", "one.mp3"},
                      ImportCase{"NoMatch", {"one.wav"}, "mp3", ""},
                      ImportCase{"EmptyFolder", {}, "", ""},
                      ImportCase{"UpperCaseFilter", {"x.Mp3"}, "MP3", "x.Mp3"},
                      ImportCase{"EmptyFilterListsAll", {"only.bin"}, "", "only.bin"},
                      ImportCase{"UnicodeUpperCaseName",
                                 {"M\xc3\x9cSIK-01.wav", "MUSIK-02.wav"},
                                 "m\xc3\xbcsik",
                                 "M\xc3\x9cSIK-01.wav"},
                      ImportCase{"UnicodeUpperCaseFilter", {"\xc3\xa9", "e"}, "\xc3\x89",
                                 "\xc3\xa9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Behaviour, EmptyFilterListsEveryFile) {
    for (const char* name : {"a.txt", "b.wav", "c"}) test::writeBytes(dir / name, "x");
    importFrom(dir.path(), "");
    EXPECT_EQ(fileList(), listed(dir.path(), ""));
    const std::string list = fileList();
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2);
}

TEST_F(Form1Behaviour, ImportListsTheDirectoryOfDirBoxNotTheTypedOne) {
    test::writeBytes(dir / "shown.mp3", "x");
    fs::create_directory(dir / "typed");
    test::writeBytes(dir / "typed" / "typed.mp3", "x");
    ASSERT_TRUE(c.DirBox->setPath(QString::fromStdString(dir.path().string())));
    c.txtSourceDir->setText(QString::fromStdString((dir / "typed").string()));
    importFrom(dir.path(), "mp3");
    EXPECT_EQ(fileList(), "shown.mp3");
}

TEST_F(Form1Behaviour, ImportOfAVanishedDirectoryNamesItAndLeavesTheListEmpty) {
    const fs::path gone = dir / "gone";
    fs::create_directory(gone);
    ASSERT_TRUE(c.DirBox->setPath(QString::fromStdString(gone.string())));
    fs::remove(gone);
    form.fields().setText(Field::txtSourceFilenames, "old.mp3");
    SeenBox box;
    closeNextMessageBox(box);
    c.cmdFileSelect->setEnabled(true);
    c.cmdFileSelect->click();
    ASSERT_TRUE(box.seen);
    EXPECT_TRUE(box.text.contains(QString::fromStdString(gone.string()))) << box.text.toStdString();
    EXPECT_EQ(box.title, "KorvaneQuorraClient");
    EXPECT_EQ(fileList(), "");
}

TEST_F(Form1Behaviour, OpeningDirectoriesFollowsIntoTxtSourceDir) {
    fs::create_directories(dir / "sub" / "deeper");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString top = QString::fromStdString(dir.path().string());
    ASSERT_TRUE(c.DirBox->setPath(top));
    EXPECT_EQ(c.txtSourceDir->text(), top);

    // The chain down to the current directory, then its one subdirectory.
    QListWidgetItem* sub = c.DirBox->item(c.DirBox->count() - 1);
    ASSERT_EQ(sub->text(), "sub");
    const QPoint onSub = c.DirBox->visualItemRect(sub).center();
    QTest::mouseClick(c.DirBox->viewport(), Qt::LeftButton, {}, onSub);
    EXPECT_EQ(c.txtSourceDir->text(), top) << "a single click only selects";
    QTest::mouseDClick(c.DirBox->viewport(), Qt::LeftButton, {}, onSub);
    EXPECT_EQ(c.txtSourceDir->text(), top + "/sub");

    c.DirBox->setCurrentRow(c.DirBox->count() - 1);
    QTest::keyClick(c.DirBox, Qt::Key_Return);
    EXPECT_EQ(c.DirBox->path(), top + "/sub/deeper");
    EXPECT_EQ(c.txtSourceDir->text(), top + "/sub/deeper");

    // Going up by the chain: the entry of the temp folder itself.
    const QList<QListWidgetItem*> upper =
        c.DirBox->findItems(QFileInfo(top).fileName(), Qt::MatchExactly);
    ASSERT_EQ(upper.size(), 1);
    c.DirBox->setCurrentItem(upper.first());
    QTest::keyClick(c.DirBox, Qt::Key_Return);
    EXPECT_EQ(c.txtSourceDir->text(), top);
}

TEST_F(Form1Behaviour, OpeningAVanishedDirectoryNamesItAndKeepsThePath) {
    fs::create_directory(dir / "gone");
    const QString top = QString::fromStdString(dir.path().string());
    ASSERT_TRUE(c.DirBox->setPath(top));
    fs::remove(dir / "gone");
    SeenBox box;
    closeNextMessageBox(box);
    c.DirBox->setCurrentRow(c.DirBox->count() - 1);
    QTest::keyClick(c.DirBox, Qt::Key_Return);
    ASSERT_TRUE(box.seen);
    EXPECT_TRUE(box.text.contains(top + "/gone"));
    EXPECT_EQ(c.DirBox->path(), top);
    EXPECT_EQ(c.txtSourceDir->text(), top);
}

TEST_F(Form1Behaviour, ChoosingADriveMovesDirBoxAndTxtSourceDir) {
    const int root = c.DriveBox->findText(QDir::rootPath());
    ASSERT_GE(root, 0);
    ASSERT_TRUE(c.DirBox->setPath(QString::fromStdString(dir.path().string())));
    c.DriveBox->setCurrentIndex(root == 0 && c.DriveBox->count() > 1 ? 1 : root);
    c.DriveBox->setCurrentIndex(root);
    EXPECT_EQ(c.DirBox->path(), QDir::rootPath());
    EXPECT_EQ(c.txtSourceDir->text(), QDir::rootPath());
}

TEST_F(Form1Behaviour, AnUnreadableDriveIsNamedAndBothListsStay) {
    const QString before = c.DriveBox->drive();
    const QString dirBefore = c.DirBox->path();
    const QString sourceDir = c.txtSourceDir->text();
    const QString missing = QString::fromStdString((dir / "no-such-drive").string());
    c.DriveBox->addItem(missing);
    SeenBox box;
    closeNextMessageBox(box);
    c.DriveBox->setCurrentIndex(c.DriveBox->count() - 1);
    ASSERT_TRUE(box.seen);
    EXPECT_TRUE(box.text.contains(missing)) << box.text.toStdString();
    EXPECT_EQ(c.DriveBox->drive(), before);
    EXPECT_EQ(c.DirBox->path(), dirBefore);
    EXPECT_EQ(c.txtSourceDir->text(), sourceDir);
}

struct DropCase {
    const char* name;
    std::string RunValues::*value;  // of the field dropped on
    QStringList urls;
    std::optional<std::string> taken;  // the value after the drop; refused when absent
};

void PrintTo(const DropCase& row, std::ostream* out) {
    *out << row.name;
}

class Form1Drop : public Form1Behaviour, public ::testing::WithParamInterface<DropCase> {};

// Drag and drop as the window system delivers it: to the window, which hands it on.
TEST_P(Form1Drop, TakesFoldersAndWebEntriesOnly) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    c.txtURL->setText("http://host:81/media");
    form.fields().setText(Field::txtSourceFilenames, "old.mp3");
    const std::string before = form.fields().runValues().*GetParam().value;
    QWidget* field = GetParam().value == &RunValues::fileList
                         ? static_cast<QWidget*>(c.txtSourceFilenames)
                     : GetParam().value == &RunValues::sourceDir ? c.txtSourceDir
                                                                 : c.txtTargetDir;
    QMimeData data;
    data.setUrls(QUrl::fromStringList(GetParam().urls));
    const QPoint at = field->mapTo(&form, field->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(form.windowHandle(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(form.windowHandle(), &drop);
    EXPECT_EQ(enter.isAccepted() || drop.isAccepted(), GetParam().taken.has_value());
    EXPECT_EQ(form.fields().runValues().*GetParam().value, GetParam().taken.value_or(before));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Form1Drop,
    ::testing::Values(
        DropCase{"FolderOnSource", &RunValues::sourceDir, {"file:///usr/share"}, "/usr/share"},
        DropCase{"FolderOnTarget", &RunValues::targetDir, {"file:///usr"}, "/usr"},
        DropCase{"FileOnTarget", &RunValues::targetDir, {"file:///etc/passwd"}, {}},
        DropCase{"TwoFolders", &RunValues::sourceDir, {"file:///usr", "file:///etc"}, {}},
        DropCase{"WebServerEntries",
                 &RunValues::fileList,
                 {"http://host:81/media/a%20b.mp3", "http://HOST:81/media/sub/c.mp3"},
                 "old.mp3\r\na b.mp3\r\nsub/c.mp3"},
        DropCase{"OtherServer", &RunValues::fileList, {"https://host:81/media/a.mp3"}, {}},
        DropCase{"FolderOnFileList", &RunValues::fileList, {"file:///usr"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The tooltip of a disabled control does not show; the same control shows it once enabled.
TEST_F(Form1Behaviour, ToolTipsShowOnlyOnEnabledControls) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto toolTipShown = [](QWidget* widget) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(widget, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(toolTipShown(c.cmdClear), "");
    EXPECT_EQ(toolTipShown(c.txtSourceFilenames), "");
    c.radFileSystem->click();
    EXPECT_EQ(toolTipShown(c.cmdClear), c.cmdFileSelect->toolTip());
    EXPECT_EQ(toolTipShown(c.txtURL), c.txtURL->toolTip());
    QToolTip::hideText();
}

}  // namespace
}  // namespace kqc
