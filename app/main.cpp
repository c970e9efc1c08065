#include "ui/form1.h"
#include "ui/window_settings.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Ties the window to its menu entry and the installed icon (the Wayland app id, X11 hints).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.korvane.QuorraClient"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("com.korvane.QuorraClient")));
    kqc::Form1 form;
    form.rememberSettingsIn(kqc::WindowSettingsPath());
    form.show();
    return app.exec();
}
