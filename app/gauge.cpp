#include "app/gauge.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <cstdint>

namespace kstbell {

double GaugeFraction(int minValue, int maxValue, int progress) {
    // 64-bit arithmetic: the difference of two ints may not fit an int.
    const std::int64_t low = minValue;
    const std::int64_t high = maxValue;
    const std::int64_t value = progress;
    if (high <= low) return value >= high ? 1.0 : 0.0;
    if (value <= low) return 0.0;
    if (value >= high) return 1.0;
    return static_cast<double>(value - low) / static_cast<double>(high - low);
}

TGauge::TGauge(QWidget* parent) : QWidget(parent) {}

void TGauge::SetState(int minValue, int maxValue, int progress, const QColor& foreColor) {
    if (minValue == min_ && maxValue == max_ && progress == progress_ && foreColor == foreColor_)
        return;
    const int filledBefore = FilledWidth();
    const bool colorChanged = foreColor != foreColor_;
    min_ = minValue;
    max_ = maxValue;
    progress_ = progress;
    foreColor_ = foreColor;
    if (colorChanged || FilledWidth() != filledBefore) update();
}

int TGauge::FilledWidth() const {
    return static_cast<int>(std::lround(Fraction() * width()));
}

void TGauge::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int filled = FilledWidth();
    painter.fillRect(QRect(0, 0, filled, height()), foreColor_);
    painter.fillRect(QRect(filled, 0, width() - filled, height()), Qt::white);
}

}  // namespace kstbell
