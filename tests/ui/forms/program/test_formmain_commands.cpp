// The main window's commands: connecting from the known servers with their saved logons (and the
// logon dialog when that fails), forgetting a known server, the baseline switch, the dialogs the
// menu and toolbar open, help and home page, and the commands that do nothing.

#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "ShellOpen.h"
#include "TFormLogon.h"
#include "TFormProperties.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameDBProcesses.h"
#include "TFrameServerList.h"
#include "TFrameToolbarButtons.h"
#include "TFrameTwinGrids.h"
#include "TFrameUserProcesses.h"
#include "TKnownServers.h"
#include "TRegistry.h"
#include "TestPump.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

namespace {

const char *const kHeader = "Windows Registry Editor Version 5.00\n\n";

std::string KnownList(const std::vector<std::string> &names) {
    std::string text = "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n";
    for (const std::string &n : names) text += "\"" + n + "\"=\"\"\n";
    return text + "\n";
}

std::string ServerKeySection(const std::string &server) {
    return "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\" + server + "]\n";
}

// The logon dialog's state when it is shown.
struct SeenLogon {
    std::string Server, Login, Password;
    bool Windows = false;
    TFormMain *MainForm = nullptr;
};

std::function<int(QDialog *)> RecordLogon(std::vector<SeenLogon> &seen) {
    return [&seen](QDialog *d) {
        auto *logon = qobject_cast<TFormLogon *>(d);
        EXPECT_NE(logon, nullptr) << d->metaObject()->className();
        if (!logon) return int(QDialog::Rejected);
        SeenLogon s;
        s.Server = Child<QComboBox>(d, "cboxServer")->currentText().toStdString();
        s.Login = Child<QLineEdit>(d, "editLogonID")->text().toStdString();
        s.Password = Child<QLineEdit>(d, "editPassword")->text().toStdString();
        s.Windows = Child<QCheckBox>(d, "cboxNTAuthentication")->isChecked();
        s.MainForm = dynamic_cast<TFormMain *>(logon->MainForm);
        seen.push_back(s);
        return int(QDialog::Rejected);
    };
}

QAction *MenuAction(TFormMain &w, const char *name) { return Child<QAction>(&w, name); }

}  // namespace

class CommandsTest : public ProgramTest {};

TEST_F(CommandsTest, TheWindowAsDesigned) {
    TFormMain &w = Window();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kivrawatch"));
    w.show();
    PumpPending();
    EXPECT_EQ(w.centralWidget()->size(), QSize(1213, 866));
    if (!qEnvironmentVariableIsEmpty("KIVRA_SAVE_SCREENSHOT"))
        w.grab().save(qEnvironmentVariable("KIVRA_SAVE_SCREENSHOT"));
    std::vector<std::string> menus;
    for (QAction *menu : w.menuBar()->actions()) menus.push_back(menu->text().toStdString());
    EXPECT_EQ(menus, (std::vector<std::string>{"Monitor", "View", "Processes", "Help"}));
    EXPECT_TRUE(w.Displayoriginalstats1->isChecked());
    EXPECT_FALSE(w.ResetStats1->isEnabled());
    EXPECT_EQ(w.FrameToolbarButtons1->ToolButtonConnect->text(), QStringLiteral("Connect"));
    EXPECT_EQ(w.FrameToolbarButtons1->ToolButtonKillGroup->width(), TFormMain::kButtonWidth);
    EXPECT_EQ(w.FrameClientArea1->PanelTabBar->height(), 25);
    EXPECT_EQ(w.FrameServerList1->MainForm, &w);
    EXPECT_EQ(w.FrameClientArea1->TabSet1->count(), 6);
}

TEST_F(CommandsTest, KnownServersAreLoadedOnceEachInAlphabeticalOrder) {
    Settings.SetContents(QByteArray(kHeader) +
                         KnownList({"zeta", "Alpha", "ALPHA", "beta"}).c_str());
    TFormMain &w = Window();
    EXPECT_EQ(KnownNames(w), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
    w.FrameServerList1->AddKnownServer("BETA");
    w.FrameServerList1->AddKnownServer("gamma");
    EXPECT_EQ(KnownNames(w), (std::vector<std::string>{"Alpha", "beta", "gamma", "zeta"}));
}

TEST_F(CommandsTest, ConnectKnownServerUsesTheSavedLogon) {
    SqlSimOptions options;
    const std::string longPassword(128, 'k');  // as long as SQL Server allows
    options.Logins.push_back({"long", longPassword, true, true});
    StartSims(1, options);
    const struct {
        const char *what;
        std::string values;
        bool connects;
    } cases[] = {
        {"UseWindowsNT 0",
         "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"sa\"\n\"Password\"=" +
             RegHex(SqlSimInstances::kPassword) + "\n",
         true},
        {"UseWindowsNT 2 is a SQL login",
         "\"UseWindowsNT\"=dword:00000002\n\"UserID\"=\"sa\"\n"
         "\"Password\"=" +
             RegHex(SqlSimInstances::kPassword) + "\n",
         true},
        {"UseWindowsNT as text is ignored",
         "\"UseWindowsNT\"=\"1\"\n\"UserID\"=\"sa\"\n"
         "\"Password\"=" +
             RegHex(SqlSimInstances::kPassword) + "\n",
         true},
        {"a 128-byte password read whole",
         "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"long\"\n\"Password\"=" +
             RegHex(longPassword) + "\n",
         true},
        {"Windows authentication (refused here)", "\"UseWindowsNT\"=dword:00000001\n", false},
        {"a saved logon without its password",
         "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"sa\"\n", false},
        {"no saved-logon key: SQL login, empty name and password", "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = KnownList({Name(0)});
        if (!c.values.empty()) file += ServerKeySection(Name(0)) + c.values;
        Settings.SetContents(QByteArray(kHeader) + file.c_str());
        DialogAnswerer dialogs;
        std::vector<SeenLogon> seen;
        dialogs.Answer = RecordLogon(seen);
        const int boxes = Boxes.Count();
        TFormMain &w = Window();
        ASSERT_EQ(KnownNames(w), std::vector<std::string>{Name(0)});
        // A double-click on the known server.
        w.FrameServerList1->ListBoxAllServers->setCurrentRow(0);
        w.FrameServerList1->ListBoxAllServersDblClick();
        EXPECT_EQ(w.ConnectedCount(), c.connects ? 1 : 0);
        if (c.connects) {
            EXPECT_EQ(Boxes.Count(), boxes);
            EXPECT_TRUE(dialogs.Shown.empty());
            EXPECT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
        } else {
            // The connect said why, then the logon dialog opened preset to the server.
            EXPECT_EQ(Boxes.Count(), boxes + 1);
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].Server, Name(0));
            EXPECT_EQ(seen[0].MainForm, &w);
        }
        CloseWindow();
    }
}

TEST_F(CommandsTest, ConnectWithPromptOpensTheLogonDialogPreset) {
    Settings.SetContents(QByteArray(kHeader) + KnownList({"HOST\\INST"}).c_str() +
                         ServerKeySection("HOST\\INST").c_str() +
                         "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"me\"\n");
    DialogAnswerer dialogs;
    std::vector<SeenLogon> seen;
    dialogs.Answer = RecordLogon(seen);
    TFormMain &w = Window();
    w.FrameServerList1->ListBoxAllServers->setCurrentRow(0);
    w.FrameServerList1->ConnectwithPrompt1->trigger();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Server, "HOST\\INST");
    EXPECT_EQ(seen[0].Login, "me");
    EXPECT_EQ(w.ConnectedCount(), 0);
    EXPECT_EQ(Boxes.Count(), 0);

    // Without a current entry the known-server commands do nothing.
    w.FrameServerList1->ListBoxAllServers->setCurrentRow(-1);
    w.FrameServerList1->ConnectwithPrompt1->trigger();
    w.FrameServerList1->puConnectToServer->trigger();
    w.FrameServerList1->Removefromlist1->trigger();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(KnownNames(w), std::vector<std::string>{"HOST\\INST"});
}

TEST_F(CommandsTest, RemoveFromListForgetsTheServerWithAndWithoutItsKey) {
    StartSims(1);
    Settings.SetContents(QByteArray(kHeader) + KnownList({"keyed", "bare", Name(0)}).c_str() +
                         ServerKeySection("keyed").c_str() + "\"UseWindowsNT\"=dword:00000001\n\n" +
                         ServerKeySection(Name(0)).c_str() + "\"UseWindowsNT\"=dword:00000000\n");
    TFormMain &w = Window();
    ASSERT_TRUE(Connect(0));
    auto remove = [&](const std::string &name) {
        QListWidget *list = w.FrameServerList1->ListBoxAllServers;
        const auto found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        list->setCurrentItem(found[0]);
        w.FrameServerList1->Removefromlist1->trigger();
    };
    remove("keyed");
    EXPECT_FALSE(TRegistry(KEY_READ).KeyExists(TKnownServers::ServerKey("keyed")));
    remove("bare");
    std::vector<std::string> left = TKnownServers::ListKnownServers();
    EXPECT_EQ(left, std::vector<std::string>{Name(0)});

    // A connected server: only the known entry and its stored data go; the connection stays.
    remove(Name(0));
    EXPECT_TRUE(TKnownServers::ListKnownServers().empty());
    EXPECT_FALSE(TKnownServers::ReadSavedLogon(Name(0)).KeyExists);
    EXPECT_TRUE(KnownNames(w).empty());
    EXPECT_EQ(ActiveNames(w), std::vector<std::string>{Name(0)});
    EXPECT_TRUE(w.IsServerConnected(0));
}

TEST_F(CommandsTest, DisplayOriginalStatsTwiceComesBackToTheStart) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(Connect(1));
    TFormMain &w = Window();
    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    ASSERT_FALSE(TDBServerInfo::ProcessBaselineMode);
    for (int click = 1; click <= 4; ++click) {
        SCOPED_TRACE(click);
        w.Displayoriginalstats1->trigger();  // through the menu, as a user clicks
        const bool baseline = click % 2 == 1;
        EXPECT_EQ(TDBServerInfo::ProcessBaselineMode, baseline);
        EXPECT_EQ(TDBServerInfo::UserBaselineMode, baseline);
        EXPECT_EQ(TDBServerInfo::DatabaseBaselineMode, baseline);
        EXPECT_EQ(w.Displayoriginalstats1->isChecked(), !baseline);
        // "Reset Stats" is enabled exactly when the item is unchecked.
        EXPECT_EQ(w.ResetStats1->isEnabled(), !w.Displayoriginalstats1->isChecked());
        if (w.ResetStats1->isEnabled()) {
            w.ResetStats1->trigger();
            EXPECT_TRUE(TDBServerInfo::ProcessBaselineMode);
        }
    }
    EXPECT_FALSE(TDBServerInfo::ProcessBaselineMode);
}

TEST_F(CommandsTest, MenuAndToolbarOpenTheirDialogs) {
    TFormMain &w = Window();
    DialogAnswerer dialogs;
    std::vector<TFormMain *> mainForms;
    dialogs.Answer = [&](QDialog *d) {
        if (auto *logon = qobject_cast<TFormLogon *>(d))
            mainForms.push_back(dynamic_cast<TFormMain *>(logon->MainForm));
        if (auto *props = qobject_cast<TFormProperties *>(d)) mainForms.push_back(props->MainForm);
        return int(QDialog::Rejected);
    };
    MenuAction(w, "ConnecttoServer1")->trigger();
    w.FrameToolbarButtons1->ToolButtonConnect->click();
    MenuAction(w, "Properties1")->trigger();
    w.FrameToolbarButtons1->ToolButtonProperties->click();
    MenuAction(w, "AboutKivrawatch1")->trigger();
    EXPECT_EQ(dialogs.Shown,
              (std::vector<std::string>{"TFormLogon", "TFormLogon", "TFormProperties",
                                        "TFormProperties", "TFormAbout"}));
    EXPECT_EQ(mainForms, (std::vector<TFormMain *>(4, &w)));
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(CommandsTest, ConnectingThroughTheLogonDialog) {
    StartSims(1);
    TFormMain &w = Window();
    DialogAnswerer dialogs;
    const std::string server = Name(0);
    dialogs.Answer = [&server](QDialog *d) {
        d->show();
        Child<QComboBox>(d, "cboxServer")->setEditText(QString::fromStdString(server));
        Child<QLineEdit>(d, "editLogonID")->setText(QStringLiteral("sa"));
        Child<QLineEdit>(d, "editPassword")
            ->setText(QString::fromLatin1(SqlSimInstances::kPassword));
        Child<QCheckBox>(d, "cboxSavePassword")->setChecked(true);
        Child<QPushButton>(d, "btnLogon")->click();
        return d->result();
    };
    w.FrameToolbarButtons1->ToolButtonConnect->click();
    EXPECT_EQ(w.ConnectedCount(), 1);
    EXPECT_EQ(ActiveNames(w), std::vector<std::string>{server});
    EXPECT_EQ(KnownNames(w), std::vector<std::string>{server});
    EXPECT_EQ(TKnownServers::ReadSavedLogon(server).Password, SqlSimInstances::kPassword);
    EXPECT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
}

TEST_F(CommandsTest, HelpAndHomePageGoToTheDesktop) {
    TFormMain &w = Window();
    std::vector<QUrl> opened;
    const kivra::ShellOpenHandler previous = kivra::SetShellOpenHandler([&](const QUrl &url) {
        opened.push_back(url);
        return true;
    });
    QFile::remove(kivra::HelpFilePath());
    MenuAction(w, "KivrawatchHeko1")->trigger();
    EXPECT_TRUE(opened.empty()) << "a missing help file shows nothing";
    {
        QFile help(kivra::HelpFilePath());
        ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    }
    MenuAction(w, "KivrawatchHeko1")->trigger();
    MenuAction(w, "HomePage1")->trigger();
    QFile::remove(kivra::HelpFilePath());
    kivra::SetShellOpenHandler(previous);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(kivra::HelpFilePath()));
    EXPECT_EQ(opened[1], kivra::HomePageUrl());
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(CommandsTest, KillGroupAndKillAllDoNothing) {
    StartSims(1);
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    TDBServerInfo *model = w.Connections[0].ServerInfo;
    ASSERT_TRUE(WaitForPoll(model));
    const int sessions = model->ProcessTable->Count;
    DialogAnswerer dialogs;
    w.FrameToolbarButtons1->ToolButtonKillGroup->click();
    MenuAction(w, "Killallprocesses1")->trigger();
    EXPECT_EQ(Boxes.Count(), 0);
    EXPECT_TRUE(dialogs.Shown.empty());
    ASSERT_TRUE(WaitForPolls(model, 1));
    EXPECT_GE(model->ProcessTable->Count, sessions - 2) << "no session was killed";
}

TEST_F(CommandsTest, TheTabBarIsBoundThroughTheMainWindow) {
    TFormMain &w = Window();
    TFrameClientArea *area = w.FrameClientArea1;
    area->TabSet1->setCurrentIndex(3);
    EXPECT_FALSE(area->UserProcesses->isHidden());
    EXPECT_EQ(area->GetCurrentSPID(), -1);  // nothing selected without a server
    MenuAction(w, "MenuExit")->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(CommandsTest, KillAsksForTheHighlightedSessionAndKillsOnlyOnYes) {
    SqlSimOptions options;
    options.Workload.ChurnPercent = 0;  // sessions stay unless killed
    StartSims(1, options);
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    TDBServerInfo *model = w.Connections[0].ServerInfo;
    ASSERT_TRUE(WaitForPoll(model));
    TFrameAllProcesses *all = w.FrameClientArea1->AllProcesses;
    w.FrameClientArea1->TabSet1->setCurrentIndex(4);

    const struct {
        const char *what;
        bool system;   // a session of 10 or less
        bool toolbar;  // "Kill Proc" rather than the menu
        int answer;    // to the question
        bool killed;
    } cases[] = {
        {"a session of 10 or less is never offered", true, false, kivra::IDYES, false},
        {"the same from the toolbar", true, true, kivra::IDYES, false},
        {"answered No", false, false, kivra::IDNO, false},
        {"answered Yes from the menu", false, false, kivra::IDYES, true},
        {"answered Yes from the toolbar", false, true, kivra::IDYES, true},
    };
    // The server refuses to kill what logged in with its system sessions.
    const int systemRow = FindRow(all, [](const GridSession &s) { return s.Spid == 1; });
    ASSERT_GT(systemRow, 0);
    const std::string systemLogin = all->FrameProcessGrids->sgRight->Cells(10, systemRow);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const int row = FindRow(all, [&](const GridSession &s) {
            // A user session of the workload: not a system one, not one of this program's own.
            return c.system
                       ? s.Spid > 0 && s.Spid <= 10
                       : s.Spid > 25 && s.Program != "VORNIXMonitor" && s.LoginTime != systemLogin;
        });
        ASSERT_GT(row, 0);
        all->FrameProcessGrids->SelectRow(row);
        const int spid = all->GetSelectedSpid();
        ASSERT_EQ(w.FrameClientArea1->GetCurrentSPID(), spid);
        const TDateTime loginTime = LoginTimeOf(model, spid);
        const int boxes = Boxes.Count();
        Boxes.Answers.push_back(c.answer);
        if (c.toolbar)
            w.FrameToolbarButtons1->ToolButtonKillProc->click();
        else
            MenuAction(w, "KillProcesses1")->trigger();
        if (c.system) {
            EXPECT_EQ(Boxes.Count(), boxes);
            Boxes.Answers.clear();
            continue;
        }
        ASSERT_EQ(Boxes.Count(), boxes + 1);
        const RecordedMessageBox &box = Boxes.Boxes.back();
        EXPECT_EQ(box.Text, "Do you really want to kill process " + std::to_string(spid) + "?");
        EXPECT_EQ(box.Caption, "Kill Process Confirm");
        EXPECT_EQ(box.Flags, unsigned(kivra::MB_YESNO | kivra::MB_ICONQUESTION));
        if (c.killed) {
            // The kill wakes a poll at once, which no longer sees the session.
            EXPECT_TRUE(PumpUntil([&] { return !HasSession(model, spid, loginTime); }));
        } else {
            ASSERT_TRUE(WaitForPolls(model, 2));
            EXPECT_TRUE(HasSession(model, spid, loginTime));
        }
    }

    // The graph views and the blocked-sessions view offer no session, whatever is highlighted.
    for (int tab : {0, 1, 5}) {
        SCOPED_TRACE(tab);
        w.FrameClientArea1->TabSet1->setCurrentIndex(tab);
        EXPECT_EQ(w.FrameClientArea1->GetCurrentSPID(), -1);
        MenuAction(w, "KillProcesses1")->trigger();
        w.FrameToolbarButtons1->ToolButtonKillProc->click();
    }
    EXPECT_EQ(Boxes.Count(), 3);
}

TEST_F(CommandsTest, TheCurrentSessionComesFromTheVisibleSessionView) {
    StartSims(1);
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    w.FrameClientArea1->RefreshViews();
    TFrameClientArea *area = w.FrameClientArea1;
    const struct {
        int tab;
        std::function<int()> expected;
    } cases[] = {
        {0, [] { return -1; }},
        {1, [] { return -1; }},
        {2, [area] { return area->DBProcesses->GetSelectedSpid(); }},
        {3, [area] { return area->UserProcesses->GetSelectedSpid(); }},
        {4, [area] { return area->AllProcesses->GetSelectedSpid(); }},
        {5, [] { return -1; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tab);
        area->TabSet1->setCurrentIndex(c.tab);
        EXPECT_EQ(area->GetCurrentSPID(), c.expected());
    }
    area->TabSet1->setCurrentIndex(4);
    EXPECT_GT(area->GetCurrentSPID(), 0) << "the all-sessions view highlights a row";
}
