// One poll's hand-over on the main thread, as the worker runs it, for servers of 300 to 30,000
// sessions: SetDisconnected(false), BeginPollCycle, AddProcessRow per row, EndPollCycle,
// UpdateStatistics, EvaluateAlerts. Alerts are on, logging is off. The sessions churn by 2% per
// poll (bench/workload/SessionChurn.h); building a poll's rows is left out of the timing.
//
// refill:1 is the program with a server shown: after every poll the views refill their grids,
// and each fill sorts its table in place (the default keys here) and drops the merge's key
// indexes, which the next merge rebuilds; the sorts are not timed. refill:0 is the program with
// no view of the server (the headless monitor).

#include "DBServerInfoSource.h"
#include "SessionChurn.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

namespace {

// What the views' fills do to the tables between two merges.
void SortAsTheFillsDo(TDBServerInfo &model) {
    const auto sort = [](AllocatedBuffer &table, int (*compare)(const void *, const void *)) {
        if (table.Valid && table.Count > 1)
            std::qsort(table.Data, static_cast<std::size_t>(table.Count), table.ElementSize,
                       compare);
    };
    sort(*model.ProcessTable, TDBServerInfo::CompareProcesses);
    sort(*model.UserTable, TDBServerInfo::CompareUsers);
    sort(*model.DatabaseTable, TDBServerInfo::CompareDatabases);
    model.InvalidateIndexes();
}

void MergePoll(benchmark::State &state) {
    const bool refill = state.range(1) != 0;
    bench::ChurnedServer server(static_cast<int>(state.range(0)));
    TDBServerInfo &model = server.Model;

    // Warm up to the steady state: the tables have reached their size.
    for (int i = 0; i < 3; ++i) {
        server.BuildNextPoll();
        if (refill) SortAsTheFillsDo(model);
        server.ApplyNextPoll();
    }

    std::int64_t totalRows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        server.BuildNextPoll();
        if (refill) SortAsTheFillsDo(model);
        state.ResumeTiming();
        bench::CollectToggle();
        server.ApplyNextPoll();
        bench::CollectToggle();
        totalRows += static_cast<std::int64_t>(server.RowCount());
    }

    state.counters["sessions"] = static_cast<double>(model.ProcessTable->Count);
    state.counters["rows/poll"] =
        benchmark::Counter(static_cast<double>(totalRows), benchmark::Counter::kAvgIterations);
    state.counters["time/poll"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["time/row"] = benchmark::Counter(
        static_cast<double>(totalRows), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(MergePoll)
    ->ArgNames({"sessions", "refill"})
    ->ArgsProduct({{300, 1000, 3000, 10000, 30000}, {1, 0}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
