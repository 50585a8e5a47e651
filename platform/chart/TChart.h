#pragma once
// TChart: the line chart of the graph tiles (100 x 70 px) and of the large graphs. Two
// dimensional, dark grey background, no legend, no zooming or panning, no point markers or
// value marks, the bottom axis hidden (X runs over the series' 0..119 points). The left axis has
// a fixed minimum (set at design time) and a maximum that is either fixed or follows the data.
//
// Painted with QPainter: the decoration (background, texts, grid, tick labels) is kept in a
// pixmap that is redrawn only when a text, a style, the size or the axis range changes; a
// repaint then draws that pixmap and the lines, and a rewrite of the lines alone repaints only
// the plot area. Lines are clipped to the plot area, and a
// stretch of a line that lies wholly below the minimum is not drawn at all (a series held at -1
// under a minimum of 0 shows nothing, however tall the axis).
//
// Main thread only. The chart owns its series; it knows nothing of the model: a view writes Y
// values into the series and sets the axis.

#include "TLineSeries.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class TChart : public QWidget {
    Q_OBJECT
public:
    // Colour 3158064: RGB 48, 48, 48, at both ends of the background.
    static QColor BackgroundColour() { return QColor(48, 48, 48); }

    explicit TChart(QWidget *parent = nullptr);
    ~TChart() override;

    // A new line in colour; active lines get TLineSeries::PointCount points with Y = 0.
    // The chart owns the series; they live as long as the chart.
    TLineSeries *AddSeries(const QColor &colour, bool active = true);
    int SeriesCount() const { return static_cast<int>(SeriesList.size()); }
    TLineSeries *Series(int i) const;

    // Chart title, drawn above the plot area (white, the widget's font, centred by default).
    void SetTitle(const QString &text);
    QString Title() const { return TitleText; }
    void SetTitleStyle(const QFont &font, const QColor &colour,
                       Qt::Alignment alignment = Qt::AlignHCenter);

    // Foot text, drawn below the plot area ("Time" on the large graphs); empty by default.
    void SetFoot(const QString &text, const QFont &font, const QColor &colour,
                 Qt::Alignment alignment = Qt::AlignRight);
    QString Foot() const { return FootText; }

    // Left axis title (vertical, left of the plot) and tick labels (shown by default).
    void SetAxisTitle(const QString &text);
    QString AxisTitle() const { return AxisTitleText; }
    void SetAxisTitleStyle(const QFont &font, const QColor &colour);
    void SetAxisLabelsVisible(bool visible);
    bool AxisLabelsVisible() const { return LabelsVisible; }
    void SetAxisLabelsStyle(const QFont &font, const QColor &colour);

    // Left axis range. With AutomaticMaximum off the axis runs from Minimum to the fixed maximum
    // given to SetMaximum (100 until set); with it on, the top follows the largest Y value of
    // the active series (recomputed after every rewrite) and the minimum stays where it is.
    // Maximum() is the top the axis shows now. When the data never rise above the minimum, or
    // a fixed maximum is not above it, the top is Minimum + 1.
    void SetAutomaticMaximum(bool automatic);
    bool AutomaticMaximum() const { return AutomaticMaximumOn; }
    void SetMaximum(double maximum);
    double Maximum() const { return Top; }
    void SetMinimum(double minimum);
    double Minimum() const { return AxisMinimum; }

    // The plot area in widget coordinates (where the lines are drawn), for tests and layout.
    QRect PlotArea();

signals:
    // A mouse button went down on the chart (any button; a double click counts as a press).
    // Wheel events are left to the parent (the tile panel scrolls); nothing zooms or pans.
    void MouseDown(Qt::MouseButton button);
    // The left button was pressed and released on the chart.
    void Clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    friend class TLineSeries;
    void SeriesChanged();  // a series was rewritten
    void ApplyRange();
    void Invalidate();  // the decoration must be redrawn
    void Layout();
    void PaintDecoration();
    QRect LinesArea() const;  // where the lines may be drawn: the plot inside its axis line
    void PaintSeries(QPainter &painter, const TLineSeries &series);

    std::vector<std::unique_ptr<TLineSeries>> SeriesList;
    QString TitleText, FootText, AxisTitleText;
    QFont TitleFont, FootFont, AxisTitleFont, LabelsFont;
    QColor TitleColour = Qt::white, FootColour = Qt::white;
    QColor AxisTitleColour = Qt::white, LabelsColour = Qt::white;
    Qt::Alignment TitleAlignment = Qt::AlignHCenter;
    Qt::Alignment FootAlignment = Qt::AlignRight;
    bool LabelsVisible = true;
    bool AutomaticMaximumOn = false;
    double FixedMaximum = 100.0;
    double AxisMinimum = 0.0;
    double Top = 100.0;  // the maximum shown now
    bool Dirty = true;   // Decoration and Plot are out of date
    QPixmap Decoration;
    QRect Plot;
    std::array<QPointF, TLineSeries::PointCount> Points;  // scratch: one line's points
    bool Pressed = false;
};
