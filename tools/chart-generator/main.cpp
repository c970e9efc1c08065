// Draws the chart of allowed codec combinations and writes it as an 8-bit grey PNG.
// Usage: chart-generator <output.png>
#include "chart_painter.h"

#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

namespace {

// 96 dots per inch, so the image carries the same scale on every machine.
constexpr int kDotsPerMeter = 3780;

int fail(const QString& message) {
    std::fprintf(stderr, "chart-generator: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Needs no display: the chart is drawn on an image in memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) return fail("usage: chart-generator <output.png>");

    QStringList problems;
    QImage chart = kqc::chart::drawCodecChart(problems);
    if (chart.isNull()) return fail(problems.join("; "));
    chart.setDotsPerMeterX(kDotsPerMeter);
    chart.setDotsPerMeterY(kDotsPerMeter);

    QImageWriter writer(args[1], "png");
    if (!writer.write(chart)) return fail(args[1] + ": " + writer.errorString());
    return 0;
}
