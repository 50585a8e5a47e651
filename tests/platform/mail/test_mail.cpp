// The mail layer against a real SMTP server on loopback (aiosmtpd), plus the failure kinds a real
// server does not produce on demand (silent and closing listeners, a closed port).

#include "EIdConnectTimeout.h"
#include "EIdProtocolReplyError.h"
#include "EIdSocketError.h"
#include "MailText.h"
#include "RawListener.h"
#include "SmtpTestServer.h"
#include "TIdMessage.h"
#include "TIdSMTP.h"

#include <QByteArray>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>

using kivra::mail::MailAddress;

namespace {

TIdMessage AlertMessage(const std::string &recipients) {
    TIdMessage m;
    m.Recipients = recipients;
    m.FromAddress = "alerts@kivra.test";
    m.SenderAddress = "alerts@kivra.test";
    m.Subject = "Kivrawatch Alert on server SQL01\\PROD";
    m.Body = {"Kivrawatch has lost connection to this server"};
    return m;
}

std::vector<std::string> Strings(const QJsonValue &array) {
    std::vector<std::string> out;
    for (const auto &v : array.toArray()) out.push_back(v.toString().toStdString());
    return out;
}

// Header names of the raw message, in order, as they stand on the wire (continuations skipped).
std::vector<std::string> RawHeaderNames(const QJsonObject &message) {
    const QByteArray raw = message["data"].toString().toLatin1();
    const QByteArray head = raw.left(raw.indexOf("\r\n\r\n"));
    std::vector<std::string> names;
    for (const QByteArray &line : head.split('\n')) {
        if (line.isEmpty() || line.startsWith(' ') || line.startsWith('\t')) continue;
        names.push_back(line.left(line.indexOf(':')).toStdString());
    }
    return names;
}

// What an exchange raised, by kind.
enum class Raised { Nothing, ProtocolReply, Socket, ConnectTimeout, Other };

struct Outcome {
    Raised kind = Raised::Nothing;
    std::string message;
    int replyCode = -1;
    std::string replyText;
};

template <typename F> Outcome Attempt(F &&f) {
    Outcome o;
    try {
        f();
    } catch (const EIdProtocolReplyError &e) {
        o = {Raised::ProtocolReply, e.what(), e.ReplyCode(), e.ReplyText()};
    } catch (const EIdSocketError &e) {
        o = {Raised::Socket, e.what(), -1, ""};
    } catch (const EIdConnectTimeout &e) {
        o = {Raised::ConnectTimeout, e.what(), -1, ""};
    } catch (const EIdException &e) {
        o = {Raised::Other, e.what(), -1, ""};
    }
    return o;
}

class MailServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Server = std::make_unique<SmtpTestServer>(); }
    static void TearDownTestSuite() { Server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(Server->Started()) << Server->Error();
        Before = Server->Messages().size();
    }

    // Connects, sends and disconnects; the messages that arrived meanwhile.
    std::vector<QJsonObject> SendOne(TIdSMTP &smtp, const TIdMessage &message) {
        smtp.Connect(5000);
        smtp.Send(message);
        smtp.Disconnect();
        return Arrived();
    }

    std::vector<QJsonObject> Arrived() const {
        auto all = Server->Messages();
        return std::vector<QJsonObject>(all.begin() + static_cast<long>(Before), all.end());
    }

    static std::unique_ptr<SmtpTestServer> Server;
    std::size_t Before = 0;
};

std::unique_ptr<SmtpTestServer> MailServerTest::Server;

void Prepare(TIdSMTP &smtp, const std::string &host, TIdSMTPAuthenticationType auth,
             const std::string &password = "secret") {
    smtp.Host = host;
    smtp.AuthenticationType = auth;
    smtp.Username = "monitor";
    smtp.Password = password;
}

// ---- with and without LOGIN: the alert mail arrives as composed ----

class MailAuthTest : public MailServerTest,
                     public ::testing::WithParamInterface<TIdSMTPAuthenticationType> {};

TEST_P(MailAuthTest, AlertMailArrivesWithItsHeadersAndBody) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), GetParam());
    const auto got = SendOne(smtp, AlertMessage("dba@kivra.test"));
    ASSERT_EQ(got.size(), 1u);
    const QJsonObject &m = got[0];
    EXPECT_FALSE(m.contains("parse_error")) << m["parse_error"].toString().toStdString();
    EXPECT_TRUE(m["defects"].toArray().isEmpty());
    EXPECT_EQ(m["mail_from"].toString(), "alerts@kivra.test");
    EXPECT_EQ(Strings(m["rcpt_tos"]), std::vector<std::string>{"dba@kivra.test"});
    EXPECT_EQ(HeaderValues(m, "From"), std::vector<std::string>{"alerts@kivra.test"});
    EXPECT_EQ(HeaderValues(m, "To"), std::vector<std::string>{"dba@kivra.test"});
    EXPECT_EQ(HeaderValues(m, "Subject"),
              std::vector<std::string>{"Kivrawatch Alert on server SQL01\\PROD"});
    EXPECT_TRUE(HeaderValues(m, "Sender").empty()) << "Sender equal to From is left out";
    EXPECT_EQ(HeaderValues(m, "MIME-Version"), std::vector<std::string>{"1.0"});
    ASSERT_EQ(HeaderValues(m, "Content-Type").size(), 1u);
    EXPECT_NE(HeaderValues(m, "Content-Type")[0].find("text/plain"), std::string::npos);
    EXPECT_EQ(HeaderValues(m, "Date").size(), 1u);
    EXPECT_EQ(HeaderValues(m, "Message-ID").size(), 1u);
    EXPECT_EQ(m["body"].toString().toStdString(),
              "Kivrawatch has lost connection to this server\n");

    const bool login = GetParam() == atLogin;
    EXPECT_EQ(m["authenticated"].toBool(), login);
    EXPECT_EQ(m["mechanism"].toString(), login ? "LOGIN" : "");
    EXPECT_EQ(m["login"].toString(), login ? "monitor" : "");
}

INSTANTIATE_TEST_SUITE_P(Authentication, MailAuthTest, ::testing::Values(atNone, atLogin),
                         [](const auto &info) {
                             return std::string(info.param == atLogin ? "Login" : "None");
                         });

TEST_F(MailServerTest, SeveralRecipientsFromOneAddressListText) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atNone);
    const auto got =
        SendOne(smtp, AlertMessage("dba@kivra.test, Bob Ops <bob@kivra.test>,, "
                                   "\"Smith, Carol\" <carol@kivra.test> ,night@kivra.test"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Strings(got[0]["rcpt_tos"]),
              (std::vector<std::string>{"dba@kivra.test", "bob@kivra.test", "carol@kivra.test",
                                        "night@kivra.test"}));
    ASSERT_EQ(HeaderValues(got[0], "To").size(), 1u);
    EXPECT_EQ(HeaderValues(got[0], "To")[0],
              "dba@kivra.test, Bob Ops <bob@kivra.test>, \"Smith, Carol\" <carol@kivra.test>, "
              "night@kivra.test");
}

TEST_F(MailServerTest, SenderOtherThanAuthorIsTheEnvelopeSender) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atNone);
    TIdMessage m = AlertMessage("dba@kivra.test");
    m.FromAddress = "Kivrawatch <watch@kivra.test>";
    m.SenderAddress = "relay@kivra.test";
    const auto got = SendOne(smtp, m);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]["mail_from"].toString(), "relay@kivra.test");
    EXPECT_EQ(HeaderValues(got[0], "From"),
              std::vector<std::string>{"Kivrawatch <watch@kivra.test>"});
    EXPECT_EQ(HeaderValues(got[0], "Sender"), std::vector<std::string>{"relay@kivra.test"});
}

TEST_F(MailServerTest, NonAsciiSubjectAndAwkwardBodyLinesSurviveTheTrip) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atNone);
    // The second name fills its encoded-word's line: its address goes on a line of its own.
    // (One word: Python's reader puts a blank between a display name's encoded-words.)
    const std::string longName = "Überwachungszentrale Zürich Ωμέγα";
    TIdMessage m = AlertMessage("Jörg Müller <joerg@kivra.test>, " + longName +
                                " <operations.centre@kivra.test>");
    m.Subject = "Alarm für Server ZÜRICH\\Ω — 東京 " + std::string(80, 'x') + " ende";
    const std::string longLine(300, 'a');
    m.Body = {
        "Zeile mit Ümlaut", "a = sign and a trailing blank ", ".a leading dot", "", ".", longLine,
        "two\nlines"};
    const auto got = SendOne(smtp, m);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0]["defects"].toArray().isEmpty());
    EXPECT_EQ(HeaderValues(got[0], "Subject"), std::vector<std::string>{m.Subject});
    EXPECT_EQ(HeaderValues(got[0], "To"),
              std::vector<std::string>{"Jörg Müller <joerg@kivra.test>, " + longName +
                                       " <operations.centre@kivra.test>"});
    EXPECT_EQ(got[0]["body"].toString().toStdString(),
              "Zeile mit Ümlaut\na = sign and a trailing blank \n.a leading dot\n\n.\n" + longLine +
                  "\ntwo\nlines\n");
    // Every wire line within the limits: 76 for a line with an encoded-word and for
    // quoted-printable (the CR counted here), 78 for other headers we fold.
    const QByteArray raw = got[0]["data"].toString().toLatin1();
    for (const QByteArray &line : raw.split('\n'))
        EXPECT_LE(line.size(), line.contains("=?") ? 77 : 79) << line.data();
}

TEST_F(MailServerTest, TwoMailsShareOneSessionAndAReconnectOpensAnother) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atLogin);
    smtp.Connect(5000);
    EXPECT_TRUE(smtp.Connected());
    smtp.Send(AlertMessage("one@kivra.test"));
    smtp.Send(AlertMessage("two@kivra.test"));
    smtp.Disconnect();
    EXPECT_FALSE(smtp.Connected());
    smtp.Connect(5000);
    smtp.Send(AlertMessage("three@kivra.test"));
    smtp.Disconnect();
    const auto got = Arrived();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0]["connection"].toInt(), got[1]["connection"].toInt());
    EXPECT_NE(got[1]["connection"].toInt(), got[2]["connection"].toInt());
    for (const auto &m : got) EXPECT_TRUE(m["authenticated"].toBool());
}

// ---- line breaks in header values never make a header ----

struct InjectionCase {
    const char *name;
    std::string TIdMessage::*field;
    std::string value;
};

void PrintTo(const InjectionCase &c, std::ostream *os) { *os << c.name; }

class MailInjectionTest : public MailServerTest,
                          public ::testing::WithParamInterface<InjectionCase> {};

TEST_P(MailInjectionTest, LineBreakInAFieldAddsNoHeader) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atNone);
    TIdMessage m = AlertMessage("dba@kivra.test");
    m.*(GetParam().field) = GetParam().value;
    const Outcome o = Attempt([&] { SendOne(smtp, m); });
    const auto got = Arrived();
    if (o.kind != Raised::Nothing) {
        // A mangled address may be refused by the server; then nothing at all was delivered.
        EXPECT_EQ(o.kind, Raised::ProtocolReply) << o.message;
        EXPECT_TRUE(got.empty());
        return;
    }
    ASSERT_EQ(got.size(), 1u);
    const std::set<std::string> allowed{
        "Date",         "From",         "Sender",
        "To",           "Subject",      "Message-ID",
        "MIME-Version", "Content-Type", "Content-Transfer-Encoding"};
    for (const std::string &name : RawHeaderNames(got[0])) EXPECT_TRUE(allowed.count(name)) << name;
    for (const std::string &r : Strings(got[0]["rcpt_tos"])) EXPECT_NE(r, "evil@x.test");
    EXPECT_TRUE(HeaderValues(got[0], "Bcc").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MailInjectionTest,
    ::testing::Values(
        InjectionCase{"SubjectCrLf", &TIdMessage::Subject, "Alert\r\nBcc: evil@x.test"},
        InjectionCase{"SubjectBareLf", &TIdMessage::Subject, "Alert\nBcc: evil@x.test\n"},
        InjectionCase{"SubjectBareCr", &TIdMessage::Subject, "Alert\rBcc: evil@x.test"},
        InjectionCase{"SubjectBodyStart", &TIdMessage::Subject, "Alert\r\n\r\nfake body"},
        InjectionCase{"From", &TIdMessage::FromAddress, "ops@kivra.test\r\nBcc: evil@x.test"},
        InjectionCase{"Sender", &TIdMessage::SenderAddress, "relay@kivra.test\nX-Injected: yes"},
        InjectionCase{"RecipientInAddress", &TIdMessage::Recipients,
                      "dba@kivra.test\r\nBcc: evil@x.test"},
        InjectionCase{"RecipientInName", &TIdMessage::Recipients,
                      "DBA\r\nBcc: evil@x.test\r\n <dba@kivra.test>"}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- the three failure kinds ----

TEST_F(MailServerTest, WrongPasswordIsAProtocolReplyAtConnect) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atLogin, "wrong");
    const Outcome o = Attempt([&] { smtp.Connect(5000); });
    EXPECT_EQ(o.kind, Raised::ProtocolReply) << o.message;
    EXPECT_EQ(o.replyCode, 535);
    EXPECT_FALSE(o.replyText.empty());
    EXPECT_NE(o.message.find(Server->Host()), std::string::npos) << o.message;
    EXPECT_NE(o.message.find("535"), std::string::npos) << o.message;
    EXPECT_FALSE(smtp.Connected());
}

TEST_F(MailServerTest, RefusedRecipientIsAProtocolReplyAndEndsTheSession) {
    TIdSMTP smtp;
    Prepare(smtp, Server->Host(), atNone);
    smtp.Connect(5000);
    const Outcome o =
        Attempt([&] { smtp.Send(AlertMessage("dba@kivra.test, nobody@reject.test")); });
    EXPECT_EQ(o.kind, Raised::ProtocolReply) << o.message;
    EXPECT_EQ(o.replyCode, 550);
    EXPECT_NE(o.replyText.find("nobody@reject.test"), std::string::npos) << o.replyText;
    EXPECT_FALSE(smtp.Connected());
    EXPECT_TRUE(Arrived().empty());
    // The same client starts a fresh session for the next mail.
    smtp.Connect(5000);
    smtp.Send(AlertMessage("dba@kivra.test"));
    smtp.Disconnect();
    EXPECT_EQ(Arrived().size(), 1u);
}

TEST_F(MailServerTest, ServerThatRequiresLogOnRefusesAnAnonymousMail) {
    SmtpTestServer::Options options;
    options.RequireAuth = true;
    SmtpTestServer strict(options);
    ASSERT_TRUE(strict.Started()) << strict.Error();
    TIdSMTP smtp;
    Prepare(smtp, strict.Host(), atNone);
    const Outcome o = Attempt([&] {
        smtp.Connect(5000);
        smtp.Send(AlertMessage("dba@kivra.test"));
    });
    EXPECT_EQ(o.kind, Raised::ProtocolReply) << o.message;
    EXPECT_EQ(o.replyCode, 530);
    EXPECT_TRUE(strict.Messages().empty());
}

TEST(MailFailure, ClosedPortIsASocketError) {
    const int port = RawListener::ClosedPort();
    ASSERT_GT(port, 0);
    TIdSMTP smtp;
    smtp.Host = "127.0.0.1:" + std::to_string(port);
    const Outcome o = Attempt([&] { smtp.Connect(2000); });
    EXPECT_EQ(o.kind, Raised::Socket) << o.message;
    EXPECT_NE(o.message.find(smtp.Host), std::string::npos) << o.message;
    EXPECT_FALSE(smtp.Connected());
}

TEST(MailFailure, ConnectionDroppedAfterTheGreetingIsASocketError) {
    RawListener listener(RawListener::GreetThenClose);
    ASSERT_GT(listener.Port(), 0);
    TIdSMTP smtp;
    smtp.Host = listener.Host();
    const Outcome o = Attempt([&] { smtp.Connect(2000); });
    EXPECT_EQ(o.kind, Raised::Socket) << o.message;
    EXPECT_NE(o.message.find(listener.Host()), std::string::npos) << o.message;
}

TEST(MailFailure, ConnectionNotMadeInTimeIsAConnectTimeout) {
    RawListener listener(RawListener::Backlogged);
    ASSERT_GT(listener.Port(), 0) << "no loopback port that holds a connection back";
    TIdSMTP smtp;
    smtp.Host = listener.Host();
    const auto start = std::chrono::steady_clock::now();
    Outcome o;
    int timeoutMs = 0;
    try {
        smtp.Connect(300);
    } catch (const EIdConnectTimeout &e) {
        o.kind = Raised::ConnectTimeout;
        o.message = e.what();
        timeoutMs = e.TimeoutMs();
    } catch (const std::exception &e) {
        o.kind = Raised::Other;
        o.message = e.what();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(o.kind, Raised::ConnectTimeout) << o.message;
    EXPECT_EQ(timeoutMs, 300);
    EXPECT_NE(o.message.find(listener.Host()), std::string::npos) << o.message;
    EXPECT_GE(elapsed, std::chrono::milliseconds(250)) << "the time-out is waited for";
    EXPECT_LT(elapsed, std::chrono::seconds(5)) << "the time-out bounds the wait";
    EXPECT_FALSE(smtp.Connected());
}

// The connect time-out bounds the making of the connection only: a server that takes longer
// than it to greet, as a distant one does, is still served (the test mail uses 100 ms).
TEST(MailFailure, GreetingSlowerThanTheConnectTimeoutStillConnects) {
    RawListener listener(RawListener::SlowGreeting);
    ASSERT_GT(listener.Port(), 0);
    TIdSMTP smtp;
    smtp.Host = listener.Host();
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = Attempt([&] { smtp.Connect(100); });
    EXPECT_EQ(o.kind, Raised::Nothing) << o.message;
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(RawListener::kSlowGreetingMs));
    EXPECT_TRUE(smtp.Connected());
    smtp.Disconnect();
}

// A server that takes the connection but then does not answer is a socket error once the
// reply wait has passed, at the greeting as during the log-on.
TEST(MailFailure, ConnectedServerThatStopsAnsweringIsASocketError) {
    for (const RawListener::Mode mode : {RawListener::Silent, RawListener::StallAfterGreeting}) {
        SCOPED_TRACE(mode == RawListener::Silent ? "no greeting" : "stall during the log-on");
        RawListener listener(mode);
        ASSERT_GT(listener.Port(), 0);
        TIdSMTP smtp;
        smtp.Host = listener.Host();
        smtp.ReadTimeout = 1000;
        const auto start = std::chrono::steady_clock::now();
        const Outcome o = Attempt([&] { smtp.Connect(300); });
        EXPECT_EQ(o.kind, Raised::Socket) << o.message;
        EXPECT_NE(o.message.find(listener.Host()), std::string::npos) << o.message;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2950));
        EXPECT_FALSE(smtp.Connected());
    }
}

TEST(MailFailure, StallAfterTheLogOnIsASocketErrorBoundByTheReadTimeout) {
    RawListener listener(RawListener::StallAfterLogOn);
    ASSERT_GT(listener.Port(), 0);
    TIdSMTP smtp;
    smtp.Host = listener.Host();
    smtp.ReadTimeout = 1000;
    smtp.Connect(300);  // greeting, EHLO and NOOP are answered
    ASSERT_TRUE(smtp.Connected());
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = Attempt([&] { smtp.Send(AlertMessage("dba@kivra.test")); });
    EXPECT_EQ(o.kind, Raised::Socket) << o.message;
    EXPECT_NE(o.message.find(listener.Host()), std::string::npos) << o.message;
    // One wait for the unanswered command; the closing QUIT must not wait a second time.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1950));
    EXPECT_FALSE(smtp.Connected());
}

TEST(MailFailure, UnusableHostTextIsASocketErrorBeforeAnyTraffic) {
    const std::vector<std::string> hosts{"",
                                         "   ",
                                         "mail server",
                                         "127.0.0.1\r\nRCPT TO:<evil@x.test>",
                                         "mail.test:0",
                                         "mail.test:70000",
                                         "mail.test:smtp",
                                         "mail.test:",
                                         "[::1",
                                         "[::1]x",
                                         "smtp://mail.test",
                                         "mail.test/path"};
    for (const std::string &host : hosts) {
        TIdSMTP smtp;
        smtp.Host = host;
        const Outcome o = Attempt([&] { smtp.Connect(1000); });
        EXPECT_EQ(o.kind, Raised::Socket) << "host \"" << host << "\": " << o.message;
        EXPECT_EQ(o.message.find_first_of("\r\n"), std::string::npos) << o.message;
    }
}

TEST(MailFailure, SendWithoutSessionOrRecipientsIsMisuse) {
    TIdSMTP smtp;
    smtp.Host = "127.0.0.1:1";
    const Outcome notConnected = Attempt([&] { smtp.Send(AlertMessage("dba@kivra.test")); });
    EXPECT_EQ(notConnected.kind, Raised::Other) << notConnected.message;

    SmtpTestServer server;
    ASSERT_TRUE(server.Started()) << server.Error();
    smtp.Host = server.Host();
    smtp.Connect(5000);
    const Outcome noRecipient = Attempt([&] { smtp.Send(AlertMessage(" , ")); });
    EXPECT_EQ(noRecipient.kind, Raised::Other) << noRecipient.message;
    EXPECT_TRUE(smtp.Connected()) << "nothing was sent, the session goes on";
    smtp.Disconnect();
    EXPECT_TRUE(server.Messages().empty());
}

// ---- host text and the text rules ----

TEST(MailEndpoint, HostTextSelectsThePort) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"mail.kivra.test", "mail.kivra.test:25"},
        {"mail.kivra.test:2525", "mail.kivra.test:2525"},
        {"127.0.0.1:587", "127.0.0.1:587"},
        {"[::1]:26", "[::1]:26"},
        {"[::1]", "[::1]:25"},
        {"::1", "[::1]:25"},
    };
    for (const auto &[host, endpoint] : cases) {
        TIdSMTP smtp;
        smtp.Host = host;
        EXPECT_EQ(smtp.Endpoint(), endpoint) << host;
    }
}

TEST(MailText, AddressListSplitsOutsideQuotesAndBrackets) {
    struct Case {
        std::string text;
        std::vector<std::pair<std::string, std::string>> expected;  // name, address
    };
    const std::vector<Case> cases{
        {"a@x.test", {{"", "a@x.test"}}},
        {"a@x.test,b@x.test", {{"", "a@x.test"}, {"", "b@x.test"}}},
        {" Bob <b@x.test> ,, <c@x.test> ", {{"Bob", "b@x.test"}, {"", "c@x.test"}}},
        {"\"Smith, Carol\" <c@x.test>, d@x.test", {{"Smith, Carol", "c@x.test"}, {"", "d@x.test"}}},
        {"\"Say \\\"hi\\\"\" <h@x.test>", {{"Say \"hi\"", "h@x.test"}}},
        {"<a,b@x.test>", {{"", "a,b@x.test"}}},
        {"", {}},
        {" , ,", {}},
        {"a@x.test\r\nBcc: e@x.test", {{"", "a@x.test  Bcc: e@x.test"}}},
    };
    for (const Case &c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const MailAddress &a : kivra::mail::ParseAddressList(c.text)) {
            got.emplace_back(a.Name, a.Address);
        }
        EXPECT_EQ(got, c.expected) << c.text;
    }
}

TEST(MailText, HeaderValuesStayOnWireLimits) {
    const std::vector<std::string> values{
        "Kivrawatch Alert on server SQL01",
        std::string(900, 'a'),    // plain but longer than a line allows
        "Ω",                      // one two-byte character
        std::string(40, '\xE6'),  // stray bytes, not UTF-8
        "東京" + std::string(30, 'x') + "東京東京東京東京東京東京東京東京东京",
        "tab\there\r\nand line breaks\n",
    };
    for (const std::string &v : values) {
        const std::string encoded = kivra::mail::EncodeHeaderValue(v, 9);
        std::size_t start = 0;
        while (start <= encoded.size()) {
            auto end = encoded.find("\r\n", start);
            const std::string line =
                encoded.substr(start, end == std::string::npos ? std::string::npos : end - start);
            EXPECT_LE(line.size() + (start == 0 ? 9 : 0), 998u) << v;
            if (line.find("=?") != std::string::npos) {
                EXPECT_LE(line.size(), 76u) << line;
            }
            EXPECT_EQ(line.find_first_of("\r\n\t"), std::string::npos) << line;
            if (end == std::string::npos) break;
            EXPECT_EQ(encoded[end + 2], ' ') << "continuation lines begin with a blank";
            start = end + 2;
        }
    }
}

// No header line that holds an encoded-word passes 76 characters, the header's name, the
// blank before a continued recipient and the address after an encoded name counted.
TEST(MailText, AddressHeadersWithEncodedNamesFoldWithinTheLineLimit) {
    std::vector<std::string> names;
    for (std::size_t n = 1; n <= 60; ++n) {
        names.push_back(std::string(n, 'a') + "é");  // every length of the name's last word
        std::string greek;
        for (std::size_t i = 0; i < n; ++i) greek += "Ω";
        names.push_back(greek);
    }
    names.push_back("Jörg Müller");
    names.push_back("東京 監視センター 😀 Überwachung");
    const std::vector<std::string> addresses{"a@b.test", "joerg.mueller@operations.kivra.test",
                                             std::string(60, 'x') + "@kivra.test"};
    for (const std::string &name : names) {
        for (const std::string &address : addresses) {
            TIdMessage m;
            m.FromAddress = name + " <" + address + ">";
            m.SenderAddress = name + " <relay." + address + ">";
            m.Recipients = m.FromAddress + ", " + m.FromAddress;
            m.Subject = "Kivrawatch Alert on server SQL01";
            m.Body = {"x"};
            const std::string mail = m.Compose(0, "id@kivra.test");
            const std::string headers = mail.substr(0, mail.find("\r\n\r\n"));
            std::size_t start = 0;
            for (;;) {
                const auto end = headers.find("\r\n", start);
                const std::string line = headers.substr(
                    start, end == std::string::npos ? std::string::npos : end - start);
                if (line.find("=?") != std::string::npos) {
                    EXPECT_LE(line.size(), 76u) << name << " <" << address << ">: " << line;
                }
                if (end == std::string::npos) break;
                start = end + 2;
            }
        }
    }
}

TEST(MailText, EncodedWordsKeepCharactersWhole) {
    // Three-byte characters across many words: each word decodes to whole characters.
    std::string text;
    for (int i = 0; i < 60; ++i) text += "東";
    const std::string encoded = kivra::mail::EncodeHeaderValue(text, 9);
    std::string joined;
    std::size_t pos = 0;
    int words = 0;
    while ((pos = encoded.find("=?UTF-8?B?", pos)) != std::string::npos) {
        const auto end = encoded.find("?=", pos + 10);
        ASSERT_NE(end, std::string::npos);
        const QByteArray bytes = QByteArray::fromBase64(
            QByteArray::fromStdString(encoded.substr(pos + 10, end - pos - 10)));
        EXPECT_EQ(bytes.size() % 3, 0) << "a word ends inside a character";
        joined += bytes.toStdString();
        pos = end + 2;
        ++words;
    }
    EXPECT_GT(words, 1);
    EXPECT_EQ(joined, text);
}

TEST(MailText, QuotedPrintableLines) {
    struct Case {
        std::string line;
        std::string expected;  // whole encoded text
    };
    const std::vector<Case> cases{
        {"plain", "plain\r\n"},
        {"a=b", "a=3Db\r\n"},
        {"ends in blank ", "ends in blank=20\r\n"},
        {"ends in tab\t", "ends in tab=09\r\n"},
        {"Ü", "=C3=9C\r\n"},
        {"", "\r\n"},
        {std::string(76, 'x'), std::string(76, 'x') + "\r\n"},
        {std::string(77, 'x'), std::string(75, 'x') + "=\r\nxx\r\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kivra::mail::EncodeQuotedPrintable({c.line}), c.expected) << c.line;
    }
    // An escape is never split by a soft break.
    const std::string encoded = kivra::mail::EncodeQuotedPrintable({std::string(74, 'x') + "ÜÜ"});
    EXPECT_EQ(encoded, std::string(74, 'x') + "=\r\n=C3=9C=C3=9C\r\n");
}

}  // namespace
