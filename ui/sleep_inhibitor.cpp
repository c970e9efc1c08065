#include "ui/sleep_inhibitor.h"

#include "client/defaults.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace kqc {

SleepInhibitor::SleepInhibitor() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep:idle")
            << QString::fromUtf8(kProgramName.data(), qsizetype(kProgramName.size()))
            << QStringLiteral("Transcoding files") << QStringLiteral("block");
    // The watcher is a child: once this is gone, a lock that comes later is dropped with the call.
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(inhibit), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QDBusUnixFileDescriptor> lock = *call;
                if (lock.isValid()) m_lock = lock.value();
                call->deleteLater();
            });
}

}  // namespace kqc
