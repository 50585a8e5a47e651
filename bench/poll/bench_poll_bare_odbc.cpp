// The process query fetched by a minimal ODBC program (no engine, no database layer), in the
// plain ways an ODBC program reads a result: every cell through SQLGetData as text; columns bound
// to typed buffers and fetched a row at a time; and bound column arrays fetched in blocks
// (block:N rows per SQLFetch); the bound ways with the texts as UTF-8 (wide:0, converted by the
// driver) or the Unicode texts as UTF-16 (wide:1, as the server sends them). The fastest of them
// is the yardstick for our layer; the ratio of the worker's part to it is measured in one run by
// bench_poll's BM_WorkerVsBare.
#include "ADOConnection.h"
#include "BareOdbcFetch.h"
#include "KivraQueryTexts.h"
#include "SimSqlTexts.h"
#include "SqlSimInstances.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Bare {
    std::unique_ptr<SqlSimInstances> Server;
    std::unique_ptr<BareOdbcFetch> Fetch;

    explicit Bare(int sessions) {
        SqlSimOptions o;
        o.Workload.UserSessions = sessions;
        Server = std::make_unique<SqlSimInstances>(1, o);
        if (!Server->Started()) std::abort();
        // The keywords our layer gives the driver.
        TADOConnection layer;
        layer.ConnectionString =
            kivra::BuildConnectionString(Server->ServerName(0), false, "sa", "Kivra-Test-1");
        Fetch = std::make_unique<BareOdbcFetch>(layer.OdbcConnectionString());
    }
};

// range(0) sessions, range(1) rows per block (0: SQLGetData per cell), range(2) 1: Unicode texts
// bound as UTF-16 (bound blocks only).
void BM_BareOdbcProcessQuery(benchmark::State &state) {
    Bare bare(static_cast<int>(state.range(0)));
    const std::string sql = SimSqlTexts::ProcessQuery();
    const auto block = static_cast<std::size_t>(state.range(1));
    const auto method = block == 0       ? BareOdbcFetch::Method::GetData
                        : state.range(2) ? BareOdbcFetch::Method::BoundWideBlock
                                         : BareOdbcFetch::Method::BoundBlock;
    long rows = 0;
    for (auto _ : state) {
        rows = bare.Fetch->Fetch(sql, method, block);
        benchmark::DoNotOptimize(bare.Fetch->Checksum());
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_BareOdbcProcessQuery)
    ->ArgNames({"sessions", "block", "wide"})
    ->ArgsProduct({{1000, 10000}, {1, 64, 256, 1024}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BareOdbcProcessQuery)
    ->ArgNames({"sessions", "block", "wide"})
    ->ArgsProduct({{1000, 10000}, {0}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
