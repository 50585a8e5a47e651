// The main window's settings as read when it is built, over a table of settings files: defaults
// that apply only in keys that are read, the subkeys read only behind their switch, the initial
// tab, every value saved read back, and a value of the wrong type ending start-up with nothing
// written. A settings path that cannot be read, and a file cut short.

#include "ProgramTestSupport.h"

#include "ERegistryException.h"
#include "TFrameClientArea.h"
#include "TFrameSmallGraphPanel.h"
#include "TFrameToolbarButtons.h"
#include "UnreadableSettingsPath.h"

#include <QDir>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QToolButton>

namespace {

const char *const kHeader = "Windows Registry Editor Version 5.00\n\n";
const char *const kMain = "[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n";
const char *const kAlerts = "[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch\\Alerts]\n";
const char *const kLogging = "[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch\\Logging]\n";

struct Expected {
    int RefreshInterval;
    int InitialPanel;
    int Tab;  // the client area's current tab
    stEmailAlerts Alerts;
    stLogging Logs;
};

stEmailAlerts AlertDefaults() {  // as read from an Alerts subkey without values
    stEmailAlerts a;
    a.CPUUsageRefresh = 10;
    a.CPUUsageValue = 98;
    a.ServerResponseRefresh = 10;
    a.ServerResponseValue = 500;
    return a;
}

void ExpectAlerts(const stEmailAlerts &got, const stEmailAlerts &want) {
    EXPECT_EQ(got.EmailAlerts, want.EmailAlerts);
    EXPECT_EQ(got.CPUUsage, want.CPUUsage);
    EXPECT_EQ(got.ServerResponse, want.ServerResponse);
    EXPECT_EQ(got.ServerDisconnect, want.ServerDisconnect);
    EXPECT_EQ(got.CPUUsageValue, want.CPUUsageValue);
    EXPECT_EQ(got.CPUUsageRefresh, want.CPUUsageRefresh);
    EXPECT_EQ(got.ServerResponseValue, want.ServerResponseValue);
    EXPECT_EQ(got.ServerResponseRefresh, want.ServerResponseRefresh);
    EXPECT_EQ(got.AlertEmails, want.AlertEmails);
    EXPECT_EQ(got.FromEmail, want.FromEmail);
    EXPECT_EQ(got.SMTPHost, want.SMTPHost);
    EXPECT_EQ(got.SMTPAuthenticationType, want.SMTPAuthenticationType);
    EXPECT_EQ(got.SMTPUser, want.SMTPUser);
    EXPECT_EQ(got.SMTPPassword, want.SMTPPassword);
}

void ExpectLogs(const stLogging &got, const stLogging &want) {
    EXPECT_EQ(got.Logging, want.Logging);
    EXPECT_EQ(got.SessionLogging, want.SessionLogging);
    EXPECT_EQ(got.ServerLogging, want.ServerLogging);
    EXPECT_EQ(got.RefreshCount, want.RefreshCount);
    EXPECT_EQ(got.LoggingDirectory, want.LoggingDirectory);
}

}  // namespace

class SettingsTest : public ProgramTest {};

TEST_F(SettingsTest, ReadAtStartFromATableOfSettingsFiles) {
    stEmailAlerts saved;
    saved.EmailAlerts = true;
    saved.CPUUsage = true;
    saved.ServerResponse = false;
    saved.ServerDisconnect = true;
    saved.CPUUsageValue = 91;
    saved.CPUUsageRefresh = 4;
    saved.ServerResponseValue = 750;
    saved.ServerResponseRefresh = 6;
    saved.AlertEmails = "dba@example.org; ops@example.org";
    saved.FromEmail = "kivrawatch@example.org";
    saved.SMTPHost = "127.0.0.1";
    saved.SMTPAuthenticationType = 1;
    saved.SMTPUser = "mailer";
    saved.SMTPPassword = "S\xc3\xa9same";  // UTF-8
    stLogging savedLogs;
    savedLogs.Logging = true;
    savedLogs.ServerLogging = false;
    savedLogs.SessionLogging = true;
    savedLogs.RefreshCount = 3;
    savedLogs.LoggingDirectory = "/var/log/kivra watch";

    stEmailAlerts disabledWithDefaults = AlertDefaults();
    stLogging loggingOnly;
    loggingOnly.Logging = true;

    const struct {
        const char *what;
        std::string file;
        Expected want;
    } cases[] = {
        {"no settings key", "", {1, 0, 0, stEmailAlerts(), stLogging()}},
        {"only RefreshInterval",
         std::string(kMain) + "\"RefreshInterval\"=dword:00000005\n",
         {5, 2, 2, stEmailAlerts(), stLogging()}},
        {"an Alerts subkey without its switch is not read",
         std::string(kMain) + "\"RefreshInterval\"=dword:00000002\n\n" + kAlerts +
             "\"CPUUsageValue\"=dword:00000033\n",
         {2, 2, 2, stEmailAlerts(), stLogging()}},
        {"EmailAlerts 0 with an empty Alerts subkey: the subkey's defaults",
         std::string(kMain) + "\"EmailAlerts\"=dword:00000000\n\n" + kAlerts,
         {1, 2, 2, disabledWithDefaults, stLogging()}},
        {"Logging 1 without a Logging subkey",
         std::string(kMain) + "\"Logging\"=dword:00000001\n",
         {1, 2, 2, stEmailAlerts(), loggingOnly}},
        {"InitialPanel out of range keeps the first tab",
         std::string(kMain) + "\"InitialPanel\"=dword:00000009\n",
         {1, 9, 0, stEmailAlerts(), stLogging()}},
        {"InitialPanel 5",
         std::string(kMain) + "\"InitialPanel\"=dword:00000005\n",
         {1, 5, 5, stEmailAlerts(), stLogging()}},
        {"every value as the Properties dialog saves them",
         std::string(kMain) +
             "\"RefreshInterval\"=dword:0000000f\n\"InitialPanel\"=dword:00000004\n"
             "\"Logging\"=dword:00000001\n\"EmailAlerts\"=dword:00000001\n\n" +
             kAlerts +
             "\"CPUUsage\"=dword:00000001\n\"CPUUsageRefresh\"=dword:00000004\n"
             "\"CPUUsageValue\"=dword:0000005b\n\"ServerResponse\"=dword:00000000\n"
             "\"ServerResponseRefresh\"=dword:00000006\n\"ServerResponseValue\"=dword:000002ee\n"
             "\"ServerDisconnect\"=dword:00000001\n"
             "\"AlertEmails\"=\"dba@example.org; ops@example.org\"\n"
             "\"FromEmail\"=\"kivrawatch@example.org\"\n\"SMTPHost\"=\"127.0.0.1\"\n"
             "\"SMTPUser\"=\"mailer\"\n\"SMTPPassword\"=\"S\xc3\xa9same\"\n"
             "\"SMTPAuthenticationType\"=dword:00000001\n\n" +
             kLogging +
             "\"LoggingDirectory\"=\"/var/log/kivra watch\"\n\"ServerLogging\"=dword:00000000\n"
             "\"RefreshCount\"=dword:00000003\n\"SessionLogging\"=dword:00000001\n",
         {15, 4, 4, saved, savedLogs}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray file = c.file.empty() ? QByteArray()
                                               : QByteArray(kHeader) + c.file.c_str();
        Settings.SetContents(file);
        TFormMain &w = Window();
        EXPECT_EQ(w.RefreshInterval, c.want.RefreshInterval);
        EXPECT_EQ(w.InitialPanel, c.want.InitialPanel);
        EXPECT_EQ(w.FrameClientArea1->TabSet1->currentIndex(), c.want.Tab);
        EXPECT_EQ(w.FrameClientArea1->ServerSmallGraphs->isHidden(), c.want.Tab != 0);
        ExpectAlerts(w.AlertSettings, c.want.Alerts);
        ExpectLogs(w.LogSettings, c.want.Logs);
        EXPECT_EQ(w.SelectedServer, -1);
        EXPECT_EQ(Settings.Contents(), file) << "start-up writes nothing";
        CloseWindow();
    }
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(SettingsTest, AValueOfTheWrongTypeEndsStartUpWithNothingWritten) {
    const struct {
        const char *what;
        std::string file;
        std::string named;  // the value and its key, as the error names them
    } cases[] = {
        {"RefreshInterval as text", std::string(kMain) + "\"RefreshInterval\"=\"5\"\n",
         "'RefreshInterval' in the key \\SOFTWARE\\Vornix\\Kivrawatch "},
        {"InitialPanel as text", std::string(kMain) + "\"InitialPanel\"=\"2\"\n",
         "'InitialPanel' in the key \\SOFTWARE\\Vornix\\Kivrawatch "},
        {"EmailAlerts as text", std::string(kMain) + "\"EmailAlerts\"=\"1\"\n",
         "'EmailAlerts' in the key \\SOFTWARE\\Vornix\\Kivrawatch "},
        {"an Alerts integer as text",
         std::string(kMain) + "\"EmailAlerts\"=dword:00000001\n\n" + kAlerts +
             "\"CPUUsageValue\"=\"90\"\n",
         "'CPUUsageValue' in the key \\SOFTWARE\\Vornix\\Kivrawatch\\Alerts "},
        {"a Logging text as an integer",
         std::string(kMain) + "\"Logging\"=dword:00000001\n\n" + kLogging +
             "\"LoggingDirectory\"=dword:00000001\n",
         "'LoggingDirectory' in the key \\SOFTWARE\\Vornix\\Kivrawatch\\Logging "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray file = QByteArray(kHeader) + c.file.c_str();
        Settings.SetContents(file);
        try {
            TFormMain w;
            ADD_FAILURE() << "the window was built";
        } catch (const ERegistryException &e) {
            // The user is told where to mend it.
            EXPECT_NE(e.Message.find(c.named + "of the settings file " +
                                     QDir::toNativeSeparators(Settings.Path()).toStdString()),
                      std::string::npos)
                << e.Message;
        }
        EXPECT_EQ(Settings.Contents(), file);
    }
}

TEST_F(SettingsTest, SettersTakeEffectInTheMembersTheEngineReads) {
    TFormMain &w = Window();
    stEmailAlerts a;
    a.EmailAlerts = true;
    a.SMTPHost = "mail.example.org";
    a.CPUUsageValue = 80;
    w.SetEmailAlerts(a);
    w.SetLoggingDirectory("/tmp/logs");
    const TKivraOwner &owner = w;
    EXPECT_TRUE(owner.GetAlertSettings().EmailAlerts);
    EXPECT_EQ(owner.GetAlertSettings().SMTPHost, "mail.example.org");
    EXPECT_EQ(owner.GetAlertSettings().CPUUsageValue, 80);
    EXPECT_EQ(owner.GetLogSettings().LoggingDirectory, "/tmp/logs");
}

TEST_F(SettingsTest, AFileCutShortIsKeptAsideAndWhatCameBeforeIsRead) {
    const QByteArray cut = QByteArray(kHeader) + kMain +
                           "\"RefreshInterval\"=dword:00000005\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n"
                           "\"kept.example\"=\"\"\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\kept.example]\n"
                           "\"Password\"=hex:73,65,\\\n";
    Settings.SetContents(cut);
    TFormMain &w = Window();
    EXPECT_EQ(w.RefreshInterval, 5);
    EXPECT_EQ(KnownNames(w), std::vector<std::string>{"kept.example"});
    ASSERT_EQ(Boxes.Count(), 1);
    EXPECT_NE(Boxes.Boxes[0].Text.find("cut short"), std::string::npos) << Boxes.Boxes[0].Text;
    EXPECT_EQ(Settings.KeptAside(), QByteArrayList{cut});
}

// A settings path of any kind that cannot be read: the window is built with the defaults after
// one box naming the path and why; a save from the Properties dialog says it is not saved (the
// window keeps the new interval); the path is never renamed, replaced or written.
class UnreadableSettingsTest : public ProgramTest,
                               public ::testing::WithParamInterface<UnreadableSettingsPath::Kind> {
};

TEST_P(UnreadableSettingsTest, TheDefaultsAfterOneBoxAndNoSaveOverThePath) {
    UnreadableSettingsPath path(GetParam(), Settings.Path());
    ASSERT_TRUE(path.Made()) << path.Problem.toStdString();
    if (!path.DeniesThisProcess()) GTEST_SKIP() << UnreadableSettingsPath::kRootReadsAnyFile;
    Settings.Reload();
    TFormMain &w = Window();
    ASSERT_EQ(Boxes.Count(), 1);
    const std::string told = Boxes.Boxes[0].Text;
    EXPECT_EQ(Boxes.Boxes[0].Caption, "Kivrawatch");
    EXPECT_NE(told.find(Settings.Path().toStdString()), std::string::npos) << told;
    EXPECT_NE(told.find(path.Reason()), std::string::npos) << told;
    EXPECT_EQ(w.RefreshInterval, 1);
    EXPECT_EQ(w.InitialPanel, 0);
    EXPECT_EQ(w.FrameClientArea1->TabSet1->currentIndex(), 0);
    EXPECT_TRUE(KnownNames(w).empty());

    DialogAnswerer dialogs;
    dialogs.Answer = [](QDialog *d) {
        d->show();
        Child<QSlider>(d, "TrackBarRefresh")->setValue(7);
        Child<QPushButton>(d, "Button4")->click();  // OK
        return d->result();
    };
    w.FrameToolbarButtons1->ToolButtonProperties->click();
    ASSERT_EQ(Boxes.Count(), 2);
    const std::string save = Boxes.Boxes[1].Text;
    EXPECT_NE(save.find(Settings.Path().toStdString()), std::string::npos) << save;
    EXPECT_NE(save.find(path.Reason()), std::string::npos) << save;
    EXPECT_NE(save.find("not saved"), std::string::npos) << save;
    EXPECT_EQ(w.RefreshInterval, 7);
    EXPECT_TRUE(path.Unchanged());
    EXPECT_TRUE(path.AloneInItsFolder());
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableSettingsTest,
                         ::testing::ValuesIn(UnreadableSettingsPath::AllKinds()),
                         [](const auto &info) {
                             return UnreadableSettingsPath::KindName(info.param);
                         });
