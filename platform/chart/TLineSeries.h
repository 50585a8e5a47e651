#pragma once
// One line of a TChart: a fixed number of points whose X values are 0..PointCount-1, X 0 the
// oldest sample and X PointCount-1 the current one. Only the Y values change after creation, and
// a refresh rewrites them in one call (one replace, one repaint), never point by point.
//
// Main thread only. Created and owned by its TChart (AddSeries); never delete one yourself.

#include <QLineSeries>
#include <QList>
#include <QPointF>

#include <cstddef>

class TLineSeries : public QLineSeries {
    Q_OBJECT
public:
    static constexpr int PointCount = 120;

    // An active series holds PointCount points with Y = 0; an inactive one holds none and is
    // hidden (a component that a view does not use).
    TLineSeries(const QColor &colour, bool active, QObject *parent = nullptr);

    bool Active() const { return m_active; }

    // Rewrites the Y values of points 0..count-1 (count is capped at PointCount; points beyond
    // count keep their value). Does nothing on an inactive series.
    void SetYValues(const double *values, std::size_t count);
    // Sets every point's Y value to value.
    void SetAllYValues(double value);

    // Y value of point i; 0 for an index out of range or an inactive series.
    double YValue(int i) const;
    // Largest Y value of the series; minimum of the (empty) range when inactive.
    double MaxYValue() const;

private:
    void Publish();

    bool m_active;
    QList<QPointF> m_points;  // the series' points as last published
};
