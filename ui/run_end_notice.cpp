#include "ui/run_end_notice.h"

#include "client/defaults.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace kqc {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = kService;
const QString kAppId = QStringLiteral("com.korvane.QuorraClient");
const QString kOpenFolder = QStringLiteral("open-folder");

QString countsText(std::size_t saved, std::size_t notSaved) {
    const QString files = saved == 1 ? QStringLiteral("file") : QStringLiteral("files");
    return QStringLiteral("%1 %2 saved, %3 not saved.").arg(saved).arg(files).arg(notSaved);
}

}  // namespace

void RunEndNotice::show(std::size_t saved, std::size_t notSaved, const QString& folder) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    if (!m_listening)
        m_listening = bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"),
                                  this, SLOT(actionInvoked(uint, QString)));
    m_folder = folder;
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    notify << QString::fromUtf8(kProgramName.data(), qsizetype(kProgramName.size())) << m_id
           << kAppId << QStringLiteral("Transcoding Finished.") << countsText(saved, notSaved)
           << QStringList{kOpenFolder, QStringLiteral("Open Folder")}
           << QVariantMap{{QStringLiteral("desktop-entry"), kAppId}} << -1;
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<uint> id = *call;
                if (id.isValid()) m_id = id.value();
                call->deleteLater();
            });
}

void RunEndNotice::actionInvoked(uint id, const QString& action) {
    if (id == m_id && action == kOpenFolder)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_folder).absoluteFilePath()));
}

}  // namespace kqc
