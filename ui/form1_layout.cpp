#include "client/defaults.h"
#include "client/profile_choices.h"
#include "log/activity_log.h"
#include "ui/dir_list.h"
#include "ui/drive_list.h"
#include "ui/form1_controls.h"
#include "ui/text_area.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <utility>
#include <vector>

namespace kqc {

namespace {

// Where the window's own faces are missing, the nearest installed face of the same size, weight
// and slant stands in. Sizes are pixels at 96 dpi (8.25 pt = 11 px, 18 pt = 24 px), so the layout
// does not move with the screen's scale.
const QStringList kVerdana = {"Verdana", "DejaVu Sans"};
const QStringList kSansSerif = {"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans"};

QFont face(const QStringList& families, int pixelSize, bool bold = false, bool italic = false) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

enum class Look { Bold, Heading, Red, RedItalic };

QString debugLogName() {
#ifdef _WIN32
    return QStringLiteral("c:\\temp\\KorvaneQuorraClient.log");
#else
    return QString::fromStdString(DefaultDebugLogPath().string());
#endif
}

template <class W>
W* place(W* widget, const char* name, QRect rect, const QString& toolTip = {}) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(rect);
    widget->setToolTip(toolTip);
    return widget;
}

QLabel* label(QWidget* form, const char* name, QRect rect, const char* text,
              Look look = Look::Bold) {
    auto* widget = place(new QLabel(QString::fromUtf8(text), form), name, rect);
    widget->setWordWrap(true);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setFocusPolicy(Qt::NoFocus);
    const bool heading = look == Look::Heading;
    widget->setFont(
        face(kVerdana, heading ? 24 : 11, look == Look::Bold || heading, look == Look::RedItalic));
    if (look == Look::Red || look == Look::RedItalic) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        widget->setPalette(palette);
    }
    return widget;
}

QLineEdit* lineEdit(QWidget* form, const char* name, QRect rect, const char* toolTip = "") {
    return place(new QLineEdit(form), name, rect, QString::fromUtf8(toolTip));
}

// Editable, items in their stored order, duplicates kept; typed text is neither completed from
// the items nor matched against them nor added to them.
QComboBox* combo(QWidget* form, const char* name, QRect rect, Choices choices,
                 const char* toolTip) {
    QStringList items;
    for (std::string_view item : choices)
        items << QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size()));
    auto* widget = place(new QComboBox(form), name, rect, QString::fromUtf8(toolTip));
    widget->setEditable(true);
    widget->setCompleter(nullptr);
    widget->setInsertPolicy(QComboBox::NoInsert);
    widget->setDuplicatesEnabled(true);
    widget->addItems(items);
    widget->setMaxVisibleItems(static_cast<int>(items.size()));
    return widget;
}

QPushButton* button(QWidget* form, const char* name, QRect rect, const char* caption, bool bold,
                    const char* toolTip = "") {
    auto* widget = place(new QPushButton(QString::fromUtf8(caption), form), name, rect,
                         QString::fromUtf8(toolTip));
    widget->setAutoDefault(false);
    if (bold) widget->setFont(face(kVerdana, 11, true));
    return widget;
}

// A check box or option button whose caption lies outside its 17-pixel box; the label beside it
// names it for accessibility instead.
template <class W>
W* bareButton(QWidget* form, const char* name, QRect rect, const char* accessibleName) {
    auto* widget = place(new W(form), name, rect);
    widget->setAccessibleName(QString::fromUtf8(accessibleName));
    return widget;
}

constexpr char kImportTip[] =
    "Import Filenames from the specified Directory. The files will be fetched from the Web "
    "Server URL";

void createServiceStrip(QWidget* form, Form1Controls& c) {
    c.Label14 = label(form, "Label14", {16, 16, 153, 17}, "Quorra Service URL");
    c.txtTranscoderURLPort =
        lineEdit(form, "txtTranscoderURLPort", {168, 16, 265, 19},
                 "This is the URL http://Server:Port/axis/services/MediaAdapter where the Quorra "
                 "Transcoder takes requests");
    c.Label17 = label(form, "Label17", {472, 16, 57, 17}, "Local IP");
    c.txtLocalIP = lineEdit(form, "txtLocalIP", {536, 16, 105, 19});
    c.txtLocalIP->setEnabled(false);
    c.chkDebug = bareButton<QCheckBox>(form, "chkDebug", {688, 16, 17, 17}, "Debug To File");
    c.Label15 = label(form, "Label15", {704, 16, 137, 17}, "Debug To File");
    c.Label15->setToolTip("Check here to save the Log output to " + debugLogName());
}

void createSourcePanel(QWidget* form, Form1Controls& c) {
    c.Label3[0] = label(form, "Label3_0", {24, 56, 105, 33}, "Source", Look::Heading);
    c.Label2 = label(form, "Label2", {56, 96, 49, 17}, "Format");
    c.cmbSource_Format =
        combo(form, "cmbSource_Format", {168, 96, 137, 21}, kSourceFormatChoices,
              "Format of the Target files, - also an extension filter when Importing from Dir");
    c.radURL = bareButton<QRadioButton>(form, "radURL", {32, 120, 17, 17}, "Web Server Url");
    c.Label5 = label(form, "Label5", {56, 120, 113, 17}, "Web Server Url");
    c.txtURL = lineEdit(form, "txtURL", {168, 120, 217, 19},
                        "The URL where the transcoder should fetch each file to transcode, "
                        "Localhosts is not valid here");
    c.radFileSystem =
        bareButton<QRadioButton>(form, "radFileSystem", {32, 144, 17, 17}, "Local Directory");
    c.Label7 = label(form, "Label7", {56, 144, 105, 17}, "Local Directory");
    c.txtSourceDir = lineEdit(form, "txtSourceDir", {168, 144, 217, 19},
                              "Local Directory to fetch files from - You do not need to specify "
                              "filename with Import from Dir");
    c.Label8 = label(form, "Label8", {56, 168, 57, 17}, "File List");
    c.txtSourceFilenames =
        place(new TextArea(form), "txtSourceFilenames", {168, 168, 217, 297},
              "The files to transcode, files are fetched from the Web Server URL");
    c.txtSourceFilenames->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    c.txtSourceFilenames->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    c.txtSourceFilenames->setFocusPolicy(Qt::NoFocus);
    c.txtSourceFilenames->setEnabled(false);
    c.DriveBox = place(new DriveList(form), "DriveBox", {24, 208, 137, 21},
                       "Drive to Import filenames from");
    c.DirBox = place(new DirList(form), "DirBox", {24, 232, 137, 171},
                     "Directory to import filenames from");
    c.cmdFileSelect =
        button(form, "cmdFileSelect", {24, 408, 137, 25}, "Import from Dir", true, kImportTip);
    c.cmdClear = button(form, "cmdClear", {24, 440, 137, 25}, "Clear Filelist", true, kImportTip);
    c.Label13 = label(form, "Label13", {24, 480, 217, 17}, "Note: This is a slow way to do it!!!",
                      Look::RedItalic);
}

void createTargetPanel(QWidget* form, Form1Controls& c) {
    c.Label3[1] = label(form, "Label3_1", {440, 56, 105, 33}, "Target", Look::Heading);
    c.cmdCodecInfo =
        button(form, "cmdCodecInfo", {736, 56, 89, 25}, "Codec Info", false,
               "Click here to Launch a window containing information about the Codecs available");
    c.Label4 = label(form, "Label4", {448, 96, 49, 17}, "Format");
    c.cmbTarget_Format = combo(form, "cmbTarget_Format", {568, 96, 137, 21}, kTargetFormatChoices,
                               "The Format of the Target file (See Quorra for more information)");
    c.Label1 = label(form, "Label1", {448, 120, 49, 17}, "Codec");
    c.cmbTarget_Codec = combo(form, "cmbTarget_Codec", {568, 120, 137, 21}, kTargetCodecChoices,
                              "The Codec of the Target file (See Quorra for more information)");
    c.Label9 = label(form, "Label9", {448, 144, 105, 17}, "Bit Rate");
    c.cmbTarget_BitRate =
        combo(form, "cmbTarget_BitRate", {568, 144, 137, 21}, kTargetBitRateChoices,
              "The Bitrate of the Target file (See Quorra for more information)");
    c.Label10 = label(form, "Label10", {448, 168, 105, 17}, "Channels");
    c.cmbTarget_Channels =
        combo(form, "cmbTarget_Channels", {568, 168, 137, 21}, kTargetChannelsChoices,
              "The Channel mode of the Target file (See Quorra for more information)");
    c.Label6 = label(form, "Label6", {448, 192, 105, 17}, "Sampling Rate");
    c.cmbTarget_SamplingRate =
        combo(form, "cmbTarget_SamplingRate", {568, 192, 137, 21}, kTargetSamplingRateChoices,
              "The Sampling Rate of the Target file (See Quorra for more information)");
    c.Label16 = label(form, "Label16", {728, 104, 113, 113},
                      "Not all combinations are valid, See the Quorra documentation for explicit "
                      "information on supported combinations",
                      Look::Red);
    c.Label11 = label(form, "Label11", {448, 216, 105, 17}, "Directory");
    c.txtTargetDir = lineEdit(form, "txtTargetDir", {568, 216, 217, 19},
                              "The Output Directory where all Transcoded files are placed");
    c.cmdTranscode = button(form, "cmdTranscode", {568, 264, 153, 25}, "Transcode Now!", true);
}

void createLogPanel(QWidget* form, Form1Controls& c) {
    c.Label12 = label(form, "Label12", {448, 304, 105, 17}, "Log");
    c.txtOutputLog = place(new TextArea(form), "txtOutputLog", {440, 320, 401, 185},
                           "Output from the internal and Transcoding process. Check the Debug To "
                           "File checkbox to save this output to " +
                               debugLogName());
    c.txtOutputLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c.txtOutputLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    c.txtOutputLog->setTabChangesFocus(true);
}

// Each label that names a field is that field's label for assistive technology, which gives the
// field its name and a labelled-by relation. The labels carry no mnemonic, so keyboard and mouse
// behave as before. Label5 and Label7 also caption their option buttons, which carry the same
// words as their own names.
void labelFields(const Form1Controls& c) {
    const std::pair<QLabel*, QWidget*> named[] = {
        {c.Label14, c.txtTranscoderURLPort}, {c.Label17, c.txtLocalIP},
        {c.Label2, c.cmbSource_Format},      {c.Label5, c.txtURL},
        {c.Label7, c.txtSourceDir},          {c.Label8, c.txtSourceFilenames},
        {c.Label4, c.cmbTarget_Format},      {c.Label1, c.cmbTarget_Codec},
        {c.Label9, c.cmbTarget_BitRate},     {c.Label10, c.cmbTarget_Channels},
        {c.Label6, c.cmbTarget_SamplingRate}, {c.Label11, c.txtTargetDir},
        {c.Label12, c.txtOutputLog},
    };
    for (const auto& [label, field] : named) {
        label->setBuddy(field);
        // A combo box carries the label's words as its own name too, as Qt on Linux announces a
        // box by its value otherwise; the text field inside an editable one carries them as well.
        if (auto* box = qobject_cast<QComboBox*>(field)) {
            box->setAccessibleName(label->text());
            if (box->lineEdit()) box->lineEdit()->setAccessibleName(label->text());
        }
    }
    // The two lists have no label on the window; they and the log box carry names of their own.
    c.DriveBox->setAccessibleName(QStringLiteral("Source Drive"));
    c.DirBox->setAccessibleName(QStringLiteral("Source Directory"));
    c.txtOutputLog->setAccessibleName(c.Label12->text());
}

// The keyboard order follows the tab indexes, not the places on screen.
void setKeyboardOrder(const Form1Controls& c) {
    std::vector<std::pair<int, QWidget*>> order = {
        {0, c.cmbSource_Format},
        {4, c.cmbTarget_Format},
        {6, c.cmdTranscode},
        {7, c.txtURL},
        {9, c.txtSourceDir},
        {11, c.txtSourceFilenames},
        {13, c.radURL},
        {14, c.radFileSystem},
        {16, c.cmbTarget_Codec},
        {20, c.cmbTarget_SamplingRate},
        {21, c.cmbTarget_BitRate},
        {22, c.cmbTarget_Channels},
        {23, c.txtTargetDir},
        {26, c.txtOutputLog},
        {28, c.txtTranscoderURLPort},
        {30, c.chkDebug},
        {32, c.cmdFileSelect},
        {33, c.DriveBox},
        {34, c.DirBox},
        {36, c.cmdCodecInfo},
        {37, c.cmdClear},
        {39, c.txtLocalIP},
    };
    std::sort(order.begin(), order.end());
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

}  // namespace

void CreateForm1Controls(QWidget* form, Form1Controls& controls) {
    form->setFont(face(kSansSerif, 11));
    createServiceStrip(form, controls);
    createSourcePanel(form, controls);
    createTargetPanel(form, controls);
    createLogPanel(form, controls);
    labelFields(controls);
    setKeyboardOrder(controls);
}

void PaintForm1Outlines(QPainter& painter, const QPalette& palette) {
    // A one-pixel outline of width w covers w pixels, hence the - 1.
    painter.setPen(QPen(palette.color(QPalette::WindowText), 1));
    painter.setBrush(Qt::NoBrush);
    for (QRect region : {QRect(8, 8, 841, 33), QRect(8, 48, 409, 465), QRect(432, 48, 417, 209),
                         QRect(432, 296, 417, 217)})
        painter.drawRect(region.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(QColor(255, 0, 0), 1));
    painter.drawLine(712, 96, 720, 160);
    painter.drawLine(712, 208, 720, 160);
}

}  // namespace kqc
