// The browse layer against sqlsim's browser responder on loopback: the SVR_RESP parser, the
// UDP client, and the ODBC browse call as the server browse dialog makes it.
#include "BrowseTestAddress.h"
#include "OdbcBrowse.h"
#include "SqlBrowserClient.h"
#include "SqlBrowserResponder.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <sqlext.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using kivra::SqlBrowserClient;
using kivra::SqlBrowserInstance;
using kivra::SqlBrowserTarget;
namespace odbc = kivra::odbc;

namespace {

QByteArray Datagram(const std::string &data, int declared = -1) {
    const int size = declared < 0 ? static_cast<int>(data.size()) : declared;
    QByteArray d;
    d.append(char(0x05));
    d.append(char(size & 0xFF));
    d.append(char((size >> 8) & 0xFF));
    d.append(data.data(), static_cast<int>(data.size()));
    return d;
}

// A responder on an ephemeral port of a loopback address of this process.
std::unique_ptr<SqlBrowserResponder> StartResponder(int slot,
                                                    std::vector<SqlBrowserResponder::Instance> in,
                                                    const std::string &serverName = {}) {
    auto r = std::make_unique<SqlBrowserResponder>(serverName);
    r->SetInstances(std::move(in));
    std::string error;
    if (!r->Start(BrowseTestAddress(slot), 0, error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return r;
}

SqlBrowserTarget TargetOf(int slot, const SqlBrowserResponder &r) {
    return {BrowseTestAddress(slot), r.Port()};
}

std::vector<std::string> Names(const std::vector<SqlBrowserInstance> &found) {
    std::vector<std::string> n;
    for (const auto &i : found) n.push_back(i.DisplayName());
    return n;
}

// One raw request to a responder; its answer, waited for as long as a loaded machine may take,
// or empty when none came. A request that is to get no answer is given 150 ms to show it.
QByteArray Ask(const std::string &address, unsigned short port, const QByteArray &request,
               bool answered = true) {
    QUdpSocket s;
    s.setProxy(QNetworkProxy::NoProxy);
    EXPECT_TRUE(s.bind(QHostAddress::LocalHost, 0));
    s.writeDatagram(request, QHostAddress(QString::fromStdString(address)), port);
    if (!s.waitForReadyRead(answered ? 20000 : 150)) return {};
    return s.receiveDatagram().data();
}

// ---- parsing ---------------------------------------------------------------------------------

TEST(SqlBrowserParse, Datagrams) {
    struct Case {
        const char *name;
        QByteArray datagram;
        std::vector<std::string> names;
        std::vector<int> ports;
    };
    const std::string a =
        "ServerName;HOSTA;InstanceName;MSSQLSERVER;IsClustered;No;Version;"
        "16.0.1000.6;tcp;1433;;";
    const std::string b =
        "ServerName;HOSTA;InstanceName;SALES;IsClustered;No;tcp;50001;np;"
        "\\\\HOSTA\\pipe\\MSSQL$SALES\\sql\\query;;";
    QByteArray wrongKind = Datagram(a);
    wrongKind[0] = 0x04;
    const std::vector<Case> cases = {
        {"default instance", Datagram(a), {"HOSTA"}, {1433}},
        {"two records in order", Datagram(a + b), {"HOSTA", "HOSTA\\SALES"}, {1433, 50001}},
        {"keys ignore case", Datagram("servername;H;INSTANCENAME;I;TCP;7;;"), {"H\\I"}, {7}},
        {"no tcp", Datagram("ServerName;H;InstanceName;I;np;x;;"), {"H\\I"}, {0}},
        {"tcp not a number", Datagram("ServerName;H;InstanceName;I;tcp;12a;;"), {"H\\I"}, {0}},
        {"tcp out of range", Datagram("ServerName;H;InstanceName;I;tcp;70000;;"), {"H\\I"}, {0}},
        {"tcp zero", Datagram("ServerName;H;InstanceName;I;tcp;0;;"), {"H\\I"}, {0}},
        {"last record without ;;", Datagram("ServerName;H;InstanceName;I;tcp;5"), {"H\\I"}, {5}},
        {"declared size cuts the second record",
         Datagram(a + b, static_cast<int>(a.size())),
         {"HOSTA"},
         {1433}},
        {"declared size beyond the datagram", Datagram(a, 4000), {"HOSTA"}, {1433}},
        {"not a server response", wrongKind, {}, {}},
        {"too short", QByteArray("\x05\x00", 2), {}, {}},
        {"empty", QByteArray(), {}, {}},
        {"no instance name", Datagram("ServerName;H;tcp;5;;"), {}, {}},
        {"no server name", Datagram("InstanceName;I;tcp;5;;"), {}, {}},
        {"empty names", Datagram("ServerName;;InstanceName;I;;"), {}, {}},
        {"comma would split the list",
         Datagram("ServerName;H;InstanceName;A,B;;" + a),
         {"HOSTA"},
         {1433}},
        {"brace would end the list", Datagram("ServerName;H};InstanceName;X;;"), {}, {}},
        {"equals sign", Datagram("ServerName;H=1;InstanceName;X;;"), {}, {}},
        {"backslash in a name", Datagram("ServerName;H\\J;InstanceName;X;;"), {}, {}},
        {"control character", Datagram(std::string("ServerName;H\x01;InstanceName;X;;")), {}, {}},
    };
    for (const Case &c : cases) {
        const auto found = SqlBrowserClient::ParseResponse(c.datagram);
        EXPECT_EQ(Names(found), c.names) << c.name;
        std::vector<int> ports;
        for (const auto &i : found) ports.push_back(i.TcpPort);
        EXPECT_EQ(ports, c.ports) << c.name;
    }
}

TEST(SqlBrowserParse, DisplayNames) {
    struct Case {
        const char *server, *instance, *expected;
    };
    const Case cases[] = {{"HOST", "MSSQLSERVER", "HOST"},
                          {"HOST", "mssqlserver", "HOST"},
                          {"HOST", "INST", "HOST\\INST"},
                          {"127.0.0.1", "SQLEXPRESS", "127.0.0.1\\SQLEXPRESS"}};
    for (const Case &c : cases)
        EXPECT_EQ((SqlBrowserInstance{c.server, c.instance, 0}.DisplayName()), c.expected);
}

TEST(BrowseSettings, TargetLists) {
    struct Case {
        const char *text;
        std::vector<std::pair<std::string, int>> expected;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"127.0.0.1", {{"127.0.0.1", 1434}}},
        {"127.0.0.1:1500, localhost", {{"127.0.0.1", 1500}, {"localhost", 1434}}},
        {"[::1]:1600,::1", {{"::1", 1600}, {"::1", 1434}}},
        {"h:0,h:70000,h:x,h:,:5,[::1,ok", {{"ok", 1434}}},
        {" a , ,b:2 ", {{"a", 1434}, {"b", 2}}},
    };
    for (const Case &c : cases) {
        std::vector<std::pair<std::string, int>> got;
        for (const auto &t : kivra::ParseBrowseTargets(c.text)) got.push_back({t.Host, t.Port});
        EXPECT_EQ(got, c.expected) << c.text;
    }
}

TEST(BrowseAnswer, TextAndLengthCap) {
    EXPECT_EQ(kivra::BrowseAnswerText({}),
              "SERVER:Server={};UID:Login ID=?;PWD:Password=?;*APP:AppName=?;*WSID:WorkStation "
              "ID=?");
    const std::string two = kivra::BrowseAnswerText({"A", "B\\INST"});
    EXPECT_EQ(two.rfind("SERVER:Server={A,B\\INST};UID:", 0), 0u) << two;

    // 2000 names of 30 characters do not fit a 16-bit length: whole names are left out.
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back("N" + std::string(25, 'x') + std::to_string(1000 + i));
    const std::string text = kivra::BrowseAnswerText(many);
    EXPECT_LE(text.size(), 32767u);
    EXPECT_GT(text.size(), 32000u);
    const std::size_t open = text.find('{'), close = text.find('}');
    ASSERT_NE(close, std::string::npos);
    const std::string list = text.substr(open + 1, close - open - 1);
    std::size_t start = 0;
    int count = 0;
    while (start < list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        EXPECT_EQ(comma - start, 30u);
        ++count;
        start = comma + 1;
    }
    EXPECT_GT(count, 1000);
}

// ---- the responder -------------------------------------------------------------------------

TEST(SqlBrowserResponderTest, AnswersListsAndInstanceLookups) {
    auto r = StartResponder(0, {{"MSSQLSERVER", 1433}, {"Sales", 50001}}, "SIMHOST");
    ASSERT_TRUE(r);
    const std::string address = BrowseTestAddress(0);
    const std::string all =
        "ServerName;SIMHOST;InstanceName;MSSQLSERVER;IsClustered;No;Version;16.0.1000.6;tcp;"
        "1433;;ServerName;SIMHOST;InstanceName;Sales;IsClustered;No;Version;16.0.1000.6;tcp;"
        "50001;;";
    const std::string sales =
        "ServerName;SIMHOST;InstanceName;Sales;IsClustered;No;Version;16.0.1000.6;tcp;50001;;";
    struct Case {
        const char *name;
        QByteArray request;
        QByteArray answer;
    };
    const std::vector<Case> cases = {
        {"unicast list", QByteArray(1, 0x03), Datagram(all)},
        {"broadcast-style list", QByteArray(1, 0x02), Datagram(all)},
        {"instance, zero-terminated", QByteArray("\x04SALES", 7), Datagram(sales)},
        {"instance, unterminated", QByteArray("\x04sales"), Datagram(sales)},
        {"unknown instance", QByteArray("\x04OTHER", 7), {}},
        {"empty instance name", QByteArray(1, 0x04), {}},
        {"list request with trailing bytes", QByteArray("\x03xx"), {}},
        {"unknown request", QByteArray(1, 0x0F), {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Ask(address, r->Port(), c.request, !c.answer.isEmpty()), c.answer) << c.name;
}

TEST(SqlBrowserResponderTest, NamesItselfByAddressAndRefusesABoundPort) {
    auto r = StartResponder(1, {{"INST", 4000}});
    ASSERT_TRUE(r);
    const auto found =
        SqlBrowserClient::ParseResponse(Ask(BrowseTestAddress(1), r->Port(), QByteArray(1, 0x03)));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].DisplayName(), BrowseTestAddress(1) + "\\INST");

    SqlBrowserResponder second;
    std::string error;
    EXPECT_FALSE(second.Start(BrowseTestAddress(1), r->Port(), error));
    EXPECT_NE(error.find("bind"), std::string::npos) << error;
    EXPECT_FALSE(second.Start("not-an-address", 0, error));
    r->Stop();
    EXPECT_FALSE(r->Running());
    r->Stop();  // twice is harmless
}

TEST(SqlBrowserResponderTest, ResponseNeverExceedsADatagram) {
    std::vector<SqlBrowserResponder::Instance> many;
    for (int i = 0; i < 1500; ++i) many.push_back({"INSTANCE_" + std::to_string(i), 40000});
    // Server names of every length move where the last whole record ends; none may pass the
    // largest UDP payload over IPv4 (65507 bytes), or the answer is never sent.
    for (std::size_t length = 1; length <= 120; ++length) {
        const std::string d = SqlBrowserResponder::Response(std::string(length, 'h'), many);
        ASSERT_GE(d.size(), 3u);
        const std::size_t declared = static_cast<unsigned char>(d[1]) |
                                     (static_cast<unsigned char>(d[2]) << 8);
        EXPECT_EQ(declared, d.size() - 3) << length;
        EXPECT_LE(d.size(), 65507u) << length;
        EXPECT_GT(d.size(), 65507u - 400) << length;  // full but for less than one record
        EXPECT_EQ(d.substr(d.size() - 2), ";;") << length;
    }
}

// ---- the client ----------------------------------------------------------------------------

TEST(SqlBrowserClientTest, CollectsEveryTargetOnceInOrder) {
    auto one = StartResponder(2, {{"MSSQLSERVER", 1433}, {"A", 2000}});
    auto two = StartResponder(3, {{"B", 3000}});
    ASSERT_TRUE(one && two);
    const SqlBrowserTarget t1 = TargetOf(2, *one), t2 = TargetOf(3, *two);
    std::vector<SqlBrowserInstance> found;
    std::string error;
    ASSERT_TRUE(SqlBrowserClient({t1, t2, t1}, 2000).Browse(found, error)) << error;
    const std::string h1 = BrowseTestAddress(2), h2 = BrowseTestAddress(3);
    // Answers may come in either order between targets, never twice.
    std::vector<std::string> names = Names(found);
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {h1, h1 + "\\A", h2 + "\\B"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    for (const auto &i : found)
        if (i.InstanceName == "A") {
            EXPECT_EQ(i.TcpPort, 2000);
        }
}

TEST(SqlBrowserClientTest, SilentOrUnresolvableTargetsAddNothing) {
    auto one = StartResponder(4, {{"X", 1}});
    ASSERT_TRUE(one);
    // A bound socket that never answers stands for a host without a browser service.
    QUdpSocket silent;
    silent.setProxy(QNetworkProxy::NoProxy);
    ASSERT_TRUE(silent.bind(QHostAddress(QString::fromStdString(BrowseTestAddress(5))), 0));
    std::vector<SqlBrowserInstance> found;
    std::string error;
    const std::vector<SqlBrowserTarget> targets = {{BrowseTestAddress(5), silent.localPort()},
                                                   {"no-such-host.invalid", 1434},
                                                   TargetOf(4, *one)};
    ASSERT_TRUE(SqlBrowserClient(targets, 300).Browse(found, error)) << error;
    EXPECT_EQ(Names(found), std::vector<std::string>{BrowseTestAddress(4) + "\\X"});
    // The silent target was asked twice (the second request halfway through the wait).
    int requests = 0;
    while (silent.hasPendingDatagrams()) {
        EXPECT_EQ(silent.receiveDatagram().data(), QByteArray(1, 0x03));
        ++requests;
    }
    EXPECT_EQ(requests, 2);

    ASSERT_TRUE(SqlBrowserClient({}, 300).Browse(found, error));
    EXPECT_TRUE(found.empty());
}

// ---- the ODBC browse call ------------------------------------------------------------------

class OdbcBrowseTest : public ::testing::Test {
protected:
    void SetUp() override {
        responder = StartResponder(6, {{"MSSQLSERVER", 1433}, {"INST", 50000}});
        ASSERT_TRUE(responder);
        kivra::SetBrowseTargets({TargetOf(6, *responder)}, 2000);
        host = BrowseTestAddress(6);
        ASSERT_EQ(odbc::SQLAllocEnv(&env), SQL_SUCCESS);
        ASSERT_EQ(odbc::SQLAllocConnect(env, &dbc), SQL_SUCCESS);
    }
    // A test that frees the handles itself sets them to nullptr.
    void TearDown() override {
        if (dbc != nullptr) {
            odbc::SQLDisconnect(dbc);
            EXPECT_EQ(odbc::SQLFreeConnect(dbc), SQL_SUCCESS);
        }
        if (env != nullptr) {
            EXPECT_EQ(odbc::SQLFreeEnv(env), SQL_SUCCESS);
        }
        kivra::SetBrowseTargets({});
    }

    static SQLCHAR *In(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }
    std::unique_ptr<SqlBrowserResponder> responder;
    std::string host;
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
};

// The dialog's sequence: room 2 first, then needed + 2.
TEST_F(OdbcBrowseTest, TwoCallSequenceGivesTheListAndItsLength) {
    const char *input = "DRIVER=SQL Server";
    std::vector<SQLCHAR> out(16000, 0x7F);
    SQLSMALLINT needed = -5;
    EXPECT_EQ(odbc::SQLBrowseConnect(dbc, In(input), static_cast<SQLSMALLINT>(std::strlen(input)),
                                     out.data(), 2, &needed),
              SQL_NEED_DATA);
    const std::string expected = "SERVER:Server={" + host + "," + host +
                                 "\\INST};UID:Login ID=?;PWD:Password=?;*APP:AppName=?;"
                                 "*WSID:WorkStation ID=?";
    EXPECT_EQ(needed, static_cast<SQLSMALLINT>(expected.size()));
    EXPECT_EQ(out[0], 'S');
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0x7F) << "nothing written past the stated room";

    std::fill(out.begin(), out.begin() + needed + 2, 0);
    SQLSMALLINT again = 0;
    EXPECT_EQ(odbc::SQLBrowseConnect(dbc, In(input), static_cast<SQLSMALLINT>(std::strlen(input)),
                                     out.data(), static_cast<SQLSMALLINT>(needed + 2), &again),
              SQL_NEED_DATA);
    EXPECT_EQ(again, needed);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data())), expected);

    EXPECT_EQ(odbc::SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(odbc::SQLFreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(odbc::SQLFreeEnv(env), SQL_SUCCESS);
    dbc = env = nullptr;
}

TEST_F(OdbcBrowseTest, ConnectionKeepsItsAnswerUntilDisconnect) {
    SQLCHAR out[512];
    SQLSMALLINT first = 0, second = 0, third = 0;
    ASSERT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER={SQL Server}"), SQL_NTS, out, sizeof out,
                                     &first),
              SQL_NEED_DATA);
    responder->SetInstances({{"MSSQLSERVER", 1433}, {"INST", 50000}, {"LATE", 50001}});
    ASSERT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER={SQL Server}"), SQL_NTS, out, sizeof out,
                                     &second),
              SQL_NEED_DATA);
    EXPECT_EQ(second, first) << "a second call must not see a different list";
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).find("LATE"), std::string::npos);
    ASSERT_EQ(odbc::SQLDisconnect(dbc), SQL_SUCCESS);
    ASSERT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER={SQL Server}"), SQL_NTS, out, sizeof out,
                                     &third),
              SQL_NEED_DATA);
    EXPECT_NE(std::string(reinterpret_cast<char *>(out)).find(host + "\\LATE}"), std::string::npos);
    EXPECT_EQ(third, static_cast<SQLSMALLINT>(first + host.size() + 6));
}

TEST_F(OdbcBrowseTest, NoServerAnsweringGivesAnEmptyList) {
    responder->Stop();
    kivra::SetBrowseTargets({{host, 9}}, 100);  // the discard port, nothing listens
    SQLCHAR out[256];
    SQLSMALLINT needed = 0;
    EXPECT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), 17, out, sizeof out, &needed),
              SQL_NEED_DATA);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).rfind("SERVER:Server={};", 0), 0u);
    EXPECT_EQ(needed, static_cast<SQLSMALLINT>(std::strlen(reinterpret_cast<char *>(out))));
}

TEST_F(OdbcBrowseTest, BadCallsFailWithoutTouchingMemory) {
    int notAHandle = 0;
    SQLCHAR out[64];
    SQLSMALLINT needed = 0;
    struct Case {
        const char *name;
        SQLHDBC dbc;
        const char *in;
        SQLSMALLINT inLength;
        SQLSMALLINT outMax;
        SQLRETURN expected;
    };
    const Case cases[] = {
        {"unknown handle", &notAHandle, "DRIVER=SQL Server", SQL_NTS, 64, SQL_INVALID_HANDLE},
        {"null handle", nullptr, "DRIVER=SQL Server", SQL_NTS, 64, SQL_INVALID_HANDLE},
        {"another driver", dbc, "DRIVER=FreeTDS", SQL_NTS, 64, SQL_ERROR},
        {"no driver", dbc, "SERVER=x", SQL_NTS, 64, SQL_ERROR},
        {"cut input", dbc, "DRIVER=SQL Server", 10, 64, SQL_ERROR},
        {"null input", dbc, nullptr, SQL_NTS, 64, SQL_ERROR},
        {"negative input length", dbc, "DRIVER=SQL Server", -7, 64, SQL_ERROR},
        {"negative room", dbc, "DRIVER=SQL Server", SQL_NTS, -1, SQL_ERROR},
        {"driver names ignore case", dbc, "driver = sql server ;", SQL_NTS, 64, SQL_NEED_DATA},
    };
    for (const Case &c : cases) {
        std::memset(out, 0x7F, sizeof out);
        EXPECT_EQ(odbc::SQLBrowseConnect(c.dbc, c.in ? In(c.in) : nullptr, c.inLength, out,
                                         c.outMax, &needed),
                  c.expected)
            << c.name;
        if (c.expected != SQL_NEED_DATA) {
            EXPECT_EQ(out[0], 0x7F) << c.name;
        }
        odbc::SQLDisconnect(dbc);
    }
    // Room 0 or no output buffer: only the length.
    needed = 0;
    EXPECT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), SQL_NTS, nullptr, 0, &needed),
              SQL_NEED_DATA);
    EXPECT_GT(needed, 15);
    std::memset(out, 0x7F, sizeof out);
    EXPECT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), SQL_NTS, out, 0, nullptr),
              SQL_NEED_DATA);
    EXPECT_EQ(out[0], 0x7F);

    EXPECT_EQ(odbc::SQLAllocEnv(nullptr), SQL_ERROR);
    EXPECT_EQ(odbc::SQLAllocConnect(&notAHandle, &dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(odbc::SQLAllocConnect(env, nullptr), SQL_ERROR);
    EXPECT_EQ(odbc::SQLFreeEnv(env), SQL_ERROR) << "a connection is still allocated";
    EXPECT_EQ(odbc::SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(odbc::SQLDisconnect(dbc), SQL_ERROR) << "not connected any more";
    EXPECT_EQ(odbc::SQLFreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(odbc::SQLFreeConnect(dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(odbc::SQLDisconnect(dbc), SQL_INVALID_HANDLE);
    EXPECT_EQ(odbc::SQLFreeEnv(env), SQL_SUCCESS);
    EXPECT_EQ(odbc::SQLFreeEnv(env), SQL_INVALID_HANDLE);
    dbc = env = nullptr;
}

TEST_F(OdbcBrowseTest, AHugeNetworkStillReportsALengthThatFits) {
    // Two services with 600 long instance names each: more than a 16-bit length can state.
    std::vector<SqlBrowserResponder::Instance> a, b;
    for (int i = 0; i < 600; ++i) {
        a.push_back({"A" + std::string(26, 'a') + std::to_string(10000 + i), 1});
        b.push_back({"B" + std::string(26, 'b') + std::to_string(10000 + i), 2});
    }
    responder->SetInstances(a);
    auto other = StartResponder(7, b);
    ASSERT_TRUE(other);
    kivra::SetBrowseTargets({TargetOf(6, *responder), TargetOf(7, *other)}, 2000);
    std::vector<SQLCHAR> out(32768);
    SQLSMALLINT needed = 0;
    ASSERT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), SQL_NTS, out.data(), 2, &needed),
              SQL_NEED_DATA);
    EXPECT_GT(needed, 30000);
    ASSERT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), SQL_NTS, out.data(),
                                     static_cast<SQLSMALLINT>(out.size() - 1), &needed),
              SQL_NEED_DATA);
    const std::string text(reinterpret_cast<char *>(out.data()));
    EXPECT_EQ(text.size(), static_cast<std::size_t>(needed));
    EXPECT_NE(text.find("};UID:"), std::string::npos);
}

TEST_F(OdbcBrowseTest, UnsafeNamesFromTheNetworkAreNotListed) {
    responder->SetInstances({{"EVIL},X", 1}, {"OK", 2}, {"A,B", 3}});
    SQLCHAR out[512];
    SQLSMALLINT needed = 0;
    ASSERT_EQ(odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), SQL_NTS, out, sizeof out,
                                     &needed),
              SQL_NEED_DATA);
    EXPECT_EQ(
        std::string(reinterpret_cast<char *>(out)).rfind("SERVER:Server={" + host + "\\OK};", 0),
        0u)
        << out;
}

TEST_F(OdbcBrowseTest, TheEnvironmentNamesTheTargetsWhenNoneAreSet) {
    kivra::SetBrowseTargets({});
    const std::string hosts = " , " + host + ":" + std::to_string(responder->Port()) + ",";
    setenv("KIVRA_BROWSE_HOSTS", hosts.c_str(), 1);
    setenv("KIVRA_BROWSE_WAIT_MS", "500", 1);
    SQLCHAR out[512];
    SQLSMALLINT needed = 0;
    const SQLRETURN rc =
        odbc::SQLBrowseConnect(dbc, In("DRIVER=SQL Server"), SQL_NTS, out, sizeof out, &needed);
    unsetenv("KIVRA_BROWSE_HOSTS");
    unsetenv("KIVRA_BROWSE_WAIT_MS");
    ASSERT_EQ(rc, SQL_NEED_DATA);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out))
                  .rfind("SERVER:Server={" + host + "," + host + "\\INST};", 0),
              0u)
        << out;
}

}  // namespace
