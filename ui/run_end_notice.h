#pragma once

#include <QObject>
#include <QString>

#include <cstddef>

namespace kqc {

// The desktop's notice that a run has ended, for a user who is away from the window: a
// notification of the freedesktop service on the session bus, with an "Open Folder" action that
// opens the target folder. Without the service nothing shows, and nothing waits for it.
class RunEndNotice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void show(std::size_t saved, std::size_t notSaved, const QString& folder);

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    bool m_listening = false;
    uint m_id = 0;  // the service's number of the last notification, which the next replaces
    QString m_folder;
};

}  // namespace kqc
