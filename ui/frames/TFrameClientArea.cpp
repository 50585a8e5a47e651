#include "TFrameClientArea.h"

#include "ui_TFrameClientArea.h"

#include "DBServerInfoSource.h"
#include "ExceptionDisplay.h"
#include "TFrameAllProcesses.h"
#include "TFrameBlockedProcesses.h"
#include "TFrameDBProcesses.h"
#include "TFrameEventLog.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameServerTitleBar.h"
#include "TFrameSmallGraphPanel.h"
#include "TFrameUserProcesses.h"

#include <QFont>
#include <QTabBar>

namespace {

const char *const kTabCaptions[TFrameClientArea::kTabCount] = {
    "Small Graphs", "Server Graphs", "Databases", "User Processes", "All Processes", "Locks"};

// The pane forgets the sessions it showed, so it fetches its texts anew at the next refresh.
void BindPane(TFrameProcessInfo *pane, TDBServerInfo *server) {
    if (!pane) return;
    pane->ServerInfo = server;
    pane->CurrentSpid = -1;
    pane->InputBufferSpid = -1;
    pane->StatementSpid = -1;
}

void SetTitle(TFrameServerTitleBar *bar, TDBServerInfo *server) {
    if (bar) bar->SetServerName(server ? server->ServerName : std::string());
}

// A session view with one detail pane: its model, its pane, its title.
template <typename View> void BindSessionView(View *view, TDBServerInfo *server) {
    view->ServerInfo = server;
    BindPane(view->FrameCurrentProcessInfo, server);
    SetTitle(view->FrameServerTitleBar1, server);
}

}  // namespace

TFrameClientArea::TFrameClientArea(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameClientArea>()) {
    ui->setupUi(this);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(11);
    setFont(font);

    PanelTabBar = ui->PanelTabBar;
    TabSet1 = ui->TabSet1;
    PanelInfo = ui->PanelInfo;
    ServerSmallGraphs = ui->ServerSmallGraphs;
    ServerBigGraphs = ui->ServerBigGraphs;
    DBProcesses = ui->DBProcesses;
    UserProcesses = ui->UserProcesses;
    AllProcesses = ui->AllProcesses;
    BlockedProcesses = ui->BlockedProcesses;
    EventLogs = ui->EventLogs;

    QFont tabFont(QStringLiteral("Verdana"));
    tabFont.setPixelSize(13);
    TabSet1->setFont(tabFont);
    TabSet1->setShape(QTabBar::RoundedSouth);
    TabSet1->setDrawBase(true);
    TabSet1->setExpanding(false);
    for (const char *caption : kTabCaptions) TabSet1->addTab(QString::fromLatin1(caption));
    TabSet1->setCurrentIndex(0);

    // At creation only the view of tab 0 is shown.
    ServerBigGraphs->hide();
    DBProcesses->hide();
    UserProcesses->hide();
    AllProcesses->hide();
    BlockedProcesses->hide();
    EventLogs->hide();
    ServerSmallGraphs->show();

    connect(TabSet1, &QTabBar::currentChanged, this,
            kivra::Guarded([this](int index) { TabSet1Changed(index); }));
}

TFrameClientArea::~TFrameClientArea() = default;

TFrameServerGraphsSmall *TFrameClientArea::AddServerGraph(const std::string &server) {
    return ServerSmallGraphs->AddServer(server);
}

void TFrameClientArea::RemoveServerGraph(int slot) { ServerSmallGraphs->RemoveServer(slot); }

void TFrameClientArea::SetServer(TDBServerInfo *server) {
    ServerBigGraphs->SetServer(server);

    BindSessionView(UserProcesses, server);
    BindSessionView(DBProcesses, server);
    BindSessionView(AllProcesses, server);
    BlockedProcesses->ServerInfo = server;
    BindPane(BlockedProcesses->FrameBlockedProcess, server);
    BindPane(BlockedProcesses->FrameBlockingProcess, server);
    SetTitle(BlockedProcesses->FrameServerTitleBar1, server);
}

void TFrameClientArea::RefreshViews() {
    ServerBigGraphs->RefreshGraphs();
    UserProcesses->RefreshView();
    DBProcesses->RefreshView();
    AllProcesses->RefreshView();
    BlockedProcesses->RefreshView();
}

int TFrameClientArea::GetCurrentSPID() {
    // "Visible" as the view's own flag: the window need not be on screen.
    if (!UserProcesses->isHidden()) return UserProcesses->GetSelectedSpid();
    if (!DBProcesses->isHidden()) return DBProcesses->GetSelectedSpid();
    if (!AllProcesses->isHidden()) return AllProcesses->GetSelectedSpid();
    return -1;
}

void TFrameClientArea::SetInitialPanel(int index) {
    if (index < 0 || index >= kTabCount) return;
    TabSet1->setCurrentIndex(index);
}

void TFrameClientArea::TabSet1Change(QObject *, int newTab, bool &) {
    ServerSmallGraphs->setVisible(newTab == 0);
    ServerBigGraphs->setVisible(newTab == 1);
    DBProcesses->setVisible(newTab == 2);
    UserProcesses->setVisible(newTab == 3);
    AllProcesses->setVisible(newTab == 4);
    BlockedProcesses->setVisible(newTab == 5);
    EventLogs->setVisible(newTab == kEventLogIndex);
    ShownTab = newTab;
    // The panes of a hidden view asked the server nothing; the view shown now is current at once.
    TFrameProcessInfo *const panes[] = {newTab == 2   ? DBProcesses->FrameCurrentProcessInfo
                                        : newTab == 3 ? UserProcesses->FrameCurrentProcessInfo
                                        : newTab == 4 ? AllProcesses->FrameCurrentProcessInfo
                                        : newTab == 5 ? BlockedProcesses->FrameBlockedProcess
                                                      : nullptr,
                                        newTab == 5 ? BlockedProcesses->FrameBlockingProcess
                                                    : nullptr};
    for (TFrameProcessInfo *pane : panes)
        if (pane) pane->ShowPendingTexts();
}

void TFrameClientArea::TabSet1Changed(int newTab) {
    bool allowChange = true;
    if (OnTabSet1Change)
        OnTabSet1Change(TabSet1, newTab, allowChange);
    else
        TabSet1Change(TabSet1, newTab, allowChange);
    if (!allowChange) {
        const QSignalBlocker block(TabSet1);
        TabSet1->setCurrentIndex(ShownTab);
    }
}
