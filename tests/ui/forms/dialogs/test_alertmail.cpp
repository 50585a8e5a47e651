// The alert mail against a real SMTP server on loopback: what arrives (subject, body, headers,
// log-on), the failures the user is shown, and alerts raised by a real worker polling sqlsim.

#include "TAlertMail.h"

#include "DBServerInfoSource.h"
#include "MessageBoxRecorder.h"
#include "PolledServer.h"
#include "RawListener.h"
#include "SmtpTestServer.h"
#include "SqlSimInstances.h"
#include "TestPump.h"
#include "WithMailServers.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <memory>

namespace {

std::vector<std::string> Strings(const QJsonValue &array) {
    std::vector<std::string> out;
    for (const auto &v : array.toArray()) out.push_back(v.toString().toStdString());
    return out;
}

std::string Body(const QJsonObject &message) {
    return message["body"].toString().trimmed().toStdString();
}

std::string Header(const QJsonObject &message, const char *name) {
    const auto values = HeaderValues(message, name);
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " values>";
}

stEmailAlerts Settings(const std::string &host) {
    stEmailAlerts s;
    s.EmailAlerts = true;
    s.SMTPHost = host;
    s.AlertEmails = "dba@kivra.test, oncall@kivra.test";
    s.FromEmail = "monitor@kivra.test";
    return s;
}

class AlertMailTest : public WithMailServers<> {
protected:
    void SetUp() override {
        WithMailServers::SetUp();
        PlainBefore = Plain->Messages().size();
        AuthBefore = Authenticating->Messages().size();
    }

    std::vector<QJsonObject> Arrived(const SmtpTestServer &server, std::size_t before) const {
        auto all = server.Messages();
        return {all.begin() + static_cast<long>(before), all.end()};
    }
    std::vector<QJsonObject> ArrivedPlain() const { return Arrived(*Plain, PlainBefore); }

    std::size_t PlainBefore = 0, AuthBefore = 0;
    MessageBoxRecorder Shown;
    TAlertMail Mail;
};

TEST_F(AlertMailTest, BodyByTheFlagsOfTheAlert) {
    const struct {
        bool lost, high, slow;
        const char *body;
    } cases[] = {
        {true, true, true, "Kivrawatch has lost connection to this server"},
        {true, false, false, "Kivrawatch has lost connection to this server"},
        {true, false, true, "Kivrawatch has lost connection to this server"},
        {false, true, true,
         "Kivrawatch is experiencing high demand and slow responses for this server"},
        {false, true, false, "Kivrawatch is experiencing high demand on this server"},
        {false, false, true, "Kivrawatch is experiencing slow responses from this server"},
    };
    for (const auto &c : cases)
        Mail.SendAlertEmail(Settings(Plain->Host()), "SQL01", c.lost, c.high, c.slow);
    EXPECT_EQ(Shown.Count(), 0);
    const auto arrived = ArrivedPlain();
    ASSERT_EQ(arrived.size(), std::size(cases));
    for (std::size_t i = 0; i < arrived.size(); ++i)
        EXPECT_EQ(Body(arrived[i]), cases[i].body) << "case " << i;
}

TEST_F(AlertMailTest, SubjectNamesTheServerAsConnectedAndHeadersComeFromTheSettings) {
    for (const char *server : {"SQL01\\PROD", "127.0.0.1,14330", "db \"main\""})
        Mail.SendAlertEmail(Settings(Plain->Host()), server, false, true, false);
    const auto arrived = ArrivedPlain();
    ASSERT_EQ(arrived.size(), 3u);
    EXPECT_EQ(Header(arrived[0], "Subject"), "Kivrawatch Alert on server SQL01\\PROD");
    EXPECT_EQ(Header(arrived[1], "Subject"), "Kivrawatch Alert on server 127.0.0.1,14330");
    EXPECT_EQ(Header(arrived[2], "Subject"), "Kivrawatch Alert on server db \"main\"");
    const QJsonObject &m = arrived[0];
    EXPECT_EQ(Header(m, "From"), "monitor@kivra.test");
    // Sender equals From, so it travels as the envelope sender only.
    EXPECT_EQ(m["mail_from"].toString().toStdString(), "monitor@kivra.test");
    EXPECT_EQ(Header(m, "To"), "dba@kivra.test, oncall@kivra.test");
    EXPECT_EQ(Strings(m["rcpt_tos"]),
              (std::vector<std::string>{"dba@kivra.test", "oncall@kivra.test"}));
    EXPECT_FALSE(m["authenticated"].toBool());
    EXPECT_EQ(Shown.Count(), 0);
}

TEST_F(AlertMailTest, LoginAuthenticationWithTheStoredUserAndPassword) {
    stEmailAlerts s = Settings(Authenticating->Host());
    s.SMTPAuthenticationType = 1;
    s.SMTPUser = "monitor";
    s.SMTPPassword = "secret";
    Mail.SendAlertEmail(s, "SQL01", true, false, false);
    EXPECT_EQ(Shown.Count(), 0) << (Shown.Count() ? Shown.Boxes[0].Text : "");
    const auto arrived = Arrived(*Authenticating, AuthBefore);
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_TRUE(arrived[0]["authenticated"].toBool());
    EXPECT_EQ(arrived[0]["mechanism"].toString(), QStringLiteral("LOGIN"));
    EXPECT_EQ(arrived[0]["login"].toString(), QStringLiteral("monitor"));
    EXPECT_EQ(Body(arrived[0]), "Kivrawatch has lost connection to this server");

    // Type 0 sends without logging on, whatever user and password hold: this server refuses that
    // mail with an error reply.
    s.SMTPAuthenticationType = 0;
    Mail.SendAlertEmail(s, "SQL01", true, false, false);
    EXPECT_EQ(Arrived(*Authenticating, AuthBefore).size(), 1u);
    ASSERT_EQ(Shown.Count(), 1);
    EXPECT_EQ(Shown.Boxes[0].Caption, "Protocol Reply Error");
}

TEST_F(AlertMailTest, ErrorReplyIsShownOnceAsProtocolReplyErrorAndTheMailDropped) {
    stEmailAlerts s = Settings(Plain->Host());
    s.AlertEmails = "nobody@reject.test";
    Mail.SendAlertEmail(s, "SQL01", false, false, true);
    ASSERT_EQ(Shown.Count(), 1);
    EXPECT_EQ(Shown.Boxes[0].Caption, "Protocol Reply Error");
    EXPECT_EQ(Shown.Boxes[0].Flags, unsigned(kivra::MB_OK));
    EXPECT_NE(Shown.Boxes[0].Text.find("550"), std::string::npos) << Shown.Boxes[0].Text;
    EXPECT_TRUE(ArrivedPlain().empty());
}

TEST_F(AlertMailTest, RefusedConnectionIsShownOnceAsSocketError) {
    stEmailAlerts s = Settings("127.0.0.1:" + std::to_string(RawListener::ClosedPort()));
    Mail.SendAlertEmail(s, "SQL01", true, false, false);
    ASSERT_EQ(Shown.Count(), 1);
    EXPECT_EQ(Shown.Boxes[0].Caption, "Socket Error");
    EXPECT_EQ(Shown.Boxes[0].Flags, unsigned(kivra::MB_OK));
    EXPECT_NE(Shown.Boxes[0].Text.find("127.0.0.1"), std::string::npos) << Shown.Boxes[0].Text;
}

// With the enable-email switch off nothing is mailed and nothing is shown.
TEST_F(AlertMailTest, EnableSwitchOffSendsNothing) {
    stEmailAlerts s = Settings(Plain->Host());
    s.EmailAlerts = false;
    Mail.SendAlertEmail(s, "SQL01", true, true, true);
    s.SMTPHost = "127.0.0.1:" + std::to_string(RawListener::ClosedPort());
    Mail.SendAlertEmail(s, "SQL01", true, true, true);
    EXPECT_TRUE(ArrivedPlain().empty());
    EXPECT_EQ(Shown.Count(), 0);
}

// After a failed attempt the session is closed; the next alert makes a connection of its own.
TEST_F(AlertMailTest, NextAlertAfterAFailureStartsAFreshSession) {
    struct Case {
        const char *name;
        const char *recipients;
        const char *caption;
    } cases[] = {
        {"refused recipient", "nobody@reject.test", "Protocol Reply Error"},
        {"no recipient at all", " , ", "Error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int boxesBefore = Shown.Count();
        stEmailAlerts s = Settings(Plain->Host());
        s.AlertEmails = c.recipients;
        Mail.SendAlertEmail(s, "SQL01", false, true, false);
        ASSERT_EQ(Shown.Count(), boxesBefore + 1);
        EXPECT_EQ(Shown.Boxes.back().Caption, c.caption);
        EXPECT_FALSE(Mail.IdSMTPAlert.Connected());
    }
    Mail.SendAlertEmail(Settings(Plain->Host()), "SQL01", false, true, false);
    Mail.SendAlertEmail(Settings(Plain->Host()), "SQL02", false, true, false);
    EXPECT_FALSE(Mail.IdSMTPAlert.Connected());
    const auto arrived = ArrivedPlain();
    ASSERT_EQ(arrived.size(), 2u);
    EXPECT_NE(arrived[0]["connection"].toInt(), arrived[1]["connection"].toInt());
    EXPECT_EQ(Shown.Count(), 2);
}

// ---- alerts raised by a real worker polling sqlsim ------------------------------------------

// The test's stand-in for the main window: each alert mail it is asked for is recorded and goes
// out through a TAlertMail.
class MailingServer : public PolledServer {
public:
    void SendAlertEmail(const std::string &server, bool lost, bool high, bool slow) override {
        PolledServer::SendAlertEmail(server, lost, high, slow);
        Mail.SendAlertEmail(Alerts, server, lost, high, slow);
    }
    TAlertMail Mail;
};

class AlertMailPolling : public AlertMailTest {
protected:
    void SetUp() override {
        AlertMailTest::SetUp();
        ASSERT_TRUE(Sim.Started()) << Sim.Error();
    }
    // The response alert on with a threshold every poll reaches: it fires at the first poll.
    void AlertAtFirstPoll(const std::string &host) {
        Server.Alerts = Settings(host);
        Server.Alerts.ServerResponse = true;
        Server.Alerts.ServerResponseValue = 0;
        Server.Alerts.ServerResponseRefresh = 1;
    }
    SqlSimInstances Sim{1};
    MailingServer Server;
};

TEST_F(AlertMailPolling, RefusedMailServerShowsOneBoxAndPollingGoesOn) {
    AlertAtFirstPoll("127.0.0.1:" + std::to_string(RawListener::ClosedPort()));
    int pollsAtBox = -1;
    Shown.OnShown = [&](const RecordedMessageBox &) { pollsAtBox = Server.Polls(); };
    ASSERT_TRUE(Server.Connect(Sim.ServerName(0)));
    ASSERT_TRUE(Server.WaitForPolls(3));
    EXPECT_EQ(Server.Mails.size(), 1u);  // latched: one alert for the episode
    ASSERT_EQ(Shown.Count(), 1);
    EXPECT_EQ(Shown.Boxes[0].Caption, "Socket Error");
    EXPECT_EQ(pollsAtBox, 0);  // shown inside the first poll, whose views were refreshed after it
    EXPECT_TRUE(Server.Model()->SlowResponseAlertSent);
}

// A connection that is not made within the connect time-out is shown like a socket error, and the
// poll that raised the alert still refreshes the views.
TEST_F(AlertMailPolling, ConnectTimeOutIsShownAsSocketErrorAndTheViewsStillRefresh) {
    RawListener backlogged(RawListener::Backlogged);
    AlertAtFirstPoll(backlogged.Host());
    int pollsAtBox = -1;
    Shown.OnShown = [&](const RecordedMessageBox &) { pollsAtBox = Server.Polls(); };
    ASSERT_TRUE(Server.Connect(Sim.ServerName(0), 60));
    ASSERT_TRUE(Server.WaitForPolls(1, 30000));
    ASSERT_EQ(Shown.Count(), 1);
    EXPECT_EQ(Shown.Boxes[0].Caption, "Socket Error");
    EXPECT_NE(Shown.Boxes[0].Text.find("timed out after 5000 ms"), std::string::npos)
        << Shown.Boxes[0].Text;
    EXPECT_EQ(pollsAtBox, 0);  // shown inside the first poll, whose refresh came after it
}

TEST_F(AlertMailPolling, EnableSwitchOffMailsNothingWhileTheAlertsStillLatch) {
    AlertAtFirstPoll(Plain->Host());
    Server.Alerts.EmailAlerts = false;
    Server.Alerts.ServerDisconnect = true;
    ASSERT_TRUE(Server.Connect(Sim.ServerName(0)));
    ASSERT_TRUE(Server.WaitForPolls(2));
    EXPECT_TRUE(Server.Model()->SlowResponseAlertSent);
    Sim.Server(0).DropConnections();
    ASSERT_TRUE(PumpUntil([&] { return Server.Model()->LostAlertSent; }));
    EXPECT_EQ(Server.Mails.size(), 2u);  // asked for twice: the slow response, the loss
    EXPECT_TRUE(ArrivedPlain().empty());
    EXPECT_EQ(Shown.Count(), 0);
}

TEST_F(AlertMailPolling, DroppedConnectionWithTheDisconnectAlertOnMailsTheLoss) {
    Server.Alerts = Settings(Plain->Host());
    Server.Alerts.ServerDisconnect = true;
    ASSERT_TRUE(Server.Connect(Sim.ServerName(0)));
    ASSERT_TRUE(Server.WaitForPolls(1));
    EXPECT_TRUE(ArrivedPlain().empty());
    Sim.Server(0).DropConnections();
    ASSERT_TRUE(PumpUntil([&] { return ArrivedPlain().size() == 1; }));
    const QJsonObject m = ArrivedPlain()[0];
    EXPECT_EQ(Body(m), "Kivrawatch has lost connection to this server");
    EXPECT_EQ(Header(m, "Subject"), "Kivrawatch Alert on server " + Sim.ServerName(0));
    EXPECT_EQ(Shown.Count(), 0);
}

}  // namespace
