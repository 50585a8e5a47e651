// FreeTDS resolving "HOST\INSTANCE" through sqlsim's browser responder: FreeTDS always asks
// UDP port 1434 of the host, so the responder binds port 1434 of a loopback address of this
// test process's own.
#include "BrowseTestAddress.h"
#include "SqlBrowserResponder.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdio>
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
          "tcp " + std::to_string(inst.serverPort()), "tcp " + std::to_string(other.serverPort())};
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
