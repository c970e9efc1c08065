#include "ui/drive_list.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>

namespace kqc {

namespace {

QStringList driveRoots() {
    QStringList roots;
    for (const QFileInfo& root : QDir::drives()) roots << root.absoluteFilePath();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        // Single files bind-mounted into place are mount points too, but not drives.
        if (volume.isValid() && QFileInfo(root).isDir() && !roots.contains(root)) roots << root;
    }
    roots.sort();
    return roots;
}

}  // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    addItems(driveRoots());
    const QString current = QStorageInfo(QDir::currentPath()).rootPath();
    setDrive(current.isEmpty() ? QDir::rootPath() : current);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

void DriveList::setDrive(const QString& drive) {
    const QSignalBlocker blocker(this);
    int index = findText(drive);
    if (index < 0) {
        addItem(drive);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

}  // namespace kqc
