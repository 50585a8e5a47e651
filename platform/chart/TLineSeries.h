#pragma once
// One line of a TChart: PointCount points whose X values are 0..PointCount-1, X 0 the oldest
// sample and X PointCount-1 the current one. Only the Y values change after creation, and a
// refresh rewrites them in one call, which asks the chart for one repaint.
//
// Main thread only. Created and owned by its TChart (AddSeries); never delete one yourself.

#include <QColor>

#include <array>
#include <cstddef>

class TChart;

class TLineSeries {
public:
    static constexpr int PointCount = 120;

    TLineSeries(const TLineSeries &) = delete;
    TLineSeries &operator=(const TLineSeries &) = delete;

    // An active series holds PointCount points (Y = 0 at creation); an inactive one holds none
    // and is not drawn (a component that a view does not use).
    bool Active() const { return IsActive; }
    int Count() const { return IsActive ? PointCount : 0; }
    QColor Colour() const { return LineColour; }

    // Rewrites the Y values of points 0..count-1 (count is capped at PointCount; points beyond
    // count keep their value). Does nothing on an inactive series or without values.
    void SetYValues(const double *values, std::size_t count);
    // Sets every point's Y value to value.
    void SetAllYValues(double value);

    // Y value of point i; 0 for an index out of range or an inactive series.
    double YValue(int i) const;
    // Largest finite Y value; -infinity when there is none (inactive, or nothing finite).
    double MaxYValue() const;

private:
    friend class TChart;
    TLineSeries(TChart *owner, const QColor &colour, bool active);

    TChart *Owner;
    QColor LineColour;
    bool IsActive;
    std::array<double, PointCount> YValues{};  // index = X
};
