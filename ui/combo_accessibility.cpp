#include "ui/combo_accessibility.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QPointer>

namespace kqc {

namespace {

// Qt's own interface for the box with the name changed; every other call goes to it. A box that
// cannot be edited has no edit field to carry its value, so it offers the value as read-only text.
class NamedComboBox : public QAccessibleInterface, public QAccessibleTextInterface {
public:
    NamedComboBox(QComboBox* box, QAccessibleInterface* inner)
        : m_box(box), m_inner(inner), m_innerId(QAccessible::uniqueId(inner)) {}
    ~NamedComboBox() override { QAccessible::deleteAccessibleInterface(m_innerId); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && m_box && !m_box->accessibleName().isEmpty())
            return m_box->accessibleName();
        return m_inner->text(t);
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface && m_box && !m_box->isEditable())
            return static_cast<QAccessibleTextInterface*>(this);
        return m_inner->interface_cast(type);
    }

    bool isValid() const override { return m_inner->isValid(); }
    QObject* object() const override { return m_inner->object(); }
    QWindow* window() const override { return m_inner->window(); }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        return m_inner->relations(match);
    }
    QAccessibleInterface* focusChild() const override { return m_inner->focusChild(); }
    QAccessibleInterface* childAt(int x, int y) const override { return m_inner->childAt(x, y); }
    QAccessibleInterface* parent() const override { return m_inner->parent(); }
    QAccessibleInterface* child(int index) const override { return m_inner->child(index); }
    int childCount() const override { return m_inner->childCount(); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return m_inner->indexOfChild(child);
    }
    void setText(QAccessible::Text t, const QString& text) override { m_inner->setText(t, text); }
    QRect rect() const override { return m_inner->rect(); }
    QAccessible::Role role() const override { return m_inner->role(); }
    QAccessible::State state() const override { return m_inner->state(); }
    QColor foregroundColor() const override { return m_inner->foregroundColor(); }
    QColor backgroundColor() const override { return m_inner->backgroundColor(); }

    // The value as text: no cursor, no selection, no character geometry.
    QString text(int startOffset, int endOffset) const override {
        return value().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(value().size()); }
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    QString value() const { return m_box ? m_box->currentText() : QString(); }

    QPointer<QComboBox> m_box;
    QAccessibleInterface* m_inner;  // kept in Qt's interface cache; deleted with the wrapper
    QAccessible::Id m_innerId;
};

bool g_makingInner = false;

QAccessibleInterface* comboBoxFactory(const QString&, QObject* object) {
    auto* box = qobject_cast<QComboBox*>(object);
    if (!box || g_makingInner) return nullptr;
    // Qt's own interface comes from the factories installed before this one.
    g_makingInner = true;
    QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(box);
    g_makingInner = false;
    return inner ? new NamedComboBox(box, inner) : nullptr;
}

}  // namespace

void AnnounceComboBoxNames() {
    static const bool installed = [] {
        QAccessible::installFactory(comboBoxFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace kqc
