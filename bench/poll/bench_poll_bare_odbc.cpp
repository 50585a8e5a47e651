// The process query fetched by a minimal ODBC program (no engine, no database layer), in the
// plain ways an ODBC program reads a result: every cell through SQLGetData as text; columns bound
// to typed buffers and fetched a row at a time; and bound column arrays fetched in blocks
// (block:N rows per SQLFetch). The fastest of them is the yardstick for our layer; the ratio of
// the worker's part to it is measured in one run by bench_poll's BM_WorkerVsBare.
#include "BareOdbcFetch.h"
#include "SimSqlTexts.h"
#include "SqlSimServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Bare {
    std::unique_ptr<SqlSimServer> server;
    std::unique_ptr<BareOdbcFetch> fetch;

    explicit Bare(int sessions) {
        SqlSimOptions o;
        o.workload.userSessions = sessions;
        server = std::make_unique<SqlSimServer>(o);
        if (!server->Start()) std::abort();
        // The keywords our layer gives the FreeTDS driver.
        fetch = std::make_unique<BareOdbcFetch>(
            "DRIVER={FreeTDS};SERVER={127.0.0.1};PORT={" + std::to_string(server->Port()) +
            "};DATABASE={master};APP={VORNIXMonitor};UID={sa};PWD={Kivra-Test-1};ClientCharset=UTF-8;");
    }
};

// range(0) sessions, range(1) rows per block (0: SQLGetData per cell).
void BM_BareOdbcProcessQuery(benchmark::State &state) {
    Bare bare(static_cast<int>(state.range(0)));
    const std::string sql = SimSqlTexts::ProcessQuery();
    const auto block = static_cast<std::size_t>(state.range(1));
    const auto method = block == 0 ? BareOdbcFetch::Method::GetData : BareOdbcFetch::Method::BoundBlock;
    long rows = 0;
    for (auto _ : state) {
        rows = bare.fetch->Fetch(sql, method, block);
        benchmark::DoNotOptimize(bare.fetch->Checksum());
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_BareOdbcProcessQuery)
    ->ArgNames({"sessions", "block"})
    ->ArgsProduct({{1000, 10000}, {0, 1, 64, 256, 1024}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
