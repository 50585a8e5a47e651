// Ending the program while servers are polling: closing the main window stops every worker before
// any model or the window goes, the window can be destroyed at once, and every worker still in a
// query ends by itself afterwards without touching what is gone. Run under AddressSanitizer too.

#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TestPump.h"

#include <QAction>
#include <QElapsedTimer>

class ExitTest : public ProgramTest {
protected:
    // Four servers polling every second, each answer held back so most polls are under way.
    void StartPolling(int delayMs) {
        StartSims(4);
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(Connect(i));
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(WaitForPoll(Window().Connections[i].ServerInfo));
        for (int i = 0; i < 4; ++i) Sims->Server(i).SetDelay(delayMs);
        // One poll more with the delay, so the next is due while the window closes.
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(WaitForPolls(Window().Connections[i].ServerInfo, 1));
    }
};

TEST_F(ExitTest, ClosingWithFourServersPollingStopsEveryWorker) {
    StartPolling(700);
    TFormMain &w = Window();
    w.show();
    EXPECT_EQ(TKivraThread::LiveCount(), 4);
    QElapsedTimer clock;
    clock.start();
    Child<QAction>(&w, "MenuExit")->trigger();
    const qint64 closeMs = clock.elapsed();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.ConnectedCount(), 0);
    EXPECT_EQ(w.SelectedServer, -1);
    EXPECT_EQ(w.FrameClientArea1->AllProcesses->ServerInfo, nullptr);
    EXPECT_TRUE(ActiveNames(w).empty());
    // The window goes at once, while workers may still be inside their queries.
    MainWindow.reset();
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 30000));
    const qint64 endedMs = clock.elapsed();
    RecordProperty("close_ms", static_cast<int>(closeMs));
    RecordProperty("workers_ended_ms", static_cast<int>(endedMs));
    std::printf("window closed in %lld ms, workers ended after %lld ms\n",
                static_cast<long long>(closeMs), static_cast<long long>(endedMs));
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(ExitTest, DestroyingAWindowThatWasNeverClosedStopsItsWorkers) {
    StartPolling(300);
    MainWindow.reset();
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 30000));
    EXPECT_EQ(Boxes.Count(), 0);
}
