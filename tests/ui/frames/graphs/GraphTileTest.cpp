// The graph tile as drawn offscreen, fed from a model whose history the test writes: its
// pictures, the refresh rules (axes, lines, value labels), the five enlarge modes and the way
// back, the name bar's colours by selection and connection state, and the presses that select.

#include "DateTimeText.h"
#include "HistoryFeed.h"
#include "TChart.h"
#include "TFormMain.h"
#include "TFrameServerGraphsSmall.h"
#include "TLineSeries.h"
#include "WidgetProbe.h"

#include <QImageReader>
#include <QTest>

#include <gtest/gtest.h>

using namespace graphs_test;

namespace {

constexpr int kNotFed = -1;

class GraphTile : public ::testing::Test {
protected:
    // The tile is slot 3 of the main window, filled as a connect fills it (without a worker); the
    // slot is emptied again before the window goes, so the window never owns the test's model.
    void SetUp() override {
        Model = MakeModel();
        Tile.ServerInfo = Model.get();
        Tile.SetServerName("HOST\\ALPHA");
        Tile.SetOwner(&Form, 3);
        stDBConnections &slot = Form.Connections[3];
        slot.ServerName = "HOST\\ALPHA";
        slot.InUse = true;
        slot.ServerInfo = Model.get();
        slot.Graph = &Tile;
        Tile.show();
    }

    void TearDown() override { Form.Connections[3] = stDBConnections(); }

    TChart *Chart(const char *name) { return Child<TChart>(Tile, name); }
    QLabel *Label(const char *name) { return Child<QLabel>(Tile, name); }
    QWidget *Widget(const char *name) { return Child<QWidget>(Tile, name); }

    // Every statistic a ramp of its own (sample i = base + i), so each line shows what fed it.
    void FillRamps() {
        for (const auto &[stat, base] : kRampBases) SetRamp(*Model, stat, base);
    }
    static int RampAt(TServerStatistic stat, int i) {
        for (const auto &[s, base] : kRampBases)
            if (s == stat) return base + i;
        return 0;
    }

    // A press of button where a user would put the pointer: the child under it receives it.
    QWidget *PressAt(QPoint pos, Qt::MouseButton button) {
        QWidget *target = Tile.childAt(pos);
        if (target == nullptr) target = &Tile;
        QTest::mousePress(target, button, {}, target->mapFrom(&Tile, pos));
        QTest::mouseRelease(target, button, {}, target->mapFrom(&Tile, pos));
        return target;
    }

    static constexpr std::pair<TServerStatistic, int> kRampBases[] = {
        {ssResponseTime, 1000}, {ssUsers, 2000},           {ssSessions, 3000},
        {ssPacketsSent, 4000},  {ssPacketsReceived, 5000}, {ssPacketErrors, 6000},
        {ssIORead, 7000},       {ssIOWrite, 8000},         {ssIOErrors, 9000},
        {ssCPUBusy, 10},
    };

    TFormMain Form;
    std::unique_ptr<TDBServerInfo> Model;
    TFrameServerGraphsSmall Tile;
};

TEST(GraphTilePictures, DecodeAsJpegToTheirSizes) {
    const struct {
        const char *path;
        QSize size;
    } cases[] = {
        {":/images/GraphClose.jpg", {16, 16}},
        {":/images/GraphEnlarge.jpg", {11, 9}},
        {":/images/GraphRestore.jpg", {11, 9}},
    };
    for (const auto &c : cases) {
        QImageReader reader(QString::fromLatin1(c.path));
        EXPECT_EQ(reader.format(), QByteArray("jpeg")) << c.path;
        const QImage image = reader.read();
        EXPECT_FALSE(image.isNull()) << c.path << ": " << reader.errorString().toStdString();
        EXPECT_EQ(image.size(), c.size) << c.path;
    }
}

TEST_F(GraphTile, ShowsItsPicturesAtTheirSizes) {
    const struct {
        const char *image;
        QSize size;
    } cases[] = {
        {"Image1", {16, 16}},          {"ImageCPUMin", {11, 9}},
        {"ImageResponseMin", {11, 9}}, {"ImageProcessesMin", {11, 9}},
        {"ImagePhysicalMin", {11, 9}}, {"ImageNetworkMin", {11, 9}},
        {"ImageLargeMin", {11, 9}},
    };
    for (const auto &c : cases) {
        const QPixmap picture = Label(c.image)->pixmap();
        EXPECT_FALSE(picture.isNull()) << c.image;
        EXPECT_EQ(picture.size(), c.size) << c.image;
    }
    // The close image sits at the right end of the name bar.
    EXPECT_EQ(Tile.childAt(475, 8), Widget("Image1"));
}

TEST_F(GraphTile, DesignSizeAndPlaces) {
    EXPECT_EQ(Tile.size(), QSize(485, 203));
    const struct {
        const char *name;
        QRect place;
    } cases[] = {
        {"Panelallgraphs", {161, 19, 320, 185}}, {"PanelLargeGraph", {161, 19, 320, 185}},
        {"chrtCPUUsage", {0, 3, 100, 70}},       {"chrtResponseTime", {106, 3, 100, 70}},
        {"chrtProcesses", {212, 3, 100, 70}},    {"chrtPhysicalIO", {0, 94, 100, 70}},
        {"chrtNetwork", {106, 94, 100, 70}},     {"ChartLarge", {0, 0, 321, 166}},
        {"Shape1", {-15, 17, 485, 190}},         {"LabelServerName", {0, 0, 485, 18}},
    };
    for (const auto &c : cases) EXPECT_EQ(Widget(c.name)->geometry(), c.place) << c.name;
    EXPECT_EQ(Widget("ImageCPUMin")->pos(), QPoint(85, 1));
    EXPECT_EQ(Widget("ImageLargeMin")->pos(), QPoint(304, 5));
    EXPECT_EQ(Label("LabelServerName")->text(), QStringLiteral("  HOST\\ALPHA"));
    EXPECT_EQ(Label("LabelServerName2")->text(), QStringLiteral("  HOST\\ALPHA"));
    EXPECT_EQ(Label("LabelServerName")->textFormat(), Qt::PlainText);
    EXPECT_FALSE(Widget("LabelServerDisconnected")->isVisible());
    EXPECT_TRUE(Widget("Panelallgraphs")->isVisible());
    EXPECT_FALSE(Widget("PanelLargeGraph")->isVisible());
}

// Response time from 500, physical IO and network from 800 over the largest of their three lines,
// sessions and users from 100 (either count); CPU is a percentage and stays at 100. The enlarged
// chart follows the rule of the chart it shows.
TEST_F(GraphTile, AxisFollowsTheDataFromItsThresholdOtherwiseStaysFixedThere) {
    const struct {
        const char *chart;
        int largeMode;
        TServerStatistic stat;
        int value;
        bool automatic;
        double fixedAt;  // when not automatic
    } cases[] = {
        {"chrtResponseTime", 1, ssResponseTime, 499, false, 500},
        {"chrtResponseTime", 1, ssResponseTime, 500, true, 0},
        {"chrtPhysicalIO", 3, ssIORead, 799, false, 800},
        {"chrtPhysicalIO", 3, ssIORead, 600, false, 800},
        {"chrtPhysicalIO", 3, ssIORead, 800, true, 0},
        {"chrtPhysicalIO", 3, ssIOWrite, 800, true, 0},
        {"chrtPhysicalIO", 3, ssIOErrors, 800, true, 0},
        {"chrtNetwork", 4, ssPacketsSent, 799, false, 800},
        {"chrtNetwork", 4, ssPacketsSent, 800, true, 0},
        {"chrtNetwork", 4, ssPacketsReceived, 800, true, 0},
        {"chrtNetwork", 4, ssPacketErrors, 1200, true, 0},
        {"chrtProcesses", 2, ssSessions, 99, false, 100},
        {"chrtProcesses", 2, ssSessions, 100, true, 0},
        {"chrtProcesses", 2, ssUsers, 100, true, 0},
        {"chrtProcesses", 2, ssSessions, 480, true, 0},
        {"chrtCPUUsage", 0, ssCPUBusy, 100, false, 100},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.chart) + " at " + std::to_string(c.value) + " of statistic " +
                     std::to_string(c.stat));
        Model = MakeModel();
        Tile.ServerInfo = Form.Connections[3].ServerInfo = Model.get();
        SetSample(*Model, 37, c.stat, c.value);

        Tile.LargeChart = -1;
        Tile.RefreshGraphs();
        TChart *small = Chart(c.chart);
        EXPECT_EQ(small->AutomaticMaximum(), c.automatic);
        EXPECT_EQ(small->Maximum(), c.automatic ? c.value : c.fixedAt);

        Tile.LargeChart = c.largeMode;
        Tile.PrepareLargeChart();
        TChart *large = Chart("ChartLarge");
        EXPECT_EQ(large->AutomaticMaximum(), c.automatic);
        EXPECT_EQ(large->Maximum(), c.automatic ? c.value : c.fixedAt);
    }
}

TEST_F(GraphTile, RefreshWritesEveryLineAndValueLabelFromTheHistory) {
    FillRamps();
    Model->ServerStartTime = kivra::EncodeDateTime(2026, 12, 9, 6, 0, 0);
    Model->History[TDBServerInfo::kHistorySize - 1].ServerTime =
        kivra::EncodeDateTime(2026, 12, 10, 8, 3, 4);
    Model->ServerTime = Model->History[TDBServerInfo::kHistorySize - 1].ServerTime;
    Tile.RefreshGraphs();

    const struct {
        TLineSeries *series;
        TServerStatistic stat;
    } lines[] = {
        {Tile.seriesCPUUsage, ssCPUBusy},        {Tile.seriesResponseTime, ssResponseTime},
        {Tile.seriesSessions, ssSessions},       {Tile.seriesUsers, ssUsers},
        {Tile.seriesIOWritten, ssIOWrite},       {Tile.seriesIORead, ssIORead},
        {Tile.seriesIOErrored, ssIOErrors},      {Tile.seriesPacketsReceived, ssPacketsReceived},
        {Tile.seriesPacketsSent, ssPacketsSent}, {Tile.seriesPacketsErrored, ssPacketErrors},
    };
    for (const auto &l : lines) {
        ASSERT_EQ(l.series->Count(), TLineSeries::PointCount);
        for (int i : {0, 1, 60, 119}) EXPECT_EQ(l.series->YValue(i), RampAt(l.stat, i)) << l.stat;
    }

    const struct {
        const char *label, *text, *colour;
    } labels[] = {
        {"LabelCPU", "CPU: 129%", "lime"},
        {"LabelResponse", "ms: 1119", "lime"},
        {"LabelSessions", "S: 3119", "lime"},
        {"LabelUsers", "U: 2119", "yellow"},
        {"LabelPhysicalIOWritten", "W: 8119", "lime"},
        {"LabelPhysicalIORead", "R: 7119", "yellow"},
        {"LabelPhysicalIOErrored", "E: 9119", "red"},
        {"LabelPacketsRecieved", "R: 5119", "lime"},
        {"LabelPacketsSent", "S: 4119", "yellow"},
        {"LabelPacketsErrored", "E: 6119", "red"},
    };
    for (const auto &l : labels) {
        EXPECT_EQ(Label(l.label)->text().toStdString(), l.text) << l.label;
        EXPECT_EQ(TextColour(Label(l.label)), l.colour) << l.label;
    }
    EXPECT_EQ(Label("labelCurrentServerTime")->text().toStdString(),
              kivra::DateTimeToStr(kivra::EncodeDateTime(2026, 12, 10, 8, 3, 4)));
    EXPECT_EQ(Label("LabelServerUpTime")->text(), QStringLiteral("1d, 02h, 03m, 04s"));

    Tile.SetStartTime(Model->ServerStartTime);
    EXPECT_EQ(Label("labelServerStartTime")->text().toStdString(),
              kivra::DateTimeToStr(Model->ServerStartTime));
}

TEST_F(GraphTile, WithoutAModelARefreshTouchesNothing) {
    Tile.ServerInfo = nullptr;
    Tile.LargeChart = 3;
    Tile.PrepareLargeChart();
    Tile.RefreshGraphs();
    EXPECT_EQ(Label("LabelCPU")->text(), QStringLiteral("CPU: 0%"));
    EXPECT_EQ(Tile.seriesCPUUsage->YValue(119), 0);
}

// Each of the five charts, enlarged by a click on it and by a click on its enlarge image: the
// lines it feeds, the large labels shown with their texts and colours, titles; a click on the
// large chart or on the restore image goes back. Every click selects the tile's server.
TEST_F(GraphTile, FiveEnlargeModesAndTheWayBack) {
    FillRamps();
    const struct {
        const char *chart, *image;
        const char *title, *axisTitle;
        int green, yellow, red;             // statistics fed, kNotFed
        const char *left, *center, *right;  // texts of the large labels shown; nullptr hidden
        const char *leftColour, *centerColour, *rightColour;
    } modes[] = {
        {"chrtCPUUsage", "ImageCPUMin", "CPU Usage", "%", ssCPUBusy, kNotFed, kNotFed, nullptr,
         "CPU: 129%", nullptr, nullptr, "lime", nullptr},
        {"chrtResponseTime", "ImageResponseMin", "Response Time", "Milliseconds", ssResponseTime,
         kNotFed, kNotFed, nullptr, "Milliseconds: 1119", nullptr, nullptr, "lime", nullptr},
        {"chrtProcesses", "ImageProcessesMin", "Sessions/ Users", "Connections", ssSessions,
         ssUsers, kNotFed, "Sessions: 3119", nullptr, "Users: 2119", "lime", nullptr, "yellow"},
        {"chrtPhysicalIO", "ImagePhysicalMin", "Physical IO/ Sec", "IO", ssIOWrite, ssIORead,
         ssIOErrors, "Written: 8119", "Read: 7119", "Errors: 9119", "lime", "yellow", "red"},
        {"chrtNetwork", "ImageNetworkMin", "Network/ Sec", "Packets", ssPacketsReceived,
         ssPacketsSent, ssPacketErrors, "Received: 5119", "Sent: 4119", "Errored: 6119", "lime",
         "yellow", "red"},
    };
    for (int k = 0; k < 5; ++k) {
        const auto &m = modes[k];
        for (const char *clicked : {m.chart, m.image}) {
            SCOPED_TRACE(clicked);
            Form.SelectedServer = -1;
            QTest::mouseClick(Widget(clicked), Qt::LeftButton);
            EXPECT_EQ(Tile.LargeChart, k);
            EXPECT_EQ(Form.SelectedServer, 3);
            EXPECT_TRUE(Widget("PanelLargeGraph")->isVisible());
            EXPECT_FALSE(Widget("Panelallgraphs")->isVisible());

            TChart *large = Chart("ChartLarge");
            EXPECT_EQ(large->Title().toStdString(), m.title);
            EXPECT_EQ(large->AxisTitle().toStdString(), m.axisTitle);
            const struct {
                TLineSeries *series;
                int stat;
            } lines[] = {{Tile.LineSeriesGreen, m.green},
                         {Tile.LineSeriesYellow, m.yellow},
                         {Tile.LineSeriesRed, m.red}};
            for (const auto &l : lines)
                for (int i : {0, 59, 119})
                    EXPECT_EQ(l.series->YValue(i),
                              l.stat == kNotFed ? -1 : RampAt(TServerStatistic(l.stat), i));

            const struct {
                const char *label, *text, *colour;
            } labels[] = {{"LabelLargeLeft", m.left, m.leftColour},
                          {"LabelLargeCenter", m.center, m.centerColour},
                          {"LabelLargeRight", m.right, m.rightColour}};
            for (const auto &l : labels) {
                QLabel *label = Label(l.label);
                EXPECT_EQ(label->isVisible(), l.text != nullptr) << l.label;
                if (l.text == nullptr) continue;
                EXPECT_EQ(label->text().toStdString(), l.text) << l.label;
                EXPECT_EQ(TextColour(label), l.colour) << l.label;
            }

            Form.SelectedServer = -1;
            QTest::mouseClick(Widget(clicked == m.chart ? "ChartLarge" : "ImageLargeMin"),
                              Qt::LeftButton);
            EXPECT_EQ(Tile.LargeChart, -1);
            EXPECT_EQ(Form.SelectedServer, 3);
            EXPECT_TRUE(Widget("Panelallgraphs")->isVisible());
            EXPECT_FALSE(Widget("PanelLargeGraph")->isVisible());
        }
    }
}

TEST_F(GraphTile, LargeChartKeepsItsModeAcrossRefreshes) {
    FillRamps();
    QTest::mouseClick(Widget("chrtNetwork"), Qt::LeftButton);
    ShiftIn(*Model, ssPacketsSent, 77);
    Tile.RefreshGraphs();
    EXPECT_EQ(Tile.LargeChart, 4);
    EXPECT_EQ(Tile.LineSeriesYellow->YValue(119), 77);
    EXPECT_EQ(Label("LabelLargeCenter")->text(), QStringLiteral("Sent: 77"));
}

TEST_F(GraphTile, CpuChartEnlargedAfterAnAutomaticResponseChartIsFixedAt100) {
    SetSample(*Model, 80, ssResponseTime, 700);
    QTest::mouseClick(Widget("chrtResponseTime"), Qt::LeftButton);
    EXPECT_TRUE(Chart("ChartLarge")->AutomaticMaximum());
    EXPECT_EQ(Chart("ChartLarge")->Maximum(), 700);
    QTest::mouseClick(Widget("ChartLarge"), Qt::LeftButton);
    QTest::mouseClick(Widget("chrtCPUUsage"), Qt::LeftButton);
    EXPECT_FALSE(Chart("ChartLarge")->AutomaticMaximum());
    EXPECT_EQ(Chart("ChartLarge")->Maximum(), 100);
}

// The name bar: blue when selected (red text once the server is lost), grey when not, red when
// not selected and lost. The lost state shows from the refresh after the loss, with the
// "Server Disconnected" label.
TEST_F(GraphTile, NameBarColoursBySelectionAndConnectionState) {
    const QColor hotLight(0, 102, 204), grey(128, 128, 128), red(255, 0, 0), white(255, 255, 255);
    const struct {
        bool selected, lost;
        QColor background, text;
    } cases[] = {
        {true, false, hotLight, white},
        {true, true, hotLight, red},
        {false, false, grey, white},
        {false, true, red, white},
    };
    QLabel *bar = Label("LabelServerName");
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.selected ? "selected" : "not selected") +
                     (c.lost ? ", lost" : ", connected"));
        Model->Disconnected = c.lost;
        Tile.SetHighlight(c.selected);
        Tile.RefreshGraphs();
        EXPECT_EQ(Tile.Highlighted, c.selected);
        EXPECT_EQ(PixelAt(bar, 300, 9), c.background);
        EXPECT_GT(PixelsNear(bar, c.text), 10);
        if (c.text == red) {
            EXPECT_EQ(PixelsNear(bar, white), 0);
        }
        EXPECT_EQ(Widget("LabelServerDisconnected")->isVisible(), c.lost);
    }
}

TEST_F(GraphTile, LostServerTurnsTheBarRedAtTheNextRefreshWithoutANewSelection) {
    QLabel *bar = Label("LabelServerName");
    Tile.RefreshGraphs();
    EXPECT_EQ(PixelAt(bar, 300, 9), QColor(128, 128, 128));
    Model->Disconnected = true;
    EXPECT_EQ(PixelAt(bar, 300, 9), QColor(128, 128, 128));
    EXPECT_FALSE(Widget("LabelServerDisconnected")->isVisible());
    Tile.RefreshGraphs();
    EXPECT_EQ(PixelAt(bar, 300, 9), QColor(255, 0, 0));
    EXPECT_TRUE(Widget("LabelServerDisconnected")->isVisible());
    EXPECT_EQ(TextColour(Label("LabelServerDisconnected")), "red");
    Model->Disconnected = false;
    Tile.RefreshGraphs();
    EXPECT_EQ(PixelAt(bar, 300, 9), QColor(128, 128, 128));
    EXPECT_FALSE(Widget("LabelServerDisconnected")->isVisible());
}

// A press of either button on the tile's background, panels, name bar or time labels selects the
// server, as the pointer would deliver it.
TEST_F(GraphTile, PressOnTheBackgroundSelectsWithEitherButton) {
    const struct {
        QPoint pos;
        const char *expected;  // the widget under the pointer there
    } places[] = {
        {{5, 185}, "Shape1"},
        {{100, 8}, "LabelServerName"},
        {{20, 30}, "LabelServerName2"},
        {{20, 55}, "Label1"},
        {{40, 70}, "labelServerStartTime"},
        {{20, 85}, "Label2"},
        {{40, 100}, "labelCurrentServerTime"},
        {{20, 115}, "Label3"},
        {{40, 130}, "LabelServerUpTime"},
        {{263, 57}, "Panelallgraphs"},   // between two small charts
        {{421, 139}, "Panelallgraphs"},  // where no sixth chart is
    };
    for (const auto &p : places)
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            SCOPED_TRACE(std::string(p.expected) + (button == Qt::LeftButton ? " left" : " right"));
            Form.SelectedServer = -1;
            QWidget *target = PressAt(p.pos, button);
            EXPECT_EQ(target->objectName().toStdString(), p.expected);
            EXPECT_EQ(Form.SelectedServer, 3);
            EXPECT_EQ(Tile.LargeChart, -1);
        }

    // With a chart enlarged, its panel's background selects too.
    QTest::mouseClick(Widget("chrtCPUUsage"), Qt::LeftButton);
    Form.SelectedServer = -1;
    PressAt({161 + 150, 19 + 175}, Qt::RightButton);
    EXPECT_EQ(Form.SelectedServer, 3);
    EXPECT_EQ(Tile.LargeChart, 0);
}

TEST_F(GraphTile, RightPressOnAChartOrTheCloseImageNeitherSelectsNorEnlarges) {
    for (const char *name : {"chrtCPUUsage", "ImageNetworkMin", "Image1"}) {
        QTest::mouseClick(Widget(name), Qt::RightButton);
        EXPECT_EQ(Form.SelectedServer, -1) << name;
        EXPECT_EQ(Tile.LargeChart, -1) << name;
    }
}

}  // namespace
