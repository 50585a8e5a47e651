// The graph views' refresh with repaint, offscreen, as the polls drive them: the tile panel with
// sixteen tiles, each bound to its own model, every tile refreshed once (one poll of each of
// sixteen servers) and the panel repainted; and the large graphs of one server refreshed and
// repainted. Each iteration first shifts a new sample into every model's history, as a poll does
// (a copy of 120 samples; the views then redraw from the whole history).
//
//   QT_QPA_PLATFORM=offscreen bench_graphs --benchmark_repetitions=10
//       --benchmark_report_aggregates_only=true   (one line)
//
// Under valgrind --tool=callgrind --collect-atstart=no the tiles' benchmarks count their timed
// polls alone, after two untimed ones (glyph caches and decorations warmed): the calls of
// SixteenTiles::PollEachPainted or PollAll, 100 a run for the benchmarks with a paint.
//
// Goals (medians): sixteen tiles within 2 ms, one large-graphs refresh within 1 ms.
#include "DBServerInfoSource.h"
#include "TChart.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameSmallGraphPanel.h"

#include <QApplication>
#include <QMetaObject>

#include <benchmark/benchmark.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define KIVRA_GRAPHS_COLLECT_TOGGLE() CALLGRIND_TOGGLE_COLLECT
#else
#define KIVRA_GRAPHS_COLLECT_TOGGLE() ((void)0)
#endif

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kServers = 16;
constexpr int kLast = TDBServerInfo::kHistorySize - 1;

// A poll's new sample for server s at tick t: moving values, some past the axis thresholds (so
// both the fixed and the automatic axes are exercised), changing label texts every poll.
void ShiftInSample(TDBServerInfo &model, int s, int t) {
    for (int i = 0; i < kLast; ++i) model.History[i] = model.History[i + 1];
    stStatSample &now = model.History[kLast];
    auto wave = [&](double base, double swing, int phase) {
        return static_cast<int>(base + swing * std::sin(0.07 * t + s + phase));
    };
    now.Filled = true;
    now.ServerTime = 46000.0 + t / 86400.0;
    now.CPUBusy = wave(50, 45, 0);
    now.ResponseTime = wave(s % 2 ? 300 : 450, 150, 1);
    now.Users = wave(40, 20, 2);
    now.Sessions = wave(s % 3 ? 80 : 140, 30, 3);
    now.PacketsSent = wave(600, 300, 4);
    now.PacketsReceived = wave(500, 250, 5);
    now.PacketErrors = wave(2, 2, 6);
    now.IORead = wave(s % 2 ? 700 : 300, 200, 7);
    now.IOWrite = wave(200, 100, 8);
    now.IOErrors = wave(1, 1, 9);
    model.ServerTime = now.ServerTime;
}

std::unique_ptr<TDBServerInfo> MakeModel(int s) {
    auto model = std::make_unique<TDBServerInfo>();
    model->SetServerName("127.0.0.1," + std::to_string(14330 + s));
    model->ServerStartTime = 45990.0;
    for (int t = 0; t < TDBServerInfo::kHistorySize; ++t) ShiftInSample(*model, s, t);
    return model;
}

struct SixteenTiles {
    TFrameSmallGraphPanel Panel;
    std::vector<std::unique_ptr<TDBServerInfo>> Models;
    std::vector<TFrameServerGraphsSmall *> Tiles;
    int Tick = TDBServerInfo::kHistorySize;

    SixteenTiles() {
        Panel.resize(4 * 485 + 4, 4 * 204 + 4);  // four rows of four, all in view
        for (int s = 0; s < kServers; ++s) {
            Models.push_back(MakeModel(s));
            TFrameServerGraphsSmall *tile = Panel.AddServer(Models.back()->ServerName);
            tile->ServerInfo = Models.back().get();
            tile->SetStartTime(Models.back()->ServerStartTime);
            tile->SetHighlight(s == 0);
            Tiles.push_back(tile);
        }
        Panel.show();
        QApplication::processEvents();
    }

    // enlarged: every tile shows its network chart enlarged (three more lines to feed, one large
    // chart painted instead of five small ones), as a click on the chart and one on the large
    // chart switch it.
    void SetEnlarged(bool enlarged) {
        for (TFrameServerGraphsSmall *tile : Tiles) {
            if ((tile->LargeChart == 4) == enlarged) continue;
            const char *chart = enlarged ? "chrtNetwork" : "ChartLarge";
            QMetaObject::invokeMethod(tile->findChild<TChart *>(QLatin1String(chart)), "Clicked");
        }
        QApplication::processEvents();
    }

    // The polls as they arrive: one server's result, its tile refreshed, and what that marked
    // for repainting painted, before the next server's. Not inlined: callgrind counts its calls.
    [[gnu::noinline]] void PollEachPainted() {
        for (int s = 0; s < kServers; ++s) {
            ShiftInSample(*Models[static_cast<std::size_t>(s)], s, Tick);
            Tiles[static_cast<std::size_t>(s)]->RefreshGraphs();
            QCoreApplication::sendPostedEvents(&Panel, QEvent::UpdateRequest);
        }
        ++Tick;
    }

    [[gnu::noinline]] void PollAll() {
        for (int s = 0; s < kServers; ++s)
            ShiftInSample(*Models[static_cast<std::size_t>(s)], s, Tick);
        ++Tick;
        for (TFrameServerGraphsSmall *tile : Tiles) tile->RefreshGraphs();
    }
};

// Runs poll twice untimed, then the timed loop with callgrind's collection on around it.
template <class Poll> void TimedPolls(benchmark::State &state, Poll poll) {
    poll();
    poll();
    KIVRA_GRAPHS_COLLECT_TOGGLE();
    for (auto _ : state) poll();
    KIVRA_GRAPHS_COLLECT_TOGGLE();
}

SixteenTiles &TheTiles() {
    static SixteenTiles *tiles = new SixteenTiles;  // lives to the end, as the program's would
    return *tiles;
}

// One poll of each of sixteen servers: every tile refreshed, then the whole panel repainted (as
// when the window is shown again).
void BM_SixteenTilesRefreshWithRepaint(benchmark::State &state) {
    SixteenTiles &t = TheTiles();
    t.SetEnlarged(state.range(0) != 0);
    TimedPolls(state, [&] {
        t.PollAll();
        t.Panel.repaint();
    });
}
BENCHMARK(BM_SixteenTilesRefreshWithRepaint)
    ->ArgName("enlarged")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

// Sixteen polls one after the other, each tile painted (what its refresh marked: lines, changed
// value labels and times) before the next poll: the steady load of sixteen servers.
void BM_SixteenTilesEachRefreshedAndPainted(benchmark::State &state) {
    SixteenTiles &t = TheTiles();
    t.SetEnlarged(state.range(0) != 0);
    TimedPolls(state, [&] { t.PollEachPainted(); });
}
// A fixed number of polls, so that two builds are counted over the very same samples.
BENCHMARK(BM_SixteenTilesEachRefreshedAndPainted)
    ->ArgName("enlarged")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

void BM_SixteenTilesRefreshOnly(benchmark::State &state) {
    SixteenTiles &t = TheTiles();
    t.SetEnlarged(false);
    TimedPolls(state, [&] { t.PollAll(); });
    QApplication::processEvents();
}
BENCHMARK(BM_SixteenTilesRefreshOnly)->Unit(benchmark::kMillisecond);

struct LargeGraphs {
    TFrameServerBigGraphs View;
    std::unique_ptr<TDBServerInfo> Model = MakeModel(1);
    int Tick = TDBServerInfo::kHistorySize;

    LargeGraphs() {
        View.resize(1032, 716);
        View.SetServer(Model.get());
        View.show();
        QApplication::processEvents();
    }

    void Poll() {
        ShiftInSample(*Model, 1, Tick++);
        View.RefreshGraphs();
    }
};

LargeGraphs &TheLargeGraphs() {
    static LargeGraphs *graphs = new LargeGraphs;
    return *graphs;
}

// One poll of the selected server: the large graphs refreshed and repainted as a whole.
void BM_LargeGraphsRefreshWithRepaint(benchmark::State &state) {
    LargeGraphs &g = TheLargeGraphs();
    for (auto _ : state) {
        g.Poll();
        g.View.repaint();
    }
}
BENCHMARK(BM_LargeGraphsRefreshWithRepaint)->Unit(benchmark::kMicrosecond);

// The same with what the refresh marked for repainting painted, as the event loop does.
void BM_LargeGraphsRefreshAndPaint(benchmark::State &state) {
    LargeGraphs &g = TheLargeGraphs();
    for (auto _ : state) {
        g.Poll();
        QCoreApplication::sendPostedEvents(&g.View, QEvent::UpdateRequest);
    }
}
BENCHMARK(BM_LargeGraphsRefreshAndPaint)->Unit(benchmark::kMicrosecond);

void BM_LargeGraphsRefreshOnly(benchmark::State &state) {
    LargeGraphs &g = TheLargeGraphs();
    for (auto _ : state) g.Poll();
    QApplication::processEvents();
}
BENCHMARK(BM_LargeGraphsRefreshOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
