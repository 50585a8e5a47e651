#include "TLineSeries.h"

#include "TChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

TLineSeries::TLineSeries(TChart *owner, const QColor &colour, bool active)
    : m_owner(owner), m_colour(colour), m_active(active) {}

void TLineSeries::SetYValues(const double *values, std::size_t count) {
    if (!m_active || values == nullptr) return;
    const std::size_t n = std::min<std::size_t>(count, PointCount);
    std::copy(values, values + n, m_y.begin());
    m_owner->SeriesChanged();
}

void TLineSeries::SetAllYValues(double value) {
    if (!m_active) return;
    m_y.fill(value);
    m_owner->SeriesChanged();
}

double TLineSeries::YValue(int i) const {
    if (!m_active || i < 0 || i >= PointCount) return 0.0;
    return m_y[static_cast<std::size_t>(i)];
}

double TLineSeries::MaxYValue() const {
    double top = -std::numeric_limits<double>::infinity();
    if (!m_active) return top;
    for (double y : m_y)
        if (std::isfinite(y)) top = std::max(top, y);
    return top;
}
