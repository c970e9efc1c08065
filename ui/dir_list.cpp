#include "ui/dir_list.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace kqc {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIndentPerLevel = 8;  // pixels

// Indents each entry by its depth below the root, icon included.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(index.data(kLevelRole).toInt() * kIndentPerLevel, 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }
};

bool canList(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

// The current directory's own chain: the root first, the directory itself last.
QStringList chainTo(const QString& dir) {
    QStringList chain;
    QDir at(dir);
    chain.prepend(at.absolutePath());
    while (at.cdUp()) chain.prepend(at.absolutePath());
    return chain;
}

QString entryName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? QDir::toNativeSeparators(path) : name;
}

}  // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::openEntry);
    setPath(QDir::currentPath());
}

bool DirList::setPath(const QString& dir) {
    if (!canList(dir)) return false;
    const QString path = QDir(dir).absolutePath();
    if (path == m_path) return true;
    m_path = path;
    fill();
    emit changed();
    return true;
}

void DirList::fill() {
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList chain = chainTo(m_path);
    int level = 0;
    for (const QString& dir : chain) {
        auto* item = new QListWidgetItem(openIcon, entryName(dir), this);
        item->setData(kPathRole, dir);
        item->setData(kLevelRole, level++);
    }
    setCurrentRow(count() - 1);
    const QFileInfoList subdirs = QDir(m_path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                             QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& subdir : subdirs) {
        auto* item = new QListWidgetItem(closedIcon, subdir.fileName(), this);
        item->setData(kPathRole, subdir.absoluteFilePath());
        item->setData(kLevelRole, level);
    }
}

void DirList::openEntry(QListWidgetItem* item) {
    if (!item) return;
    const QString dir = item->data(kPathRole).toString();
    if (!setPath(dir)) emit openFailed(dir);
}

void DirList::keyPressEvent(QKeyEvent* event) {
    // Enter opens the selected entry, as a double-click does, on every platform style.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace kqc
