#include "resources/codec_chart.h"

namespace kqc {

QImage codecChart() {
    return QImage(QStringLiteral(":/codec_chart.png"));
}

}  // namespace kqc
