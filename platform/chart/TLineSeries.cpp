#include "TLineSeries.h"

#include "TChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

TLineSeries::TLineSeries(TChart *owner, const QColor &colour, bool active)
    : Owner(owner), LineColour(colour), IsActive(active) {}

void TLineSeries::SetYValues(const double *values, std::size_t count) {
    if (!IsActive || values == nullptr) return;
    const std::size_t n = std::min<std::size_t>(count, PointCount);
    std::copy(values, values + n, YValues.begin());
    Owner->SeriesChanged();
}

void TLineSeries::SetAllYValues(double value) {
    if (!IsActive) return;
    YValues.fill(value);
    Owner->SeriesChanged();
}

double TLineSeries::YValue(int i) const {
    if (!IsActive || i < 0 || i >= PointCount) return 0.0;
    return YValues[static_cast<std::size_t>(i)];
}

double TLineSeries::MaxYValue() const {
    double top = -std::numeric_limits<double>::infinity();
    if (!IsActive) return top;
    for (double y : YValues)
        if (std::isfinite(y)) top = std::max(top, y);
    return top;
}
