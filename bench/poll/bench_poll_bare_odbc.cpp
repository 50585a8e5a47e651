// The process query fetched with plain ODBC calls (no engine, no database layer): every column of
// every row read as text with SQLGetData, the plainest way an ODBC program reads a result. Its time
// is the yardstick for the database layer's fetch in bench_poll.
#include "SimSqlTexts.h"
#include "SqlSimServer.h"

#include <benchmark/benchmark.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

void Require(SQLRETURN rc, const char *what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        std::fprintf(stderr, "%s failed (%d)\n", what, static_cast<int>(rc));
        std::abort();
    }
}

struct Bare {
    std::unique_ptr<SqlSimServer> server;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;

    explicit Bare(int sessions) {
        SqlSimOptions o;
        o.workload.userSessions = sessions;
        server = std::make_unique<SqlSimServer>(o);
        if (!server->Start()) std::abort();
        Require(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), "env");
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        Require(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "dbc");
        const std::string cs = "DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=" + std::to_string(server->Port()) +
                               ";UID=sa;PWD=Kivra-Test-1;DATABASE=master;APP=VORNIXMonitor;ClientCharset=UTF-8;";
        Require(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(const_cast<char *>(cs.c_str())),
                                 SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
                "connect");
    }
    ~Bare() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    // Returns the rows read.
    long FetchAll(const std::string &sql) {
        SQLHSTMT stmt;
        Require(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), "stmt");
        Require(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())), SQL_NTS),
                "exec");
        SQLSMALLINT cols = 0;
        SQLNumResultCols(stmt, &cols);
        char buf[1024];
        SQLLEN ind;
        long rows = 0, bytes = 0;
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            for (SQLUSMALLINT c = 1; c <= cols; ++c) {
                SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &ind);
                bytes += ind > 0 ? ind : 0;
            }
            ++rows;
        }
        benchmark::DoNotOptimize(bytes);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return rows;
    }
};

void BM_BareOdbcProcessQuery(benchmark::State &state) {
    Bare bare(static_cast<int>(state.range(0)));
    const std::string sql = SimSqlTexts::ProcessQuery();
    long rows = 0;
    for (auto _ : state) rows = bare.FetchAll(sql);
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_BareOdbcProcessQuery)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
