// Renders the program's scalable icon into the fixed-size PNGs of the hicolor icon theme.
// Usage: icon-renderer [--compare] <icon.svg> <hicolor folder>
// Writes <hicolor folder>/<N>x<N>/apps/<icon name>.png for every size the theme ships; with
// --compare, checks instead that the PNGs there hold the same pixels (PNG encoders of other
// library versions write other bytes for the same image).
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdio>

namespace {

constexpr std::array kSizes = {48, 64, 128, 256};
// 96 dots per inch, so the images carry the same scale on every machine.
constexpr int kDotsPerMeter = 3780;
constexpr int kLargestDifference = 2;

int fail(const QString& message) {
    std::fprintf(stderr, "icon-renderer: %s\n", qPrintable(message));
    return 1;
}

// Largest difference of one colour channel between two images of the same size (256 when the
// sizes differ). Anti-aliased edges shift by a step or two between rasteriser versions.
int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 256;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int shift : {0, 8, 16, 24})
                largest = std::max(largest, std::abs(int((p >> shift) & 255) - int((q >> shift) & 255)));
        }
    return largest;
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
    QStringList args = app.arguments();
    const bool compare = args.size() == 4 && args[1] == QStringLiteral("--compare");
    if (compare) args.removeAt(1);
    if (args.size() != 3) return fail("usage: icon-renderer [--compare] <icon.svg> <hicolor folder>");

    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) return fail(args[1] + ": not a valid SVG image");
    const QString name = QFileInfo(args[1]).completeBaseName();
    for (int size : kSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[2]).arg(size);
        const QString file = folder + '/' + name + ".png";
        if (compare) {
            const int difference =
                largestDifference(QImage(file).convertToFormat(QImage::Format_ARGB32), render(svg, size));
            if (difference > kLargestDifference)
                return fail(QStringLiteral("%1: stale (a channel differs by %2), rebuild the app_icons target")
                                .arg(file).arg(difference));
            continue;
        }
        if (!QDir().mkpath(folder)) return fail(folder + ": cannot create the folder");
        QImageWriter writer(file, "png");
        if (!writer.write(render(svg, size))) return fail(file + ": " + writer.errorString());
    }
    return 0;
}
