// Renders the program's windows to PNG files without a display:
//   kqc_screenshots [output folder, default "docs"]
// The main window is rendered with the file-system root as the current directory, so the picture
// shows no path of the machine it was made on.
#include "ui/form1.h"
#if __has_include("ui/form2.h")
#include "ui/form2.h"
#define KQC_HAVE_FORM2 1
#endif

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

namespace {

bool save(QWidget& window, const QString& file) {
    window.show();
    QEventLoop settle;  // lets the window lay out and paint once
    QTimer::singleShot(100, &settle, &QEventLoop::quit);
    settle.exec();
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    const QString outPath = out.absolutePath();
    QDir::setCurrent(QDir::rootPath());

    kqc::Form1 form1;
    bool ok = save(form1, outPath + "/form1.png");
#ifdef KQC_HAVE_FORM2
    kqc::Form2::showSingleInstance();
    if (kqc::Form2* form2 = kqc::Form2::openInstance())
        ok = save(*form2, outPath + "/form2.png") && ok;
#endif
    return ok ? 0 : 1;
}
