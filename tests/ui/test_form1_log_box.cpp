// The text areas of the main window keep the exact text written to them, take the user's typing
// into it, never move the caret and follow new lines only while the view is at the bottom.
#include "test_form1_support.h"
#include "ui/text_area.h"

#include <gtest/gtest.h>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>

#include <functional>
#include <string>

namespace kqc {
namespace {

class LogBox : public ::testing::Test {
protected:
    void SetUp() override {
        box.resize(401, 185);
        box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    }
    void putCaret(int position) {
        QTextCursor caret(box.document());
        caret.setPosition(position);
        box.setTextCursor(caret);
    }
    void appendLines(int count) {
        for (int i = 0; i < count; ++i) box.append("\r\nline " + std::to_string(i));
    }
    QScrollBar* bar() { return box.verticalScrollBar(); }

    TextArea box;
};

TEST_F(LogBox, ReadsBackExactlyWhatWasWritten) {
    const std::string pieces[] = {"\r\n", "\r\nfirst", "\r\nlone\rCR and lone\nLF",
                                  "\r\n\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5", "\r\n"};
    std::string expected;
    for (const std::string& piece : pieces) {
        box.append(piece);
        expected += piece;
    }
    EXPECT_EQ(box.text(), expected);
    box.setText("a\r\nb");
    EXPECT_EQ(box.text(), "a\r\nb");
    EXPECT_EQ(box.toPlainText(), "a\nb");
}

struct EditCase {
    const char* name;
    int caret;  // document position
    std::function<void(QWidget*)> keys;
    std::string expected;
};

void PrintTo(const EditCase& row, std::ostream* out) {
    *out << row.name;
}

class LogBoxEdit : public LogBox, public ::testing::WithParamInterface<EditCase> {};

// The written text is "\r\nA\nB\r\nC": document lines "", "A", "B", "C"; the lone LF must
// survive edits elsewhere.
TEST_P(LogBoxEdit, UserEditsLandInTheKeptText) {
    box.append("\r\nA\nB\r\nC");
    box.setFocus();
    putCaret(GetParam().caret);
    GetParam().keys(box.focusWidget() ? box.focusWidget() : &box);
    EXPECT_EQ(box.text(), GetParam().expected);
    box.append("\r\nD");
    EXPECT_EQ(box.text(), GetParam().expected + "\r\nD");
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogBoxEdit,
    ::testing::Values(
        EditCase{"TypeAtEnd", 6, [](QWidget* w) { QTest::keyClicks(w, "xy"); }, "\r\nA\nB\r\nCxy"},
        EditCase{"TypeBeforeLastLine", 5, [](QWidget* w) { QTest::keyClicks(w, "x"); },
                 "\r\nA\nB\r\nxC"},
        EditCase{"EnterMakesCrLf", 2, [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); },
                 "\r\nA\r\n\nB\r\nC"},
        EditCase{"BackspaceJoinsOverLoneLf", 3,
                 [](QWidget* w) { QTest::keyClick(w, Qt::Key_Backspace); }, "\r\nAB\r\nC"},
        EditCase{"DeleteRemovesCrLfPair", 4, [](QWidget* w) { QTest::keyClick(w, Qt::Key_Delete); },
                 "\r\nA\nBC"},
        EditCase{"SelectAllAndType", 0,
                 [](QWidget* w) {
                     QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
                     QTest::keyClicks(w, "z");
                 },
                 "z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogBox, CaretStaysWhereItWas) {
    appendLines(3);
    putCaret(4);
    appendLines(2);
    EXPECT_EQ(box.textCursor().position(), 4);

    box.setText("");
    EXPECT_EQ(box.textCursor().position(), 0);
    appendLines(2);  // inserted at the caret's own position
    EXPECT_EQ(box.textCursor().position(), 0);
    EXPECT_EQ(box.textCursor().anchor(), 0);
}

TEST_F(LogBox, FollowsNewLinesAtTheBottomAndStaysWhenScrolledUp) {
    appendLines(60);
    ASSERT_GT(bar()->maximum(), 0);
    EXPECT_EQ(bar()->value(), bar()->maximum());

    bar()->setValue(5);
    appendLines(10);
    EXPECT_EQ(bar()->value(), 5);

    bar()->setValue(bar()->maximum());
    const int before = bar()->maximum();
    appendLines(10);
    EXPECT_GT(bar()->maximum(), before);
    EXPECT_EQ(bar()->value(), bar()->maximum());
}

}  // namespace
}  // namespace kqc
