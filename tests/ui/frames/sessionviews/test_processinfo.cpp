// The session detail pane: captions from the model, the fetch rules of the input buffer and the
// statement (marked texts show whether a fetch happened), the pause boxes, the kill with its
// confirmation; against sqlsim the real texts of a session (with and without the statement
// feature and permission), a kill confirmed and declined, and a lost connection.

#include "TFrameProcessInfo.h"
#include "TFrameTwinGrids.h"

#include "DateTimeText.h"
#include "KivraThreadSource.h"
#include "MessageBoxRecorder.h"
#include "PolledServer.h"
#include "SqlSimInstances.h"
#include "TestPump.h"
#include "ViewTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

#include <set>

namespace {

const QString kMark = QStringLiteral("-- earlier text --");

QString Plain(const std::string &text) {
    return QString::fromStdString(text).remove(QLatin1Char('\r'));
}

class ProcessInfo : public ::testing::Test {
protected:
    void SetUp() override {
        Pane.resize(900, 262);
        Pane.show();
        Pane.ServerInfo = Server.Model();
    }

    void Mark() {
        Pane.MemoCommandText->setPlainText(kMark);
        Pane.MemoFNGetSQL->setPlainText(kMark);
    }
    bool InputBufferFetched() const { return Pane.MemoCommandText->toPlainText() != kMark; }
    bool StatementFetched() const { return Pane.MemoFNGetSQL->toPlainText() != kMark; }

    FedServer Server;
    TFrameProcessInfo Pane;
};

TEST_F(ProcessInfo, ShowsTheSessionWithItsCountersAndTheirChange) {
    PollRow r;
    r.SPID = 57;
    r.LoginName = "app_orders";
    r.NTDomain = "CORP";
    r.NTUserName = "jdoe";
    r.DatabaseName = "Sales";
    r.Status = "runnable";
    r.Command = "SELECT";
    r.ProgramName = "OrderEntry";
    r.HostName = "WEB01";
    r.CPU = 100;
    r.MemUsage = 20;
    r.PhysicalIO = 7;
    r.LoginTime = 45000.25;
    r.LastBatch = 45001.5;
    PollRow second = r;
    second.ECID = 1;
    second.LastWaitType = "CXPACKET";
    Server.Poll({r});
    r.CPU = 130;
    r.MemUsage = 12;
    r.PhysicalIO = 9;
    second.CPU = 5;
    Server.Poll({r, second});

    Pane.ShowProcess(57);
    const struct {
        QLabel *label;
        QString text;
    } captions[] = {
        {Pane.LabelSPID, "57"},
        {Pane.LabelSQLUser, "app_orders"},
        {Pane.LabelWIndowsUser, "CORP\\jdoe"},
        {Pane.LabelDatabase, "Sales"},
        {Pane.LabelStatus, "runnable"},
        {Pane.LabelCommand, "SELECT"},
        {Pane.LabelProgram, "OrderEntry"},
        {Pane.LabelHost, "WEB01"},
        {Pane.LabelLoginTime, QString::fromStdString(kivra::DateTimeToStr(45000.25))},
        {Pane.LabelLastBatch, QString::fromStdString(kivra::DateTimeToStr(45001.5))},
        {Pane.LabelCPU, "135 (35)"},
        {Pane.LabelMemory, "12 (-8)"},
        {Pane.LabelPhysicalIO, "9 (2)"},
        {Pane.LabelThreads, "2 (1)"},
    };
    for (const auto &c : captions)
        EXPECT_EQ(c.label->text(), c.text) << c.label->objectName().toStdString();
    EXPECT_EQ(Pane.CurrentSpid, 57);
    // The threads tab: one row per execution context, in the order the poll gave them.
    const TStringGrid *threads = Pane.FrameThreadGrids->sgRight;
    EXPECT_EQ(Column(threads, 0), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(Column(threads, 2), (std::vector<std::string>{"MISCELLANEOUS", "CXPACKET"}));
    EXPECT_EQ(Pane.FrameThreadGrids->LabelCount->text(), QStringLiteral("2 Threads"));
    EXPECT_EQ(Pane.FrameThreadGrids->sgLeft->ColWidths(3), 45);
    EXPECT_EQ(Pane.FrameThreadGrids->sgRight->ColWidths(3), 125);
    // Without a server behind the thread object, the texts are the thread's fallbacks.
    EXPECT_EQ(Pane.LabelCommandType->text(), QStringLiteral("NONE"));
    EXPECT_EQ(Pane.MemoCommandText->toPlainText(), QStringLiteral("<No SQL Found>"));
    EXPECT_EQ(Pane.LabelCommandInformation->text(), QStringLiteral("Object:   (0:0)"));
}

TEST_F(ProcessInfo, LoginAndBatchTimesAreShownOnlyWhenTheyAreReal) {
    const struct {
        TDateTime login, batch;
        bool loginShown, batchShown;
    } cases[] = {
        {38000.0, 0.0, false, false},  // the earliest login time that shows none
        {37999.9, -1.0, false, false},
        {2.0, 0.5, false, true},  // 1 January 1900 of a system session
        {38000.5, 45000.0, true, true},
    };
    int spid = 60;
    for (const auto &c : cases) {
        PollRow r;
        r.SPID = ++spid;
        r.LoginTime = c.login;
        r.LastBatch = c.batch;
        Server.Poll({r});
        Pane.ShowProcess(spid);
        EXPECT_EQ(Pane.LabelLoginTime->text().isEmpty(), !c.loginShown) << c.login;
        EXPECT_EQ(Pane.LabelLastBatch->text().isEmpty(), !c.batchShown) << c.batch;
        if (c.loginShown) {
            EXPECT_EQ(Pane.LabelLoginTime->text(),
                      QString::fromStdString(kivra::DateTimeToStr(c.login)));
        }
    }
}

TEST_F(ProcessInfo, ASessionGoneFromTheModelShowsOnlyItsNumber) {
    Server.Poll(Sessions(51, 2));
    Pane.ShowProcess(51);
    Pane.ShowProcess(77);
    EXPECT_EQ(Pane.LabelSPID->text(), QStringLiteral("77"));
    for (QLabel *label : {Pane.LabelSQLUser, Pane.LabelHost, Pane.LabelCPU, Pane.LabelThreads,
                          Pane.LabelLoginTime, Pane.LabelLastBatch})
        EXPECT_TRUE(label->text().isEmpty()) << label->objectName().toStdString();
    EXPECT_EQ(Pane.FrameThreadGrids->sgRight->RowCount(), 1);
}

TEST_F(ProcessInfo, NoSessionEmptiesEverything) {
    Server.Poll(Sessions(51, 1));
    Pane.ShowProcess(51);
    ASSERT_FALSE(Pane.LabelSQLUser->text().isEmpty());
    for (int none : {-1, 0}) {
        Pane.ShowProcess(51);
        Pane.ShowProcess(none);
        for (QLabel *label :
             {Pane.LabelSPID, Pane.LabelSQLUser, Pane.LabelWIndowsUser, Pane.LabelDatabase,
              Pane.LabelStatus, Pane.LabelCommand, Pane.LabelProgram, Pane.LabelHost,
              Pane.LabelLoginTime, Pane.LabelLastBatch, Pane.LabelCPU, Pane.LabelMemory,
              Pane.LabelPhysicalIO, Pane.LabelThreads, Pane.LabelCommandType,
              Pane.LabelCommandInformation})
            EXPECT_TRUE(label->text().isEmpty()) << label->objectName().toStdString();
        EXPECT_TRUE(Pane.MemoCommandText->toPlainText().isEmpty());
        EXPECT_TRUE(Pane.MemoFNGetSQL->toPlainText().isEmpty());
        EXPECT_EQ(Pane.FrameThreadGrids->sgRight->RowCount(), 1);
        EXPECT_EQ(Pane.FrameThreadGrids->LabelCount->text(), QStringLiteral("0 Threads"));
        EXPECT_EQ(Pane.CurrentSpid, none);
        EXPECT_EQ(Pane.InputBufferSpid, none);
        EXPECT_EQ(Pane.StatementSpid, none);
    }
}

TEST_F(ProcessInfo, WithoutAServerThePaneIsEmptyAndKillDoesNothing) {
    Server.Poll(Sessions(51, 1));
    Pane.ShowProcess(51);
    Pane.ServerInfo = nullptr;
    Pane.ShowProcess(51);
    EXPECT_TRUE(Pane.LabelSPID->text().isEmpty());
    EXPECT_EQ(Pane.CurrentSpid, -1);
    MessageBoxRecorder boxes(kivra::IDYES);
    Pane.CurrentSpid = 51;
    Pane.ButtonKillProcess->click();
    EXPECT_EQ(boxes.Count(), 0);
    Pane.CheckBoxPause1->setChecked(true);
    Pane.CheckBoxPause1->setChecked(false);  // a refetch without a server: nothing
    EXPECT_TRUE(Pane.MemoCommandText->toPlainText().isEmpty());
}

TEST_F(ProcessInfo, FetchRulesOfTheTwoTexts) {
    Server.Poll(Sessions(51, 4));
    // The input-buffer tab shows: its text is fetched at every refresh, the hidden statement's
    // only for a new session.
    Pane.ShowProcess(51);
    Mark();
    Pane.ShowProcess(51);
    EXPECT_TRUE(InputBufferFetched());
    EXPECT_FALSE(StatementFetched());

    // The threads tab shows: neither text again for the same session, both once for a new one.
    Pane.TabSetProcess->setCurrentIndex(2);
    EXPECT_TRUE(Pane.PanelThreads->isVisibleTo(&Pane));
    EXPECT_TRUE(Pane.PanelCommand->isHidden());
    Mark();
    Pane.ShowProcess(51);
    EXPECT_FALSE(InputBufferFetched());
    EXPECT_FALSE(StatementFetched());
    Pane.ShowProcess(52);
    EXPECT_TRUE(InputBufferFetched());
    EXPECT_TRUE(StatementFetched());
    EXPECT_EQ(Pane.InputBufferSpid, 52);
    EXPECT_EQ(Pane.StatementSpid, 52);
    Mark();
    Pane.ShowProcess(52);
    EXPECT_FALSE(InputBufferFetched());
    EXPECT_FALSE(StatementFetched());

    // The statement tab shows, paused: a new session is fetched once, then nothing.
    Pane.TabSetProcess->setCurrentIndex(1);
    Pane.CheckBoxPause1->setChecked(true);
    EXPECT_TRUE(Pane.CheckBoxPause2->isChecked()) << "the boxes agree";
    Mark();
    Pane.ShowProcess(53);
    EXPECT_TRUE(InputBufferFetched());
    EXPECT_TRUE(StatementFetched());
    Mark();
    Pane.ShowProcess(53);
    EXPECT_FALSE(InputBufferFetched());
    EXPECT_FALSE(StatementFetched());

    // Unchecking either box refetches the visible tab's text at once.
    Mark();
    Pane.CheckBoxPause2->setChecked(false);
    EXPECT_FALSE(Pane.CheckBoxPause1->isChecked());
    EXPECT_TRUE(StatementFetched());
    EXPECT_FALSE(InputBufferFetched());
    // Switching tabs fetches nothing: the tab shows what it last received.
    Mark();
    Pane.TabSetProcess->setCurrentIndex(0);
    EXPECT_FALSE(InputBufferFetched());
    EXPECT_TRUE(Pane.PanelCommand->isVisibleTo(&Pane));
    EXPECT_TRUE(Pane.PanelFNGetSQL->isHidden());
}

TEST_F(ProcessInfo, KillIsOfferedOnlyAboveSessionTen) {
    MessageBoxRecorder boxes(kivra::IDNO);
    Server.Poll(Sessions(9, 4));
    for (int spid : {9, 10}) {
        Pane.ShowProcess(spid);
        Pane.ButtonKillProcess->click();
    }
    EXPECT_EQ(boxes.Count(), 0);
    Pane.ShowProcess(11);
    Pane.ButtonKillProcess->click();
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Boxes[0].Text, "Do you really want to kill process 11?");
    EXPECT_EQ(boxes.Boxes[0].Caption, "Kill Process Confirm");
    EXPECT_EQ(boxes.Boxes[0].Flags, unsigned(kivra::MB_YESNO | kivra::MB_ICONQUESTION));
}

TEST_F(ProcessInfo, AServerUnboundOrChangedDuringTheQuestionIsNotKilledOn) {
    Server.Poll(Sessions(51, 2));
    FedServer otherServer("FED\\TWO");
    otherServer.Poll(Sessions(51, 2));
    for (TDBServerInfo *rebound : {static_cast<TDBServerInfo *>(nullptr), otherServer.Model()}) {
        Pane.ServerInfo = Server.Model();
        Pane.ShowProcess(52);
        MessageBoxRecorder boxes(kivra::IDYES);
        boxes.OnShown = [&](const RecordedMessageBox &) { Pane.ServerInfo = rebound; };
        Pane.ButtonKillProcess->click();
        // One box: the question. A kill sent to the thread object (never connected) would have
        // failed and been shown as a second box.
        EXPECT_EQ(boxes.Count(), 1);
    }
}

TEST_F(ProcessInfo, AKillTheServerRefusesIsShownAsAnError) {
    Server.Poll(Sessions(51, 1));
    Pane.ShowProcess(51);
    MessageBoxRecorder boxes(kivra::IDYES);
    Pane.ButtonKillProcess->click();
    ASSERT_EQ(boxes.Count(), 2);
    EXPECT_EQ(boxes.Boxes[1].Flags & kivra::MB_ICONERROR, unsigned(kivra::MB_ICONERROR));
}

TEST_F(ProcessInfo, ThePauseBoxesSitAtTheRightEdge) {
    Pane.resize(1100, 262);
    PumpUntil([&] {
        return Pane.CheckBoxPause1->geometry().right() ==
               Pane.CheckBoxPause1->parentWidget()->width() - 1;
    });
    EXPECT_EQ(Pane.CheckBoxPause1->geometry().right(),
              Pane.CheckBoxPause1->parentWidget()->width() - 1);
    EXPECT_EQ(Pane.CheckBoxPause2->x(), Pane.CheckBoxPause1->x());
    EXPECT_EQ(Pane.Title(), QStringLiteral(" Session Information"));
    EXPECT_EQ(Pane.TabSetProcess->count(), 3);
    EXPECT_EQ(Pane.TabSetProcess->tabText(1), QStringLiteral("fn_get_sql()"));
}

// ---- Against sqlsim --------------------------------------------------------------------------

SqlSimOptions Quiet() {
    SqlSimOptions o;
    o.Workload.Seed = 11;
    o.Workload.UserSessions = 30;
    o.Workload.ChurnPercent = 0;
    o.Workload.BlockingChains = 0;
    return o;
}

// A user session of the workload that runs a statement (and so has a handle and a text).
bool RunningSession(SqlSimServer &server, SimSession &out, bool otherDatabase = false) {
    bool found = false;
    server.Workload().Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
        for (const auto &[spid, s] : sessions)
            if (!s.System && !s.Client && s.HasHandle && !s.Encrypted && !s.SqlText.empty() &&
                (!otherDatabase || (s.Dbid != 1 && s.Dbid != 2))) {
                out = s;
                found = true;
                return;
            }
    });
    return found;
}

std::set<int> ClientSpids(SqlSimServer &server) {
    std::set<int> spids;
    server.Workload().Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
        for (const auto &[spid, s] : sessions)
            if (s.Client) spids.insert(spid);
    });
    return spids;
}

class ProcessInfoLive : public ::testing::Test {
protected:
    void Start(const SqlSimOptions &options, const std::string &user = "sa",
               const std::string &password = "Kivra-Test-1", int refresh = 3600) {
        Sims = std::make_unique<SqlSimInstances>(1, options);
        ASSERT_TRUE(Sims->Started()) << Sims->Error();
        for (const SimLogin &login : Logins) Sims->Server(0).SetLogin(login);
        ASSERT_TRUE(Monitor.Connect(Sims->ServerName(0), refresh, user, password));
        ASSERT_TRUE(Monitor.WaitForPolls(1));
        Pane.resize(900, 262);
        Pane.show();
        Pane.ServerInfo = Monitor.Model();
    }

    std::vector<SimLogin> Logins;
    std::unique_ptr<SqlSimInstances> Sims;
    PolledServer Monitor;
    TFrameProcessInfo Pane;
};

TEST_F(ProcessInfoLive, TheInputBufferAndStatementOfARealSession) {
    Start(Quiet());
    SimSession s;
    ASSERT_TRUE(RunningSession(Sims->Server(0), s));
    Pane.ShowProcess(s.Spid);
    EXPECT_EQ(Pane.LabelCommandType->text(), QString::fromStdString(s.EventType));
    EXPECT_EQ(Pane.MemoCommandText->toPlainText(), Plain(s.InputBuffer));
    const QString statement = Pane.MemoFNGetSQL->toPlainText();
    EXPECT_FALSE(statement.isEmpty());
    EXPECT_TRUE(Plain(s.SqlText).contains(statement)) << statement.toStdString();
    const QString object = s.ObjectName.empty() ? QStringLiteral("<BATCH>")
                                                : QString::fromStdString(s.ObjectName);
    EXPECT_TRUE(Pane.LabelCommandInformation->text().startsWith(QStringLiteral("Object: ") +
                                                                object + "  ("))
        << Pane.LabelCommandInformation->text().toStdString();
    EXPECT_EQ(Pane.LabelSQLUser->text(), QString::fromStdString(s.Login));
    EXPECT_EQ(Pane.LabelHost->text(), QString::fromStdString(s.Host));
}

TEST_F(ProcessInfoLive, WithoutTheStatementFeature) {
    SqlSimOptions o = Quiet();
    o.NoStmtStart = true;
    Start(o);
    SimSession s;
    ASSERT_TRUE(RunningSession(Sims->Server(0), s));
    Pane.ShowProcess(s.Spid);
    EXPECT_EQ(Pane.MemoFNGetSQL->toPlainText(),
              QStringLiteral("This feature requires SQL Server 2000 SP 3 or greater"));
    EXPECT_EQ(Pane.LabelCommandInformation->text(), QStringLiteral("Object: ?  (0:0)"));
    EXPECT_EQ(Pane.MemoCommandText->toPlainText(), Plain(s.InputBuffer))
        << "the input buffer still comes";
}

TEST_F(ProcessInfoLive, WithoutThePermission) {
    Logins = {{"watcher", "Watch-1", false, false}};
    Start(Quiet(), "watcher", "Watch-1");
    SimSession s;
    ASSERT_TRUE(RunningSession(Sims->Server(0), s));
    Pane.ShowProcess(s.Spid);
    EXPECT_EQ(Pane.MemoFNGetSQL->toPlainText(),
              QStringLiteral("You do not have permission to run the fn_get_sql function"));
    EXPECT_EQ(Pane.LabelCommandInformation->text(), QStringLiteral("Object: ?  (0:0)"));
}

TEST_F(ProcessInfoLive, WithoutAccessToTheSessionsDatabase) {
    Logins = {{"reader", "Read-1", true, false}};
    Start(Quiet(), "reader", "Read-1");
    SimSession s;
    ASSERT_TRUE(RunningSession(Sims->Server(0), s, true));
    Pane.ShowProcess(s.Spid);
    EXPECT_TRUE(Pane.LabelCommandInformation->text().startsWith(
        QStringLiteral("Object: <Insufficient Rights>  (")))
        << Pane.LabelCommandInformation->text().toStdString();
}

TEST_F(ProcessInfoLive, AConfirmedKillEndsTheSessionAtTheNextPoll) {
    Start(Quiet(), "sa", "Kivra-Test-1", 1);
    const std::set<int> before = ClientSpids(Sims->Server(0));
    PolledServer other;  // another client of the server: its session is the one killed
    ASSERT_TRUE(other.Connect(Sims->ServerName(0), 3600));
    std::set<int> after = ClientSpids(Sims->Server(0));
    for (int spid : before) after.erase(spid);
    ASSERT_EQ(after.size(), 1u);
    const int victim = *after.begin();
    std::string login, nt, db, st, cmd, prog, host;
    int n[10];
    TDateTime t1, t2;
    auto listed = [&] {
        return Monitor.Model()->GetProcessDetails(victim, login, nt, db, st, cmd, prog, host, n[0],
                                                  n[1], n[2], n[3], n[4], n[5], n[6], n[7], t1, t2);
    };
    ASSERT_TRUE(PumpUntil(listed));
    Pane.ShowProcess(victim);
    EXPECT_EQ(Pane.LabelSPID->text(), QString::number(victim));

    MessageBoxRecorder boxes(kivra::IDYES);
    Pane.ButtonKillProcess->click();
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Boxes[0].Text,
              "Do you really want to kill process " + std::to_string(victim) + "?");
    EXPECT_TRUE(PumpUntil([&] { return !listed(); }));
    EXPECT_EQ(ClientSpids(Sims->Server(0)).count(victim), 0u);
}

TEST_F(ProcessInfoLive, ADeclinedKillLeavesTheSession) {
    Start(Quiet(), "sa", "Kivra-Test-1", 1);
    SimSession s;
    ASSERT_TRUE(RunningSession(Sims->Server(0), s));
    Pane.ShowProcess(s.Spid);
    MessageBoxRecorder boxes(kivra::IDNO);
    Pane.ButtonKillProcess->click();
    ASSERT_EQ(boxes.Count(), 1);
    ASSERT_TRUE(Monitor.WaitForPolls(1));
    SimSession still;
    EXPECT_TRUE(Sims->Server(0).Workload().Find(s.Spid, still));
    EXPECT_EQ(still.LoginTimeMs, s.LoginTimeMs);
}

TEST_F(ProcessInfoLive, ALostConnectionEmptiesTheTexts) {
    Start(Quiet(), "sa", "Kivra-Test-1", 1);
    SimSession s;
    ASSERT_TRUE(RunningSession(Sims->Server(0), s));
    Pane.ShowProcess(s.Spid);
    ASSERT_FALSE(Pane.MemoCommandText->toPlainText().isEmpty());
    Sims->Server(0).SetRefuseConnections(true);
    Sims->Server(0).DropConnections();
    ASSERT_TRUE(PumpUntil([&] { return Monitor.Model()->Disconnected; }));
    Pane.TabSetProcess->setCurrentIndex(1);
    Pane.ShowProcess(s.Spid);  // the statement tab shows: both texts are asked for again
    Pane.TabSetProcess->setCurrentIndex(0);
    Pane.ShowProcess(s.Spid);
    EXPECT_TRUE(Pane.MemoCommandText->toPlainText().isEmpty());
    EXPECT_TRUE(Pane.LabelCommandType->text().isEmpty());
    EXPECT_TRUE(Pane.MemoFNGetSQL->toPlainText().isEmpty());
    EXPECT_EQ(Pane.LabelCommandInformation->text(), QStringLiteral("Object:   (0:0)"));
}

}  // namespace
