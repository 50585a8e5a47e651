// The dialogs and the alert mail with the real main window and logon dialog: an alert raised by a
// server the window polls arrives by mail, settings saved in the Properties dialog come back at
// the next start, the browse dialog hands its name to the logon dialog, and where the dialogs
// appear on the screen.

#include "DBServerInfoSource.h"
#include "DialogTestSupport.h"
#include "MessageBoxRecorder.h"
#include "ModalDialog.h"
#include "OdbcBrowse.h"
#include "SqlBrowserResponder.h"
#include "SqlSimInstances.h"
#include "TFormAbout.h"
#include "TFormLogon.h"
#include "TFormMain.h"
#include "TFormProperties.h"
#include "TFormServerList.h"
#include "TempSettingsFile.h"
#include "TestPump.h"
#include "WithMailServers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

class InProgram : public WithMailServers<> {
protected:
    void TearDown() override {
        kivra::SetModalDialogHandler({});
        kivra::SetBrowseTargets({});
    }
    TempSettingsFile Settings;
    MessageBoxRecorder Shown;
};

TEST_F(InProgram, DroppedServerWithTheDisconnectAlertOnMailsTheLoss) {
    SqlSimInstances sim(1);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    const std::size_t before = Plain->Messages().size();
    TFormMain main;
    main.AlertSettings.EmailAlerts = true;
    main.AlertSettings.ServerDisconnect = true;
    main.AlertSettings.SMTPHost = Plain->Host();
    main.AlertSettings.AlertEmails = "dba@kivra.test";
    main.AlertSettings.FromEmail = "monitor@kivra.test";
    ASSERT_TRUE(main.ConnectToServer(sim.ServerName(0), false, SqlSimInstances::kLogin,
                                     SqlSimInstances::kPassword));
    TDBServerInfo *model = main.Connections[0].ServerInfo;
    ASSERT_TRUE(PumpUntil([&] { return model->History[TDBServerInfo::kHistorySize - 1].Filled; }));
    sim.Server(0).DropConnections();
    ASSERT_TRUE(PumpUntil([&] { return Plain->Messages().size() == before + 1; }));
    const QJsonObject m = Plain->Messages().back();
    EXPECT_EQ(m["body"].toString().trimmed(),
              QStringLiteral("Kivrawatch has lost connection to this server"));
    EXPECT_EQ(HeaderValues(m, "Subject"),
              std::vector<std::string>{"Kivrawatch Alert on server " + sim.ServerName(0)});
    EXPECT_FALSE(main.IsServerConnected(0));
    EXPECT_EQ(Shown.Count(), 0);
    main.DisconnectServer(0);
}

TEST_F(InProgram, PropertiesSavedAreReadAtTheNextStart) {
    {
        TFormMain main;
        kivra::SetModalDialogHandler([](QDialog *dialog) {
            auto *d = qobject_cast<TFormProperties *>(dialog);
            EXPECT_NE(d, nullptr);
            if (!d) return int(QDialog::Rejected);
            d->show();
            Child<QSlider>(*d, "TrackBarRefresh")->setValue(25);
            Child<QComboBox>(*d, "ComboBoxInitialPanel")->setCurrentIndex(4);
            Child<QCheckBox>(*d, "CheckBoxEnableEmail")->setChecked(true);
            Child<QCheckBox>(*d, "CheckBoxCPUUsage")->setChecked(true);
            Child<QCheckBox>(*d, "CheckBoxServerDisconnect")->setChecked(true);
            Child<QLineEdit>(*d, "EditCPUUsageRefreshes")->setText("3");
            Child<QLineEdit>(*d, "EditCPUUsageValue")->setText("88");
            Child<QLineEdit>(*d, "EditRespAlertRefreshes")->setText("12");
            Child<QLineEdit>(*d, "EditRespAlertValue")->setText("1500");
            Child<QLineEdit>(*d, "EditAlertEmailAddress")->setText("dba@x.test, ops@x.test");
            Child<QLineEdit>(*d, "EditSMTPHost")->setText("mail.x.test");
            Child<QLineEdit>(*d, "EditFromEmail")->setText("mon@x.test");
            Child<QComboBox>(*d, "ComboBoxAuthenticate")->setCurrentIndex(1);
            Child<QLineEdit>(*d, "EditUserID")->setText("smtp");
            Child<QLineEdit>(*d, "EditPassword")->setText("pw");
            Child<QCheckBox>(*d, "CheckBoxEnableLogging")->setChecked(true);
            Child<QLineEdit>(*d, "EditLoggingDirectory")->setText("/var/log/kivra");
            QLineEdit *every = Child<QLineEdit>(*d, "MaskEditServerStatusRefresh");
            every->clear();
            QTest::keyClicks(every, "7");
            Child<QCheckBox>(*d, "CheckBoxServerStatisicsLog")->setChecked(false);
            Child<QCheckBox>(*d, "CheckBoxSessionStatisicsLog")->setChecked(true);
            Child<QPushButton>(*d, "Button4")->click();
            return d->result();
        });
        main.ShowProperties();
    }
    EXPECT_EQ(Shown.Count(), 0);
    Settings.Reload();
    TFormMain next;
    EXPECT_EQ(next.RefreshInterval, 25);
    EXPECT_EQ(next.InitialPanel, 4);
    const stEmailAlerts &a = next.AlertSettings;
    EXPECT_TRUE(a.EmailAlerts);
    EXPECT_TRUE(a.CPUUsage);
    EXPECT_FALSE(a.ServerResponse);
    EXPECT_TRUE(a.ServerDisconnect);
    EXPECT_EQ(a.CPUUsageRefresh, 3);
    EXPECT_EQ(a.CPUUsageValue, 88);
    EXPECT_EQ(a.ServerResponseRefresh, 12);
    EXPECT_EQ(a.ServerResponseValue, 1500);
    EXPECT_EQ(a.AlertEmails, "dba@x.test, ops@x.test");
    EXPECT_EQ(a.SMTPHost, "mail.x.test");
    EXPECT_EQ(a.FromEmail, "mon@x.test");
    EXPECT_EQ(a.SMTPAuthenticationType, 1);
    EXPECT_EQ(a.SMTPUser, "smtp");
    EXPECT_EQ(a.SMTPPassword, "pw");
    const stLogging &l = next.LogSettings;
    EXPECT_TRUE(l.Logging);
    EXPECT_EQ(l.LoggingDirectory, "/var/log/kivra");
    EXPECT_EQ(l.RefreshCount, 7);
    EXPECT_FALSE(l.ServerLogging);
    EXPECT_TRUE(l.SessionLogging);
}

class BrowseFromLogon : public InProgram {
protected:
    void SetUp() override {
        InProgram::SetUp();
        std::string error;
        ASSERT_TRUE(Responder.Start("127.0.0.1", 0, error)) << error;
        Responder.SetInstances({{"MSSQLSERVER", 1433}, {"SALES", 50001}, {"Dev", 50002}});
        kivra::SetBrowseTargets({{"127.0.0.1", Responder.Port()}}, 3000);
        Logon.MainForm = &Main;
    }
    // The logon dialog's "..." with the browse dialog answered by pick (on its list).
    void Browse(const std::function<void(TFormServerList &, QListWidget &)> &pick) {
        kivra::SetModalDialogHandler([&](QDialog *dialog) {
            auto *d = qobject_cast<TFormServerList *>(dialog);
            EXPECT_NE(d, nullptr);
            if (!d) return int(QDialog::Rejected);
            EXPECT_EQ(d->LogonForm, &Logon);
            d->show();
            d->activateWindow();
            QListWidget *list = Child<QListWidget>(*d, "ListBoxServers");
            EXPECT_TRUE(PumpUntil([&] { return list->count() == 3; }, 10000));
            if (list->count() == 3) pick(*d, *list);
            return d->result();
        });
        Child<QPushButton>(Logon, "Button1")->click();
    }
    std::string LogonServer() {
        return Child<QComboBox>(Logon, "cboxServer")->currentText().toStdString();
    }
    SqlBrowserResponder Responder{"SIMHOST"};
    TFormMain Main;
    TFormLogon Logon;
};

TEST_F(BrowseFromLogon, OkHandsTheSelectedName) {
    Browse([](TFormServerList &d, QListWidget &list) {
        list.setCurrentRow(1);
        Child<QPushButton>(d, "Button1")->click();
    });
    EXPECT_EQ(LogonServer(), "SIMHOST\\SALES");
}

TEST_F(BrowseFromLogon, DoubleClickHandsTheName) {
    Browse([](TFormServerList &, QListWidget &list) {
        const QPoint at = list.visualItemRect(list.item(2)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    });
    EXPECT_EQ(LogonServer(), "SIMHOST\\Dev");
}

// The Properties dialog, the About box and the browse dialog open centred on the screen, wherever
// the main window (and the logon dialog over it) stands; each is opened as a user opens it.
TEST_F(BrowseFromLogon, PropertiesAboutAndBrowseDialogsOpenCentredOnTheScreen) {
    const QRect screen = Main.screen()->availableGeometry();
    Main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main));
    Main.move(screen.topLeft() + QPoint(300, 250));
    ASSERT_TRUE(PumpUntil([&] { return Main.pos() == screen.topLeft() + QPoint(300, 250); }));
    ASSERT_GT((Main.frameGeometry().center() - screen.center()).manhattanLength(), 200)
        << "the main window is away from the screen's centre";
    std::map<std::string, QRect> shown;  // class -> frame when shown
    kivra::SetModalDialogHandler([&](QDialog *dialog) {
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        shown[dialog->metaObject()->className()] = dialog->frameGeometry();
        if (qobject_cast<TFormLogon *>(dialog)) Child<QPushButton>(*dialog, "Button1")->click();
        dialog->reject();
        return int(QDialog::Rejected);
    });
    Main.ShowProperties();
    Main.AboutKivrawatch1Click();
    Main.OpenLogonDialog();  // and its "..." button
    ASSERT_EQ(shown.size(), 4u);
    for (const char *name : {"TFormProperties", "TFormAbout", "TFormServerList"}) {
        const QRect frame = shown[name];
        EXPECT_LE((frame.center() - screen.center()).manhattanLength(), 2)
            << name << " at " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
            << frame.height();
        EXPECT_TRUE(screen.contains(frame)) << name;
    }
}

}  // namespace
