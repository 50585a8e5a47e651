// FreeTDS resolving "HOST\INSTANCE" through sqlsim's browser responder: FreeTDS always asks
// UDP port 1434 of the host, so the responder binds port 1434 of a loopback address of this
// test process's own.
#include "BrowseTestAddress.h"
#include "SqlBrowserClient.h"
#include "SqlBrowserResponder.h"
#include "SqlSimServer.h"

#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

class FreeTdsResolution : public ::testing::Test {
protected:
    void SetUp() override {
        host = BrowseTestAddress(20);
        for (QTcpServer *s : {&inst, &other})
            ASSERT_TRUE(s->listen(QHostAddress(QString::fromStdString(host)), 0));
        responder = std::make_unique<SqlBrowserResponder>();
        responder->SetInstances({{"KIVRA1", inst.serverPort()}, {"OTHER", other.serverPort()}});
        std::string error;
        ASSERT_TRUE(responder->Start(host, 1434, error)) << error;
    }
    std::string host;
    QTcpServer inst, other;  // stand in for two instances' TDS ports
    std::unique_ptr<SqlBrowserResponder> responder;
};

TEST_F(FreeTdsResolution, TsqlListsTheInstancesWithTheirPorts) {
    const std::string command = "tsql -H " + host + " -L 2>&1";
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) output += buffer;
    pclose(p);
    const std::string lines[] = {"InstanceName KIVRA1", "InstanceName OTHER", "ServerName " + host,
                                 "tcp " + std::to_string(inst.serverPort()),
                                 "tcp " + std::to_string(other.serverPort())};
    for (const std::string &line : lines)
        EXPECT_NE(output.find(line), std::string::npos) << line << " in:\n" << output;
}

TEST_F(FreeTdsResolution, OdbcConnectGoesToTheNamedInstancesPort) {
    const std::string connect = "DRIVER={FreeTDS};SERVER=" + host +
                                "\\kivra1;UID=sa;PWD=x;TDS_Version=7.4;";
    SQLRETURN rc = SQL_SUCCESS;
    std::thread client([&] {
        SQLHENV env = SQL_NULL_HENV;
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);
        SQLCHAR out[512];
        SQLSMALLINT outLength = 0;
        rc = SQLDriverConnect(dbc, nullptr,
                              reinterpret_cast<SQLCHAR *>(const_cast<char *>(connect.c_str())),
                              SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    });
    const bool arrived = inst.waitForNewConnection(10000);
    if (arrived) delete inst.nextPendingConnection();  // closing it ends the login at once
    client.join();
    EXPECT_TRUE(arrived) << "FreeTDS did not connect to the port the responder gave";
    EXPECT_FALSE(other.hasPendingConnections());
    EXPECT_FALSE(SQL_SUCCEEDED(rc)) << "nothing spoke TDS there";
}

}  // namespace

// ---- with sqlsim: its instances found by the browse call and reached by name ---------------

namespace {

// Connects through unixODBC and FreeTDS and keeps the connection open until destroyed.
struct OdbcConnection {
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    SQLRETURN Result = SQL_ERROR;

    explicit OdbcConnection(const std::string &server) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        SQLSetConnectAttr(Dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        const std::string in = "DRIVER={FreeTDS};SERVER=" + server +
                               ";UID=sa;PWD=Kivra-Test-1;TDS_Version=7.4;";
        SQLCHAR out[512];
        SQLSMALLINT outLength = 0;
        Result = SQLDriverConnect(Dbc, nullptr,
                                  reinterpret_cast<SQLCHAR *>(const_cast<char *>(in.c_str())),
                                  SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    }
    ~OdbcConnection() {
        if (SQL_SUCCEEDED(Result)) SQLDisconnect(Dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
    // The first column of the first row of sql, as text.
    std::string Scalar(const std::string &sql) {
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &st);
        std::string value;
        if (SQL_SUCCEEDED(SQLExecDirect(
                st, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS)) &&
            SQL_SUCCEEDED(SQLFetch(st))) {
            char buffer[256] = {};
            SQLLEN length = 0;
            if (SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_CHAR, buffer, sizeof buffer, &length)))
                value = buffer;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return value;
    }
};

TEST(SqlSimBrowse, FreeTdsReachesEachNamedInstanceOfSqlsim) {
    const std::string host = BrowseTestAddress(21);
    SqlSimOptions o;
    o.BindAddress = host;
    SqlSimServer one(o), two(o);
    std::string error;
    ASSERT_TRUE(one.Start(&error)) << error;
    ASSERT_TRUE(two.Start(&error)) << error;
    SqlBrowserResponder responder;
    responder.SetInstances({{"SQLSIM1", one.Port()}, {"SQLSIM2", two.Port()}});
    ASSERT_TRUE(responder.Start(host, 1434, error)) << error;

    {
        OdbcConnection c(host + "\\SQLSIM2");
        ASSERT_TRUE(SQL_SUCCEEDED(c.Result)) << "connect to " << host << "\\SQLSIM2";
        EXPECT_EQ(c.Scalar("SELECT 1"), "1");
        EXPECT_EQ(two.ClientCount(), 1);
        EXPECT_EQ(one.ClientCount(), 0);
    }
    {
        OdbcConnection c(host + "\\sqlsim1");
        ASSERT_TRUE(SQL_SUCCEEDED(c.Result)) << "instance names ignore case";
        EXPECT_EQ(one.ClientCount(), 1);
    }
}

// The sqlsim program with --browser: what it announces is what the browse call lists.
TEST(SqlSimBrowse, SqlsimProgramAnswersTheBrowseCall) {
    const std::string host = BrowseTestAddress(22);
    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(KIVRA_BINARY_DIR "/sim/sqlsim", {"--bind", QString::fromStdString(host), "--port",
                                               "0", "--instances", "2", "--browser"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    std::string output;
    while (output.find("sqlsim: browser on") == std::string::npos &&
           sim.state() == QProcess::Running && sim.waitForReadyRead(5000))
        output += sim.readAll().toStdString();
    ASSERT_NE(output.find("sqlsim: browser on " + host + ":1434"), std::string::npos) << output;
    std::vector<int> ports;
    // "listening on ADDRESS:PORT", one line per instance.
    const std::string listening = "listening on ";
    for (std::size_t at = output.find(listening); at != std::string::npos;
         at = output.find(listening, at + 1)) {
        const std::size_t colon = output.find(':', at + listening.size());
        if (colon != std::string::npos) ports.push_back(std::atoi(output.c_str() + colon + 1));
    }
    ASSERT_EQ(ports.size(), 2u) << output;

    std::vector<kivra::SqlBrowserInstance> found;
    std::string error;
    ASSERT_TRUE(kivra::SqlBrowserClient({{host, 1434}}, 2000).Browse(found, error)) << error;
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].DisplayName(), host + "\\SQLSIM1");
    EXPECT_EQ(found[0].TcpPort, ports[0]);
    EXPECT_EQ(found[1].DisplayName(), host + "\\SQLSIM2");
    EXPECT_EQ(found[1].TcpPort, ports[1]);

    sim.terminate();  // SIGTERM: sqlsim stops its instances and its browser
    EXPECT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 0);
}

}  // namespace
