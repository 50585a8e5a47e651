// How long sqlsim takes to answer the process query at 1,000 and 10,000 sessions:
//   Encode     - one poll's step and result set built in memory (no network)
//   RoundTrip  - the batch sent over loopback and the whole reply read (raw TDS)
//   Odbc       - SQLExecDirect and every row fetched through unixODBC and the FreeTDS driver

#include "SimBatchResponder.h"
#include "SimSqlTexts.h"
#include "SqlSimServer.h"
#include "TdsLogin7.h"
#include "TdsSocket.h"
#include "TdsWriter.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

SqlSimOptions Options(int sessions) {
    SqlSimOptions o;
    o.Workload.UserSessions = sessions - 25;  // plus the 25 system sessions
    o.Workload.Seed = 3;
    return o;
}

void Encode(benchmark::State &state) {
    SimWorkloadConfig c = Options(static_cast<int>(state.range(0))).Workload;
    SimWorkload w(c);
    size_t bytes = 0;
    for (auto _ : state) {
        TdsWriter out(0x74000004);
        w.Step();
        SimBatchResponder::WriteProcessRows(w, out);
        bytes = out.Bytes().size();
        benchmark::DoNotOptimize(out.Bytes().data());
    }
    state.counters["reply_bytes"] = static_cast<double>(bytes);
}

// Logs in with a hand-built LOGIN7 and returns the connected socket.
int RawLogin(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) return -1;
    TdsSocket s(::dup(fd));
    TdsMessage m;
    const std::string user = Utf8ToUcs2("sa"),
                      pw = TdsLogin7::EncodePassword(Utf8ToUcs2("Kivra-Test-1"));
    TdsWriter w(0x74000004);
    const uint32_t total = 94 + static_cast<uint32_t>(user.size() + pw.size());
    w.U32(total);
    w.U32(0x74000004);
    w.U32(32767);
    for (int i = 0; i < 3; ++i) w.U32(0);
    w.U32(0x03E00000u);
    w.U32(0);
    w.U32(0x409);
    w.U16(94);
    w.U16(0);  // host
    w.U16(94);
    w.U16(static_cast<uint16_t>(user.size() / 2));  // user
    w.U16(static_cast<uint16_t>(94 + user.size()));
    w.U16(static_cast<uint16_t>(pw.size() / 2));
    for (int i = 0; i < 6; ++i) {
        w.U16(static_cast<uint16_t>(total));
        w.U16(0);
    }
    w.Bytes().append(6, '\0');
    for (int i = 0; i < 3; ++i) {
        w.U16(static_cast<uint16_t>(total));
        w.U16(0);
    }
    w.U32(0);
    w.Bytes() += user + pw;
    s.WriteMessage(w.Bytes(), 0x10);
    if (!s.ReadMessage(m)) return -1;
    return fd;
}

void RoundTrip(benchmark::State &state) {
    SqlSimServer server(Options(static_cast<int>(state.range(0))));
    if (!server.Start()) {
        state.SkipWithError("cannot start sqlsim");
        return;
    }
    const int fd = RawLogin(server.Port());
    if (fd < 0) {
        state.SkipWithError("login failed");
        return;
    }
    TdsSocket s(fd);
    s.SetPacketSize(32767);
    TdsWriter batch(0x74000004);
    batch.U32(22);
    batch.U32(18);
    batch.U16(2);
    batch.U64(0);
    batch.U32(1);
    batch.Ucs2(SimSqlTexts::ProcessQuery());
    TdsMessage reply;
    for (auto _ : state) {
        s.WriteMessage(batch.Bytes(), 0x01);
        if (!s.ReadMessage(reply)) {
            state.SkipWithError("connection lost");
            break;
        }
    }
    state.counters["reply_bytes"] = static_cast<double>(reply.Payload.size());
}

void Odbc(benchmark::State &state) {
    SqlSimServer server(Options(static_cast<int>(state.range(0))));
    if (!server.Start()) {
        state.SkipWithError("cannot start sqlsim");
        return;
    }
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string cs =
        "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=127.0.0.1;PORT=" +
        std::to_string(server.Port()) + ";UID=sa;PWD=Kivra-Test-1;DATABASE=master;TDS_Version=7.4";
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR *)cs.c_str(), SQL_NTS, out,
                                        sizeof out, &outLen, SQL_DRIVER_NOPROMPT))) {
        state.SkipWithError("ODBC connect failed");
        return;
    }
    const std::string q = SimSqlTexts::ProcessQuery();
    int64_t rows = 0;
    for (auto _ : state) {
        SQLHSTMT st;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        SQLExecDirect(st, (SQLCHAR *)q.c_str(), SQL_NTS);
        SQLSMALLINT cols = 0;
        SQLNumResultCols(st, &cols);
        char buf[512];
        SQLLEN ind;
        rows = 0;
        while (SQL_SUCCEEDED(SQLFetch(st))) {
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(cols); ++c)
                SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
            ++rows;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
    state.counters["rows"] = static_cast<double>(rows);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace

BENCHMARK(Encode)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(RoundTrip)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(Odbc)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
