#include "TLineSeries.h"

#include <QPen>

#include <algorithm>
#include <limits>

TLineSeries::TLineSeries(const QColor &colour, bool active, QObject *parent)
    : QLineSeries(parent), m_active(active) {
    QPen pen(colour);
    pen.setWidth(1);
    setPen(pen);
    setPointsVisible(false);
    setPointLabelsVisible(false);
    if (m_active) {
        m_points.reserve(PointCount);
        for (int i = 0; i < PointCount; ++i) m_points.append(QPointF(i, 0.0));
        replace(m_points);
    } else {
        setVisible(false);
    }
}

void TLineSeries::SetYValues(const double *values, std::size_t count) {
    if (!m_active || values == nullptr) return;
    const int n = static_cast<int>(std::min<std::size_t>(count, PointCount));
    for (int i = 0; i < n; ++i) m_points[i].setY(values[i]);
    Publish();
}

void TLineSeries::SetAllYValues(double value) {
    if (!m_active) return;
    for (QPointF &p : m_points) p.setY(value);
    Publish();
}

double TLineSeries::YValue(int i) const {
    if (i < 0 || i >= m_points.size()) return 0.0;
    return m_points[i].y();
}

double TLineSeries::MaxYValue() const {
    double top = -std::numeric_limits<double>::infinity();
    for (const QPointF &p : m_points) top = std::max(top, p.y());
    return top;
}

void TLineSeries::Publish() { replace(m_points); }
