// The codec information window: its design, its single instance and its life beside the main
// window.
#include "resources/codec_chart.h"
#include "ui/form2.h"

#include <gtest/gtest.h>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

namespace {

using kqc::Form2;

constexpr QSize kClientSize(713, 832);
constexpr QRect kLabel1Rect(112, 8, 393, 33);
constexpr QRect kPicture1Rect(8, 40, 694, 783);
constexpr QRect kChartRect(10, 42, 690, 779);  // inside Picture1's 2-pixel border

void processDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

int openChartWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->isVisible() && widget->windowTitle() == "CODEC Information";
    return count;
}

QLabel* control(const char* name) {
    Form2* form = Form2::openInstance();
    return form ? form->findChild<QLabel*>(name) : nullptr;
}

// The window's client area as the user sees it, in 8-bit grey.
QImage renderedGrey(QWidget* window) {
    return window->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
}

class Form2Test : public ::testing::Test {
protected:
    void SetUp() override {
        Form2::showSingleInstance();
        ASSERT_NE(Form2::openInstance(), nullptr);
    }
    void TearDown() override {
        if (Form2::openInstance()) Form2::openInstance()->close();
        processDeletes();
    }
};

TEST_F(Form2Test, IsAnOrdinaryResizableModelessTopLevelWindow) {
    Form2* form = Form2::openInstance();
    EXPECT_EQ(form->windowTitle(), "CODEC Information");
    EXPECT_EQ(form->windowType(), Qt::Window);
    EXPECT_EQ(form->parentWidget(), nullptr);  // no owner: its own task-bar button
    EXPECT_EQ(form->size(), kClientSize);
    EXPECT_NE(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Form2Test, HoldsExactlyItsTwoControlsAtTheirPlaces) {
    ASSERT_NE(control("Label1"), nullptr);
    ASSERT_NE(control("Picture1"), nullptr);
    EXPECT_EQ(control("Label1")->geometry(), kLabel1Rect);
    EXPECT_EQ(control("Picture1")->geometry(), kPicture1Rect);
    EXPECT_EQ(Form2::openInstance()->findChildren<QWidget*>().size(), 2);
}

TEST_F(Form2Test, Label1CarriesTheCaptionInBold11PixelFont) {
    QLabel* label = control("Label1");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(),
              "This is alist of allowed combinations for the Quorra Transcoder.   If set wrong, "
              "the typical error is 2001 - Error in command parameters");
    EXPECT_TRUE(label->wordWrap());
    const QFontInfo font(label->font());
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_TRUE(font.bold());
    EXPECT_FALSE(font.italic());
    EXPECT_FALSE(font.underline());
    EXPECT_FALSE(font.strikeOut());
}

TEST_F(Form2Test, Label1CutsItsTextOffAtItsBottomEdge) {
    QLabel* label = control("Label1");
    ASSERT_NE(label, nullptr);
    // The caption needs more height than the label has, and the label does not grow for it.
    EXPECT_GT(label->heightForWidth(kLabel1Rect.width()), kLabel1Rect.height());
    EXPECT_EQ(label->height(), kLabel1Rect.height());
    // The text starts at the top: the first line is whole, so the top two pixel rows are blank
    // and ink follows within the first line.
    const QImage image = label->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    auto rowHasInk = [&](int y) {
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) return true;
        return false;
    };
    EXPECT_FALSE(rowHasInk(0));
    bool firstLineInked = false;
    for (int y = 1; y < 11; ++y) firstLineInked |= rowHasInk(y);
    EXPECT_TRUE(firstLineInked);
}

TEST_F(Form2Test, Picture1ShowsTheChartUnscaledInsideASunkenBorder) {
    QLabel* picture = control("Picture1");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->frameWidth(), 2);
    EXPECT_EQ(picture->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(picture->contentsRect().size(), kChartRect.size());
    const QImage shown = renderedGrey(Form2::openInstance()).copy(kChartRect);
    EXPECT_TRUE(shown == kqc::codecChart()) << "the window does not show the chart pixel for pixel";
}

TEST_F(Form2Test, ResizingMovesNothingAndNeverScrolls) {
    Form2* form = Form2::openInstance();
    for (const QSize size : {QSize(1100, 1000), QSize(300, 200), kClientSize}) {
        form->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(control("Label1")->geometry(), kLabel1Rect) << size.width();
        EXPECT_EQ(control("Picture1")->geometry(), kPicture1Rect) << size.width();
    }
    EXPECT_TRUE(form->findChildren<QScrollBar*>().isEmpty());
    EXPECT_TRUE(form->findChildren<QAbstractScrollArea*>().isEmpty());

    // Shrunk, the chart is cut off at the window's edge, still unscaled from its top-left corner.
    form->resize(300, 200);
    const QImage shown = renderedGrey(form);
    const QRect visible = kChartRect.intersected(QRect(QPoint(0, 0), form->size()));
    EXPECT_TRUE(shown.copy(visible) ==
                kqc::codecChart().copy(visible.translated(-kChartRect.topLeft())));
}

TEST_F(Form2Test, ShowingAgainKeepsOneWindow) {
    Form2* first = Form2::openInstance();
    Form2::showSingleInstance();
    EXPECT_EQ(Form2::openInstance(), first);
    EXPECT_EQ(openChartWindows(), 1);

    first->showMinimized();
    Form2::showSingleInstance();
    EXPECT_EQ(Form2::openInstance(), first);
    EXPECT_FALSE(first->isMinimized());
    EXPECT_EQ(openChartWindows(), 1);
}

TEST_F(Form2Test, ClosingUnloadsAndTheNextShowLoadsAfresh) {
    QPointer<Form2> first = Form2::openInstance();
    control("Label1")->setText("changed");
    control("Label1")->move(0, 0);
    first->close();
    processDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(Form2::openInstance(), nullptr);
    EXPECT_EQ(openChartWindows(), 0);

    Form2::showSingleInstance();
    ASSERT_NE(Form2::openInstance(), nullptr);
    EXPECT_TRUE(control("Label1")->text().startsWith("This is alist"));
    EXPECT_EQ(control("Label1")->geometry(), kLabel1Rect);
    EXPECT_EQ(Form2::openInstance()->size(), kClientSize);
    EXPECT_EQ(openChartWindows(), 1);
}

// A plain widget stands in for the main window. The program's event loop ends when the last
// window closes; it must run on after the main window closes while the chart is open.
TEST_F(Form2Test, ProgramOutlivesTheMainWindowWhileTheChartIsOpen) {
    ASSERT_TRUE(QGuiApplication::quitOnLastWindowClosed());
    Form2::openInstance()->close();
    processDeletes();

    auto* mainWindow = new QWidget;
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    mainWindow->show();
    Form2::showSingleInstance();
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);

    bool chartOpenAfterMainClosed = false;
    QTimer::singleShot(0, mainWindow, &QWidget::close);
    QTimer::singleShot(1, qApp, [&] {
        chartOpenAfterMainClosed =
            lastClosed.count() == 0 && Form2::openInstance() && Form2::openInstance()->isVisible();
        if (Form2::openInstance()) Form2::openInstance()->close();
    });
    // Only guards against a hang if the loop never ends; no time is asserted.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(2); });
    guard.start(30000);
    const int exitCode = QApplication::exec();

    EXPECT_EQ(exitCode, 0) << "the event loop did not end when the last window closed";
    EXPECT_TRUE(chartOpenAfterMainClosed);
    EXPECT_EQ(lastClosed.count(), 1);
    EXPECT_EQ(Form2::openInstance(), nullptr);
}

}  // namespace
