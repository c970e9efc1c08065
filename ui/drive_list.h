#pragma once

#include <QComboBox>
#include <QString>

namespace kqc {

// Drive list: the file-system roots and mount points of the machine, starting at the one that
// holds the process's current directory. Raises changed() when the user picks another drive.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    QString drive() const { return currentText(); }
    // Shows drive again without raising changed(), e.g. after a drive that could not be read.
    void setDrive(const QString& drive);

signals:
    void changed();
};

}  // namespace kqc
