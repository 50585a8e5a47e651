// Every column of the process query in its place, through the whole program: sqlsim serves a
// session whose every column holds a value of its own and server counters that each grow by a
// step of their own; the main window connects, and the model's records, the "All Processes"
// grid, its detail pane and the statistics each show every value where it belongs.

#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "DateTimeText.h"
#include "KivraQueryTexts.h"
#include "SimBatchWatch.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameProcessInfo.h"
#include "TFrameTwinGrids.h"
#include "TestPump.h"
#include "ViewTestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>

#include <cmath>
#include <cstring>

namespace {

int64_t LocalMs(TDateTime value) {
    return std::llround((value - 25569.0) * kivra::kMsPerDay);  // 25569: 1 January 1970
}

const stProcessInfo *Session(TDBServerInfo *model, int spid) {
    for (int i = 0; i < model->ProcessTable->Count; ++i)
        if (model->ProcessTable->Item<stProcessInfo>(i).SPID == spid)
            return &model->ProcessTable->Item<stProcessInfo>(i);
    return nullptr;
}

template <typename Record>
const Record *Find(AllocatedBuffer *table, const std::function<bool(const Record &)> &match) {
    for (int i = 0; i < table->Count; ++i)
        if (match(table->Item<Record>(i))) return &table->Item<Record>(i);
    return nullptr;
}

std::string Text(const QLabel *label) { return label->text().toStdString(); }

// The raw counters as the model keeps them for the next poll.
struct RawCounters {
    std::int64_t Busy, Idle;
    int Sent, Received, PacketErrors, Read, Write, IOErrors;
    std::uint32_t Tick;
};

RawCounters Raw(const TDBServerInfo *m) {
    return {m->PrevCpuBusy,         m->PrevCpuIdle,      m->PrevPacketsSent,
            m->PrevPacketsReceived, m->PrevPacketErrors, m->PrevTotalRead,
            m->PrevTotalWrite,      m->PrevTotalErrors,  m->PrevTick};
}

}  // namespace

class ColumnsTest : public ProgramTest {};

TEST_F(ColumnsTest, EveryColumnAndCounterReachesItsOwnPlace) {
    SqlSimOptions options;
    options.Workload.UserSessions = 0;  // the session of the test's own beside a few others
    options.Workload.SystemSessions = 3;
    options.Workload.BlockingChains = 0;
    options.Workload.ChurnPercent = 0;
    StartSims(1, options);
    SqlSimServer &sim = Sims->Server(0);

    const TDateTime loginTime = kivra::EncodeDateTime(2026, 3, 4, 5, 6, 7);
    const TDateTime lastBatch = kivra::EncodeDateTime(2026, 8, 9, 10, 11, 12);
    SimSession session;
    session.Spid = 77;
    session.Dbid = SimWorkload::DatabaseId("Sales");  // no other session is in it
    session.Login = "kw_login";
    session.Host = "KWHOST";
    session.Program = "KW Columns Program";
    session.NtDomain = "KWDOM";
    session.NtUser = "kwuser";
    session.NetAddress = "0A1B2C3D4E5F";
    session.NetLibrary = "KW-Library";
    session.HostProcess = "4242";
    session.Cmd = "KW COMMAND";
    session.Status = "kw status";
    session.LastWaitType = "KW_WAIT_TYPE";
    session.WaitResource = "KW: 5:1234:0";
    session.Blocked = 61;
    session.OpenTran = 3;
    session.WaitTime = 4567;
    session.Cpu = 12000;
    session.MemUsage = 200;
    session.PhysicalIo = 30007;
    session.LoginTimeMs = LocalMs(loginTime);
    session.LastBatchMs = LocalMs(lastBatch);
    session.EventType = "RPC Event";
    session.InputBuffer = "kw_input_buffer;1";
    session.HasHandle = true;
    session.SqlText = "CREATE PROCEDURE usp_KwColumns AS SELECT 'kw statement'";
    session.StmtStart = static_cast<int>(session.SqlText.find("SELECT")) * 2;  // UCS-2 bytes
    session.ObjectName = "usp_KwColumns";
    ASSERT_TRUE(sim.Workload().PlaceSession(session));
    // Counters that differ from each other, each growing by a step of its own: a CPU figure of
    // 25 (75 with busy and idle swapped) and six rates far apart.
    const SimCounters start{1000000,  3000000,  20000000, 10000000,
                            30000000, 40000000, 50000000, 60000000};
    const SimCounters step{30, 90, 20000, 10000, 30000, 40000, 50000, 60000};
    sim.Workload().HoldCounters(start, step);

    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    w.show();
    TFrameClientArea *area = w.FrameClientArea1;
    area->TabSet1->setCurrentIndex(4);  // "All Processes"
    TFrameAllProcesses *view = area->AllProcesses;
    TFrameProcessInfo *pane = view->FrameCurrentProcessInfo;
    TDBServerInfo *model = w.Connections[0].ServerInfo;
    ASSERT_TRUE(WaitForPoll(model));
    ASSERT_NE(Session(model, 77), nullptr);
    TStringGrid *grid = view->FrameProcessGrids->sgRight;
    const int row = FindRow(view, [](const GridSession &s) { return s.Spid == 77; });
    ASSERT_GT(row, 0);
    ClickCell(grid, 1, row);
    ASSERT_EQ(pane->CurrentSpid, 77);

    // Hold every poll at its process query (sqlsim pauses on receiving it), so that the test
    // knows which poll the model and the views show: while one is held, its poll has not been
    // handed over and the one before has. The model now holds a complete poll of the first values.
    SimBatchWatch gate(sim);
    gate.PauseAt(kivra::ProcessQueryText());
    ASSERT_TRUE(PumpUntil([&] { return sim.Paused(); }));
    const RawCounters before = Raw(model);
    // The held poll finds the session's counters grown, each by its own amount.
    session.Cpu = 12345;
    session.MemUsage = 234;
    session.PhysicalIo = 34567;
    ASSERT_TRUE(sim.Workload().PlaceSession(session));
    ASSERT_TRUE(PumpUntil([&] { return kivra::TickCountMs() != before.Tick; }));  // time passes
    sim.SetPaused(false);
    // The next poll's query waits: the released poll has been handed over, and no other since.
    ASSERT_TRUE(PumpUntil([&] { return sim.Paused(); }));
    const RawCounters after = Raw(model);

    // The session's record.
    const stProcessInfo *p = Session(model, 77);
    ASSERT_NE(p, nullptr);
    // Who it is: the same texts in the session's and its user's record.
    auto expectWho = [](const auto &r, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_STREQ(r.LoginName, "kw_login");
        EXPECT_STREQ(r.HostName, "KWHOST");
        EXPECT_STREQ(r.NTDomain, "KWDOM");
        EXPECT_STREQ(r.NTUserName, "kwuser");
        EXPECT_STREQ(r.NetAddress, "0A1B2C3D4E5F");
        EXPECT_STREQ(r.NetLibrary, "KW-Library");
    };
    expectWho(*p, "session");
    EXPECT_STREQ(p->DatabaseName, "Sales");
    EXPECT_STREQ(p->Command, "KW COMMAND");
    EXPECT_STREQ(p->Status, "kw status");
    EXPECT_STREQ(p->ProgramName, "KW Columns Program");
    const double ms = 1 / kivra::kMsPerDay;
    EXPECT_NEAR(p->LoginTime, loginTime, ms);
    EXPECT_NEAR(p->LastBatch, lastBatch, ms);
    EXPECT_EQ(p->Threads, 1);
    EXPECT_EQ(p->PrevThreads, 1);
    EXPECT_EQ(p->OpenTran, 3);
    EXPECT_EQ(p->WaitTime, 4567);
    EXPECT_STREQ(p->HostProcess, "4242");
    // The counters, their previous poll's values and the blocker: the same in the session's,
    // its user's and its database's record.
    auto expectCounters = [](const auto &r, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(r.CPU, 12345);
        EXPECT_EQ(r.MemUsage, 234);
        EXPECT_EQ(r.PhysicalIO, 34567);
        EXPECT_EQ(r.PrevCPU, 12000);
        EXPECT_EQ(r.PrevMemUsage, 200);
        EXPECT_EQ(r.PrevPhysicalIO, 30007);
        EXPECT_EQ(r.BlockedBy, 61);
        EXPECT_TRUE(r.Seen);
        EXPECT_EQ(r.BaselineCPU, 0);
        EXPECT_EQ(r.BaselinePhysicalIO, 0);
    };
    expectCounters(*p, "session");

    // Its user (login and address of its own) and its database (no other session's).
    const stUserInfo *u = Find<stUserInfo>(model->UserTable, [](const stUserInfo &r) {
        return !std::strcmp(r.LoginName, "kw_login");
    });
    ASSERT_NE(u, nullptr);
    expectWho(*u, "user");
    const stDatabaseInfo *d =
        Find<stDatabaseInfo>(model->DatabaseTable, [](const stDatabaseInfo &r) {
            return !std::strcmp(r.DatabaseName, "Sales");
        });
    ASSERT_NE(d, nullptr);
    auto expectGroup = [&](const auto &g, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_NEAR(g.EarliestLogin, loginTime, ms);
        EXPECT_NEAR(g.LatestLogin, loginTime, ms);
        EXPECT_NEAR(g.LatestActivity, lastBatch, ms);
        EXPECT_EQ(g.Processes, 1);
        EXPECT_EQ(g.PrevProcesses, 1);
        expectCounters(g, what);
    };
    expectGroup(*u, "user");
    expectGroup(*d, "database");

    // Its one thread.
    const stThreadInfo *t =
        Find<stThreadInfo>(model->ThreadTable, [](const stThreadInfo &r) { return r.SPID == 77; });
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->ECID, 0);
    EXPECT_EQ(t->WaitTime, 4567);
    EXPECT_STREQ(t->LastWaitType, "KW_WAIT_TYPE");
    EXPECT_STREQ(t->WaitResource, "KW: 5:1234:0");
    EXPECT_STREQ(t->DatabaseName, "Sales");

    // The session's row of the "All Processes" grid, column by column.
    ASSERT_EQ(FindRow(view, [](const GridSession &s) { return s.Spid == 77; }), row);
    const std::string cells[25] = {"L",
                                   "77",
                                   "kw_login",
                                   "KWHOST",
                                   "Sales",
                                   "KW COMMAND",
                                   "kw status",
                                   "KW Columns Program",
                                   "1",
                                   "0",
                                   kivra::DateTimeToStr(p->LoginTime),
                                   kivra::DateTimeToStr(p->LastBatch),
                                   "12345",
                                   "345",
                                   "234",
                                   "34",
                                   "34567",
                                   "4560",
                                   "61",
                                   "3",
                                   "4567",
                                   "4242",
                                   "KWDOM\\kwuser",
                                   "KW-Library",
                                   "0A1B2C3D4E5F"};
    for (int col = 0; col < 25; ++col) EXPECT_EQ(grid->Cells(col, row), cells[col]) << col;
    EXPECT_NE(cells[10], cells[11]);

    // The detail pane.
    EXPECT_EQ(pane->CurrentSpid, 77);
    EXPECT_EQ(Text(pane->LabelSPID), "77");
    EXPECT_EQ(Text(pane->LabelSQLUser), "kw_login");
    EXPECT_EQ(Text(pane->LabelWIndowsUser), "KWDOM\\kwuser");
    EXPECT_EQ(Text(pane->LabelDatabase), "Sales");
    EXPECT_EQ(Text(pane->LabelStatus), "kw status");
    EXPECT_EQ(Text(pane->LabelCommand), "KW COMMAND");
    EXPECT_EQ(Text(pane->LabelProgram), "KW Columns Program");
    EXPECT_EQ(Text(pane->LabelHost), "KWHOST");
    EXPECT_EQ(Text(pane->LabelLoginTime), cells[10]);
    EXPECT_EQ(Text(pane->LabelLastBatch), cells[11]);
    EXPECT_EQ(Text(pane->LabelCPU), "12345 (345)");
    EXPECT_EQ(Text(pane->LabelMemory), "234 (34)");
    EXPECT_EQ(Text(pane->LabelPhysicalIO), "34567 (4560)");
    EXPECT_EQ(Text(pane->LabelThreads), "1 (0)");
    EXPECT_EQ(Text(pane->LabelCommandType), "RPC Event");
    EXPECT_EQ(pane->MemoCommandText->toPlainText().toStdString(), "kw_input_buffer;1");
    EXPECT_EQ(pane->MemoFNGetSQL->toPlainText().toStdString(), "SELECT 'kw statement'");
    EXPECT_EQ(Text(pane->LabelCommandInformation),
              "Object: usp_KwColumns  (" + std::to_string(session.StmtStart / 2 + 1) + ":-1)");
    const TStringGrid *threads = pane->FrameThreadGrids->sgRight;
    ASSERT_EQ(threads->RowCount(), 2);
    const char *threadCells[] = {"0", "Sales", "KW_WAIT_TYPE", "KW: 5:1234:0", "4567"};
    for (int col = 0; col < 5; ++col) EXPECT_EQ(threads->Cells(col, 1), threadCells[col]) << col;

    // Each server counter was read into its own place and reaches its own statistic.
    EXPECT_EQ(after.Busy - before.Busy, step.CpuBusy);
    EXPECT_EQ(after.Idle - before.Idle, step.Idle);
    EXPECT_EQ(after.Sent - before.Sent, step.PackSent);
    EXPECT_EQ(after.Received - before.Received, step.PackReceived);
    EXPECT_EQ(after.PacketErrors - before.PacketErrors, step.PacketErrors);
    EXPECT_EQ(after.Read - before.Read, step.TotalRead);
    EXPECT_EQ(after.Write - before.Write, step.TotalWrite);
    EXPECT_EQ(after.IOErrors - before.IOErrors, step.TotalErrors);
    const std::uint32_t elapsedMs = after.Tick - before.Tick;
    ASSERT_GT(elapsedMs, 0u);
    const auto rate = [elapsedMs](std::int64_t perPoll) {
        return static_cast<int>(perPoll * 1000 / elapsedMs);
    };
    const struct {
        TServerStatistic stat;
        int expected;
    } stats[] = {
        {ssCPUBusy, 25},
        {ssPacketsSent, rate(step.PackSent)},
        {ssPacketsReceived, rate(step.PackReceived)},
        {ssPacketErrors, rate(step.PacketErrors)},
        {ssIORead, rate(step.TotalRead)},
        {ssIOWrite, rate(step.TotalWrite)},
        {ssIOErrors, rate(step.TotalErrors)},
        {ssSessions, model->ProcessTable->Count},
        {ssUsers, model->UserTable->Count},
    };
    for (const auto &s : stats)
        EXPECT_EQ(model->GetStatistic(s.stat, TDBServerInfo::kHistorySize - 1), s.expected)
            << "statistic " << s.stat << " over " << elapsedMs << " ms";
    EXPECT_EQ(model->ProcessTable->Count, 5);  // three system sessions, the monitor's, the test's
    EXPECT_EQ(model->UserTable->Count, 3);
    EXPECT_NEAR(model->ServerTime, kivra::Now(), 60.0 / kivra::kSecondsPerDay);
    EXPECT_EQ(Boxes.Count(), 0);

    gate.PauseAt(std::string());
    sim.SetPaused(false);
    CloseWindow();  // before the gate and the server go
}
