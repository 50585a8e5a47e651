// The chart class with real widgets on the offscreen platform: series shape, one-call rewrites,
// the left axis rules, and what a grabbed picture shows.
#include "TChart.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

const QColor kLime(0, 255, 0);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);

// Made once and never destroyed: Qt's own globals are gone by the time statics are torn down.
QApplication &App() {
    static int argc = 1;
    static char name[] = "test_chart";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

std::array<double, TLineSeries::PointCount> Constant(double v) {
    std::array<double, TLineSeries::PointCount> a{};
    a.fill(v);
    return a;
}

// Near-colour test: lines are drawn without antialiasing but allow a little slack.
bool Near(QRgb p, const QColor &c) {
    return std::abs(qRed(p) - c.red()) < 40 && std::abs(qGreen(p) - c.green()) < 40 &&
           std::abs(qBlue(p) - c.blue()) < 40;
}

struct Found {
    int count = 0;
    int minY = 1 << 30, maxY = -1, minX = 1 << 30, maxX = -1;
};

Found Find(const QImage &img, const std::function<bool(QRgb)> &match) {
    Found f;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (match(img.pixel(x, y))) {
                ++f.count;
                f.minY = std::min(f.minY, y);
                f.maxY = std::max(f.maxY, y);
                f.minX = std::min(f.minX, x);
                f.maxX = std::max(f.maxX, x);
            }
    return f;
}

class ChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        chart = std::make_unique<TChart>();
        chart->resize(320, 200);
        chart->show();
        QApplication::processEvents();
    }
    QImage Grab() {
        QApplication::processEvents();
        return chart->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    std::unique_ptr<TChart> chart;
};

TEST_F(ChartTest, ActiveSeriesHold120PointsAtZeroAndInactiveOnesNone) {
    TLineSeries *a = chart->AddSeries(kLime);
    TLineSeries *b = chart->AddSeries(kRed, false);
    ASSERT_EQ(a->Count(), TLineSeries::PointCount);
    for (int i = 0; i < TLineSeries::PointCount; ++i) EXPECT_EQ(a->YValue(i), 0.0);
    EXPECT_EQ(a->Colour(), kLime);
    EXPECT_TRUE(a->Active());
    EXPECT_EQ(b->Count(), 0);
    EXPECT_FALSE(b->Active());
    EXPECT_EQ(chart->SeriesCount(), 2);
    EXPECT_EQ(chart->Series(1), b);
    EXPECT_EQ(chart->Series(2), nullptr);
    EXPECT_EQ(chart->Series(-1), nullptr);
}

TEST_F(ChartTest, ARewriteSetsEveryPointInOrder) {
    TLineSeries *s = chart->AddSeries(kLime);
    std::array<double, TLineSeries::PointCount> v{};
    for (int i = 0; i < TLineSeries::PointCount; ++i) v[i] = i * 2.5;
    s->SetYValues(v.data(), v.size());
    ASSERT_EQ(s->Count(), TLineSeries::PointCount);
    for (int i = 0; i < TLineSeries::PointCount; ++i) EXPECT_EQ(s->YValue(i), i * 2.5);
    EXPECT_DOUBLE_EQ(s->MaxYValue(), 119 * 2.5);
}

TEST_F(ChartTest, RewriteCountsAreCappedAndPartialWritesKeepTheRest) {
    struct Case {
        std::size_t count;
        int lastWritten;  // index of the last point that takes the new value
    };
    const Case cases[] = {{0, -1}, {1, 0}, {60, 59}, {120, 119}, {500, 119}};
    for (const Case &c : cases) {
        TLineSeries *s = chart->AddSeries(kYellow);
        s->SetAllYValues(7);
        std::vector<double> v(std::max<std::size_t>(c.count, 1), 3.0);
        s->SetYValues(v.data(), c.count);
        ASSERT_EQ(s->Count(), TLineSeries::PointCount) << c.count;
        for (int i = 0; i < TLineSeries::PointCount; ++i)
            EXPECT_EQ(s->YValue(i), i <= c.lastWritten ? 3.0 : 7.0) << c.count << " @" << i;
    }
    TLineSeries *inactive = chart->AddSeries(kRed, false);
    const auto v = Constant(5);
    inactive->SetYValues(v.data(), v.size());
    inactive->SetAllYValues(5);
    EXPECT_EQ(inactive->Count(), 0);
    EXPECT_EQ(inactive->YValue(0), 0.0);
    EXPECT_EQ(chart->AddSeries(kLime)->YValue(TLineSeries::PointCount), 0.0);
    chart->Series(0)->SetYValues(nullptr, 10);  // ignored, no crash
}

TEST_F(ChartTest, LeftAxisFixedOrAutomaticKeepsTheMinimum) {
    struct Case {
        const char *name;
        double minimum;
        bool automatic;
        double fixedMaximum;
        std::vector<std::vector<double>> data;  // constant value per series; NaN = inactive
        double expectedMaximum;
    };
    const double off = std::nan("");
    const std::vector<Case> cases = {
        {"fixed ignores data above", 0, false, 500, {{700}}, 500},
        {"fixed ignores data below", 0, false, 500, {{12}}, 500},
        {"automatic follows data", 0, true, 500, {{700}}, 700},
        {"automatic below fixed", 0, true, 500, {{12}}, 12},
        {"automatic takes largest series", 0, true, 800, {{5}, {900}, {30}}, 900},
        {"inactive series are not counted", 0, true, 800, {{5}, {off}}, 5},
        {"filler below minimum gives a valid range", 0, true, 100, {{-1}, {-1}}, 1},
        {"minimum -1 stays", -1, true, 500, {{600}}, 600},
        {"flat at minimum", -1, true, 500, {{-1}}, 0},
    };
    for (const Case &c : cases) {
        TChart ch;
        ch.SetMinimum(c.minimum);
        ch.SetMaximum(c.fixedMaximum);
        for (const auto &d : c.data) {
            const bool active = !std::isnan(d[0]);
            TLineSeries *s = ch.AddSeries(kLime, active);
            const auto v = Constant(active ? d[0] : 0);
            s->SetYValues(v.data(), v.size());
        }
        ch.SetAutomaticMaximum(c.automatic);
        EXPECT_EQ(ch.AutomaticMaximum(), c.automatic) << c.name;
        EXPECT_DOUBLE_EQ(ch.Maximum(), c.expectedMaximum) << c.name;
        EXPECT_DOUBLE_EQ(ch.Minimum(), c.minimum) << c.name;
    }
}

TEST_F(ChartTest, AutomaticMaximumFollowsEveryRewriteAndFixedReturns) {
    chart->SetMaximum(500);
    TLineSeries *s = chart->AddSeries(kLime);
    chart->SetAutomaticMaximum(true);
    auto v = Constant(10);
    v[119] = 650;
    s->SetYValues(v.data(), v.size());
    EXPECT_DOUBLE_EQ(chart->Maximum(), 650);
    v[119] = 40;  // the peak has left the history
    s->SetYValues(v.data(), v.size());
    EXPECT_DOUBLE_EQ(chart->Maximum(), 40);
    chart->SetAutomaticMaximum(false);
    EXPECT_DOUBLE_EQ(chart->Maximum(), 500);
    chart->SetMaximum(100);
    EXPECT_DOUBLE_EQ(chart->Maximum(), 100);
    // While automatic, a new fixed maximum is kept for later but not shown.
    chart->SetAutomaticMaximum(true);
    chart->SetMaximum(800);
    EXPECT_DOUBLE_EQ(chart->Maximum(), 40);
    chart->SetAutomaticMaximum(false);
    EXPECT_DOUBLE_EQ(chart->Maximum(), 800);
    EXPECT_DOUBLE_EQ(chart->Minimum(), 0);
}

TEST_F(ChartTest, TextsAreKept) {
    chart->SetTitle("Response Time");
    chart->SetAxisTitle("Milliseconds");
    chart->SetFoot("Time", QFont(), Qt::white);
    EXPECT_EQ(chart->Title(), "Response Time");
    EXPECT_EQ(chart->AxisTitle(), "Milliseconds");
    EXPECT_EQ(chart->Foot(), "Time");
}

TEST_F(ChartTest, BackgroundIsDarkGreyEverywhereWithoutData) {
    EXPECT_EQ(TChart::BackgroundColour(),
              QColor::fromRgb(3158064 & 0xFF, (3158064 >> 8) & 0xFF, (3158064 >> 16) & 0xFF));
    chart->SetAxisLabelsVisible(false);
    const QImage img = Grab();
    ASSERT_EQ(img.size(), QSize(320, 200));
    for (QPoint p : {QPoint(0, 0), QPoint(319, 0), QPoint(0, 199), QPoint(319, 199), QPoint(160, 3),
                     QPoint(200, 120)})
        EXPECT_EQ(QColor(img.pixel(p)), TChart::BackgroundColour()) << p.x() << "," << p.y();
    // Nothing but grey shades: no legend box, no coloured decoration.
    const Found coloured = Find(img, [](QRgb p) {
        return std::abs(qRed(p) - qGreen(p)) > 20 || std::abs(qGreen(p) - qBlue(p)) > 20;
    });
    EXPECT_EQ(coloured.count, 0);
}

TEST_F(ChartTest, ALineIsDrawnWhereItsValueIsAndMovesWithARewrite) {
    chart->SetMaximum(100);
    TLineSeries *s = chart->AddSeries(kLime);
    auto low = Constant(10);
    s->SetYValues(low.data(), low.size());
    const Found a = Find(Grab(), [](QRgb p) { return Near(p, kLime); });
    ASSERT_GT(a.count, 100);
    EXPECT_LE(a.maxY - a.minY, 2);    // a flat line
    EXPECT_GT(a.maxX - a.minX, 200);  // across the plot, no markers widening it
    auto high = Constant(90);
    s->SetYValues(high.data(), high.size());
    const Found b = Find(Grab(), [](QRgb p) { return Near(p, kLime); });
    ASSERT_GT(b.count, 100);
    EXPECT_LT(b.maxY, a.minY - 80) << "the rewrite must show at the next paint";
}

TEST_F(ChartTest, ValuesBelowTheMinimumOrAboveAFixedMaximumDrawNothingOutsideThePlot) {
    chart->SetMaximum(100);
    TLineSeries *below = chart->AddSeries(kRed);
    TLineSeries *above = chart->AddSeries(kYellow);
    TLineSeries *inside = chart->AddSeries(kLime);
    below->SetAllYValues(-1);
    above->SetAllYValues(250);
    inside->SetAllYValues(50);
    const QImage img = Grab();
    const Found lime = Find(img, [](QRgb p) { return Near(p, kLime); });
    ASSERT_GT(lime.count, 100);
    EXPECT_EQ(Find(img, [](QRgb p) { return Near(p, kRed); }).count, 0);
    // Clipped at the plot's top edge at most, never drawn into the title area above.
    const Found yellow = Find(img, [](QRgb p) { return Near(p, kYellow); });
    if (yellow.count > 0) {
        EXPECT_GT(yellow.minY, 0);
    }
}

TEST_F(ChartTest, TitleAndFootFollowTheirAlignment) {
    QFont f;
    f.setPixelSize(14);
    chart->SetAxisLabelsVisible(false);
    chart->SetTitle("Response Time");
    chart->SetTitleStyle(f, kYellow, Qt::AlignRight);
    chart->SetFoot("Time", f, kYellow, Qt::AlignLeft);
    QImage img = Grab();
    Found top = Find(img.copy(0, 0, 320, 30), [](QRgb p) { return Near(p, kYellow); });
    Found foot = Find(img.copy(0, 170, 320, 30), [](QRgb p) { return Near(p, kYellow); });
    ASSERT_GT(top.count, 0);
    ASSERT_GT(foot.count, 0);
    EXPECT_GT(top.minX, 160);
    EXPECT_LT(foot.maxX, 160);

    chart->SetTitleStyle(f, kYellow, Qt::AlignHCenter);
    img = Grab();
    top = Find(img.copy(0, 0, 320, 30), [](QRgb p) { return Near(p, kYellow); });
    ASSERT_GT(top.count, 0);
    EXPECT_LT(top.minX, 160);
    EXPECT_GT(top.maxX, 160);
}

TEST_F(ChartTest, MouseGivesDownAndClickButNeverZoomsOrPans) {
    chart->SetMaximum(100);
    chart->AddSeries(kLime)->SetAllYValues(50);
    QSignalSpy down(chart.get(), &TChart::MouseDown);
    QSignalSpy clicked(chart.get(), &TChart::Clicked);
    QTest::mousePress(chart.get(), Qt::RightButton, {}, QPoint(100, 100));
    QTest::mouseRelease(chart.get(), Qt::RightButton, {}, QPoint(100, 100));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(clicked.count(), 0);
    QTest::mouseClick(chart.get(), Qt::LeftButton, {}, QPoint(150, 90));
    EXPECT_EQ(down.count(), 2);
    EXPECT_EQ(clicked.count(), 1);

    const QImage before = Grab();
    QTest::mousePress(chart.get(), Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseMove(chart.get(), QPoint(250, 150));
    QTest::mouseRelease(chart.get(), Qt::LeftButton, {}, QPoint(250, 150));
    QWheelEvent wheel(QPointF(100, 100), chart->mapToGlobal(QPointF(100, 100)), QPoint(),
                      QPoint(0, 240), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart.get(), &wheel);
    EXPECT_FALSE(wheel.isAccepted()) << "the wheel belongs to the scrolling panel around";
    EXPECT_DOUBLE_EQ(chart->Maximum(), 100);
    EXPECT_DOUBLE_EQ(chart->Minimum(), 0);
    EXPECT_EQ(Grab(), before);
}

TEST_F(ChartTest, LinesSitWhereTheirValuesMapInThePlotArea) {
    struct Case {
        double minimum, maximum, value, fraction;  // fraction of the plot height from the bottom
    };
    const Case cases[] = {{0, 100, 50, 0.5},
                          {0, 100, 0, 0.0},
                          {0, 100, 100, 1.0},
                          {-1, 500, 249.5, 0.5},
                          {0, 800, 200, 0.25}};
    chart->SetAxisLabelsVisible(false);
    TLineSeries *s = chart->AddSeries(kLime);
    for (const Case &c : cases) {
        chart->SetMinimum(c.minimum);
        chart->SetMaximum(c.maximum);
        s->SetAllYValues(c.value);
        const QImage img = Grab();
        const QRect plot = chart->PlotArea();
        const Found f = Find(img, [](QRgb p) { return Near(p, kLime); });
        ASSERT_GT(f.count, 100) << c.value;
        const double expected = plot.bottom() - c.fraction * (plot.height() - 1);
        EXPECT_NEAR(f.minY, expected, 1.0) << c.value;
        EXPECT_LE(f.maxY - f.minY, 1) << c.value;
        EXPECT_GE(f.minX, plot.left());
        EXPECT_LE(f.maxX, plot.right());
        EXPECT_GT(f.maxX - f.minX, plot.width() - 4) << "X 0 at the left edge, X 119 at the right";
    }
}

TEST_F(ChartTest, AFillerBelowTheMinimumStaysInvisibleUnderATallAxis) {
    // However fine the axis, -1 under a minimum of 0 must not round onto the bottom line.
    TLineSeries *filler = chart->AddSeries(kRed);
    TLineSeries *data = chart->AddSeries(kLime);
    filler->SetAllYValues(-1);
    auto v = Constant(10);
    v[60] = 1e6;
    data->SetYValues(v.data(), v.size());
    chart->SetAutomaticMaximum(true);
    EXPECT_DOUBLE_EQ(chart->Maximum(), 1e6);
    const QImage img = Grab();
    EXPECT_EQ(Find(img, [](QRgb p) { return Near(p, kRed); }).count, 0);
    EXPECT_GT(Find(img, [](QRgb p) { return Near(p, kLime); }).count, 50);
}

TEST_F(ChartTest, NonFiniteValuesBreakTheLineAndDoNotMoveTheAxis) {
    TLineSeries *s = chart->AddSeries(kLime);
    auto v = Constant(40);
    v[30] = std::nan("");
    v[31] = std::numeric_limits<double>::infinity();
    s->SetYValues(v.data(), v.size());
    chart->SetAutomaticMaximum(true);
    EXPECT_DOUBLE_EQ(chart->Maximum(), 40);
    const QImage img = Grab();
    const QRect plot = chart->PlotArea();
    const Found f = Find(img, [](QRgb p) { return Near(p, kLime); });
    ASSERT_GT(f.count, 100);
    EXPECT_LE(f.maxY - f.minY, 1) << "no spike towards an infinite value";
    // The gap: no lime across X 30..31.
    const int gapX = plot.left() + (plot.width() - 1) * 30 / 119 + 2;
    int limeInGap = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        if (Near(img.pixel(gapX, y), kLime)) ++limeInGap;
    EXPECT_EQ(limeInGap, 0);
}

}  // namespace
