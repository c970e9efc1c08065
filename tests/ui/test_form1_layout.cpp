// The main window against its layout tables: places, texts, states, fonts, tooltips, items,
// keyboard order and the outlines beneath the controls.
#include "client/defaults.h"
#include "ui/form1_fields.h"
#include "log/activity_log.h"
#include "test_form1_support.h"
#include "ui/dir_list.h"
#include "ui/drive_list.h"
#include "ui/form1.h"
#include "ui/local_ip.h"
#include "ui/text_area.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTest>

#include <optional>

namespace kqc {
namespace {

QString debugLog() {
    return QString::fromStdString(DefaultDebugLogPath().string());
}
const char kImportTip[] =
    "Import Filenames from the specified Directory. The files will be fetched from the Web "
    "Server URL";

struct ControlRow {
    const char* name;
    const char* kind;
    QRect pixels;
    std::optional<QString> text;  // caption or content; not checked when absent
    bool enabled;
    QString toolTip;
};

void PrintTo(const ControlRow& c, std::ostream* out) { *out << c.name; }

std::vector<ControlRow> controlRows() {
    const QString ip = LocalIPAddress();
    return {
        {"Label14", "QLabel", {16, 16, 153, 17}, "Quorra Service URL", true, ""},
        {"txtTranscoderURLPort",
         "QLineEdit",
         {168, 16, 265, 19},
         QString::fromStdString(DefaultEndpoint()),
         true,
         "This is the URL http://Server:Port/axis/services/MediaAdapter where the Quorra "
         "Transcoder takes requests"},
        {"Label17", "QLabel", {472, 16, 57, 17}, "Local IP", true, ""},
        {"txtLocalIP", "QLineEdit", {536, 16, 105, 19}, ip, false, ""},
        {"chkDebug", "QCheckBox", {688, 16, 17, 17}, "", true, ""},
        {"Label15",
         "QLabel",
         {704, 16, 137, 17},
         "Debug To File",
         true,
         "Check here to save the Log output to " + debugLog()},
        {"Label3_0", "QLabel", {24, 56, 105, 33}, "Source", true, ""},
        {"Label2", "QLabel", {56, 96, 49, 17}, "Format", true, ""},
        {"cmbSource_Format",
         "QComboBox",
         {168, 96, 137, 21},
         "mp3",
         true,
         "Format of the Target files, - also an extension filter when Importing from Dir"},
        {"radURL", "QRadioButton", {32, 120, 17, 17}, "", true, ""},
        {"Label5", "QLabel", {56, 120, 113, 17}, "Web Server Url", true, ""},
        {"txtURL",
         "QLineEdit",
         {168, 120, 217, 19},
         "http://" + ip + "/",
         true,
         "The URL where the transcoder should fetch each file to transcode, Localhosts is not "
         "valid here"},
        {"radFileSystem", "QRadioButton", {32, 144, 17, 17}, "", true, ""},
        {"Label7", "QLabel", {56, 144, 105, 17}, "Local Directory", true, ""},
        {"txtSourceDir",
         "QLineEdit",
         {168, 144, 217, 19},
         QString::fromStdString(DefaultSourceDir()),
         true,
         "Local Directory to fetch files from - You do not need to specify filename with Import "
         "from Dir"},
        {"Label8", "QLabel", {56, 168, 57, 17}, "File List", true, ""},
        {"txtSourceFilenames",
         "kqc::TextArea",
         {168, 168, 217, 297},
         "",
         false,
         "The files to transcode, files are fetched from the Web Server URL"},
        {"DriveBox",
         "kqc::DriveList",
         {24, 208, 137, 21},
         std::nullopt,
         true,
         "Drive to Import filenames from"},
        {"DirBox",
         "kqc::DirList",
         {24, 232, 137, 171},
         std::nullopt,
         true,
         "Directory to import filenames from"},
        {"cmdFileSelect", "QPushButton", {24, 408, 137, 25}, "Import from Dir", false, kImportTip},
        {"cmdClear", "QPushButton", {24, 440, 137, 25}, "Clear Filelist", false, kImportTip},
        {"Label13", "QLabel", {24, 480, 217, 17}, "Note: This is a slow way to do it!!!", true, ""},
        {"Label3_1", "QLabel", {440, 56, 105, 33}, "Target", true, ""},
        {"cmdCodecInfo",
         "QPushButton",
         {736, 56, 89, 25},
         "Codec Info",
         true,
         "Click here to Launch a window containing information about the Codecs available"},
        {"Label4", "QLabel", {448, 96, 49, 17}, "Format", true, ""},
        {"cmbTarget_Format",
         "QComboBox",
         {568, 96, 137, 21},
         "mp4",
         true,
         "The Format of the Target file (See Quorra for more information)"},
        {"Label1", "QLabel", {448, 120, 49, 17}, "Codec", true, ""},
        {"cmbTarget_Codec",
         "QComboBox",
         {568, 120, 137, 21},
         "aac",
         true,
         "The Codec of the Target file (See Quorra for more information)"},
        {"Label9", "QLabel", {448, 144, 105, 17}, "Bit Rate", true, ""},
        {"cmbTarget_BitRate",
         "QComboBox",
         {568, 144, 137, 21},
         "16000",
         true,
         "The Bitrate of the Target file (See Quorra for more information)"},
        {"Label10", "QLabel", {448, 168, 105, 17}, "Channels", true, ""},
        {"cmbTarget_Channels",
         "QComboBox",
         {568, 168, 137, 21},
         "Mono",
         true,
         "The Channel mode of the Target file (See Quorra for more information)"},
        {"Label6", "QLabel", {448, 192, 105, 17}, "Sampling Rate", true, ""},
        {"cmbTarget_SamplingRate",
         "QComboBox",
         {568, 192, 137, 21},
         "22050",
         true,
         "The Sampling Rate of the Target file (See Quorra for more information)"},
        {"Label16",
         "QLabel",
         {728, 104, 113, 113},
         "Not all combinations are valid, See the Quorra documentation for explicit information "
         "on supported combinations",
         true,
         ""},
        {"Label11", "QLabel", {448, 216, 105, 17}, "Directory", true, ""},
        {"txtTargetDir",
         "QLineEdit",
         {568, 216, 217, 19},
         QString::fromStdString(DefaultTargetDir()),
         true,
         "The Output Directory where all Transcoded files are placed"},
        {"cmdTranscode", "QPushButton", {568, 264, 153, 25}, "Transcode Now!", true, ""},
        {"Label12", "QLabel", {448, 304, 105, 17}, "Log", true, ""},
        {"txtOutputLog",
         "kqc::TextArea",
         {440, 320, 401, 185},
         "",
         true,
         "Output from the internal and Transcoding process. Check the Debug To File checkbox to "
         "save this output to " +
             debugLog()},
    };
}

QString shownText(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* area = qobject_cast<TextArea*>(widget)) return QString::fromStdString(area->text());
    return {};
}

class Form1Control : public ::testing::TestWithParam<ControlRow> {};

TEST_P(Form1Control, MatchesItsRow) {
    Form1 form;
    const ControlRow& row = GetParam();
    auto* widget = form.findChild<QWidget*>(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(row.kind)) << widget->metaObject()->className();
    EXPECT_EQ(widget->geometry(), row.pixels);
    if (row.text) {
        EXPECT_EQ(shownText(widget), *row.text);
    }
    EXPECT_EQ(widget->isEnabled(), row.enabled);
    EXPECT_TRUE(widget->isVisibleTo(&form));
    EXPECT_EQ(widget->toolTip(), row.toolTip);
    if (widget->inherits("QLabel")) {
        EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Form1Control, ::testing::ValuesIn(controlRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Form1Window, FixedFrameWithCloseBoxOnly) {
    Form1 form;
    EXPECT_EQ(form.windowTitle(), "Korvane Quorra Client - Audio Transcoding");
    EXPECT_EQ(form.minimumSize(), QSize(862, 525));
    EXPECT_EQ(form.maximumSize(), QSize(862, 525));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.controls().radURL->isChecked());
    EXPECT_FALSE(form.controls().radFileSystem->isChecked());
    EXPECT_EQ(form.controls().chkDebug->checkState(), Qt::Unchecked);
    EXPECT_EQ(form.controls().DirBox->path(), QDir::currentPath());
}

struct ComboRow {
    const char* name;
    const char* label;
    QStringList items;
};

void PrintTo(const ComboRow& row, std::ostream* out) {
    *out << row.name;
}

class Form1ComboItems : public ::testing::TestWithParam<ComboRow> {};

TEST_P(Form1ComboItems, InStoredOrderAndEditable) {
    Form1 form;
    auto* combo = form.findChild<QComboBox*>(GetParam().name);
    ASSERT_NE(combo, nullptr);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    EXPECT_EQ(items, GetParam().items);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->completer(), nullptr);
}

// Announced by its label, as it has one; the value stays in its edit field, Qt's own child.
TEST_P(Form1ComboItems, NamedByItsLabelValueInItsEditField) {
    Form1 form;
    auto* combo = form.findChild<QComboBox*>(GetParam().name);
    auto* label = form.findChild<QLabel*>(GetParam().label);
    ASSERT_TRUE(combo && label);
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(combo);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->role(), QAccessible::ComboBox);
    EXPECT_EQ(box->text(QAccessible::Name), label->text());
    EXPECT_EQ(box->text(QAccessible::Value), combo->currentText());
    EXPECT_EQ(box->textInterface(), nullptr);
    ASSERT_EQ(box->childCount(), 2);
    QAccessibleInterface* field = box->child(1);
    EXPECT_EQ(field, QAccessible::queryAccessibleInterface(combo->lineEdit()));
    EXPECT_EQ(field->parent(), box);
    EXPECT_EQ(box->indexOfChild(field), 1);
    EXPECT_EQ(box->child(0)->role(), QAccessible::List);
    EXPECT_EQ(box->child(0)->parent(), box);
    combo->setCurrentIndex(1);
    QAccessibleTextInterface* value = field->textInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->text(0, value->characterCount()), GetParam().items[1]);
    EXPECT_EQ(box->text(QAccessible::Name), label->text());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Form1ComboItems,
    ::testing::Values(
        ComboRow{"cmbSource_Format", "Label2",
                 {"gif", "bmp", "mp3", "mp4", "wma", "au", "gsm", "raw", "wav"}},
        ComboRow{"cmbTarget_Format", "Label4", {"mp4", "gsm", "au", "amr", "raw", "wav", "wma"}},
        ComboRow{"cmbTarget_Codec", "Label1",
                 {"aac", "amr-nb", "anr-wb", "pcm", "g711", "g711a", "g711u", "mp3", "adpcm",
                  "gsm-fr", "pcm", "wma", "g711b"}},
        ComboRow{"cmbTarget_BitRate", "Label9", {"16000", "32000"}},
        ComboRow{"cmbTarget_Channels", "Label10", {"Mono", "Stereo"}},
        ComboRow{"cmbTarget_SamplingRate", "Label6", {"8000", "16000", "22050", "44100", "48000"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The drive list has no label: its own name, its value as read-only text, Qt's actions kept.
TEST(Form1Combo, DriveListNamedSourceDriveValueAsText) {
    Form1 form;
    QComboBox* drives = form.controls().DriveBox;
    drives->addItem(QStringLiteral("/test-drive"));
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(drives);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->role(), QAccessible::ComboBox);
    EXPECT_EQ(box->text(QAccessible::Name), "Source Drive");
    EXPECT_EQ(box->text(QAccessible::Description), "Drive to Import filenames from");
    QAccessibleTextInterface* text = box->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, text->characterCount()), drives->currentText());
    {
        const QSignalBlocker quiet(drives);  // no drive change, which would read the drive
        drives->setCurrentIndex(drives->count() - 1);
    }
    EXPECT_EQ(text->characterCount(), 11);
    EXPECT_EQ(text->text(0, 11), "/test-drive");
    EXPECT_EQ(text->text(6, 11), "drive");
    ASSERT_NE(box->actionInterface(), nullptr);
    EXPECT_TRUE(box->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::showMenuAction()));
}

// Typed text is the value, even when it differs from an item only in case, and the list keeps
// its items.
TEST(Form1Combo, TypedTextStaysAndIsNotAddedOrCompleted) {
    Form1 form;
    QComboBox* combo = form.controls().cmbTarget_Format;
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "MP4");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo->currentText(), "MP4");
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "og");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo->currentText(), "og");
    EXPECT_EQ(combo->count(), 7);
    EXPECT_EQ(form.fields().text(Field::cmbTarget_Format), "og");
}

struct FontRow {
    const char* name;
    int pixelSize;
    bool bold;
    bool italic;
    bool red;
};

void PrintTo(const FontRow& row, std::ostream* out) {
    *out << row.name;
}

class Form1Font : public ::testing::TestWithParam<FontRow> {};

TEST_P(Form1Font, SizeWeightSlantAndColour) {
    Form1 form;
    auto* widget = form.findChild<QWidget*>(GetParam().name);
    ASSERT_NE(widget, nullptr);
    const QFontInfo info(widget->font());
    EXPECT_EQ(info.pixelSize(), GetParam().pixelSize);
    EXPECT_EQ(info.bold(), GetParam().bold);
    EXPECT_EQ(info.italic(), GetParam().italic);
    const QColor text = widget->palette().color(QPalette::WindowText);
    EXPECT_EQ(text == QColor(255, 0, 0), GetParam().red);
}

INSTANTIATE_TEST_SUITE_P(Table, Form1Font,
                         ::testing::Values(FontRow{"Label14", 11, true, false, false},
                                           FontRow{"Label3_0", 24, true, false, false},
                                           FontRow{"Label3_1", 24, true, false, false},
                                           FontRow{"Label16", 11, false, false, true},
                                           FontRow{"Label13", 11, false, true, true},
                                           FontRow{"cmdTranscode", 11, true, false, false},
                                           FontRow{"cmdFileSelect", 11, true, false, false},
                                           FontRow{"cmdClear", 11, true, false, false},
                                           FontRow{"cmdCodecInfo", 11, false, false, false},
                                           FontRow{"txtURL", 11, false, false, false},
                                           FontRow{"cmbTarget_Codec", 11, false, false, false},
                                           FontRow{"txtOutputLog", 11, false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The name of the control that has the focus; an editable combo's own line edit counts as the
// combo.
QString focusName() {
    QWidget* focus = QApplication::focusWidget();
    if (focus && qobject_cast<QComboBox*>(focus->parentWidget())) focus = focus->parentWidget();
    return focus ? focus->objectName() : QString();
}

QStringList tabRound(Form1& form, int presses) {
    QStringList order{focusName()};
    for (int i = 0; i < presses; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << focusName();
    }
    (void)form;
    return order;
}

TEST(Form1Keyboard, TabFollowsTabIndexesSkippingDisabledAndUnselectedOption) {
    Form1 form;
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(focusName(), "cmbSource_Format");
    const QStringList atStart = {"cmbSource_Format",
                                 "cmbTarget_Format",
                                 "cmdTranscode",
                                 "txtURL",
                                 "txtSourceDir",
                                 "radURL",
                                 "cmbTarget_Codec",
                                 "cmbTarget_SamplingRate",
                                 "cmbTarget_BitRate",
                                 "cmbTarget_Channels",
                                 "txtTargetDir",
                                 "txtOutputLog",
                                 "txtTranscoderURLPort",
                                 "chkDebug",
                                 "DriveBox",
                                 "DirBox",
                                 "cmdCodecInfo",
                                 "cmbSource_Format"};
    EXPECT_EQ(tabRound(form, atStart.size() - 1), atStart);

    form.controls().radFileSystem->setChecked(true);
    form.controls().cmbSource_Format->setFocus();
    const QStringList fileSystemMode = {"cmbSource_Format",
                                        "cmbTarget_Format",
                                        "cmdTranscode",
                                        "txtURL",
                                        "txtSourceDir",
                                        "radFileSystem",
                                        "cmbTarget_Codec",
                                        "cmbTarget_SamplingRate",
                                        "cmbTarget_BitRate",
                                        "cmbTarget_Channels",
                                        "txtTargetDir",
                                        "txtOutputLog",
                                        "txtTranscoderURLPort",
                                        "chkDebug",
                                        "cmdFileSelect",
                                        "DriveBox",
                                        "DirBox",
                                        "cmdCodecInfo",
                                        "cmdClear",
                                        "cmbSource_Format"};
    EXPECT_EQ(tabRound(form, fileSystemMode.size() - 1), fileSystemMode);
}

TEST(Form1Labels, ClickingCaptionsChangesNothing) {
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const Form1Controls& c = form.controls();
    for (QLabel* label : {c.Label5, c.Label7, c.Label15})
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(c.radURL->isChecked());
    EXPECT_EQ(c.chkDebug->checkState(), Qt::Unchecked);
}

TEST(Form1Outlines, RectanglesAndRedBracketDrawnBeneathControls) {
    Form1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QImage image = form.grab().toImage();
    const QColor frame = form.palette().color(QPalette::WindowText);
    // Corners of Shape3, Shape1, Shape2 and Shape4, as the outlines' outermost pixels.
    for (QPoint corner : {QPoint(8, 8), QPoint(848, 40), QPoint(8, 48), QPoint(416, 512),
                          QPoint(432, 48), QPoint(848, 256), QPoint(432, 296), QPoint(848, 512)})
        EXPECT_EQ(image.pixelColor(corner), frame) << corner.x() << "," << corner.y();
    EXPECT_NE(image.pixelColor(QPoint(849, 41)), frame);
    for (QPoint point : {QPoint(712, 96), QPoint(720, 160), QPoint(712, 208), QPoint(716, 128)})
        EXPECT_EQ(image.pixelColor(point), QColor(255, 0, 0)) << point.x() << "," << point.y();
}

}  // namespace
}  // namespace kqc
