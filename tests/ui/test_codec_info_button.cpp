// "Codec Info" on the main window opens the one codec information window, modeless.
#include "ui/form1.h"
#include "ui/form2.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace kqc {
namespace {

int codecWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->windowTitle() == "CODEC Information") ++count;
    return count;
}

TEST(CodecInfoButton, OpensOneModelessWindowAgainAfterItWasClosed) {
    Form1 form;
    form.show();
    const Form1Controls& c = form.controls();
    c.cmdCodecInfo->click();
    c.cmdCodecInfo->click();
    QApplication::processEvents();
    EXPECT_EQ(codecWindows(), 1);
    ASSERT_NE(Form2::openInstance(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Form2::openInstance()->parentWidget(), nullptr) << "shown without an owner";

    // The main window keeps taking input while the chart is open.
    c.cmbTarget_Format->setFocus();
    c.cmbTarget_Format->setEditText("");
    QTest::keyClicks(c.cmbTarget_Format, "ogg");
    EXPECT_EQ(c.cmbTarget_Format->currentText(), "ogg");

    Form2::openInstance()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Form2::openInstance(), nullptr);
    c.cmdCodecInfo->click();
    EXPECT_EQ(codecWindows(), 1);
    Form2::openInstance()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace kqc
