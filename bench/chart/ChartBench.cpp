// Graph tile refresh cost: sixteen tiles of five small charts (ten 120-point series), each
// refresh rewriting every series and setting the axis maxima as a tile does, then repainting
// the tile offscreen. Budget: one tile refresh with repaint at most 1 ms (median).
//
//   QT_QPA_PLATFORM=offscreen bench_chart --benchmark_repetitions=10
//
// Why TChart paints with QPainter: the same tile built on Qt Charts 6.4 (QChartView,
// QLineSeries::replace) took 1.2 ms median per tile with repaint, 0.53 ms of it in the rewrite
// alone (every replace strokes a hover outline of the whole line), 18 ms for all sixteen.
#include "TChart.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kTiles = 16;
constexpr int kPoints = TLineSeries::PointCount;

// One tile's five charts laid out as on the graph tile (100 x 70 each).
struct Tile {
    QWidget *Frame = nullptr;
    std::array<TChart *, 5> Charts{};
    std::vector<TLineSeries *> Series;  // the ten small series, in chart order
};

struct Panel {
    QWidget Window;
    std::vector<Tile> Tiles;
    std::vector<std::array<double, kPoints>> History;  // per series, shifted every refresh
    int Tick = 0;

    Panel() {
        Window.resize(4 * 485, 4 * 204);
        QFont small;
        small.setPixelSize(9);
        const char *titles[5] = {"CPU Usage", "Response Time", "Sessions/ Users",
                                 "Physical IO/ Sec", "Network/ Sec"};
        const char *axes[5] = {"%", "Milliseconds", "Connections", "IO", "Packets"};
        const int series[5] = {1, 1, 2, 3, 3};
        const QColor colours[3] = {QColor(0, 255, 0), QColor(255, 255, 0), QColor(255, 0, 0)};
        const QPoint places[5] = {{0, 3}, {106, 3}, {212, 3}, {0, 94}, {106, 94}};
        for (int t = 0; t < kTiles; ++t) {
            Tile tile;
            tile.Frame = new QWidget(&Window);
            tile.Frame->setGeometry((t % 4) * 485, (t / 4) * 204, 485, 203);
            tile.Frame->setStyleSheet("background: black");
            auto *charts = new QWidget(tile.Frame);
            charts->setGeometry(161, 19, 320, 185);
            for (int k = 0; k < 5; ++k) {
                auto *c = new TChart(charts);
                c->setGeometry(QRect(places[k], QSize(100, 70)));
                c->SetTitle(titles[k]);
                c->SetTitleStyle(small, Qt::yellow);
                c->SetAxisTitle(axes[k]);
                c->SetAxisTitleStyle(small, Qt::yellow);
                c->SetAxisLabelsVisible(false);
                c->SetMaximum(k == 1 ? 500 : k >= 3 ? 800 : 100);
                for (int s = 0; s < series[k]; ++s) tile.Series.push_back(c->AddSeries(colours[s]));
                tile.Charts[static_cast<std::size_t>(k)] = c;
            }
            Tiles.push_back(tile);
        }
        History.resize(static_cast<std::size_t>(kTiles) * 10);
        for (std::size_t h = 0; h < History.size(); ++h)
            for (int i = 0; i < kPoints; ++i)
                History[h][static_cast<std::size_t>(i)] = Value(static_cast<int>(h), i);
        Window.show();
        QApplication::processEvents();
    }

    static double Value(int series, int i) {
        return 250 + 240 * std::sin(0.05 * i + series) + (series % 7 == 0 ? 400 : 0);
    }

    // What one poll does to a tile: shift in a sample, rewrite all ten series, set the
    // automatic-or-fixed maxima from the history maxima.
    void Refresh(int t) {
        Tile &tile = Tiles[static_cast<std::size_t>(t)];
        double maxima[10];
        for (int s = 0; s < 10; ++s) {
            auto &h = History[static_cast<std::size_t>(t * 10 + s)];
            std::copy(h.begin() + 1, h.end(), h.begin());  // X 0 oldest, X 119 newest
            h[kPoints - 1] = Value(t * 10 + s, Tick);
            maxima[s] = *std::max_element(h.begin(), h.end());
            tile.Series[static_cast<std::size_t>(s)]->SetYValues(h.data(), h.size());
        }
        tile.Charts[1]->SetAutomaticMaximum(maxima[1] >= 500);
        tile.Charts[1]->SetMaximum(500);
        const double io = std::max({maxima[4], maxima[5], maxima[6]});
        const double net = std::max({maxima[7], maxima[8], maxima[9]});
        tile.Charts[3]->SetAutomaticMaximum(io >= 800);
        tile.Charts[3]->SetMaximum(800);
        tile.Charts[4]->SetAutomaticMaximum(net >= 800);
        tile.Charts[4]->SetMaximum(800);
    }
};

Panel &ThePanel() {
    static Panel *panel = new Panel;  // lives to the end of the process, as the app's would
    return *panel;
}

void BM_TileRefreshWithRepaint(benchmark::State &state) {
    Panel &p = ThePanel();
    for (auto _ : state) {
        const int t = p.Tick++ % kTiles;
        p.Refresh(t);
        p.Tiles[static_cast<std::size_t>(t)].Frame->repaint();
    }
}
BENCHMARK(BM_TileRefreshWithRepaint)->Unit(benchmark::kMicrosecond);

void BM_TileRefreshOnly(benchmark::State &state) {
    Panel &p = ThePanel();
    for (auto _ : state) p.Refresh(p.Tick++ % kTiles);
    QApplication::processEvents();
}
BENCHMARK(BM_TileRefreshOnly)->Unit(benchmark::kMicrosecond);

// The steady load of sixteen servers polled every second: all tiles, then one repaint pass.
void BM_SixteenTilesRefreshWithRepaint(benchmark::State &state) {
    Panel &p = ThePanel();
    for (auto _ : state) {
        for (int t = 0; t < kTiles; ++t) p.Refresh(t);
        ++p.Tick;
        p.Window.repaint();
    }
}
BENCHMARK(BM_SixteenTilesRefreshWithRepaint)->Unit(benchmark::kMillisecond);

}  // namespace
