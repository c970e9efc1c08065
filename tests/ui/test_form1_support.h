#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <ostream>

// Readable failure messages for Qt values.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(", ").toStdString() << ']';
}
inline void PrintTo(const QColor& colour, std::ostream* out) {
    *out << colour.name().toStdString();
}

namespace kqc::test {

// What a message box showed before the test closed it.
struct SeenBox {
    SeenBox() = default;
    SeenBox(const SeenBox&) = delete;
    SeenBox& operator=(const SeenBox&) = delete;
    ~SeenBox() { delete waiter; }  // a box that never came must not be waited for any longer

    QPointer<QTimer> waiter;
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Waits (inside whatever event loop runs next) for a modal message box, records it, runs whileOpen
// and clicks its first button.
inline void closeNextMessageBox(SeenBox& seen, std::function<void()> whileOpen = {}) {
    auto* timer = new QTimer(qApp);
    seen.waiter = timer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, &seen, whileOpen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        timer->stop();
        timer->deleteLater();
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        if (whileOpen) whileOpen();
        box->buttons().first()->click();
    });
    timer->start();
}

}  // namespace kqc::test
