#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace kqc {

// Keeps the system from suspending on idle while it lives: logind's "sleep:idle" inhibitor lock,
// asked for on the system bus without waiting and held until destruction. Without logind
// nothing is held.
class SleepInhibitor : public QObject {
public:
    SleepInhibitor();

private:
    QDBusUnixFileDescriptor m_lock;  // logind releases the lock once every copy is closed
};

}  // namespace kqc
