#include "resources/chart_text.h"

#include "resources/chart_table.h"

#include <QStringList>

namespace kqc {

namespace {

QString unwrapped(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString cellText(const chart::Cell& cell) {
    QString text;
    for (const chart::Paragraph& paragraph : cell) {
        for (const QString& entry : paragraph) {
            if (!text.isEmpty()) text += text.endsWith(QLatin1Char(':')) ? " " : ", ";
            text += unwrapped(entry);
        }
    }
    return text;
}

}  // namespace

QString codecChartHeaders() {
    QStringList headers;
    for (const QString& header : chart::kHeaders) headers << unwrapped(header);
    return headers.join(", ");
}

QString codecChartText() {
    QStringList lines;
    for (const chart::Row& row : chart::kRows) {
        QStringList fields;
        for (int column = 0; column < chart::kColumnCount; ++column) {
            const QString text = cellText(row.cells[column]);
            if (!text.isEmpty()) fields << unwrapped(chart::kHeaders[column]) + ": " + text;
        }
        lines << fields.join("; ");
    }
    return lines.join('\n');
}

}  // namespace kqc
