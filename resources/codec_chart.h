#pragma once

#include <QImage>

namespace kqc {

// The chart of allowed codec combinations, as compiled into the program (690 x 779, 8-bit grey).
QImage codecChart();

}  // namespace kqc
