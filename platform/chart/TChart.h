#pragma once
// TChart: the line chart of the graph tiles (100 x 70 px) and of the large graphs. Two
// dimensional, dark grey background, no legend, no zooming or panning, no point markers or
// value marks, the bottom axis hidden (X runs over the series' 0..119 points). The left axis has
// a fixed minimum (set at design time) and a maximum that is either fixed or follows the data.
//
// Main thread only. The chart owns its series (AddSeries), axes and texts; it knows nothing of
// the model: a view writes Y values into the series and sets the axis.

#include "TLineSeries.h"

#include <QChartView>
#include <QColor>
#include <QFont>
#include <QString>

#include <vector>

class QChart;
class QGraphicsSimpleTextItem;
class QValueAxis;

class TChart : public QChartView {
    Q_OBJECT
public:
    // Colour 3158064: RGB 48, 48, 48, at both ends of the background.
    static QColor BackgroundColour() { return QColor(48, 48, 48); }

    explicit TChart(QWidget *parent = nullptr);
    ~TChart() override;

    // A new line in colour; active lines get TLineSeries::PointCount points with Y = 0.
    // The chart owns the series.
    TLineSeries *AddSeries(const QColor &colour, bool active = true);
    int SeriesCount() const { return static_cast<int>(m_series.size()); }
    TLineSeries *Series(int i) const;

    // Chart title, drawn above the plot area.
    void SetTitle(const QString &text);
    QString Title() const;
    void SetTitleStyle(const QFont &font, const QColor &colour,
                       Qt::Alignment alignment = Qt::AlignHCenter);

    // Foot text, drawn below the plot area ("Time" on the large graphs); empty by default.
    void SetFoot(const QString &text, const QFont &font, const QColor &colour,
                 Qt::Alignment alignment = Qt::AlignRight);
    QString Foot() const;

    // Left axis title (vertical, left of the plot) and tick labels.
    void SetAxisTitle(const QString &text);
    QString AxisTitle() const;
    void SetAxisTitleStyle(const QFont &font, const QColor &colour);
    void SetAxisLabelsVisible(bool visible);
    void SetAxisLabelsStyle(const QFont &font, const QColor &colour);

    // Left axis range. With AutomaticMaximum off the axis runs from Minimum to the fixed maximum
    // given to SetMaximum; with it on, the top follows the largest Y value of the active series
    // (recomputed after every rewrite) and the minimum stays where it is. Maximum() is the top
    // the axis shows now. When the data never rise above the minimum, the top is Minimum + 1.
    void SetAutomaticMaximum(bool automatic);
    bool AutomaticMaximum() const { return m_automaticMaximum; }
    void SetMaximum(double maximum);
    double Maximum() const;
    void SetMinimum(double minimum);
    double Minimum() const { return m_minimum; }

signals:
    // A mouse button went down on the chart (any button).
    void MouseDown(Qt::MouseButton button);
    // The left button was pressed and released on the chart.
    void Clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void ApplyRange();
    void LayoutTexts();

    QChart *m_chart;              // owned by the view (setChart)
    QValueAxis *m_axisX;          // hidden bottom axis, 0..PointCount-1
    QValueAxis *m_axisY;          // the left axis
    QGraphicsSimpleTextItem *m_title;  // children of m_chart
    QGraphicsSimpleTextItem *m_foot;
    Qt::Alignment m_titleAlignment = Qt::AlignHCenter;
    Qt::Alignment m_footAlignment = Qt::AlignRight;
    std::vector<TLineSeries *> m_series;  // children of m_chart
    bool m_automaticMaximum = false;
    double m_fixedMaximum = 100.0;
    double m_minimum = 0.0;
    bool m_pressed = false;
};
