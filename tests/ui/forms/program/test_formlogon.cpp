// The logon dialog and the saved-logon store: what a logon writes (only after a successful
// connect), what loading a saved logon puts into the controls under the reader rule, the combo's
// known servers and default server, the browse button, and the store's own rules (names whose
// key would be the servers key, HOST\INSTANCE logons below HOST, passwords read back whole,
// UTF-8 bytes).

#include "ProgramTestSupport.h"

#include "TFormLogon.h"
#include "TFormServerList.h"
#include "TFrameServerList.h"
#include "TFrameToolbarButtons.h"
#include "TKnownServers.h"
#include "TRegistry.h"
#include "TestPump.h"
#include "UnreadableSettingsPath.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace {

const char *const kHeader = "Windows Registry Editor Version 5.00\n\n";

std::string ServerKeySection(const std::string &server) {
    return "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\" + server + "]\n";
}

struct LogonControls {
    explicit LogonControls(QDialog *d)
        : Server(Child<QComboBox>(d, "cboxServer")),
          WindowsAuth(Child<QCheckBox>(d, "cboxNTAuthentication")),
          Login(Child<QLineEdit>(d, "editLogonID")), Password(Child<QLineEdit>(d, "editPassword")),
          SavePassword(Child<QCheckBox>(d, "cboxSavePassword")),
          Logon(Child<QPushButton>(d, "btnLogon")), Browse(Child<QPushButton>(d, "Button1")),
          Cancel(Child<QPushButton>(d, "Button3")) {}
    QComboBox *Server;
    QCheckBox *WindowsAuth;
    QLineEdit *Login;
    QLineEdit *Password;
    QCheckBox *SavePassword;
    QPushButton *Logon;
    QPushButton *Browse;
    QPushButton *Cancel;
};

// The settings store's view of one value: its type and its bytes as read back.
struct StoredValue {
    TRegDataType Type = rdUnknown;
    std::string Text;
    int Integer = 0;
};

StoredValue Stored(const std::string &key, const std::string &name) {
    StoredValue v;
    TRegistry reg(KEY_READ);
    if (!reg.OpenKeyReadOnly(key)) return v;
    v.Type = reg.GetDataType(name);
    if (v.Type == rdInteger) v.Integer = reg.ReadInteger(name);
    if (v.Type == rdString || v.Type == rdExpandString) v.Text = reg.ReadString(name);
    if (v.Type == rdBinary) {
        std::string bytes(static_cast<std::size_t>(reg.GetDataSize(name)), '\0');
        reg.ReadBinaryData(name, bytes.data(), static_cast<int>(bytes.size()));
        v.Text = bytes;
    }
    return v;
}

std::vector<std::string> ValueNames(const std::string &key) {
    std::vector<std::string> names;
    TRegistry reg(KEY_READ);
    if (reg.OpenKeyReadOnly(key)) reg.GetValueNames(names);
    return names;
}

bool KeyExists(const std::string &key) { return TRegistry(KEY_READ).KeyExists(key); }

}  // namespace

class LogonTest : public ProgramTest {
protected:
    // A logon dialog as the main window opens it, shown (so it runs its activation).
    std::unique_ptr<TFormLogon> OpenDialog(const std::string &preset = std::string()) {
        auto dialog = std::make_unique<TFormLogon>(&Window());
        dialog->MainForm = &Window();
        dialog->PresetServer(preset);
        dialog->show();
        return dialog;
    }
};

TEST_F(LogonTest, TheFormAsDesigned) {
    auto dialog = OpenDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Kivrawatch"));
    EXPECT_EQ(dialog->size(), QSize(325, 303));
    auto *banner = Child<QLabel>(dialog.get(), "Image1");
    EXPECT_EQ(banner->pixmap().size(), QSize(325, 65));
    LogonControls c(dialog.get());
    EXPECT_TRUE(c.Server->isEditable());
    EXPECT_EQ(c.Password->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(c.Logon->isDefault());
    // Tab order from the login name on.
    std::vector<std::string> order;
    QWidget *w = c.Login;
    const std::vector<std::string> wanted = {"editLogonID", "editPassword", "cboxSavePassword",
                                             "cboxServer",  "Button1",      "cboxNTAuthentication",
                                             "btnLogon",    "Button3",      "Button4"};
    for (int guard = 0; guard < 64 && order.size() < wanted.size();
         ++guard, w = w->nextInFocusChain()) {
        const std::string name = w->objectName().toStdString();
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end() &&
            std::find(order.begin(), order.end(), name) == order.end())
            order.push_back(name);
    }
    EXPECT_EQ(order, wanted);
}

TEST_F(LogonTest, ASuccessfulLogonSavesTheServerItsLogonAndTheDefault) {
    StartSims(1);
    const struct {
        const char *what;
        bool savePassword;
    } cases[] = {{"password not saved", false}, {"password saved", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto dialog = OpenDialog();
        LogonControls controls(dialog.get());
        controls.Server->setEditText(QString::fromStdString(Name(0)));
        controls.WindowsAuth->setChecked(false);
        controls.Login->setText(QStringLiteral("sa"));
        controls.Password->setText(QString::fromLatin1(SqlSimInstances::kPassword));
        controls.SavePassword->setChecked(c.savePassword);
        controls.Logon->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_FALSE(dialog->isVisible());

        const std::string key = TKnownServers::ServerKey(Name(0));
        EXPECT_EQ(Stored(key, "UseWindowsNT").Type, rdInteger);
        EXPECT_EQ(Stored(key, "UseWindowsNT").Integer, 0);
        EXPECT_EQ(Stored(key, "UserID").Text, "sa");
        if (c.savePassword) {
            EXPECT_EQ(Stored(key, "Password").Type, rdBinary);
            EXPECT_EQ(Stored(key, "Password").Text, SqlSimInstances::kPassword);
        } else {
            EXPECT_EQ(Stored(key, "Password").Type, rdUnknown);
        }
        EXPECT_EQ(ValueNames(TKnownServers::kListKey), std::vector<std::string>{Name(0)});
        EXPECT_EQ(Stored(TKnownServers::kServersKey, "Default Server").Text, Name(0));

        // Loaded again: the controls show what was saved.
        auto again = OpenDialog();
        LogonControls loaded(again.get());
        EXPECT_EQ(loaded.Server->currentText().toStdString(), Name(0));  // the default server
        EXPECT_EQ(loaded.Login->text(), QStringLiteral("sa"));
        EXPECT_EQ(loaded.Password->text().toStdString(),
                  c.savePassword ? SqlSimInstances::kPassword : "");
        EXPECT_EQ(loaded.SavePassword->isChecked(), c.savePassword);
        EXPECT_FALSE(loaded.WindowsAuth->isChecked());
    }
    EXPECT_EQ(Window().ConnectedCount(), 2);
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(LogonTest, AFailedConnectWritesNothingAndKeepsTheDialogOpen) {
    StartSims(1);
    Settings.SetContents(QByteArray(kHeader) + ServerKeySection(Name(0)).c_str() +
                         "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"old\"\n");
    const QByteArray before = Settings.Contents();
    const struct {
        const char *what;
        std::string server, login, password;
    } cases[] = {
        {"a wrong password", Name(0), "sa", "not the password"},
        {"an empty login and password", Name(0), "", ""},
        {"an empty server name", "", "sa", SqlSimInstances::kPassword},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto dialog = OpenDialog();
        LogonControls controls(dialog.get());
        const int boxes = Boxes.Count();
        controls.Server->setEditText(QString::fromStdString(c.server));
        controls.Login->setText(QString::fromStdString(c.login));
        controls.Password->setText(QString::fromStdString(c.password));
        controls.SavePassword->setChecked(true);
        controls.Logon->click();
        EXPECT_EQ(Boxes.Count(), boxes + 1) << "the connect was tried and said why it failed";
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(controls.Server->currentText().toStdString(), c.server);
        EXPECT_EQ(controls.Password->text().toStdString(), c.password);
        EXPECT_EQ(Settings.Contents(), before);
    }
    EXPECT_EQ(Window().ConnectedCount(), 0);
}

TEST_F(LogonTest, ALogonThatCannotBeSavedSaysSoAndStaysConnected) {
    StartSims(1);
    UnreadableSettingsPath fifo(UnreadableSettingsPath::Fifo, Settings.Path());
    ASSERT_TRUE(fifo.Made()) << fifo.Problem.toStdString();
    Settings.Reload();
    auto dialog = OpenDialog();
    ASSERT_EQ(Boxes.Count(), 1);  // the settings path, at start-up
    LogonControls controls(dialog.get());
    controls.Server->setEditText(QString::fromStdString(Name(0)));
    controls.Login->setText(QStringLiteral("sa"));
    controls.Password->setText(QString::fromLatin1(SqlSimInstances::kPassword));
    controls.SavePassword->setChecked(true);
    controls.Logon->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(Boxes.Count(), 2);
    EXPECT_NE(Boxes.Boxes[1].Text.find(Settings.Path().toStdString() + " cannot be read"),
              std::string::npos)
        << Boxes.Boxes[1].Text;
    EXPECT_EQ(Window().ConnectedCount(), 1);
    EXPECT_TRUE(fifo.Unchanged());
    EXPECT_TRUE(fifo.AloneInItsFolder());
}

TEST_F(LogonTest, LoadingASavedLogonFollowsTheReaderRule) {
    const struct {
        const char *what;
        std::string values;  // of the server's key
        bool windowsBefore;  // the check box before loading
        bool windowsAfter;
        std::string login;
        std::string password;
        bool savePassword;
    } cases[] = {
        {"Windows authentication", "\"UseWindowsNT\"=dword:00000001\n", false, true, "", "", false},
        {"SQL login without a password", "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"sa\"\n",
         true, false, "sa", "", false},
        {"a zero-length password",
         "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"sa\"\n"
         "\"Password\"=hex:\n",
         true, false, "sa", "", true},
        {"UseWindowsNT 2 means a SQL login", "\"UseWindowsNT\"=dword:00000002\n", true, false, "",
         "", false},
        {"no UseWindowsNT keeps the check box (checked)", "\"UserID\"=\"sa\"\n", true, true, "sa",
         "", false},
        {"no UseWindowsNT keeps the check box (unchecked)", "\"UserID\"=\"sa\"\n", false, false,
         "sa", "", false},
        {"UseWindowsNT as text keeps the check box", "\"UseWindowsNT\"=\"1\"\n", false, false, "",
         "", false},
        {"an expandable UserID is ignored", "\"UserID\"=hex(2):73,00,61,00,00,00\n", false, false,
         "", "", false},
        {"a Password stored as text is ignored", "\"Password\"=\"secret\"\n", false, false, "", "",
         false},
        {"a password up to its first zero byte",
         "\"Password\"=" + RegHex(std::string("ab\0cd", 5)) + "\n", false, false, "", "ab", true},
        {"a password of exactly 128 bytes", "\"Password\"=" + RegHex(std::string(128, 'p')) + "\n",
         false, false, "", std::string(128, 'p'), true},
        {"a password longer than 128 bytes", "\"Password\"=" + RegHex(std::string(300, 'q')) + "\n",
         false, false, "", std::string(300, 'q'), true},
        {"a UTF-8 password", "\"Password\"=" + RegHex("p\xc3\xa4ss\xe2\x82\xac") + "\n", false,
         false, "", "p\xc3\xa4ss\xe2\x82\xac", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Settings.SetContents(QByteArray(kHeader) + ServerKeySection("srv\\inst").c_str() +
                             c.values.c_str());
        auto dialog = OpenDialog();
        LogonControls controls(dialog.get());
        controls.WindowsAuth->setChecked(c.windowsBefore);
        controls.Login->setText(QStringLiteral("typed"));
        controls.Password->setText(QStringLiteral("typed"));
        dialog->PresetServer("srv\\inst");
        EXPECT_EQ(controls.Server->currentText(), QStringLiteral("srv\\inst"));
        EXPECT_EQ(controls.WindowsAuth->isChecked(), c.windowsAfter);
        EXPECT_EQ(controls.Login->text().toStdString(), c.login);
        EXPECT_EQ(controls.Password->text().toStdString(), c.password);
        EXPECT_EQ(controls.SavePassword->isChecked(), c.savePassword);
        EXPECT_TRUE(controls.Login->isEnabled());
        EXPECT_TRUE(controls.Password->isEnabled());
    }
    // A server without a key changes nothing.
    auto dialog = OpenDialog();
    LogonControls controls(dialog.get());
    controls.Login->setText(QStringLiteral("typed"));
    dialog->PresetServer("unknown");
    EXPECT_EQ(controls.Login->text(), QStringLiteral("typed"));
    dialog->PresetServer("");
    EXPECT_EQ(controls.Server->currentText(), QStringLiteral("unknown"));
}

TEST_F(LogonTest, ActivationAddsKnownServersOnceAndTheDefaultOnlyIntoAnEmptyBox) {
    Settings.SetContents(
        QByteArray(kHeader) +
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers]\n\"Default Server\"=\"Beta\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n"
        "\"Gamma\"=\"\"\n\"Beta\"=\"\"\n\"ALPHA\"=\"\"\n\n" +
        ServerKeySection("Beta").c_str() + "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"bee\"\n");
    auto dialog = OpenDialog();
    LogonControls c(dialog.get());
    EXPECT_EQ(c.Server->currentText(), QStringLiteral("Beta"));
    EXPECT_EQ(c.Login->text(), QStringLiteral("bee"));
    ASSERT_EQ(c.Server->count(), 3);
    EXPECT_EQ(c.Server->itemText(0), QStringLiteral("Gamma"));  // in the store's order
    EXPECT_EQ(c.Server->itemText(2), QStringLiteral("ALPHA"));

    // A name already there in another letter case is not added again.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(TKnownServers::kListKey, true));
        reg.WriteString("alpha", "");
        reg.WriteString("Delta", "");
    }
    // The browse dialog handed over a name: the next activation keeps it.
    dialog->PresetServer("Picked");
    dialog->FormActivate();
    EXPECT_EQ(c.Server->count(), 4);
    EXPECT_EQ(c.Server->itemText(3), QStringLiteral("Delta"));
    EXPECT_EQ(c.Server->currentText(), QStringLiteral("Picked"));

    // Picking from the list loads that server's logon.
    c.Login->clear();
    c.Server->setCurrentIndex(1);
    dialog->cboxServerSelect();
    EXPECT_EQ(c.Login->text(), QStringLiteral("bee"));
}

TEST_F(LogonTest, BrowseAndCancel) {
    DialogAnswerer dialogs;
    auto dialog = OpenDialog();
    TFormLogon *logon = dialog.get();
    dialogs.Answer = [logon](QDialog *d) {
        auto *browse = qobject_cast<TFormServerList *>(d);
        EXPECT_NE(browse, nullptr);
        if (!browse) return int(QDialog::Rejected);
        EXPECT_EQ(browse->LogonForm, logon);
        browse->LogonForm->PresetServer("HOST\\SQLSIM2");
        return int(QDialog::Accepted);
    };
    LogonControls c(logon);
    c.Browse->click();
    EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"TFormServerList"});
    EXPECT_EQ(c.Server->currentText(), QStringLiteral("HOST\\SQLSIM2"));
    c.Cancel->click();
    EXPECT_EQ(logon->result(), QDialog::Rejected);
    EXPECT_FALSE(logon->isVisible());
}

TEST_F(LogonTest, SavingALogonReplacesOnlyThatServersValues) {
    Settings.SetContents(
        QByteArray(kHeader) + ServerKeySection("HOST").c_str() +
        "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"old\"\n\"Password\"=hex:6f,6c,64\n\n" +
        ServerKeySection("HOST\\INST").c_str() +
        "\"UseWindowsNT\"=dword:00000000\n\"UserID\"=\"inst\"\n\"Password\"=hex:69\n");

    // Windows authentication: only UseWindowsNT = 1 is left of HOST's logon...
    TKnownServers::SaveLogon("HOST", true, "ignored", true, "ignored");
    EXPECT_EQ(ValueNames(TKnownServers::ServerKey("HOST")),
              std::vector<std::string>{"UseWindowsNT"});
    EXPECT_EQ(Stored(TKnownServers::ServerKey("HOST"), "UseWindowsNT").Integer, 1);
    // ...and the saved logon of HOST\INST below it stays.
    const stSavedLogon inst = TKnownServers::ReadSavedLogon("HOST\\INST");
    EXPECT_TRUE(inst.KeyExists);
    EXPECT_EQ(inst.UserID, "inst");
    EXPECT_EQ(inst.Password, "i");
    EXPECT_EQ(ValueNames(TKnownServers::kListKey), std::vector<std::string>{"HOST"});
    EXPECT_EQ(Stored(TKnownServers::kServersKey, "Default Server").Text, "HOST");

    // UTF-8 bytes, as many as the text has.
    TKnownServers::SaveLogon("HOST\\INST", false, "us\xc3\xa9r", true, "p\xc3\xa4ss");
    EXPECT_EQ(Stored(TKnownServers::ServerKey("HOST\\INST"), "Password").Text, "p\xc3\xa4ss");
    EXPECT_NE(Settings.Contents().indexOf("hex:70,c3,a4,73,73"), -1)
        << Settings.Contents().constData();
    const stSavedLogon back = TKnownServers::ReadSavedLogon("HOST\\INST");
    EXPECT_EQ(back.UserID, "us\xc3\xa9r");
    EXPECT_EQ(back.Password, "p\xc3\xa4ss");

    // Forgetting HOST keeps HOST\INST's logon and list entry.
    TKnownServers::RemoveKnownServer("HOST");
    EXPECT_FALSE(TKnownServers::ReadSavedLogon("HOST").HasUseWindowsNT);
    EXPECT_TRUE(TKnownServers::ReadSavedLogon("HOST\\INST").HasPassword);
    EXPECT_EQ(ValueNames(TKnownServers::kListKey), std::vector<std::string>{"HOST\\INST"});
    // Forgetting HOST\INST, which has nothing below it, deletes its key.
    TKnownServers::RemoveKnownServer("HOST\\INST");
    EXPECT_FALSE(KeyExists(TKnownServers::ServerKey("HOST\\INST")));
    EXPECT_TRUE(ValueNames(TKnownServers::kListKey).empty());
}

TEST_F(LogonTest, ANameWhoseKeyWouldBeTheServersKeyWritesAndDeletesNothing) {
    Settings.SetContents(
        QByteArray(kHeader) +
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers]\n\"Default Server\"=\"A\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n\"A\"=\"\"\n\n" +
        ServerKeySection("A").c_str() + "\"UseWindowsNT\"=dword:00000001\n");
    const QByteArray before = Settings.Contents();
    for (const char *name : {"", "\\", "\\\\"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(TKnownServers::IsStorableName(name));
        TKnownServers::SaveLogon(name, false, "sa", true, "pw");
        TKnownServers::RemoveKnownServer(name);
        EXPECT_FALSE(TKnownServers::ReadSavedLogon(name).KeyExists);
        EXPECT_EQ(Settings.Contents(), before);
    }
    EXPECT_TRUE(TKnownServers::IsStorableName("HOST\\"));
}

// A server named by its host alone is the default instance on port 1433: sqlsim listens there on
// a loopback address of this test's own. A logon of that bare address through the logon dialog
// connects, and its saved logon connects again from "All Connections".
TEST_F(LogonTest, AHostAloneIsTheDefaultInstanceOnPort1433) {
    const std::string host = "127.0.0.143";
    SqlSimOptions options;
    options.BindAddress = host;
    options.Port = 1433;
    SqlSimServer server(options);
    std::string error;
    if (!server.Start(&error)) {
        if (error.find("is in use") != std::string::npos)
            GTEST_SKIP() << "port 1433 of " << host << " is taken by another program: " << error;
        FAIL() << error;
    }

    // Connect on the toolbar; the user types the host alone.
    DialogAnswerer dialogs;
    dialogs.Answer = [&](QDialog *d) {
        d->show();
        LogonControls c(d);
        c.Server->setEditText(QString::fromStdString(host));
        c.WindowsAuth->setChecked(false);
        c.Login->setText(QString::fromLatin1(SqlSimInstances::kLogin));
        c.Password->setText(QString::fromLatin1(SqlSimInstances::kPassword));
        c.SavePassword->setChecked(true);
        c.Logon->click();
        return d->result();
    };
    TFormMain &w = Window();
    w.FrameToolbarButtons1->ToolButtonConnect->click();
    EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"TFormLogon"});
    ASSERT_EQ(Boxes.Count(), 0) << Boxes.Boxes[0].Text;
    ASSERT_EQ(w.ConnectedCount(), 1);
    EXPECT_EQ(w.Connections[0].ServerName, host);
    EXPECT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    EXPECT_EQ(server.ClientCount(), 1);
    CloseWindow();

    // The next start lists it under "All Connections": a double-click and "Connect" each connect
    // with the saved logon, without asking.
    TFormMain &again = Window();
    ASSERT_EQ(KnownNames(again), std::vector<std::string>{host});
    again.FrameServerList1->ListBoxAllServers->setCurrentRow(0);
    again.FrameServerList1->ListBoxAllServersDblClick();
    again.FrameServerList1->puConnectToServer->trigger();
    EXPECT_EQ(Boxes.Count(), 0);
    EXPECT_EQ(dialogs.Shown.size(), 1u);
    ASSERT_EQ(again.ConnectedCount(), 2);
    for (int slot : {0, 1}) {
        EXPECT_EQ(again.Connections[slot].ServerName, host);
        EXPECT_TRUE(WaitForPoll(again.Connections[slot].ServerInfo)) << "slot " << slot;
    }
    EXPECT_EQ(server.ClientCount(), 2);
    CloseWindow();  // before the server stops
}
