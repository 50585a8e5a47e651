#include "TFormMain.h"

#include "ui_TFormMain.h"

#include "DBServerInfoSource.h"
#include "ExceptionDisplay.h"
#include "KivraThreadSource.h"
#include "MessageBoxHook.h"
#include "ModalDialog.h"
#include "ScreenPlacement.h"
#include "ShellOpen.h"
#include "TFormAbout.h"
#include "TFormLogon.h"
#include "TFormProperties.h"
#include "TFrameClientArea.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameServerList.h"
#include "TFrameToolbarButtons.h"
#include "TKnownServers.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFont>
#include <QToolButton>

namespace {

const char *const kFullText = "The connection queue is full for this session";
const char *const kFullCaption = "Connections Full";

}  // namespace

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::TFormMain>()) {
    // The window from its layout.
    ui->setupUi(this);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(11);
    setFont(font);
    FrameToolbarButtons1 = ui->FrameToolbarButtons1;
    FrameServerList1 = ui->FrameServerList1;
    FrameClientArea1 = ui->FrameClientArea1;
    Displayoriginalstats1 = ui->Displayoriginalstats1;
    ResetStats1 = ui->ResetStats1;
    FrameToolbarButtons1->SetButtonWidth(kButtonWidth);
    FrameClientArea1->PanelTabBar->setFixedHeight(25);
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->setSizes({185, width() - 185});
    // Client area 1213 x 866 below the menu bar, centred on the screen.
    resize(1213, 866 + menuBar()->sizeHint().height());
    kivra::CentreOnScreen(this);
    BindCommands();

    // Empty slots, the settings, nothing selected.
    for (stDBConnections &slot : Connections) slot = stDBConnections();
    LoadSettings();
    SelectedServer = -1;

    // The server list panel and the known servers.
    FrameServerList1->MainForm = this;
    LoadKnownServers();
}

TFormMain::~TFormMain() {
    FormDestroy();
    DisconnectAllServers();
}

void TFormMain::BindCommands() {
    using kivra::Guarded;
    connect(ui->ConnecttoServer1, &QAction::triggered, this,
            Guarded([this] { ConnecttoServer1Click(); }));
    connect(ui->Properties1, &QAction::triggered, this, Guarded([this] { Properties1Click(); }));
    connect(ui->MenuExit, &QAction::triggered, this, Guarded([this] { MenuExitClick(); }));
    connect(Displayoriginalstats1, &QAction::triggered, this, Guarded([this](bool checked) {
                // The handler inverts the check mark itself: undo the action's own toggle first.
                {
                    const QSignalBlocker block(Displayoriginalstats1);
                    Displayoriginalstats1->setChecked(!checked);
                }
                Displayoriginalstats1Click();
            }));
    connect(ResetStats1, &QAction::triggered, this, Guarded([this] { ResetStats1Click(); }));
    connect(ui->KillProcesses1, &QAction::triggered, this,
            Guarded([this] { KillProcesses1Click(); }));
    connect(ui->Killallprocesses1, &QAction::triggered, this,
            Guarded([this] { Killallprocesses1Click(); }));
    connect(ui->KivrawatchHeko1, &QAction::triggered, this,
            Guarded([this] { KivrawatchHeko1Click(); }));
    connect(ui->HomePage1, &QAction::triggered, this, Guarded([this] { HomePage1Click(); }));
    connect(ui->AboutKivrawatch1, &QAction::triggered, this,
            Guarded([this] { AboutKivrawatch1Click(); }));

    connect(FrameToolbarButtons1->ToolButtonConnect, &QToolButton::clicked, this,
            Guarded([this] { FrameToolbarButtons1ToolButtonConnectClick(); }));
    connect(FrameToolbarButtons1->ToolButtonKillProc, &QToolButton::clicked, this,
            Guarded([this] { FrameToolbarButtons1ToolButtonKillProcClick(); }));
    // "Kill Group" has no handler.
    connect(FrameToolbarButtons1->ToolButtonProperties, &QToolButton::clicked, this,
            Guarded([this] { FrameToolbarButtons1ToolButton3Click(); }));

    FrameClientArea1->OnTabSet1Change = [this](QObject *sender, int newTab, bool &allowChange) {
        FrameClientArea1TabSet1Change(sender, newTab, allowChange);
    };
}

void TFormMain::closeEvent(QCloseEvent *event) {
    // The window closes whatever a slot's teardown throws.
    kivra::RunGuarded([this] { DisconnectAllServers(); });
    event->accept();
}

// ---- Connection slots -------------------------------------------------------------------------

bool TFormMain::HasFreeSlot() const { return ConnectedCount() < kSlotCount; }

int TFormMain::ConnectedCount() const {
    int n = 0;
    for (const stDBConnections &slot : Connections) n += slot.InUse ? 1 : 0;
    return n;
}

bool TFormMain::ConnectToServer(const std::string &server, bool windowsAuth,
                                const std::string &userId, const std::string &password) {
    int i = 0;
    while (i < kSlotCount && Connections[i].InUse) ++i;
    if (i == kSlotCount) {
        kivra::ApplicationMessageBox(kFullText, kFullCaption, kivra::MB_OK);
        return false;
    }

    auto *thread = new TKivraThread(true);
    bool connected = false;
    try {
        connected = thread->Connect(this, i, server, windowsAuth, userId, password);
    } catch (...) {
        // A start-up query failed after the login: the worker must not outlive the attempt.
        thread->Stop();
        throw;
    }
    if (!connected) {
        thread->Stop();  // it leaves its wait and frees itself
        return false;
    }

    ++SlotChanges;
    stDBConnections &slot = Connections[i];
    slot.InUse = true;
    slot.ServerName = server;

    auto *info = new TDBServerInfo;
    info->Owner = this;
    info->SetServerName(server);
    info->Thread = thread;
    info->SetDisconnected(false);
    info->ServerStartTime = thread->ServerStartTime;
    info->ServerTime = thread->ServerTime;
    slot.ServerInfo = info;
    slot.Thread = thread;

    slot.Graph = FrameClientArea1->AddServerGraph(server);
    if (slot.Graph) {
        slot.Graph->SetOwner(this, i);
        slot.Graph->ServerInfo = info;
        slot.Graph->SetStartTime(thread->ServerStartTime);
    }
    FrameServerList1->AddActiveServer(server);
    thread->SetServerInfo(info);
    FrameClientArea1->SetServer(info);
    SelectedServer = i;
    HighlightSelectedTile();
    FrameClientArea1->RefreshViews();
    thread->SetRefreshInterval(RefreshInterval);
    FrameServerList1->AddKnownServer(server);
    return true;
}

void TFormMain::DisconnectServer(int slot) {
    if (slot < 0 || slot >= kSlotCount || !Connections[slot].InUse) return;
    ++SlotChanges;
    stDBConnections &gone = Connections[slot];
    if (gone.Thread) gone.Thread->Stop();
    // The views and the tile let go of the model before it is deleted.
    if (slot == SelectedServer) FrameClientArea1->SetServer(nullptr);
    FrameClientArea1->RemoveServerGraph(slot);
    delete gone.ServerInfo;

    for (int pos = slot; pos < kSlotCount; ++pos) {
        if (pos < kSlotCount - 1 && Connections[pos + 1].InUse) {
            stDBConnections &next = Connections[pos + 1];
            Connections[pos].ServerName = next.ServerName;
            Connections[pos].ServerInfo = next.ServerInfo;
            Connections[pos].Thread = next.Thread;
            Connections[pos].Graph = next.Graph;
            if (Connections[pos].Thread) Connections[pos].Thread->Slot = pos;
        } else {
            if (SelectedServer >= pos) SelectedServer = pos - 1;
            Connections[pos] = stDBConnections();
        }
    }
    FrameServerList1->RemoveActiveServer(slot);
    SelectServer(SelectedServer);
}

void TFormMain::DisconnectAllServers() {
    ++SlotChanges;
    // Every worker is told first, so they all end together.
    for (stDBConnections &slot : Connections)
        if (slot.InUse && slot.Thread) slot.Thread->Stop();
    if (FrameClientArea1) FrameClientArea1->SetServer(nullptr);
    SelectedServer = -1;
    for (int i = kSlotCount - 1; i >= 0; --i) {
        stDBConnections &slot = Connections[i];
        if (!slot.InUse) continue;
        FrameClientArea1->RemoveServerGraph(i);
        FrameServerList1->RemoveActiveServer(i);
        delete slot.ServerInfo;
        slot = stDBConnections();
    }
}

void TFormMain::SelectServer(int slot) {
    if (slot < 0 || slot >= kSlotCount || !Connections[slot].InUse) {
        // No server: the views let go of any model and show nothing.
        SelectedServer = -1;
        FrameClientArea1->SetServer(nullptr);
        FrameClientArea1->RefreshViews();
        HighlightSelectedTile();
        return;
    }
    FrameClientArea1->SetServer(Connections[slot].ServerInfo);
    FrameClientArea1->RefreshViews();
    SelectedServer = slot;
    HighlightSelectedTile();
    FrameServerList1->SelectActiveServer(slot);
}

void TFormMain::HighlightSelectedTile() {
    for (int i = 0; i < kSlotCount; ++i) {
        TFrameServerGraphsSmall *tile = Connections[i].InUse ? Connections[i].Graph : nullptr;
        if (tile && i != SelectedServer && tile->Highlighted) tile->SetHighlight(false);
    }
    if (SelectedServer >= 0 && Connections[SelectedServer].Graph)
        Connections[SelectedServer].Graph->SetHighlight(true);
}

void TFormMain::UpdateServerViews(int slot) {
    if (slot < 0 || slot >= kSlotCount || !Connections[slot].InUse) return;
    if (Connections[slot].Graph) Connections[slot].Graph->RefreshGraphs();
    if (slot == SelectedServer) FrameClientArea1->RefreshViews();
}

void TFormMain::RefreshServerList() { FrameServerList1->RefreshActiveList(); }

void TFormMain::SetRefreshInterval(int seconds) {
    RefreshInterval = seconds;
    for (stDBConnections &slot : Connections)
        if (slot.InUse && slot.Thread) slot.Thread->SetRefreshInterval(seconds);
}

bool TFormMain::IsServerConnected(int slot) const {
    if (slot < 0 || slot >= kSlotCount) return false;
    const stDBConnections &c = Connections[slot];
    return c.InUse && c.ServerInfo && !c.ServerInfo->Disconnected;
}

// ---- Commands ---------------------------------------------------------------------------------

void TFormMain::RunLogonDialog(const std::string &server) {
    auto dialog = std::make_unique<TFormLogon>(this);
    dialog->MainForm = this;
    if (!server.empty()) dialog->PresetServer(server);
    kivra::ShowModal(dialog.get());
    dialog.reset();
    activateWindow();
    setFocus();
}

void TFormMain::OpenLogonDialog() {
    if (!HasFreeSlot()) {
        // Text and caption are the other way round from the connect's own message.
        kivra::ApplicationMessageBox(kFullCaption, kFullText, kivra::MB_OK);
        return;
    }
    RunLogonDialog(std::string());
}

void TFormMain::ConnectKnownServerWithPrompt(const std::string &server) {
    if (!HasFreeSlot()) {
        kivra::ApplicationMessageBox(kFullCaption, kFullText, kivra::MB_OK);
        return;
    }
    RunLogonDialog(server);
}

void TFormMain::ConnectKnownServer(const std::string &server) {
    const stSavedLogon logon = TKnownServers::ReadSavedLogon(server);
    const bool windowsAuth = logon.HasUseWindowsNT && logon.UseWindowsNT;
    const std::string userId = logon.HasUserID ? logon.UserID : std::string();
    const std::string password = logon.HasPassword ? logon.Password : std::string();
    if (!ConnectToServer(server, windowsAuth, userId, password)) RunLogonDialog(server);
}

void TFormMain::LoadKnownServers() {
    for (const std::string &name : TKnownServers::ListKnownServers())
        FrameServerList1->AddKnownServer(name);
}

void TFormMain::RemoveKnownServer(const std::string &server) {
    TKnownServers::RemoveKnownServer(server);
}

void TFormMain::ShowProperties() {
    auto dialog = std::make_unique<TFormProperties>(this);
    dialog->SetMainForm(this);
    dialog->SetRefreshInterval(RefreshInterval);
    dialog->SetEmailAlerts(AlertSettings);
    dialog->SetLogging(LogSettings);
    kivra::ShowModal(dialog.get());
}

bool TFormMain::KillCurrentSession() {
    if (SelectedServer < 0 || !Connections[SelectedServer].Thread) return false;
    const int spid = FrameClientArea1->GetCurrentSPID();
    if (spid <= 10) return false;  // system sessions are never offered; -1: none selected
    // The question's event loop runs polls and clicks: the kill goes to the server asked about,
    // and to none when that server is no longer the selected one (disconnected, or another
    // selected; with the same SPID there a kill would end somebody else's session).
    const int askedSlot = SelectedServer;
    const unsigned askedChanges = SlotChanges;
    const int answer = kivra::ApplicationMessageBox(
        "Do you really want to kill process " + std::to_string(spid) + "?", "Kill Process Confirm",
        kivra::MB_YESNO | kivra::MB_ICONQUESTION);
    if (answer != kivra::IDYES) return false;
    if (SelectedServer != askedSlot || SlotChanges != askedChanges) return false;
    Connections[SelectedServer].Thread->KillProcess(spid);
    return true;
}

// ---- Menu, toolbar and window handlers --------------------------------------------------------

void TFormMain::ConnecttoServer1Click() { OpenLogonDialog(); }

void TFormMain::Properties1Click() { ShowProperties(); }

void TFormMain::MenuExitClick() { close(); }

void TFormMain::Displayoriginalstats1Click() {
    const bool checked = Displayoriginalstats1->isChecked();
    for (stDBConnections &slot : Connections)
        if (slot.InUse && slot.ServerInfo) slot.ServerInfo->SetBaseline(checked);
    FrameClientArea1->RefreshViews();
    Displayoriginalstats1->setChecked(!checked);
    ResetStats1->setEnabled(!Displayoriginalstats1->isChecked());
}

void TFormMain::ResetStats1Click() {
    for (stDBConnections &slot : Connections)
        if (slot.InUse && slot.ServerInfo) slot.ServerInfo->SetBaseline(true);
    FrameClientArea1->RefreshViews();
}

void TFormMain::KillProcesses1Click() { KillCurrentSession(); }

void TFormMain::Killallprocesses1Click() {}

void TFormMain::KivrawatchHeko1Click() {
    // A missing help file shows nothing.
    if (QFileInfo::exists(kivra::HelpFilePath())) kivra::OpenHelpFile();
}

void TFormMain::HomePage1Click() { kivra::OpenHomePage(); }

void TFormMain::AboutKivrawatch1Click() {
    auto dialog = std::make_unique<TFormAbout>(this);
    kivra::ShowModal(dialog.get());
}

void TFormMain::FrameToolbarButtons1ToolButtonConnectClick() { OpenLogonDialog(); }

void TFormMain::FrameToolbarButtons1ToolButtonKillProcClick() {
    if (KillCurrentSession()) FrameClientArea1->RefreshViews();
}

void TFormMain::FrameToolbarButtons1ToolButton3Click() { ShowProperties(); }

void TFormMain::FrameClientArea1TabSet1Change(QObject *sender, int newTab, bool &allowChange) {
    FrameClientArea1->TabSet1Change(sender, newTab, allowChange);
}

void TFormMain::FormDestroy() {}

// ---- Alert mail -------------------------------------------------------------------------------

void TFormMain::SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                               bool slowResponse) {
    AlertMail.SendAlertEmail(AlertSettings, server, lostConnection, highDemand, slowResponse);
}
