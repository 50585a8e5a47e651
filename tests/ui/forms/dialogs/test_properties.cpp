// The Properties dialog, real widgets offscreen: filled from the main window's settings, handed
// back and written to the settings store on Apply and OK, its enabling rules, the failures of a
// number field, the folder picker, and the test mail against a real SMTP server on loopback.

#include "TFormProperties.h"

#include "DialogTestSupport.h"
#include "FolderPicker.h"
#include "MessageBoxRecorder.h"
#include "RawListener.h"
#include "SmtpTestServer.h"
#include "TFormMain.h"
#include "TempSettingsFile.h"
#include "WithMailServers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char *const kMain = "\\SOFTWARE\\Vornix\\Kivrawatch";
const char *const kAlerts = "\\SOFTWARE\\Vornix\\Kivrawatch\\Alerts";
const char *const kLogging = "\\SOFTWARE\\Vornix\\Kivrawatch\\Logging";

class Properties : public ::testing::Test {
protected:
    // As TFormMain::ShowProperties fills the dialog.
    void Open() {
        Dialog = std::make_unique<TFormProperties>();
        Dialog->SetMainForm(Main.get());
        Dialog->SetRefreshInterval(Main->RefreshInterval);
        Dialog->SetEmailAlerts(Main->AlertSettings);
        Dialog->SetLogging(Main->LogSettings);
        Dialog->show();
    }
    template <typename W> W *C(const char *name) { return Child<W>(*Dialog, name); }
    QLineEdit *Edit(const char *name) { return C<QLineEdit>(name); }
    QCheckBox *Check(const char *name) { return C<QCheckBox>(name); }
    QComboBox *Combo(const char *name) { return C<QComboBox>(name); }
    void Click(const char *button) { C<QPushButton>(button)->click(); }
    void TypeLogEvery(const QString &digits) {
        QLineEdit *e = Edit("MaskEditServerStatusRefresh");
        e->clear();
        e->setCursorPosition(0);
        QTest::keyClicks(e, digits);
    }

    TempSettingsFile Settings;
    MessageBoxRecorder Shown;
    std::unique_ptr<TFormMain> Main = std::make_unique<TFormMain>();
    std::unique_ptr<TFormProperties> Dialog;
};

// ---- the window -----------------------------------------------------------------------------

TEST_F(Properties, OpensOnTheFirstTabAndEveryTabFitsTheWindow) {
    Open();
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("FormProperties"));
    EXPECT_EQ(Dialog->size(), QSize(395, 319));
    auto *tabs = C<QTabWidget>("TabControl1");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Server Refresh"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("EMail Alerts"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Logging"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    const QSize needed = Dialog->layout()->minimumSize();
    EXPECT_LE(needed.width(), 395);
    EXPECT_LE(needed.height(), 319);
    for (int tab = 0; tab < 3; ++tab) {
        tabs->setCurrentIndex(tab);
        EXPECT_EQ(C<QWidget>("Panel1")->isVisible(), tab == 0) << tab;
        EXPECT_EQ(C<QWidget>("Panel2")->isVisible(), tab == 1) << tab;
        EXPECT_EQ(C<QWidget>("Panel3")->isVisible(), tab == 2) << tab;
        EXPECT_TRUE(C<QPushButton>("Button4")->isVisible());
    }
}

// ---- filling --------------------------------------------------------------------------------

TEST_F(Properties, FilledFromTheMainWindowsSettings) {
    Main->RefreshInterval = 15;
    Main->InitialPanel = 3;
    Main->AlertSettings = {
        true,         true,          false, true,       91,   7, 750, 4, "a@b.test, c@d.test",
        "mon@b.test", "mail.b.test", 1,     "smtpuser", "p w"};
    Main->LogSettings = {true, true, false, 12, "/var/log/kivra"};
    Open();
    EXPECT_EQ(C<QSlider>("TrackBarRefresh")->value(), 15);
    EXPECT_EQ(C<QLabel>("LabelRefresh")->text(), QStringLiteral("15 Seconds"));
    EXPECT_EQ(Combo("ComboBoxInitialPanel")->currentIndex(), 3);
    EXPECT_EQ(Combo("ComboBoxInitialPanel")->currentText(), QStringLiteral("User Processes"));
    EXPECT_TRUE(Check("CheckBoxEnableEmail")->isChecked());
    EXPECT_TRUE(Check("CheckBoxCPUUsage")->isChecked());
    EXPECT_FALSE(Check("CheckBoxServerResponse")->isChecked());
    EXPECT_TRUE(Check("CheckBoxServerDisconnect")->isChecked());
    EXPECT_EQ(Edit("EditCPUUsageRefreshes")->text(), QStringLiteral("7"));
    EXPECT_EQ(Edit("EditCPUUsageValue")->text(), QStringLiteral("91"));
    EXPECT_EQ(Edit("EditRespAlertRefreshes")->text(), QStringLiteral("4"));
    EXPECT_EQ(Edit("EditRespAlertValue")->text(), QStringLiteral("750"));
    EXPECT_EQ(Edit("EditAlertEmailAddress")->text(), QStringLiteral("a@b.test, c@d.test"));
    EXPECT_EQ(Edit("EditFromEmail")->text(), QStringLiteral("mon@b.test"));
    EXPECT_EQ(Edit("EditSMTPHost")->text(), QStringLiteral("mail.b.test"));
    EXPECT_EQ(Combo("ComboBoxAuthenticate")->currentText(),
              QStringLiteral("Authenicate with Login"));
    EXPECT_EQ(Edit("EditUserID")->text(), QStringLiteral("smtpuser"));
    EXPECT_EQ(Edit("EditPassword")->text(), QStringLiteral("p w"));
    EXPECT_EQ(Edit("EditPassword")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Check("CheckBoxEnableLogging")->isChecked());
    EXPECT_FALSE(Check("CheckBoxServerStatisicsLog")->isChecked());
    EXPECT_TRUE(Check("CheckBoxSessionStatisicsLog")->isChecked());
    EXPECT_EQ(Edit("EditLoggingDirectory")->text(), QStringLiteral("/var/log/kivra"));
    EXPECT_EQ(Dialog->LogEveryText(), QStringLiteral(" 12"));
    EXPECT_EQ(Edit("MaskEditServerStatusRefresh")->displayText(), QStringLiteral("_12"));
}

// The "Log Every" field keeps its blanks in its text: the digits with blanks before them.
TEST_F(Properties, LogEveryTextKeepsItsBlanks) {
    Dialog = std::make_unique<TFormProperties>();
    EXPECT_EQ(Dialog->LogEveryText(), QStringLiteral("  1"));  // as the form stores it
    Check("CheckBoxEnableLogging")->setChecked(true);
    const struct {
        const char *typed;
        const char *text;
    } cases[] = {{"5", "  5"},    {"42", " 42"}, {"120", "120"},
                 {"9999", "999"}, {"a7", "  7"}, {"", "   "}};
    for (const auto &c : cases) {
        TypeLogEvery(QString::fromLatin1(c.typed));
        EXPECT_EQ(Dialog->LogEveryText(), QString::fromLatin1(c.text)) << c.typed;
    }
}

// ---- the interval -----------------------------------------------------------------------------

TEST_F(Properties, IntervalLabelFollowsTheTrackBar) {
    Main->RefreshInterval = 5;
    Open();
    auto *bar = C<QSlider>("TrackBarRefresh");
    auto *label = C<QLabel>("LabelRefresh");
    EXPECT_EQ(label->text(), QStringLiteral("5 Seconds"));  // as soon as the dialog opens
    const struct {
        int position;
        const char *text;
    } cases[] = {{0, "No Refresh"},
                 {1, "Every Second"},
                 {2, "2 Seconds"},
                 {59, "59 Seconds"},
                 {120, "120 Seconds"}};
    for (const auto &c : cases) {
        bar->setValue(c.position);
        EXPECT_EQ(label->text(), QString::fromLatin1(c.text)) << c.position;
    }
    // The bar keeps what it is given within 0 to 120; a page is 10, a tick every 5.
    for (const auto &[given, kept] : {std::pair{500, 120}, std::pair{-3, 0}, std::pair{1, 1}}) {
        Dialog->SetRefreshInterval(given);
        EXPECT_EQ(bar->value(), kept) << given;
    }
    EXPECT_EQ(label->text(), QStringLiteral("Every Second"));
    bar->setValue(20);
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 30);
    EXPECT_EQ(label->text(), QStringLiteral("30 Seconds"));
    EXPECT_EQ(bar->tickInterval(), 5);
    EXPECT_NE(bar->tickPosition(), QSlider::NoTicks);
}

// ---- enabling rules -------------------------------------------------------------------------

TEST_F(Properties, EmailControlsFollowTheEnableSwitchAndTheAuthentication) {
    const char *const emailControls[] = {"CheckBoxServerDisconnect",
                                         "CheckBoxServerResponse",
                                         "CheckBoxCPUUsage",
                                         "LabelAlertEmailAddress",
                                         "LabelSMTPHost",
                                         "LabelFromEmail",
                                         "EditAlertEmailAddress",
                                         "EditSMTPHost",
                                         "EditFromEmail",
                                         "ButtonTestEmail",
                                         "LabelNoRefreshes",
                                         "LabelEmailValue",
                                         "EditRespAlertRefreshes",
                                         "EditCPUUsageRefreshes",
                                         "EditCPUUsageValue",
                                         "EditRespAlertValue",
                                         "LabelEmailAuthentication",
                                         "ComboBoxAuthenticate"};
    const char *const logOnControls[] = {"LabelUserID", "LabelPassword", "EditUserID",
                                         "EditPassword"};
    auto expect = [&](bool email, bool logOn, const char *when) {
        SCOPED_TRACE(when);
        for (const char *name : emailControls)
            EXPECT_EQ(C<QWidget>(name)->isEnabled(), email) << name;
        for (const char *name : logOnControls)
            EXPECT_EQ(C<QWidget>(name)->isEnabled(), logOn) << name;
        EXPECT_TRUE(Check("CheckBoxEnableEmail")->isEnabled());
    };
    Main->AlertSettings.EmailAlerts = true;
    Open();
    expect(true, false, "on, None");
    Combo("ComboBoxAuthenticate")->setCurrentIndex(1);
    expect(true, true, "on, LOGIN chosen");
    Check("CheckBoxEnableEmail")->click();
    expect(false, false, "switched off");
    Check("CheckBoxEnableEmail")->click();
    expect(true, true, "switched on again with LOGIN");
    Combo("ComboBoxAuthenticate")->setCurrentIndex(0);
    expect(true, false, "None chosen again");

    Main->AlertSettings = {};
    Main->AlertSettings.SMTPAuthenticationType = 1;
    Open();
    expect(false, false, "off with LOGIN stored");
}

TEST_F(Properties, LoggingControlsFollowTheEnableSwitch) {
    const char *const loggingControls[] = {"CheckBoxServerStatisicsLog",
                                           "CheckBoxSessionStatisicsLog",
                                           "EditLoggingDirectory",
                                           "LabelDir",
                                           "LabelServerStatsLeft",
                                           "LabelServerStatsRight",
                                           "MaskEditServerStatusRefresh",
                                           "LabelSessoinStatsMoreInfo",
                                           "Button1"};
    for (const bool logging : {true, false}) {
        Main->LogSettings.Logging = logging;
        Open();
        for (const char *name : loggingControls)
            EXPECT_EQ(C<QWidget>(name)->isEnabled(), logging) << name << " opened with " << logging;
        Check("CheckBoxEnableLogging")->click();
        for (const char *name : loggingControls)
            EXPECT_EQ(C<QWidget>(name)->isEnabled(), !logging) << name << " after the click";
    }
}

// ---- Apply, OK, Cancel ----------------------------------------------------------------------

// What the user sets, control by control.
struct Choice {
    int interval, panel;
    bool email, cpu, disconnect, response;
    const char *cpuCount, *cpuValue, *respCount, *respValue;
    const char *address, *host, *from;
    int auth;
    const char *user, *password;
    bool logging;
    const char *folder, *logEvery;
    bool serverLog, sessionLog;
};

class PropertiesApply : public Properties {
protected:
    void Choose(const Choice &c) {
        C<QSlider>("TrackBarRefresh")->setValue(c.interval);
        Combo("ComboBoxInitialPanel")->setCurrentIndex(c.panel);
        Check("CheckBoxEnableEmail")->setChecked(c.email);
        Check("CheckBoxCPUUsage")->setChecked(c.cpu);
        Check("CheckBoxServerDisconnect")->setChecked(c.disconnect);
        Check("CheckBoxServerResponse")->setChecked(c.response);
        Edit("EditCPUUsageRefreshes")->setText(c.cpuCount);
        Edit("EditCPUUsageValue")->setText(c.cpuValue);
        Edit("EditRespAlertRefreshes")->setText(c.respCount);
        Edit("EditRespAlertValue")->setText(c.respValue);
        Edit("EditAlertEmailAddress")->setText(c.address);
        Edit("EditSMTPHost")->setText(c.host);
        Edit("EditFromEmail")->setText(c.from);
        Combo("ComboBoxAuthenticate")->setCurrentIndex(c.auth);
        Edit("EditUserID")->setText(c.user);
        Edit("EditPassword")->setText(c.password);
        Check("CheckBoxEnableLogging")->setChecked(true);  // the field takes keys only then
        TypeLogEvery(c.logEvery);
        Check("CheckBoxEnableLogging")->setChecked(c.logging);
        Edit("EditLoggingDirectory")->setText(c.folder);
        Check("CheckBoxServerStatisicsLog")->setChecked(c.serverLog);
        Check("CheckBoxSessionStatisicsLog")->setChecked(c.sessionLog);
    }

    // Every row of the control table, in the main window and in the store.
    void ExpectApplied(const Choice &c) {
        auto b = [](bool v) { return "int:" + std::to_string(v ? 1 : 0); };
        auto i = [](int v) { return "int:" + std::to_string(v); };
        auto s = [](const char *v) { return "str:" + std::string(v); };
        const int logEvery = std::stoi(c.logEvery);
        EXPECT_EQ(Main->RefreshInterval, c.interval);
        EXPECT_EQ(Main->InitialPanel, c.panel);
        const stEmailAlerts &a = Main->AlertSettings;
        EXPECT_EQ(a.EmailAlerts, c.email);
        EXPECT_EQ(a.CPUUsage, c.cpu);
        EXPECT_EQ(a.ServerDisconnect, c.disconnect);
        EXPECT_EQ(a.ServerResponse, c.response);
        EXPECT_EQ(a.CPUUsageRefresh, std::stoi(c.cpuCount));
        EXPECT_EQ(a.CPUUsageValue, std::stoi(c.cpuValue));
        EXPECT_EQ(a.ServerResponseRefresh, std::stoi(c.respCount));
        EXPECT_EQ(a.ServerResponseValue, std::stoi(c.respValue));
        EXPECT_EQ(a.AlertEmails, c.address);
        EXPECT_EQ(a.SMTPHost, c.host);
        EXPECT_EQ(a.FromEmail, c.from);
        EXPECT_EQ(a.SMTPAuthenticationType, c.auth);
        EXPECT_EQ(a.SMTPUser, c.user);
        EXPECT_EQ(a.SMTPPassword, c.password);
        const stLogging &l = Main->LogSettings;
        EXPECT_EQ(l.Logging, c.logging);
        EXPECT_EQ(l.LoggingDirectory, c.folder);
        EXPECT_EQ(l.RefreshCount, logEvery);
        EXPECT_EQ(l.ServerLogging, c.serverLog);
        EXPECT_EQ(l.SessionLogging, c.sessionLog);

        Settings.Reload();  // read back from the file
        const struct {
            const char *key, *name;
            std::string value;
        } rows[] = {
            {kMain, "RefreshInterval", i(c.interval)},
            {kMain, "InitialPanel", i(c.panel)},
            {kMain, "EmailAlerts", b(c.email)},
            {kMain, "Logging", b(c.logging)},
            {kAlerts, "CPUUsage", b(c.cpu)},
            {kAlerts, "ServerDisconnect", b(c.disconnect)},
            {kAlerts, "ServerResponse", b(c.response)},
            {kAlerts, "CPUUsageRefresh", i(std::stoi(c.cpuCount))},
            {kAlerts, "CPUUsageValue", i(std::stoi(c.cpuValue))},
            {kAlerts, "ServerResponseRefresh", i(std::stoi(c.respCount))},
            {kAlerts, "ServerResponseValue", i(std::stoi(c.respValue))},
            {kAlerts, "AlertEmails", s(c.address)},
            {kAlerts, "FromEmail", s(c.from)},
            {kAlerts, "SMTPHost", s(c.host)},
            {kAlerts, "SMTPUser", s(c.user)},
            {kAlerts, "SMTPPassword", s(c.password)},
            {kAlerts, "SMTPAuthenticationType", i(c.auth)},
            {kLogging, "LoggingDirectory", s(c.folder)},
            {kLogging, "RefreshCount", i(logEvery)},
            {kLogging, "ServerLogging", b(c.serverLog)},
            {kLogging, "SessionLogging", b(c.sessionLog)},
        };
        for (const auto &r : rows) EXPECT_EQ(StoredValue(r.key, r.name), r.value) << r.name;
    }
};

const Choice kFirst = {45,           4,    true,   true,     true,         false,
                       "8",          "95", "6",    "900",    "dba@x.test", "mail.x.test",
                       "mon@x.test", 1,    "smtp", "s3cret", true,         "/var/log/kivra",
                       "5",          true, false};
const Choice kSecond = {0,    0,   false,        false, false, true,  "-2",
                        "+7", "0", "2147483647", "",    "m2",  "f@x", 0,
                        "",   "",  false,        "",    "120", false, true};

TEST_F(PropertiesApply, ApplyAndOkHandEverySettingBackAndWriteIt) {
    Open();
    Choose(kFirst);
    Click("ButtonApply");
    EXPECT_EQ(Shown.Count(), 0) << (Shown.Count() ? Shown.Boxes[0].Text : "");
    EXPECT_TRUE(Dialog->isVisible());
    {
        SCOPED_TRACE("Apply");
        ExpectApplied(kFirst);
    }
    Choose(kSecond);
    Click("Button4");
    EXPECT_EQ(Shown.Count(), 0) << (Shown.Count() ? Shown.Boxes[0].Text : "");
    EXPECT_FALSE(Dialog->isVisible());
    SCOPED_TRACE("OK");
    ExpectApplied(kSecond);
}

TEST_F(PropertiesApply, CancelAfterApplyKeepsWhatWasApplied) {
    Open();
    Choose(kFirst);
    Click("ButtonApply");
    C<QSlider>("TrackBarRefresh")->setValue(90);
    Check("CheckBoxCPUUsage")->setChecked(false);
    Click("Button5");
    EXPECT_FALSE(Dialog->isVisible());
    ExpectApplied(kFirst);
}

// An initial panel outside 0 to 5 selects nothing in the box; Apply then stores -1.
TEST_F(PropertiesApply, InitialPanelOutsideTheTabsStoresMinusOne) {
    for (const int panel : {9, 6, -1, -7}) {
        Main->InitialPanel = panel;
        Open();
        EXPECT_EQ(Combo("ComboBoxInitialPanel")->currentIndex(), -1) << panel;
        EXPECT_EQ(Combo("ComboBoxInitialPanel")->currentText(), QString()) << panel;
        Click("ButtonApply");
        EXPECT_EQ(Main->InitialPanel, -1) << panel;
        EXPECT_EQ(StoredValue(kMain, "InitialPanel"), "int:-1") << panel;
    }
    Main->InitialPanel = 5;
    Open();
    EXPECT_EQ(Combo("ComboBoxInitialPanel")->currentText(), QStringLiteral("Locks"));
}

// A number field without a whole number stops the apply with the conversion error: the interval
// and the initial panel stay applied, the alert settings and the three logging switches too when
// the failing field is "Log Every"; the rest is not applied and nothing is written.
TEST_F(PropertiesApply, NonNumberInANumberFieldStopsTheApply) {
    const struct {
        const char *field, *text, *shown;
        bool alertsApplied;
    } cases[] = {
        {"EditCPUUsageRefreshes", "x1", "x1", false},
        {"EditCPUUsageValue", "9 7", "9 7", false},
        {"EditRespAlertRefreshes", "", "", false},
        {"EditRespAlertValue", "500 ", "500 ", false},
        {"MaskEditServerStatusRefresh", "", "   ", true},
    };
    const stEmailAlerts oldAlerts = {false, false,   false, false, 1, 2,  3,
                                     4,     "old@x", "",    "",    0, "", ""};
    const stLogging oldLogs = {false, false, false, 3, "/old"};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        Main->RefreshInterval = 1;
        Main->InitialPanel = 0;
        Main->AlertSettings = oldAlerts;
        Main->LogSettings = oldLogs;
        Open();
        Choose(kFirst);
        if (std::string(c.field) == "MaskEditServerStatusRefresh")
            TypeLogEvery(c.text);  // logging is on: the field takes keys
        else
            Edit(c.field)->setText(c.text);
        const int before = Shown.Count();
        Click("ButtonApply");
        ASSERT_EQ(Shown.Count(), before + 1);
        const RecordedMessageBox &box = Shown.Boxes.back();
        EXPECT_EQ(box.Text, "'" + std::string(c.shown) + "' is not a valid integer value");
        EXPECT_EQ(box.Caption, "Kivrawatch");
        EXPECT_EQ(box.Flags, unsigned(kivra::MB_OK | kivra::MB_ICONERROR));

        EXPECT_EQ(Main->RefreshInterval, 45);
        EXPECT_EQ(Main->InitialPanel, 4);
        EXPECT_EQ(Main->AlertSettings.CPUUsage, c.alertsApplied);
        EXPECT_EQ(Main->AlertSettings.AlertEmails, c.alertsApplied ? "dba@x.test" : "old@x");
        EXPECT_EQ(Main->LogSettings.Logging, c.alertsApplied);
        EXPECT_EQ(Main->LogSettings.ServerLogging, c.alertsApplied);
        EXPECT_EQ(Main->LogSettings.RefreshCount, 3);
        EXPECT_EQ(Main->LogSettings.LoggingDirectory, "/old");
        EXPECT_EQ(StoredValue(kMain, "RefreshInterval"), "<no key>");

        Click("Button4");  // OK fails the same way and leaves the dialog open
        EXPECT_EQ(Shown.Count(), before + 2);
        EXPECT_TRUE(Dialog->isVisible());
    }
    EXPECT_TRUE(Settings.Contents().isEmpty() || !Settings.Contents().contains("Kivrawatch"));
}

// ---- folder picker --------------------------------------------------------------------------

TEST_F(Properties, FolderPickerFillsTheFolderAndCancellingKeepsIt) {
    Main->LogSettings = {true, false, false, 1, "/var/log/before"};
    Open();
    QString answer = QStringLiteral("/srv/kivra logs");
    QWidget *owner = nullptr;
    QString title;
    const auto previous = kivra::SetFolderPickerHandler([&](QWidget *o, const QString &t) {
        owner = o;
        title = t;
        return answer;
    });
    Click("Button1");
    EXPECT_EQ(owner, Dialog.get());
    EXPECT_EQ(title, QStringLiteral("Select Logging Directory!"));
    EXPECT_EQ(Edit("EditLoggingDirectory")->text(), QStringLiteral("/srv/kivra logs"));
    answer.clear();  // cancelled
    Click("Button1");
    EXPECT_EQ(Edit("EditLoggingDirectory")->text(), QStringLiteral("/srv/kivra logs"));
    kivra::SetFolderPickerHandler(previous);
    EXPECT_EQ(Shown.Count(), 0);
}

// ---- test mail ------------------------------------------------------------------------------

class PropertiesTestMail : public WithMailServers<Properties> {
protected:
    void SetUp() override {
        WithMailServers::SetUp();
        Main->AlertSettings.EmailAlerts = true;
        Open();
    }
    void Type(const std::string &host, const char *to = "dba@kivra.test") {
        Edit("EditSMTPHost")->setText(QString::fromStdString(host));
        Edit("EditAlertEmailAddress")->setText(QString::fromLatin1(to));
        Edit("EditFromEmail")->setText(QStringLiteral("monitor@kivra.test"));
    }
};

TEST_F(PropertiesTestMail, ArrivesWithTheSettingsAsTyped) {
    const std::size_t before = Plain->Messages().size();
    Type(Plain->Host(), "dba@kivra.test, second@kivra.test");
    Click("ButtonTestEmail");
    EXPECT_EQ(Shown.Count(), 0) << (Shown.Count() ? Shown.Boxes[0].Text : "");
    const auto all = Plain->Messages();
    ASSERT_EQ(all.size(), before + 1);
    const QJsonObject &m = all.back();
    EXPECT_EQ(HeaderValues(m, "Subject"), std::vector<std::string>{"Kivrawatch Test Message"});
    EXPECT_EQ(m["body"].toString().trimmed(),
              QStringLiteral("This is a test message from Kivrawatch"));
    EXPECT_EQ(HeaderValues(m, "From"), std::vector<std::string>{"monitor@kivra.test"});
    EXPECT_EQ(m["rcpt_tos"].toArray().size(), 2);
    EXPECT_FALSE(m["authenticated"].toBool());
    // Nothing was applied or written.
    EXPECT_EQ(Main->AlertSettings.SMTPHost, "");
    EXPECT_EQ(StoredValue(kAlerts, "SMTPHost"), "<no key>");
}

TEST_F(PropertiesTestMail, LogsOnWithTheTypedUserWhenLoginIsChosen) {
    const std::size_t before = Authenticating->Messages().size();
    Type(Authenticating->Host());
    Combo("ComboBoxAuthenticate")->setCurrentIndex(1);
    Edit("EditUserID")->setText(QStringLiteral("monitor"));
    Edit("EditPassword")->setText(QStringLiteral("secret"));
    Click("ButtonTestEmail");
    EXPECT_EQ(Shown.Count(), 0) << (Shown.Count() ? Shown.Boxes[0].Text : "");
    const auto all = Authenticating->Messages();
    ASSERT_EQ(all.size(), before + 1);
    EXPECT_TRUE(all.back()["authenticated"].toBool());
    EXPECT_EQ(all.back()["login"].toString(), QStringLiteral("monitor"));
}

// Error replies and socket errors show a box captioned "Error"; a connection not made within the
// time-out (5000 ms, as the alert mail's) reaches the exception display. The session is closed
// after each.
TEST_F(PropertiesTestMail, FailuresAreShown) {
    RawListener backlogged(RawListener::Backlogged);
    const struct {
        const char *name;
        std::string host;
        const char *to, *caption, *says;
        unsigned flags;
    } cases[] = {
        {"refused", "127.0.0.1:" + std::to_string(RawListener::ClosedPort()), "dba@kivra.test",
         "Error", "127.0.0.1", kivra::MB_OK},
        {"error reply", Plain->Host(), "nobody@reject.test", "Error", "550", kivra::MB_OK},
        {"log-on refused", Authenticating->Host(), "dba@kivra.test", "Error", "530", kivra::MB_OK},
        {"connect time-out", backlogged.Host(), "dba@kivra.test", "Kivrawatch",
         "timed out after 5000 ms", kivra::MB_OK | kivra::MB_ICONERROR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Type(c.host, c.to);
        const int before = Shown.Count();
        Click("ButtonTestEmail");
        ASSERT_EQ(Shown.Count(), before + 1);
        const RecordedMessageBox &box = Shown.Boxes.back();
        EXPECT_EQ(box.Caption, c.caption);
        EXPECT_EQ(box.Flags, c.flags);
        EXPECT_NE(box.Text.find(c.says), std::string::npos) << box.Text;
        EXPECT_FALSE(Dialog->IdSMTPTest.Connected());
    }
}

}  // namespace
