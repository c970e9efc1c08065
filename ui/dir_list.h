#pragma once

#include <QListWidget>
#include <QString>

namespace kqc {

// Directory list: the chain of directories from the root down to the current directory, followed
// by the current directory's subdirectories. Opening an entry (double-click or Enter) makes it the
// current directory and raises changed().
class DirList : public QListWidget {
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Makes dir current and raises changed() when it differs from the current directory. False,
    // with nothing changed, when dir cannot be listed.
    bool setPath(const QString& dir);

signals:
    void changed();
    // An entry the user opened that cannot be listed; the list keeps its current directory.
    void openFailed(const QString& dir);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openEntry(QListWidgetItem* item);
    void fill();

    QString m_path;
};

}  // namespace kqc
