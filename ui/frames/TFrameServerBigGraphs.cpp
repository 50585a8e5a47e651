#include "TFrameServerBigGraphs.h"

#include "DBServerInfoSource.h"
#include "DateTimeText.h"
#include "ExceptionDisplay.h"
#include "GraphRules.h"
#include "TChart.h"
#include "TFrameBigChart.h"
#include "TFrameServerTitleBar.h"
#include "TLineSeries.h"
#include "ui_TFrameServerBigGraphs.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kNoStatistic = -1;

// One large chart: its design, what feeds its three lines and labels, and its axis rule.
struct stBigChartRow {
    TFrameBigChart *TFrameServerBigGraphs::*Chart;
    TFrameBigChart::stBigChartDesign Design;
    int Stat1, Stat2, Stat3;  // Series1 red, Series2 lime, Series3 yellow; kNoStatistic unused
    const char *Prefix1, *Prefix2, *Prefix3;  // LabelSeries1, 2, 3
    const char *Suffix2;
    int Threshold;  // automatic axis from this largest value on; 0: the design axis stays
};

const stBigChartRow kCharts[] = {
    {&TFrameServerBigGraphs::ChartCPU,
     {"CPU Usage", "Processing %", 100, 0, false, true, false, false, true, false, true},
     kNoStatistic,
     ssCPUBusy,
     kNoStatistic,
     nullptr,
     "Current CPU: ",
     nullptr,
     "%",
     0},
    {&TFrameServerBigGraphs::ChartResponse,
     {"Response Time", "Milliseconds", 500, 0, false, true, false, false, true, false, true},
     kNoStatistic,
     ssResponseTime,
     kNoStatistic,
     nullptr,
     "Current Milliseconds: ",
     nullptr,
     "",
     500},
    // Session and user counts are not bounded by 100: past it the axis follows them.
    {&TFrameServerBigGraphs::ChartSessions,
     {"Sessions/ Users", "Connections", 100, 0, false, true, true, false, true, true, false},
     kNoStatistic,
     ssSessions,
     ssUsers,
     nullptr,
     "Sessions: ",
     "Users: ",
     "",
     100},
    {&TFrameServerBigGraphs::ChartPhysicalIO,
     {"Physical IO/ Sec", "Reads/ Writes", 500, -1, true, true, true, true, true, true, false},
     ssIOErrors,
     ssIOWrite,
     ssIORead,
     "Errored: ",
     "Written: ",
     "Read: ",
     "",
     500},
    {&TFrameServerBigGraphs::ChartNetworkIO,
     {"Network/ Sec", "Packets", 500, 0, true, true, true, true, true, true, false},
     ssPacketErrors,
     ssPacketsReceived,
     ssPacketsSent,
     "Errored: ",
     "Received: ",
     "Sent: ",
     "",
     500},
};

TServerStatistic Stat(int value) { return static_cast<TServerStatistic>(value); }

}  // namespace

TFrameServerBigGraphs::TFrameServerBigGraphs(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameServerBigGraphs>()) {
    ui->setupUi(this);
    FrameServerTitleBar1 = ui->FrameServerTitleBar1;
    ChartCPU = ui->ChartCPU;
    ChartResponse = ui->ChartResponse;
    ChartSessions = ui->ChartSessions;
    ChartPhysicalIO = ui->ChartPhysicalIO;
    ChartNetworkIO = ui->ChartNetworkIO;
    for (const stBigChartRow &row : kCharts) (this->*row.Chart)->Design(row.Design);
    connect(ui->btnAttemptReconnect, &QPushButton::clicked, this,
            kivra::Guarded([this] { btnAttemptReconnectClick(); }));
    ShowDesignState();
}

TFrameServerBigGraphs::~TFrameServerBigGraphs() = default;

void TFrameServerBigGraphs::SetServer(TDBServerInfo *server) {
    ServerInfo = server;
    const QString name = server ? QString::fromStdString(server->ServerName) : QString();
    kivra::SetLabelText(ui->LabelServerName, name);
    FrameServerTitleBar1->SetServerName(server ? server->ServerName : std::string());
}

void TFrameServerBigGraphs::RefreshGraphs() {
    if (ServerInfo == nullptr) {
        ShowDesignState();
        return;
    }
    const TDBServerInfo &server = *ServerInfo;
    const bool lost = server.Disconnected;
    ui->LabelServerDisconnected->setVisible(lost);
    ui->btnAttemptReconnect->setVisible(lost);

    for (const stBigChartRow &row : kCharts) {
        TFrameBigChart *chart = this->*row.Chart;
        if (row.Threshold > 0) {
            int largest = 0;
            for (int stat : {row.Stat1, row.Stat2, row.Stat3})
                if (stat != kNoStatistic)
                    largest = std::max(largest, server.GetStatisticMax(Stat(stat)));
            kivra::ApplyAxisRule(chart->Chart1, largest, row.Threshold);
        }
        if (row.Stat1 != kNoStatistic) kivra::FeedSeries(chart->Series1, server, Stat(row.Stat1));
        if (row.Stat2 != kNoStatistic) kivra::FeedSeries(chart->Series2, server, Stat(row.Stat2));
        if (row.Stat3 != kNoStatistic) kivra::FeedSeries(chart->Series3, server, Stat(row.Stat3));
        if (row.Prefix1)
            kivra::WriteValueLabel(chart->LabelSeries1, row.Prefix1, server, Stat(row.Stat1));
        if (row.Prefix2)
            kivra::WriteValueLabel(chart->LabelSeries2, row.Prefix2, server, Stat(row.Stat2),
                                   row.Suffix2);
        if (row.Prefix3)
            kivra::WriteValueLabel(chart->LabelSeries3, row.Prefix3, server, Stat(row.Stat3));
    }

    kivra::SetLabelText(ui->LabelServerRunningSince,
                        QString::fromStdString(server.GetUptimeText()));
    const TDateTime now = server.History[TDBServerInfo::kHistorySize - 1].ServerTime;
    kivra::SetLabelText(ui->LabelServerCurrentTime,
                        QString::fromStdString(kivra::DateTimeToStr(now)));
    kivra::SetLabelText(ui->LabelServerStartTime,
                        QString::fromStdString(kivra::DateTimeToStr(server.GetServerStartTime())));
}

void TFrameServerBigGraphs::ShowDesignState() {
    ui->LabelServerDisconnected->hide();
    ui->btnAttemptReconnect->hide();
    for (const stBigChartRow &row : kCharts) {
        TFrameBigChart *chart = this->*row.Chart;
        kivra::FixAxis(chart->Chart1, row.Design.Maximum);
        for (TLineSeries *series : {chart->Series1, chart->Series2, chart->Series3})
            series->SetAllYValues(0);
        if (row.Prefix1) kivra::SetLabelText(chart->LabelSeries1, QLatin1String(row.Prefix1) + '0');
        if (row.Prefix2)
            kivra::SetLabelText(chart->LabelSeries2,
                                QLatin1String(row.Prefix2) + '0' + QLatin1String(row.Suffix2));
        if (row.Prefix3) kivra::SetLabelText(chart->LabelSeries3, QLatin1String(row.Prefix3) + '0');
    }
    kivra::SetLabelText(ui->LabelServerName, QString());
    kivra::SetLabelText(ui->LabelServerCurrentTime, QString());
    kivra::SetLabelText(ui->LabelServerStartTime, QString());
    kivra::SetLabelText(ui->LabelServerRunningSince, QString());
    FrameServerTitleBar1->SetServerName(std::string());
}

void TFrameServerBigGraphs::btnAttemptReconnectClick() {
    if (ServerInfo == nullptr) return;
    // A failed reconnect has shown the connection error; the warning and the button stay.
    if (ServerInfo->Reconnect()) RefreshGraphs();
}

void TFrameServerBigGraphs::FrameResize() {
    const int w = width(), h = height();
    const int t = FrameServerTitleBar1->height();
    FrameServerTitleBar1->setGeometry(0, 0, w, t);
    const int a = w / 3;
    const int c = (h - t) / 2;
    const int middle = std::max(0, w - 2 * a);
    const int top = std::max(0, c);
    // The rows meet: the bottom row starts where the top row ends and reaches the frame's foot.
    const int bottom = std::max(0, h - t - c);
    ui->PanelServerInfo->setGeometry(1, t, a, top);
    ChartCPU->setGeometry(a, t, middle, top);
    ChartResponse->setGeometry(w - a, t, a, top);
    ChartSessions->setGeometry(0, t + c, a, bottom);
    ChartNetworkIO->setGeometry(a, t + c, middle, bottom);
    ChartPhysicalIO->setGeometry(w - a, t + c, a, bottom);
    QLabel *running = ui->LabelServerRunningSince;
    running->resize(std::max(0, a - 50), running->height());
}

void TFrameServerBigGraphs::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    kivra::RunGuarded([this] { FrameResize(); });
}
