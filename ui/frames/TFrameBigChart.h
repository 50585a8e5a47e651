#pragma once
// TFrameBigChart: one large chart of the "Server Graphs" view (design size 343 x 348): black
// margins of 15 px left, top and right, the chart in Panel5, and under it in Panel2 three value
// labels (LabelSeries2 lime, LabelSeries3 yellow, LabelSeries1 red) laid out by how many of them
// are visible. The chart's three lines are Series1 red, Series2 lime and Series3 yellow.
//
// The embedding view designs each chart once (Design): titles, axis range, which series are in
// use (the others are inactive and hold no points) and which labels show. It then writes the Y
// values and label texts at every refresh; this frame knows nothing of the model.
//
// Main thread only.

#include <QWidget>

#include <memory>

namespace Ui {
class TFrameBigChart;
}

class QFrame;
class QLabel;
class TChart;
class TLineSeries;

class TFrameBigChart : public QWidget {
    Q_OBJECT
public:
    // What differs between the view's five charts.
    struct stBigChartDesign {
        const char *Title;      // chart title, right-aligned
        const char *AxisTitle;  // left-axis title
        double Maximum;         // design maximum of the fixed left axis
        double Minimum;         // axis minimum, never changed afterwards
        bool UseSeries1, UseSeries2, UseSeries3;
        bool ShowLabel1, ShowLabel2, ShowLabel3;
        bool CentreLabel2;  // LabelSeries2 centred (a chart with that one label only)
    };

    explicit TFrameBigChart(QWidget *parent = nullptr);
    ~TFrameBigChart() override;

    // Once, right after creation: creates the three series (the unused ones inactive) and sets
    // the chart and labels up; then lays the labels out.
    void Design(const stBigChartDesign &design);

    // Label layout by the labels' visibility and Panel5's width (the frame's resize event).
    void FrameResize();

    TChart *Chart1 = nullptr;
    TLineSeries *Series1 = nullptr;  // red
    TLineSeries *Series2 = nullptr;  // lime
    TLineSeries *Series3 = nullptr;  // yellow
    QLabel *LabelSeries1 = nullptr;  // red, right-aligned
    QLabel *LabelSeries2 = nullptr;  // lime, left-aligned
    QLabel *LabelSeries3 = nullptr;  // yellow, centred
    QFrame *Panel5 = nullptr;        // the chart's room

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    std::unique_ptr<Ui::TFrameBigChart> ui;
};
