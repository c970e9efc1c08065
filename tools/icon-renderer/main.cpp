// Renders the program's scalable icon into the fixed-size PNGs of the hicolor icon theme.
// Usage: icon-renderer <icon.svg> <hicolor folder>
// Writes <hicolor folder>/<N>x<N>/apps/<icon name>.png for every size the theme ships.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>

#include <array>
#include <cstdio>

namespace {

constexpr std::array kSizes = {48, 64, 128, 256};
// 96 dots per inch, so the images carry the same scale on every machine.
constexpr int kDotsPerMeter = 3780;

int fail(const QString& message) {
    std::fprintf(stderr, "icon-renderer: %s\n", qPrintable(message));
    return 1;
}

QImage render(QSvgRenderer& svg, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    image = image.convertToFormat(QImage::Format_ARGB32);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    // Needs no display: the icon is drawn on images in memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) return fail("usage: icon-renderer <icon.svg> <hicolor folder>");

    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) return fail(args[1] + ": not a valid SVG image");
    const QString name = QFileInfo(args[1]).completeBaseName();
    for (int size : kSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[2]).arg(size);
        if (!QDir().mkpath(folder)) return fail(folder + ": cannot create the folder");
        const QString file = folder + '/' + name + ".png";
        QImageWriter writer(file, "png");
        if (!writer.write(render(svg, size))) return fail(file + ": " + writer.errorString());
    }
    return 0;
}
