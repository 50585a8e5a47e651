#include "TFrameServerGraphsSmall.h"

#include "ConnectionCommands.h"
#include "DBServerInfoSource.h"
#include "DateTimeText.h"
#include "ExceptionDisplay.h"
#include "GraphRules.h"
#include "GraphStyle.h"
#include "TChart.h"
#include "TLineSeries.h"
#include "ui_TFrameServerGraphsSmall.h"

#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>

namespace {

constexpr int kResponseThreshold = 500;
constexpr int kTrafficThreshold = 800;      // physical IO and network
constexpr int kConnectionsThreshold = 100;  // sessions and users: a count, not a percentage
constexpr int kLast = TDBServerInfo::kHistorySize - 1;

const QColor kHotLight(0, 102, 204);  // the system's hot-tracking colour
const QColor kNameBarGrey(128, 128, 128);

QString TwoSpaces(const std::string &name) {
    return QStringLiteral("  ") + QString::fromStdString(name);
}

// The name bar by selection and connection state.
QColor NameBarBackground(bool selected, bool disconnected) {
    if (selected) return kHotLight;
    return disconnected ? kivra::RedColour() : kNameBarGrey;
}

QColor NameBarText(bool selected, bool disconnected) {
    return selected && disconnected ? kivra::RedColour() : QColor(Qt::white);
}

void DesignSmallChart(TChart *chart, const char *title, const char *axisTitle, double maximum) {
    chart->SetTitle(QString::fromLatin1(title));
    chart->SetTitleStyle(kivra::VerdanaFont(9), kivra::YellowColour());
    chart->SetAxisTitle(QString::fromLatin1(axisTitle));
    chart->SetAxisTitleStyle(kivra::VerdanaFont(9), kivra::YellowColour());
    chart->SetAxisLabelsVisible(false);
    kivra::FixAxis(chart, maximum);
}

}  // namespace

TFrameServerGraphsSmall::TFrameServerGraphsSmall(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameServerGraphsSmall>()) {
    ui->setupUi(this);

    DesignSmallChart(ui->chrtCPUUsage, "CPU Usage", "%", 100);
    DesignSmallChart(ui->chrtResponseTime, "Response Time", "Milliseconds", kResponseThreshold);
    DesignSmallChart(ui->chrtProcesses, "Sessions/ Users", "Connections", kConnectionsThreshold);
    DesignSmallChart(ui->chrtPhysicalIO, "Physical IO/ Sec", "IO", kTrafficThreshold);
    DesignSmallChart(ui->chrtNetwork, "Network/ Sec", "Packets", kTrafficThreshold);
    seriesCPUUsage = ui->chrtCPUUsage->AddSeries(kivra::LimeColour());
    seriesResponseTime = ui->chrtResponseTime->AddSeries(kivra::LimeColour());
    seriesSessions = ui->chrtProcesses->AddSeries(kivra::LimeColour());
    seriesUsers = ui->chrtProcesses->AddSeries(kivra::YellowColour());
    seriesIOWritten = ui->chrtPhysicalIO->AddSeries(kivra::LimeColour());
    seriesIORead = ui->chrtPhysicalIO->AddSeries(kivra::YellowColour());
    seriesIOErrored = ui->chrtPhysicalIO->AddSeries(kivra::RedColour());
    seriesPacketsReceived = ui->chrtNetwork->AddSeries(kivra::LimeColour());
    seriesPacketsSent = ui->chrtNetwork->AddSeries(kivra::YellowColour());
    seriesPacketsErrored = ui->chrtNetwork->AddSeries(kivra::RedColour());

    TChart *large = ui->ChartLarge;
    large->SetTitleStyle(kivra::VerdanaFont(11), kivra::YellowColour());
    large->SetAxisTitleStyle(kivra::VerdanaFont(9), kivra::YellowColour());
    large->SetAxisLabelsStyle(kivra::VerdanaFont(9), kivra::YellowColour());
    LineSeriesGreen = large->AddSeries(kivra::LimeColour());
    LineSeriesYellow = large->AddSeries(kivra::YellowColour());
    LineSeriesRed = large->AddSeries(kivra::RedColour());

    using kivra::Guarded;
    connect(ui->chrtCPUUsage, &TChart::Clicked, this, Guarded([this] { ImageCPUMinClick(); }));
    connect(ui->chrtResponseTime, &TChart::Clicked, this,
            Guarded([this] { ImageResponseMinClick(); }));
    connect(ui->chrtProcesses, &TChart::Clicked, this,
            Guarded([this] { ImageProcessesMinClick(); }));
    connect(ui->chrtPhysicalIO, &TChart::Clicked, this,
            Guarded([this] { ImagePhysicalMinClick(); }));
    connect(ui->chrtNetwork, &TChart::Clicked, this, Guarded([this] { ImageNetworkMinClick(); }));
    connect(ui->ChartLarge, &TChart::Clicked, this, Guarded([this] { ImageLargeMinClick(); }));
    ClickImages = {ui->Image1,           ui->ImageCPUMin,
                   ui->ImageResponseMin, ui->ImageProcessesMin,
                   ui->ImagePhysicalMin, ui->ImageNetworkMin,
                   ui->ImageLargeMin};
    for (QWidget *image : ClickImages) {
        image->setCursor(Qt::PointingHandCursor);
        image->installEventFilter(this);
    }
    SelectTargets = {ui->Shape1,
                     ui->Panelallgraphs,
                     ui->PanelLargeGraph,
                     ui->LabelServerName,
                     ui->LabelServerName2,
                     ui->Label1,
                     ui->Label2,
                     ui->Label3,
                     ui->labelServerStartTime,
                     ui->labelCurrentServerTime,
                     ui->LabelServerUpTime};
    for (QWidget *target : SelectTargets) target->installEventFilter(this);

    NameBarSheet = ui->LabelServerName->styleSheet();
    SetHighlight(false);
}

TFrameServerGraphsSmall::~TFrameServerGraphsSmall() = default;

// ---- Operations ---------------------------------------------------------------------------------

void TFrameServerGraphsSmall::SetServerName(const std::string &name) {
    ServerName = name;
    ui->LabelServerName->setText(TwoSpaces(name));
    ui->LabelServerName2->setText(TwoSpaces(name));
}

void TFrameServerGraphsSmall::SetOwner(TConnectionCommands *owner, int slot) {
    MainForm = owner;
    Slot = slot;
}

void TFrameServerGraphsSmall::SetStartTime(TDateTime value) {
    ui->labelServerStartTime->setText(QString::fromStdString(kivra::DateTimeToStr(value)));
}

void TFrameServerGraphsSmall::SetHighlight(bool selected) {
    Highlighted = selected;
    const bool lost = ServerInfo != nullptr && ServerInfo->Disconnected;
    const QString sheet =
        QStringLiteral("font: bold 12px \"Verdana\"; color: %1; background-color: %2;")
            .arg(NameBarText(selected, lost).name(), NameBarBackground(selected, lost).name());
    // A new style sheet re-styles the label: only when the colours change.
    if (sheet != NameBarSheet) {
        NameBarSheet = sheet;
        ui->LabelServerName->setStyleSheet(sheet);
    }
}

void TFrameServerGraphsSmall::RefreshGraphs() {
    if (ServerInfo == nullptr) return;
    const TDBServerInfo &server = *ServerInfo;
    ui->LabelServerDisconnected->setVisible(server.Disconnected);

    // Axis maxima from the history's maxima.
    const int response = server.GetStatisticMax(ssResponseTime);
    const int io = kivra::LargestMaximum(server, {ssIORead, ssIOWrite, ssIOErrors});
    const int network =
        kivra::LargestMaximum(server, {ssPacketsSent, ssPacketsReceived, ssPacketErrors});
    const int connections = kivra::LargestMaximum(server, {ssSessions, ssUsers});
    kivra::ApplyAxisRule(ui->chrtResponseTime, response, kResponseThreshold);
    kivra::ApplyAxisRule(ui->chrtPhysicalIO, io, kTrafficThreshold);
    kivra::ApplyAxisRule(ui->chrtNetwork, network, kTrafficThreshold);
    kivra::ApplyAxisRule(ui->chrtProcesses, connections, kConnectionsThreshold);
    switch (LargeChart) {
    case 1: kivra::ApplyAxisRule(ui->ChartLarge, response, kResponseThreshold); break;
    case 2: kivra::ApplyAxisRule(ui->ChartLarge, connections, kConnectionsThreshold); break;
    case 3: kivra::ApplyAxisRule(ui->ChartLarge, io, kTrafficThreshold); break;
    case 4: kivra::ApplyAxisRule(ui->ChartLarge, network, kTrafficThreshold); break;
    default: break;
    }

    // The lines.
    kivra::FeedSeries(seriesResponseTime, server, ssResponseTime);
    kivra::FeedSeries(seriesCPUUsage, server, ssCPUBusy);
    kivra::FeedSeries(seriesPacketsSent, server, ssPacketsSent);
    kivra::FeedSeries(seriesPacketsReceived, server, ssPacketsReceived);
    kivra::FeedSeries(seriesPacketsErrored, server, ssPacketErrors);
    kivra::FeedSeries(seriesIORead, server, ssIORead);
    kivra::FeedSeries(seriesIOWritten, server, ssIOWrite);
    kivra::FeedSeries(seriesIOErrored, server, ssIOErrors);
    kivra::FeedSeries(seriesSessions, server, ssSessions);
    kivra::FeedSeries(seriesUsers, server, ssUsers);
    switch (LargeChart) {
    case 0: kivra::FeedSeries(LineSeriesGreen, server, ssCPUBusy); break;
    case 1: kivra::FeedSeries(LineSeriesGreen, server, ssResponseTime); break;
    case 2:
        kivra::FeedSeries(LineSeriesGreen, server, ssSessions);
        kivra::FeedSeries(LineSeriesYellow, server, ssUsers);
        break;
    case 3:
        kivra::FeedSeries(LineSeriesGreen, server, ssIOWrite);
        kivra::FeedSeries(LineSeriesYellow, server, ssIORead);
        kivra::FeedSeries(LineSeriesRed, server, ssIOErrors);
        break;
    case 4:
        kivra::FeedSeries(LineSeriesGreen, server, ssPacketsReceived);
        kivra::FeedSeries(LineSeriesYellow, server, ssPacketsSent);
        kivra::FeedSeries(LineSeriesRed, server, ssPacketErrors);
        break;
    default: break;
    }

    // The value labels: the current sample.
    kivra::WriteValueLabel(ui->LabelCPU, "CPU: ", server, ssCPUBusy, "%");
    kivra::WriteValueLabel(ui->LabelResponse, "ms: ", server, ssResponseTime);
    kivra::WriteValueLabel(ui->LabelPhysicalIOWritten, "W: ", server, ssIOWrite);
    kivra::WriteValueLabel(ui->LabelPhysicalIORead, "R: ", server, ssIORead);
    kivra::WriteValueLabel(ui->LabelPhysicalIOErrored, "E: ", server, ssIOErrors);
    kivra::WriteValueLabel(ui->LabelPacketsSent, "S: ", server, ssPacketsSent);
    kivra::WriteValueLabel(ui->LabelPacketsRecieved, "R: ", server, ssPacketsReceived);
    kivra::WriteValueLabel(ui->LabelPacketsErrored, "E: ", server, ssPacketErrors);
    kivra::WriteValueLabel(ui->LabelSessions, "S: ", server, ssSessions);
    kivra::WriteValueLabel(ui->LabelUsers, "U: ", server, ssUsers);
    switch (LargeChart) {
    case 0: kivra::WriteValueLabel(ui->LabelLargeCenter, "CPU: ", server, ssCPUBusy, "%"); break;
    case 1:
        kivra::WriteValueLabel(ui->LabelLargeCenter, "Milliseconds: ", server, ssResponseTime);
        break;
    case 2:
        kivra::WriteValueLabel(ui->LabelLargeLeft, "Sessions: ", server, ssSessions);
        kivra::WriteValueLabel(ui->LabelLargeRight, "Users: ", server, ssUsers);
        break;
    case 3:
        kivra::WriteValueLabel(ui->LabelLargeLeft, "Written: ", server, ssIOWrite);
        kivra::WriteValueLabel(ui->LabelLargeCenter, "Read: ", server, ssIORead);
        kivra::WriteValueLabel(ui->LabelLargeRight, "Errors: ", server, ssIOErrors);
        break;
    case 4:
        kivra::WriteValueLabel(ui->LabelLargeLeft, "Received: ", server, ssPacketsReceived);
        kivra::WriteValueLabel(ui->LabelLargeCenter, "Sent: ", server, ssPacketsSent);
        kivra::WriteValueLabel(ui->LabelLargeRight, "Errored: ", server, ssPacketErrors);
        break;
    default: break;
    }

    char time[64];
    kivra::DateTimeToBuf(server.History[kLast].ServerTime, time, sizeof time);
    kivra::SetLabelText(ui->labelCurrentServerTime, QString::fromUtf8(time));
    kivra::SetLabelText(ui->LabelServerUpTime, QString::fromStdString(server.GetShortUptimeText()));

    // A server that has just been lost turns the name bar red without a new selection.
    SetHighlight(Highlighted);
}

void TFrameServerGraphsSmall::PrepareLargeChart() {
    // The lines a mode does not feed stay below the axis minimum of 0: nothing shows of them.
    LineSeriesGreen->SetAllYValues(-1);
    LineSeriesRed->SetAllYValues(-1);
    LineSeriesYellow->SetAllYValues(-1);

    struct stLargeMode {
        const char *Title, *AxisTitle;
        bool FixedAt100;  // otherwise the refresh sets the axis by its rule
        // The small label whose colour each large label shows; nullptr: hidden.
        const QLabel *Left, *Center, *Right;
    };
    const stLargeMode modes[] = {
        {"CPU Usage", "%", true, nullptr, ui->LabelCPU, nullptr},
        {"Response Time", "Milliseconds", false, nullptr, ui->LabelResponse, nullptr},
        {"Sessions/ Users", "Connections", false, ui->LabelSessions, nullptr, ui->LabelUsers},
        {"Physical IO/ Sec", "IO", false, ui->LabelPhysicalIOWritten, ui->LabelPhysicalIORead,
         ui->LabelPhysicalIOErrored},
        {"Network/ Sec", "Packets", false, ui->LabelPacketsRecieved, ui->LabelPacketsSent,
         ui->LabelPacketsErrored},
    };
    if (LargeChart >= 0 && LargeChart < static_cast<int>(std::size(modes))) {
        const stLargeMode &mode = modes[LargeChart];
        ui->ChartLarge->SetTitle(QString::fromLatin1(mode.Title));
        ui->ChartLarge->SetAxisTitle(QString::fromLatin1(mode.AxisTitle));
        if (mode.FixedAt100) kivra::FixAxis(ui->ChartLarge, 100);
        ShowLargeLabel(ui->LabelLargeLeft, mode.Left);
        ShowLargeLabel(ui->LabelLargeCenter, mode.Center);
        ShowLargeLabel(ui->LabelLargeRight, mode.Right);
    }
    RefreshGraphs();
}

void TFrameServerGraphsSmall::ShowLargeLabel(QLabel *label, const QLabel *colourOf) {
    if (colourOf == nullptr) {
        label->hide();
        return;
    }
    // The small value labels and the large ones share the font; only the colour differs.
    if (label->styleSheet() != colourOf->styleSheet()) label->setStyleSheet(colourOf->styleSheet());
    label->show();
}

// ---- Handlers -----------------------------------------------------------------------------------

void TFrameServerGraphsSmall::SelectOwnServer() {
    if (MainForm) MainForm->SelectServer(Slot);
}

void TFrameServerGraphsSmall::Shape1MouseDown() { SelectOwnServer(); }

void TFrameServerGraphsSmall::Enlarge(int chart) {
    LargeChart = chart;
    PrepareLargeChart();
    ui->PanelLargeGraph->show();
    ui->Panelallgraphs->hide();
    SelectOwnServer();
}

void TFrameServerGraphsSmall::ImageCPUMinClick() { Enlarge(0); }
void TFrameServerGraphsSmall::ImageResponseMinClick() { Enlarge(1); }
void TFrameServerGraphsSmall::ImageProcessesMinClick() { Enlarge(2); }
void TFrameServerGraphsSmall::ImagePhysicalMinClick() { Enlarge(3); }
void TFrameServerGraphsSmall::ImageNetworkMinClick() { Enlarge(4); }

void TFrameServerGraphsSmall::ImageLargeMinClick() {
    ui->Panelallgraphs->show();
    ui->PanelLargeGraph->hide();
    LargeChart = -1;
    SelectOwnServer();
}

void TFrameServerGraphsSmall::Image1Click() {
    if (MainForm == nullptr || ClosePending) return;
    ClosePending = true;
    // Disconnecting frees this tile: queued behind the click's own handling. A queued call to an
    // object that is deleted before it runs is dropped with the object.
    QMetaObject::invokeMethod(this, kivra::Guarded([this] { DisconnectOwnServer(); }),
                              Qt::QueuedConnection);
}

void TFrameServerGraphsSmall::DisconnectOwnServer() {
    ClosePending = false;
    // Slot is read now: the tile may have moved down since the click.
    if (MainForm) MainForm->DisconnectServer(Slot);
}

void TFrameServerGraphsSmall::ImageClick(std::size_t image) {
    switch (image) {
    case 0: Image1Click(); break;
    case 1: ImageCPUMinClick(); break;
    case 2: ImageResponseMinClick(); break;
    case 3: ImageProcessesMinClick(); break;
    case 4: ImagePhysicalMinClick(); break;
    case 5: ImageNetworkMinClick(); break;
    default: ImageLargeMinClick(); break;
    }
}

void TFrameServerGraphsSmall::FrameResize() {
    ui->Panel1->resize(width(), ui->Panel1->height());
    ui->LabelServerName->resize(width(), ui->LabelServerName->height());
    ui->Image1->move(width() - ui->Image1->width() - 2, ui->Image1->y());
}

void TFrameServerGraphsSmall::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    kivra::RunGuarded([this] { FrameResize(); });
}

bool TFrameServerGraphsSmall::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    bool consumed = false;
    kivra::RunGuarded(
        [&] { consumed = MouseFilter(watched, type, static_cast<QMouseEvent *>(event)); });
    return consumed || QWidget::eventFilter(watched, event);
}

bool TFrameServerGraphsSmall::MouseFilter(QObject *watched, QEvent::Type type, QMouseEvent *mouse) {
    for (std::size_t i = 0; i < ClickImages.size(); ++i) {
        QWidget *image = ClickImages[i];
        if (watched != image) continue;
        // A click is a left press and release on the image. The second press of a double click
        // starts none: after a close the next tile has moved under the pointer.
        if (type == QEvent::MouseButtonPress) {
            PressedImage = mouse->button() == Qt::LeftButton ? image : nullptr;
        } else if (type == QEvent::MouseButtonRelease) {
            const bool click = PressedImage == image && mouse->button() == Qt::LeftButton &&
                               image->rect().contains(mouse->position().toPoint());
            PressedImage = nullptr;
            if (click) ImageClick(i);
        } else {
            PressedImage = nullptr;
        }
        return true;
    }
    if (type != QEvent::MouseButtonRelease)
        for (QWidget *target : SelectTargets)
            if (watched == target) {
                Shape1MouseDown();
                return true;
            }
    return false;
}
