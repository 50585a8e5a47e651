// Time per refill of the all-sessions grid: sort the session table under the current key, write
// every cell into a shown TStringGrid with painting suspended, resume, and (paint:1) repaint the
// visible cells as the view does after a refill.
// Between refills the model takes one poll of the merge benchmark's workload (untimed): 2% of the
// sessions leave and as many arrive, every session's CPU and last batch move, so the rows shift
// in the grid and most cells change, as they do after a real poll.
// Run with QT_QPA_PLATFORM=offscreen.

#include "DBServerInfoSource.h"
#include "SessionChurn.h"
#include "TStringGrid.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

// range(0) sessions, range(1) the sort key, range(2) 1 to repaint the shown grid after each fill.
void FillAllSessions(benchmark::State &state) {
    const int sessions = static_cast<int>(state.range(0));
    const bool paint = state.range(2) != 0;
    TDBServerInfo::ProcessSortKey = static_cast<TSortKey>(state.range(1));
    TDBServerInfo::ProcessSortAscending = state.range(1) == skSPID;
    bench::ChurnedServer server(sessions);
    const auto nextPoll = [&server] {
        server.BuildNextPoll();
        server.ApplyNextPoll();
    };

    TStringGrid grid;
    grid.SetColCount(25);
    grid.resize(1200, 700);
    grid.show();
    const auto fill = [&] {
        grid.SetRedraw(false);
        server.Model.FillProcessGrid(grid.Table());
        grid.SetRedraw(true);
        if (paint) {
            grid.Refresh();
            QApplication::processEvents();
        }
    };
    // Warm up to the steady state: the tables and the grid have reached their size.
    for (int i = 0; i < 3; ++i) {
        nextPoll();
        fill();
    }
    for (auto _ : state) {
        state.PauseTiming();
        nextPoll();
        state.ResumeTiming();
        bench::CollectToggle();
        fill();
        bench::CollectToggle();
    }
    state.counters["sessions"] = server.Model.ProcessTable->Count;
    state.SetItemsProcessed(state.iterations() * sessions);
}

BENCHMARK(FillAllSessions)
    ->ArgNames({"sessions", "key", "paint"})
    ->ArgsProduct({{300, 1000, 3000, 10000, 30000}, {skSPID, skCPUDelta, skLoginName}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
