#include "ui/form2.h"

#include "resources/chart_text.h"
#include "resources/codec_chart.h"

#include <QFont>
#include <QLabel>
#include <QPixmap>

namespace kqc {

namespace {

constexpr QSize kClientSize(713, 832);
constexpr QRect kLabel1Rect(112, 8, 393, 33);
constexpr QPoint kPicture1Pos(8, 40);

const char* const kCaption = "CODEC Information";
const char* const kLabel1Text =
    "This is alist of allowed combinations for the Quorra Transcoder.   If set wrong, the "
    "typical error is 2001 - Error in command parameters";

// 8.25 pt bold at 96 dpi, in pixels so the label does not grow with the screen's scale;
// the first installed family of the list is used.
QFont label1Font() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

}  // namespace

QPointer<Form2> Form2::s_instance;

Form2::Form2() : QWidget(nullptr, Qt::Window) {
    // Closing unloads the window; the next show builds it again from scratch.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    resize(kClientSize);

    // No layout: both controls keep their places and sizes whatever the window's size, and the
    // chart is never scaled or scrolled.
    auto* picture1 = new QLabel(this);
    picture1->setObjectName("Picture1");
    picture1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QPixmap chart = QPixmap::fromImage(codecChart());
    picture1->setPixmap(chart);
    // Assistive technology reads the chart's words from the table that drew it.
    picture1->setAccessibleName(codecChartHeaders());
    picture1->setAccessibleDescription(codecChartText());
    const int border = picture1->frameWidth();
    picture1->setGeometry(
        QRect(kPicture1Pos, chart.size().grownBy({border, border, border, border})));

    auto* label1 = new QLabel(this);
    label1->setObjectName("Label1");
    label1->setTextFormat(Qt::PlainText);
    label1->setText(kLabel1Text);
    label1->setWordWrap(true);
    // Top-aligned, so text beyond the label's height is cut off at the bottom.
    label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label1->setFont(label1Font());
    label1->setGeometry(kLabel1Rect);
}

void Form2::showSingleInstance() {
    if (!s_instance) s_instance = new Form2;
    s_instance->setWindowState(s_instance->windowState() & ~Qt::WindowMinimized);
    s_instance->show();
    s_instance->raise();
    s_instance->activateWindow();
}

Form2* Form2::openInstance() {
    return s_instance;
}

}  // namespace kqc
