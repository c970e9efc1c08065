#pragma once

#include <QImage>
#include <QStringList>

namespace kqc::chart {

// Draws the chart of allowed combinations as an 8-bit grey image with at most 32 grey levels.
// Returns a null image and fills `problems` when the font is missing or a line does not fit.
QImage drawCodecChart(QStringList& problems);

// Rounds every pixel to the nearest of 32 evenly spaced greys from black to white.
void quantiseGreys(QImage& image);

}  // namespace kqc::chart
