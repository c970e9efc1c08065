#include "ui/text_area.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace kqc {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The characters that the document turns into a paragraph break (a CR LF pair counts once).
bool isBreak(QChar c) {
    return c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c == QChar(0xfdd0) ||
           c == QChar(0xfdd1);
}

}  // namespace

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent) {
    // The whole log would otherwise stay in the undo history.
    setUndoRedoEnabled(false);
    connect(document(), &QTextDocument::contentsChange, this, &TextArea::onContentsChange);
}

std::string TextArea::text() const {
    return m_text.toUtf8().toStdString();
}

void TextArea::setText(std::string_view text) {
    m_text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    m_writing = true;
    setPlainText(m_text);
    m_writing = false;
}

void TextArea::append(std::string_view text) {
    appendToDocument(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TextArea::appendToDocument(const QString& added) {
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() == bar->maximum();
    const int keptValue = bar->value();
    const QTextCursor caret = textCursor();
    const int anchor = caret.anchor();
    const int position = caret.position();

    m_writing = true;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(added);
    m_writing = false;
    m_text += added;

    // Text inserted at the caret's own position carries the caret along; put it back.
    if (textCursor().anchor() != anchor || textCursor().position() != position) {
        QTextCursor restored(document());
        restored.setPosition(anchor);
        restored.setPosition(position, QTextCursor::KeepAnchor);
        setTextCursor(restored);
    }
    bar->setValue(followEnd ? bar->maximum() : keptValue);
}

// Index into m_text of a document position, walking on from a known pair of index and position.
qsizetype TextArea::textIndex(int documentPosition, qsizetype fromIndex, int fromPosition) const {
    qsizetype index = fromIndex;
    for (int at = fromPosition; at < documentPosition && index < m_text.size(); ++at) {
        const bool crLf =
            m_text[index] == u'\r' && index + 1 < m_text.size() && m_text[index + 1] == u'\n';
        index += crLf ? 2 : 1;
    }
    return index;
}

// A user edit: the same range is replaced in the kept text, with the document's paragraph breaks
// written as CR LF.
void TextArea::onContentsChange(int position, int charsRemoved, int charsAdded) {
    if (m_writing) return;
    const qsizetype from = textIndex(position, 0, 0);
    const qsizetype to = textIndex(position + charsRemoved, from, position);
    QTextCursor range(document());
    const int last = document()->characterCount() - 1;
    range.setPosition(qMin(position, last));
    range.setPosition(qMin(position + charsAdded, last), QTextCursor::KeepAnchor);
    QString inserted = range.selectedText();
    inserted.replace(QChar::ParagraphSeparator, kCrLf);
    m_text.replace(from, to - from, inserted);

    // The document reports some changes (at its very end, or of whole blocks) with counts that
    // do not match the text; then the kept text is taken from the document as it stands.
    int length = 0;
    int breaks = 0;
    for (qsizetype i = 0; i < m_text.size(); ++i, ++length) {
        if (!isBreak(m_text[i])) continue;
        ++breaks;
        if (m_text[i] == u'\r' && i + 1 < m_text.size() && m_text[i + 1] == u'\n') ++i;
    }
    if (length != last || breaks != document()->blockCount() - 1) resyncFromDocument();
}

void TextArea::resyncFromDocument() {
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin()) text += kCrLf;
        text += block.text();
    }
    m_text = text;
}

}  // namespace kqc
