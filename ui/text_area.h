#pragma once

#include <QPlainTextEdit>

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

private:
    void appendToDocument(const QString& added);
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    qsizetype textIndex(int documentPosition, qsizetype fromIndex, int fromPosition) const;
    void resyncFromDocument();

    QString m_text;  // what the document shows
    bool m_writing = false;
};

}  // namespace kqc
