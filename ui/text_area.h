#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <string>
#include <string_view>

namespace kqc {

// A multi-line text area (the file list, the output log box). It keeps the exact text handed to it,
// CR LF pairs, lone CR or LF and all, next to the document that shows it line by line, so that
// reading the text back gives what was written. What the user types is carried into the kept text.
class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);

    std::string text() const;
    void setText(std::string_view text);
    // Adds text at the end without moving the caret. A view that shows the last line follows the
    // new lines; a view the user scrolled up stays where it is.
    void append(std::string_view text);
    // Adds text at the end of the kept text at once and to the display at the next flush: when
    // control returns to the event loop, before any user input, or on flushQueued(). Many lines
    // logged in a burst then cost one layout instead of one each.
    void queueAppend(std::string_view text);
    void flushQueued();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void appendToDocument(const QString& added);
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    qsizetype textIndex(int documentPosition, qsizetype fromIndex, int fromPosition) const;
    void resyncFromDocument();

    QString m_text;  // what the document shows
    QString m_queued;  // appended, not shown yet
    QTimer m_flushTimer;
    bool m_writing = false;
};

}  // namespace kqc
