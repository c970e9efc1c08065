#include "chart_painter.h"

#include "resources/chart_table.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <climits>
#include <cmath>

namespace kqc::chart {
namespace {

constexpr const char* kFamily = "DejaVu Sans";
constexpr int kPixelSize = 11;
constexpr int kGreyLevels = 32;
// Smallest blank kept between a line's ink and the next column.
constexpr int kMinColumnGap = 4;

struct Line {
    QString text;
    int offset;  // from the row's first line
};

QFont chartFont(bool bold) {
    QFont font(kFamily);
    font.setPixelSize(kPixelSize);
    font.setBold(bold);
    // Grey-scale anti-aliasing only: colour fringes would not survive the grey image.
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

std::vector<Line> cellLines(const Cell& cell) {
    std::vector<Line> lines;
    double y = 0;
    for (size_t p = 0; p < cell.size(); ++p) {
        bool paragraphStart = true;
        for (const QString& entry : cell[p]) {
            for (const QString& text : entry.split('\n')) {
                if (!lines.empty()) y += (paragraphStart && p > 0) ? kParagraphPitch : kLinePitch;
                lines.push_back({text, static_cast<int>(std::lround(y))});
                paragraphStart = false;
            }
        }
    }
    return lines;
}

int columnRight(int column) {
    return column + 1 < kColumnCount ? kColumnLeft[column + 1] - kMinColumnGap : kTextRight;
}

std::array<Cell, kColumnCount> headerCells() {
    std::array<Cell, kColumnCount> header;
    for (int c = 0; c < kColumnCount; ++c) header[c] = Cell{{kHeaders[c]}};
    return header;
}

// Pen position of each column: the same for every line of a column, so the text is plainly
// left-aligned, and chosen so the column's leftmost ink falls on its left edge.
std::array<int, kColumnCount> columnPens(const QFont& headerFont, const QFont& bodyFont) {
    std::array<int, kColumnCount> inkLeft;
    inkLeft.fill(INT_MAX);
    auto account = [&](const QFont& font, const std::array<Cell, kColumnCount>& cells) {
        const QFontMetrics metrics(font);
        for (int c = 0; c < kColumnCount; ++c)
            for (const Line& line : cellLines(cells[c]))
                inkLeft[c] = std::min(inkLeft[c], metrics.tightBoundingRect(line.text).left());
    };
    account(headerFont, headerCells());
    for (const Row& row : kRows) account(bodyFont, row.cells);
    std::array<int, kColumnCount> pens;
    for (int c = 0; c < kColumnCount; ++c) pens[c] = kColumnLeft[c] - inkLeft[c];
    return pens;
}

// Draws one row group with its lines on a common baseline grid whose topmost ink lies on `top`.
void drawRow(QPainter& painter, const QFont& font, const std::array<int, kColumnCount>& pens,
             int top, const std::array<Cell, kColumnCount>& cells, QStringList& problems) {
    const QFontMetrics metrics(font);
    std::array<std::vector<Line>, kColumnCount> lines;
    int inkAscent = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        lines[c] = cellLines(cells[c]);
        if (!lines[c].empty())
            inkAscent = std::max(inkAscent, -metrics.tightBoundingRect(lines[c][0].text).top());
    }
    painter.setFont(font);
    for (int c = 0; c < kColumnCount; ++c) {
        for (const Line& line : lines[c]) {
            if (pens[c] + metrics.tightBoundingRect(line.text).right() > columnRight(c))
                problems << QString("\"%1\" is too wide for its column").arg(line.text);
            painter.drawText(QPoint(pens[c], top + inkAscent + line.offset), line.text);
        }
    }
}

}  // namespace

void quantiseGreys(QImage& image) {
    constexpr int steps = kGreyLevels - 1;
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int step = (row[x] * steps + 127) / 255;
            row[x] = static_cast<uchar>((step * 255 + steps / 2) / steps);
        }
    }
}

QImage drawCodecChart(QStringList& problems) {
    const QFont plain = chartFont(false);
    const QFont bold = chartFont(true);
    for (const QFont& font : {plain, bold}) {
        const QFontInfo info(font);
        if (info.family() != kFamily || info.bold() != font.bold())
            problems << QString("font %1%2 is not available (found \"%3\")")
                            .arg(kFamily, font.bold() ? " Bold" : "", info.family());
    }
    if (!problems.isEmpty()) return {};

    QImage canvas(kWidth, kHeight, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(Qt::black);
        const std::array<int, kColumnCount> pens = columnPens(bold, plain);
        drawRow(painter, bold, pens, kHeaderTop, headerCells(), problems);
        painter.fillRect(kRuleLeft, kRuleTop, kRuleRight - kRuleLeft + 1, kRuleThickness,
                         Qt::black);
        for (const Row& row : kRows) drawRow(painter, plain, pens, row.top, row.cells, problems);
    }
    if (!problems.isEmpty()) return {};

    QImage grey = canvas.convertToFormat(QImage::Format_Grayscale8);
    quantiseGreys(grey);
    return grey;
}

}  // namespace kqc::chart
