// The large graphs as drawn offscreen, fed from a model whose history the test writes: the axis
// rules, lines and value labels of the five charts, the information panel, the layout of the
// frame and of a chart's labels, and the design state without a bound server.

#include "DateTimeText.h"
#include "HistoryFeed.h"
#include "TChart.h"
#include "TFrameBigChart.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameServerTitleBar.h"
#include "TLineSeries.h"
#include "WidgetProbe.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

using namespace graphs_test;

namespace {

constexpr int kNotFed = -1;

class BigGraphs : public ::testing::Test {
protected:
    void SetUp() override {
        Model = MakeModel();
        View.resize(1032, 716);
        View.show();
        View.SetServer(Model.get());
    }

    QLabel *Label(const char *name) { return Child<QLabel>(View, name); }
    QWidget *Widget(const char *name) { return Child<QWidget>(View, name); }
    TFrameBigChart *Chart(const char *name) { return Child<TFrameBigChart>(View, name); }

    std::unique_ptr<TDBServerInfo> Model;
    TFrameServerBigGraphs View;
};

// Response time, physical IO and network follow the data from 500 (over the largest of their
// lines), sessions and users from 100; CPU stays at 100.
TEST_F(BigGraphs, AxisFollowsTheDataFromItsThresholdOtherwiseStaysFixedThere) {
    const struct {
        const char *chart;
        TServerStatistic stat;
        int value;
        bool automatic;
        double fixedAt;
    } cases[] = {
        {"ChartResponse", ssResponseTime, 499, false, 500},
        {"ChartResponse", ssResponseTime, 500, true, 0},
        {"ChartPhysicalIO", ssIORead, 499, false, 500},
        {"ChartPhysicalIO", ssIORead, 500, true, 0},
        {"ChartPhysicalIO", ssIOWrite, 600, true, 0},
        {"ChartPhysicalIO", ssIOErrors, 500, true, 0},
        {"ChartNetworkIO", ssPacketsSent, 499, false, 500},
        {"ChartNetworkIO", ssPacketsReceived, 600, true, 0},
        {"ChartNetworkIO", ssPacketErrors, 500, true, 0},
        {"ChartSessions", ssSessions, 99, false, 100},
        {"ChartSessions", ssSessions, 100, true, 0},
        {"ChartSessions", ssUsers, 100, true, 0},
        {"ChartSessions", ssSessions, 480, true, 0},
        {"ChartCPU", ssCPUBusy, 100, false, 100},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.chart) + " at " + std::to_string(c.value) + " of statistic " +
                     std::to_string(c.stat));
        Model = MakeModel();
        View.SetServer(Model.get());
        SetSample(*Model, 64, c.stat, c.value);
        View.RefreshGraphs();
        TChart *chart = Chart(c.chart)->Chart1;
        EXPECT_EQ(chart->AutomaticMaximum(), c.automatic);
        EXPECT_EQ(chart->Maximum(), c.automatic ? c.value : c.fixedAt);
    }
}

TEST_F(BigGraphs, PhysicalIoAndNetworkAt600AreAutomaticHereWhileTheTileKeeps800) {
    SetSample(*Model, 10, ssIORead, 600);
    SetSample(*Model, 10, ssPacketsSent, 600);
    TFrameServerGraphsSmall tile;
    tile.ServerInfo = Model.get();
    View.RefreshGraphs();
    tile.RefreshGraphs();
    EXPECT_TRUE(Chart("ChartPhysicalIO")->Chart1->AutomaticMaximum());
    EXPECT_TRUE(Chart("ChartNetworkIO")->Chart1->AutomaticMaximum());
    for (const char *name : {"chrtPhysicalIO", "chrtNetwork"}) {
        TChart *small = Child<TChart>(tile, name);
        EXPECT_FALSE(small->AutomaticMaximum()) << name;
        EXPECT_EQ(small->Maximum(), 800) << name;
    }
}

TEST_F(BigGraphs, SampleOf500KeepsTheResponseAxisAutomaticUntilItLeavesTheHistory) {
    SetAll(*Model, ssResponseTime, 20);
    SetSample(*Model, 1, ssResponseTime, 500);
    TChart *chart = Chart("ChartResponse")->Chart1;
    View.RefreshGraphs();
    EXPECT_TRUE(chart->AutomaticMaximum());
    ShiftIn(*Model, ssResponseTime, 30);  // the 500 sample is now the oldest
    View.RefreshGraphs();
    EXPECT_TRUE(chart->AutomaticMaximum());
    ShiftIn(*Model, ssResponseTime, 30);  // and now gone
    View.RefreshGraphs();
    EXPECT_FALSE(chart->AutomaticMaximum());
    EXPECT_EQ(chart->Maximum(), 500);
}

TEST_F(BigGraphs, RefreshWritesTheLinesAndValueLabelsOfEveryChart) {
    const int bases[] = {1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10};  // by statistic
    for (int stat = 0; stat < 10; ++stat) SetRamp(*Model, TServerStatistic(stat), bases[stat]);
    View.RefreshGraphs();
    auto ramp = [&](int stat, int i) { return bases[stat] + i; };

    const struct {
        const char *chart;
        int series1, series2, series3;  // red, lime, yellow
        const char *label1, *label2, *label3;
    } charts[] = {
        {"ChartCPU", kNotFed, ssCPUBusy, kNotFed, nullptr, "Current CPU: 129%", nullptr},
        {"ChartResponse", kNotFed, ssResponseTime, kNotFed, nullptr, "Current Milliseconds: 1119",
         nullptr},
        {"ChartSessions", kNotFed, ssSessions, ssUsers, nullptr, "Sessions: 3119", "Users: 2119"},
        {"ChartPhysicalIO", ssIOErrors, ssIOWrite, ssIORead, "Errored: 9119", "Written: 8119",
         "Read: 7119"},
        {"ChartNetworkIO", ssPacketErrors, ssPacketsReceived, ssPacketsSent, "Errored: 6119",
         "Received: 5119", "Sent: 4119"},
    };
    for (const auto &c : charts) {
        SCOPED_TRACE(c.chart);
        TFrameBigChart *chart = Chart(c.chart);
        const struct {
            TLineSeries *series;
            int stat;
            QLabel *label;
            const char *text, *colour;
        } parts[] = {{chart->Series1, c.series1, chart->LabelSeries1, c.label1, "red"},
                     {chart->Series2, c.series2, chart->LabelSeries2, c.label2, "lime"},
                     {chart->Series3, c.series3, chart->LabelSeries3, c.label3, "yellow"}};
        for (const auto &p : parts) {
            // A series not in use holds no points.
            EXPECT_EQ(p.series->Count(), p.stat == kNotFed ? 0 : TLineSeries::PointCount);
            if (p.stat != kNotFed) {
                for (int i : {0, 77, 119}) EXPECT_EQ(p.series->YValue(i), ramp(p.stat, i));
            }
            EXPECT_EQ(p.label->isVisible(), p.text != nullptr);
            if (p.text == nullptr) continue;
            EXPECT_EQ(p.label->text().toStdString(), p.text);
            EXPECT_EQ(TextColour(p.label), p.colour);
        }
    }
}

TEST_F(BigGraphs, InformationPanelShowsNameTimesAndRunningTime) {
    Model->ServerStartTime = kivra::EncodeDateTime(2026, 12, 9, 6, 0, 0);
    const TDateTime now = kivra::EncodeDateTime(2026, 12, 10, 8, 3, 4);
    Model->History[TDBServerInfo::kHistorySize - 1].ServerTime = now;
    Model->ServerTime = now;
    View.RefreshGraphs();
    EXPECT_EQ(Label("LabelServerName")->text(), QStringLiteral("HOST\\ALPHA"));
    EXPECT_EQ(View.FrameServerTitleBar1->ServerNameText(), QStringLiteral("HOST\\ALPHA"));
    EXPECT_EQ(Label("LabelServerCurrentTime")->text().toStdString(), kivra::DateTimeToStr(now));
    EXPECT_EQ(Label("LabelServerStartTime")->text().toStdString(),
              kivra::DateTimeToStr(Model->ServerStartTime));
    EXPECT_EQ(Label("LabelServerRunningSince")->text(),
              QStringLiteral("Running for 1 days, 2 hours, 3 minutes and 4 seconds"));
    EXPECT_TRUE(Label("LabelServerRunningSince")->wordWrap());
    EXPECT_EQ(TextColour(Label("LabelServerRunningSince")), "white");
}

TEST_F(BigGraphs, WarningAndReconnectShowExactlyWhileTheServerIsLost) {
    for (bool lost : {false, true, false}) {
        Model->Disconnected = lost;
        View.RefreshGraphs();
        EXPECT_EQ(Widget("LabelServerDisconnected")->isVisible(), lost);
        EXPECT_EQ(Widget("btnAttemptReconnect")->isVisible(), lost);
    }
    Model->Disconnected = true;
    View.RefreshGraphs();
    EXPECT_EQ(Label("LabelServerDisconnected")->text(), QStringLiteral("Server Disconnected"));
    EXPECT_EQ(TextColour(Label("LabelServerDisconnected")), "red");
    EXPECT_EQ(Child<QPushButton>(View, "btnAttemptReconnect")->text(), QStringLiteral("Reconnect"));
    EXPECT_EQ(Widget("btnAttemptReconnect")->geometry(), QRect(31, 239, 75, 25));
}

// At 1032 x 716 with a 24 px title bar: a = 344, c = 346; the top row spans 24..370 and the
// bottom row 370..716, so the rows meet and the frame holds both.
TEST_F(BigGraphs, FrameLayoutPutsTwoRowsOfThreeThatMeet) {
    const struct {
        QSize size;
        QRect info, cpu, response, sessions, network, io;
        int runningWidth;
    } cases[] = {
        {{1032, 716},
         {1, 24, 344, 346},
         {344, 24, 344, 346},
         {688, 24, 344, 346},
         {0, 370, 344, 346},
         {344, 370, 344, 346},
         {688, 370, 344, 346},
         294},
        // Odd sizes: the middle column takes what the division leaves, the bottom row the odd
        // pixel of the height.
        {{1000, 601},
         {1, 24, 333, 288},
         {333, 24, 334, 288},
         {667, 24, 333, 288},
         {0, 312, 333, 289},
         {333, 312, 334, 289},
         {667, 312, 333, 289},
         283},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.size.width()) + " x " + std::to_string(c.size.height()));
        View.resize(c.size);
        EXPECT_EQ(View.FrameServerTitleBar1->geometry(), QRect(0, 0, c.size.width(), 24));
        EXPECT_EQ(Widget("PanelServerInfo")->geometry(), c.info);
        EXPECT_EQ(Chart("ChartCPU")->geometry(), c.cpu);
        EXPECT_EQ(Chart("ChartResponse")->geometry(), c.response);
        EXPECT_EQ(Chart("ChartSessions")->geometry(), c.sessions);
        EXPECT_EQ(Chart("ChartNetworkIO")->geometry(), c.network);
        EXPECT_EQ(Chart("ChartPhysicalIO")->geometry(), c.io);
        EXPECT_EQ(Chart("ChartSessions")->geometry().bottom() + 1, c.size.height());
        EXPECT_EQ(Widget("LabelServerRunningSince")->width(), c.runningWidth);
    }
}

// With Panel5 313 px wide: three labels of 104 px at 0, 104, 208 from Panel5's left (lime, yellow,
// red); two of 156 px; one across all 313.
TEST_F(BigGraphs, ChartLabelsAreLaidOutByHowManyShow) {
    View.resize(1029, 716);  // each column 343 px: Panel5 313 px
    const struct {
        const char *chart;
        std::vector<std::pair<const char *, QRect>> labels;  // relative to Panel5's left
    } cases[] = {
        {"ChartPhysicalIO",
         {{"LabelSeries2", {0, 16, 104, 13}},
          {"LabelSeries3", {104, 16, 104, 13}},
          {"LabelSeries1", {208, 16, 104, 13}}}},
        {"ChartNetworkIO",
         {{"LabelSeries2", {0, 16, 104, 13}},
          {"LabelSeries3", {104, 16, 104, 13}},
          {"LabelSeries1", {208, 16, 104, 13}}}},
        {"ChartSessions",
         {{"LabelSeries2", {0, 16, 156, 13}}, {"LabelSeries3", {156, 16, 156, 13}}}},
        {"ChartCPU", {{"LabelSeries2", {0, 16, 313, 13}}}},
        {"ChartResponse", {{"LabelSeries2", {0, 16, 313, 13}}}},
    };
    for (const auto &c : cases) {
        TFrameBigChart *chart = Chart(c.chart);
        ASSERT_EQ(chart->Panel5->width(), 313) << c.chart;
        for (const auto &[name, place] : c.labels) {
            QRect seen = Child<QLabel>(*chart, name)->geometry();
            seen.translate(-chart->Panel5->x(), 0);
            EXPECT_EQ(seen, place) << c.chart << " " << name;
        }
    }
    EXPECT_EQ(Chart("ChartCPU")->LabelSeries2->alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
}

TEST_F(BigGraphs, ChartsHaveTheirDesignTitlesAndAxes) {
    const struct {
        const char *chart, *title, *axisTitle;
        double minimum, maximum;
    } cases[] = {
        {"ChartCPU", "CPU Usage", "Processing %", 0, 100},
        {"ChartResponse", "Response Time", "Milliseconds", 0, 500},
        {"ChartSessions", "Sessions/ Users", "Connections", 0, 100},
        {"ChartPhysicalIO", "Physical IO/ Sec", "Reads/ Writes", -1, 500},
        {"ChartNetworkIO", "Network/ Sec", "Packets", 0, 500},
    };
    for (const auto &c : cases) {
        TChart *chart = Chart(c.chart)->Chart1;
        EXPECT_EQ(chart->Title().toStdString(), c.title);
        EXPECT_EQ(chart->AxisTitle().toStdString(), c.axisTitle);
        EXPECT_EQ(chart->Foot(), QStringLiteral("Time"));
        EXPECT_FALSE(chart->AutomaticMaximum());
        EXPECT_EQ(chart->Minimum(), c.minimum) << c.chart;
        EXPECT_EQ(chart->Maximum(), c.maximum) << c.chart;
    }
}

// Unbound, the view shows its design state and no click or refresh reaches a model: the model
// bound before is deleted here, so any touch of it would be a use after free.
TEST_F(BigGraphs, WithoutAServerTheDesignStateComesBackAndNothingTouchesAModel) {
    SetAll(*Model, ssResponseTime, 900);
    SetAll(*Model, ssSessions, 150);
    Model->Disconnected = true;
    View.RefreshGraphs();
    ASSERT_TRUE(Widget("btnAttemptReconnect")->isVisible());
    ASSERT_TRUE(Chart("ChartResponse")->Chart1->AutomaticMaximum());

    View.SetServer(nullptr);
    Model.reset();
    View.RefreshGraphs();
    Child<QPushButton>(View, "btnAttemptReconnect")->click();

    EXPECT_EQ(View.ServerInfo, nullptr);
    EXPECT_FALSE(Widget("LabelServerDisconnected")->isVisible());
    EXPECT_FALSE(Widget("btnAttemptReconnect")->isVisible());
    EXPECT_EQ(View.FrameServerTitleBar1->ServerNameText(), QString());
    for (const char *name : {"LabelServerName", "LabelServerCurrentTime", "LabelServerStartTime",
                             "LabelServerRunningSince"})
        EXPECT_EQ(Label(name)->text(), QString()) << name;
    EXPECT_EQ(Label("Label5")->text(), QStringLiteral("Current Server Time:"));
    EXPECT_EQ(Label("Label4")->text(), QStringLiteral("Server Start Time:"));
    EXPECT_EQ(Label("Label3")->text(), QStringLiteral("Server Running For:"));
    EXPECT_EQ(Chart("ChartCPU")->LabelSeries2->text(), QStringLiteral("Current CPU: 0%"));
    EXPECT_EQ(Chart("ChartSessions")->LabelSeries3->text(), QStringLiteral("Users: 0"));
    EXPECT_EQ(Chart("ChartNetworkIO")->LabelSeries1->text(), QStringLiteral("Errored: 0"));
    for (const auto &[name, designMaximum] :
         {std::pair{"ChartResponse", 500}, std::pair{"ChartSessions", 100}}) {
        TChart *chart = Chart(name)->Chart1;
        EXPECT_FALSE(chart->AutomaticMaximum()) << name;
        EXPECT_EQ(chart->Maximum(), designMaximum) << name;
        EXPECT_EQ(Chart(name)->Series2->YValue(50), 0) << name;
    }
}

TEST(BigGraphsUnbound, ShowsItsDesignStateBeforeAnyServer) {
    TFrameServerBigGraphs view;
    view.resize(1032, 716);
    view.show();
    view.RefreshGraphs();
    EXPECT_EQ(view.ServerInfo, nullptr);
    EXPECT_FALSE(Child<QWidget>(view, "LabelServerDisconnected")->isVisible());
    EXPECT_FALSE(Child<QWidget>(view, "btnAttemptReconnect")->isVisible());
    EXPECT_EQ(Child<QLabel>(view, "LabelServerName")->text(), QString());
    EXPECT_EQ(view.ChartResponse->LabelSeries2->text(), QStringLiteral("Current Milliseconds: 0"));
}

}  // namespace
