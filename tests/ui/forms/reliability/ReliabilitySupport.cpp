#include "ReliabilitySupport.h"

#include "DBServerInfoSource.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameServerList.h"
#include "TFrameTwinGrids.h"
#include "TestPump.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <vector>

namespace {

bool HasRed(const QImage &image, const QRect &area) {
    const QColor red(255, 0, 0);
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixelColor(x, y) == red) return true;
    return false;
}

}  // namespace

int UserSessionRow(TFrameAllProcesses *view, const std::function<bool(int spid)> &also) {
    const int systemRow = FindRow(view, [](const GridSession &s) { return s.Spid == 1; });
    const std::string systemLogin =
        systemRow > 0 ? view->FrameProcessGrids->sgRight->Cells(10, systemRow) : std::string();
    return FindRow(view, [&](const GridSession &s) {
        return s.Spid > 25 && s.Program != "VORNIXMonitor" && s.LoginTime != systemLogin &&
               (!also || also(s.Spid));
    });
}

void CountingFormMain::UpdateServerViews(int slot) {
    TFormMain::UpdateServerViews(slot);
    if (AfterUpdate) AfterUpdate(slot);
    if (slot < 0 || slot >= kSlotCount || !Connections[slot].InUse) return;
    const TDBServerInfo *model = Connections[slot].ServerInfo;
    if (!model || model->Disconnected) return;
    if (model->History[TDBServerInfo::kHistorySize - 1].Filled)
        ++Polls[model];
    else
        ++RefreshesBeforeFirstPoll;
}

int CountingFormMain::PollsOf(const TDBServerInfo *model) const {
    const auto found = Polls.find(model);
    return found == Polls.end() ? 0 : found->second;
}

CountingFormMain &ReliabilityTest::Main() {
    if (!MainWindow) MainWindow = std::make_unique<CountingFormMain>();
    return static_cast<CountingFormMain &>(*MainWindow);
}

void ReliabilityTest::ConnectFour(int selected) {
    StartSims(4);
    CountingFormMain &w = Main();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(Connect(i)) << i;
    w.show();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(WaitForPoll(w.Connections[i].ServerInfo)) << i;
    w.FrameClientArea1->TabSet1->setCurrentIndex(kAllProcessesTab);
    w.SelectServer(selected);
    ASSERT_EQ(w.SelectedServer, selected);
}

bool ReliabilityTest::WaitPolls(int slot, int count, int timeoutMs) {
    CountingFormMain &w = Main();
    const TDBServerInfo *model = w.Connections[slot].ServerInfo;
    const int target = w.PollsOf(model) + count;
    return PumpUntil([&] { return w.PollsOf(model) >= target; }, timeoutMs);
}

bool ReliabilityTest::OthersPoll(int except, int count, const std::function<bool()> &still) {
    CountingFormMain &w = Main();
    std::map<const TDBServerInfo *, int> targets;
    for (int i = 0; i < TFormMain::kSlotCount; ++i)
        if (i != except && w.Connections[i].InUse) {
            const TDBServerInfo *model = w.Connections[i].ServerInfo;
            targets[model] = w.PollsOf(model) + count;
        }
    bool held = true;
    int seen = -1;
    const bool done = PumpUntil(
        [&] {
            int total = 0;
            bool all = true;
            for (const auto &t : targets) {
                total += w.PollsOf(t.first);
                all = all && w.PollsOf(t.first) >= t.second;
            }
            if (still && total != seen) held = held && still();
            seen = total;
            return all;
        },
        30000);
    EXPECT_TRUE(held) << "the condition did not hold while the others polled";
    return done && held;
}

ShownState ReliabilityTest::Shown(int slot) {
    CountingFormMain &w = Main();
    ShownState s;
    QListWidget *list = w.FrameServerList1->ListBoxServerList;
    if (QListWidgetItem *item = list->item(slot))
        s.ListRed = HasRed(list->viewport()->grab().toImage(), list->visualItemRect(item));
    if (TFrameServerGraphsSmall *tile = w.Connections[slot].Graph) {
        auto *bar = tile->findChild<QLabel *>(QStringLiteral("LabelServerName"));
        auto *warning = tile->findChild<QLabel *>(QStringLiteral("LabelServerDisconnected"));
        s.TileRed = bar && HasRed(bar->grab().toImage(), bar->rect());
        s.TileWarning = warning && warning->isVisibleTo(tile);
    }
    if (slot == w.SelectedServer) {
        TFrameServerBigGraphs *big = w.FrameClientArea1->ServerBigGraphs;
        s.BigWarning = BigLabel("LabelServerDisconnected")->isVisibleTo(big);
        s.BigReconnect = ReconnectButton()->isVisibleTo(big);
    }
    return s;
}

QLabel *ReliabilityTest::BigLabel(const char *name) {
    return Child<QLabel>(Main().FrameClientArea1->ServerBigGraphs, name);
}

QPushButton *ReliabilityTest::ReconnectButton() {
    return Child<QPushButton>(Main().FrameClientArea1->ServerBigGraphs, "btnAttemptReconnect");
}

void ReliabilityTest::ClickReconnect() {
    QTabBar *tabs = Main().FrameClientArea1->TabSet1;
    tabs->setCurrentIndex(kServerGraphsTab);
    QPushButton *button = ReconnectButton();
    ASSERT_TRUE(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    tabs->setCurrentIndex(kAllProcessesTab);
}
