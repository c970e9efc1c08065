#include "ui/drop_targets.h"

#include "ui/form1_controls.h"
#include "ui/text_area.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace kqc {

DropTargets::DropTargets(const Form1Controls& controls, QWidget& form)
    : QObject(&form), m_controls(controls), m_form(form) {
    controls.txtSourceDir->installEventFilter(this);
    controls.txtTargetDir->installEventFilter(this);
    // The window hands no drop to a disabled control such as the file list: one over it goes to
    // the window itself, which takes drops for that reason.
    form.setAcceptDrops(true);
    form.installEventFilter(this);
}

bool DropTargets::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    if (take(watched, drop->position(), *drop->mimeData(), type == QEvent::Drop))
        drop->acceptProposedAction();
    else
        drop->ignore();
    return true;
}

bool DropTargets::take(QObject* watched, QPointF point, const QMimeData& data, bool done) {
    if (watched == &m_form) {
        TextArea& list = *m_controls.txtSourceFilenames;
        const QStringList entries = entriesOf(data);
        if (!list.geometry().contains(point.toPoint()) || entries.isEmpty()) return false;
        if (done) {
            std::string text = list.text();
            for (const QString& entry : entries)
                text.append(text.empty() ? "" : "\r\n").append(entry.toUtf8().toStdString());
            list.setText(text);
        }
        return true;
    }
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls[0].isLocalFile() || !QFileInfo(urls[0].toLocalFile()).isDir())
        return false;
    if (done)
        static_cast<QLineEdit*>(watched)->setText(QDir::toNativeSeparators(urls[0].toLocalFile()));
    return true;
}

// The entries of dropped URLs, each the path below the Web Server Url; nothing when any URL is
// not below it.
QStringList DropTargets::entriesOf(const QMimeData& data) const {
    QString base = m_controls.txtURL->text();
    if (!base.endsWith(u'/')) base += u'/';
    const QUrl baseUrl(base);
    const qsizetype baseLength = baseUrl.path(QUrl::FullyDecoded).size();
    QStringList entries;
    for (const QUrl& url : data.urls()) {
        const bool web = url.scheme() == u"http" || url.scheme() == u"https";
        if (!web || !baseUrl.isParentOf(url)) return {};
        entries << url.path(QUrl::FullyDecoded).mid(baseLength);
    }
    return entries;
}

}  // namespace kqc
