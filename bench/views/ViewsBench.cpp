// The main thread's part of one poll of the selected server in the real main window (offscreen),
// against an in-process sqlsim whose sessions churn by 2% per poll:
//
//   BM_PollOfSelectedServer  sessions:1000|10000, tab:0..5. From the moment the hand-over reaches
//       the main thread to the end of the repaint that follows: the rows merged into the model,
//       the slot's tile refreshed, RefreshViews of every view (their detail panes' batches to the
//       server included) and the deferred paint of what changed on the shown tab. The worker's
//       probe and process query come before and are not timed. Counters (medians per poll):
//       main_ms (real time), main_cpu_ms (the main thread's CPU time), batches (the detail panes'
//       input-buffer and statement batches), double_batches (batches of one kind for a session
//       already asked about in the same poll; all polls summed).
//   BM_SelectSessionOfStoppedServer  when:idle|polling. The window shows "All Processes" of a
//       server that has stopped answering (sqlsim pause); the user selects another session. The
//       real time of that click on the main thread: polling:0 selects right after the pause,
//       before the worker's next poll; polling:1 50 ms after the worker's probe went to the
//       server (which holds it).
//
// Under valgrind --tool=callgrind --collect-atstart=no the instructions counted are those of the
// timed part of BM_PollOfSelectedServer (bench/README.md, Profiling).
// The window is built once per benchmark with its settings in a temporary file; polls come only
// when the benchmark ticks the worker. Run with QT_QPA_PLATFORM=offscreen. Loopback only.

#include "DBServerInfoSource.h"
#include "HandOverQueue.h"
#include "KivraApplication.h"
#include "KivraQueryTexts.h"
#include "KivraThreadSource.h"
#include "PollCountingMain.h"
#include "SessionChurn.h"
#include "SimRequestLog.h"
#include "SqlSimInstances.h"
#include "SqlSimServer.h"
#include "TFormMain.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameTwinGrids.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The main window, telling when a poll's hand-over has reached the views.
class BenchWindow : public TFormMain {
public:
    void UpdateServerViews(int slot) override {
        TFormMain::UpdateServerViews(slot);
        ++Updates;
        if (Loop) Loop->quit();
    }
    int Updates = 0;
    QEventLoop *Loop = nullptr;
};

// When the worker's hand-over event reaches the main thread: the start of the timed part.
class HandOverClock : public QObject {
public:
    bool eventFilter(QObject *, QEvent *) override {
        if (!Armed) return false;
        Armed = false;
        StartMs = NowMs();
        StartCpuMs = ThreadCpuMs();
        bench::CollectToggle();
        return false;
    }
    bool Armed = false;
    double StartMs = 0, StartCpuMs = 0;
};

// One sqlsim instance and the main window connected to it, polling only when ticked.
class Setup {
public:
    explicit Setup(int sessions) {
        SqlSimOptions o;
        o.Workload.UserSessions = sessions;
        o.Workload.ChurnPercent = 2.0;
        o.Workload.Seed = 18;
        Sims = std::make_unique<SqlSimInstances>(1, o);
        if (!Sims->Started()) {
            Error = "sqlsim: " + Sims->Error();
            return;
        }
        Server = &Sims->Server(0);
        Batches = std::make_unique<SimRequestLog>(*Server);
        Window = std::make_unique<BenchWindow>();
        Window->SetRefreshInterval(0);  // after the connect's first poll, only the ticks poll
        Window->show();
        if (!Window->ConnectToServer(Sims->ServerName(0), false, "sa", "Kivra-Test-1")) {
            Error = "no connection to sqlsim";
            return;
        }
        THandOverQueue::Instance().installEventFilter(&Clock);
        if (!WaitForUpdate(60000)) Error = "no first poll";
    }
    ~Setup() {
        if (Server) Server->SetPaused(false);
        if (Window) {
            Window->close();
            Window.reset();
        }
        QElapsedTimer ending;
        ending.start();
        while (TKivraThread::LiveCount() > 0 && ending.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        Batches.reset();
    }

    // Runs the event loop until the next hand-over has reached the views.
    bool WaitForUpdate(int timeoutMs) {
        const int before = Window->Updates;
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(timeoutMs);
        Window->Loop = &loop;
        if (Window->Updates == before) loop.exec();
        Window->Loop = nullptr;
        return Window->Updates > before;
    }
    TKivraThread *Worker() const { return Window->Connections[0].Thread; }
    TFrameClientArea *Area() const { return Window->FrameClientArea1; }
    void ShowTab(int tab) {
        Area()->TabSet1->setCurrentIndex(tab);
        QCoreApplication::processEvents();
    }
    // One ticked poll; false when it did not arrive.
    bool Poll() {
        Worker()->PollTimerTimer();
        return WaitForUpdate(60000);
    }

    std::string Error;
    std::unique_ptr<SqlSimInstances> Sims;
    SqlSimServer *Server = nullptr;  // the one instance of Sims
    std::unique_ptr<BenchWindow> Window;
    HandOverClock Clock;
    std::unique_ptr<SimRequestLog> Batches;  // the detail panes' batches
};

void BM_PollOfSelectedServer(benchmark::State &state) {
    Setup setup(static_cast<int>(state.range(0)));
    if (!setup.Error.empty()) {
        state.SkipWithError(setup.Error.c_str());
        return;
    }
    setup.ShowTab(static_cast<int>(state.range(1)));
    // Up to the steady state: tables, grids and caches have reached their size.
    for (int i = 0; i < 3; ++i)
        if (!setup.Poll()) {
            state.SkipWithError("a warm-up poll did not arrive");
            return;
        }
    setup.Batches->Take();
    std::vector<double> real, cpu, batches;
    double doubles = 0;
    for (auto _ : state) {
        setup.Clock.Armed = true;
        if (!setup.Poll()) {
            state.SkipWithError("a poll did not arrive");
            return;
        }
        // The paint that the refresh asked for, as the event loop delivers it next.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        bench::CollectToggle();
        const double ms = NowMs() - setup.Clock.StartMs;
        cpu.push_back(ThreadCpuMs() - setup.Clock.StartCpuMs);
        real.push_back(ms);
        state.SetIterationTime(ms / 1e3);
        const std::vector<SimRequestLog::Request> asked = setup.Batches->Take();
        batches.push_back(static_cast<double>(asked.size()));
        doubles += SimRequestLog::Repeated(asked);
    }
    state.counters["main_ms"] = Median(real);
    state.counters["main_cpu_ms"] = Median(cpu);
    state.counters["batches"] = Median(batches);
    state.counters["double_batches"] = doubles;
    state.counters["rows"] = setup.Window->Connections[0].ServerInfo->ProcessTable->Count;
}

void BM_SelectSessionOfStoppedServer(benchmark::State &state) {
    const bool polling = state.range(0) != 0;
    std::vector<double> freeze;
    for (auto _ : state) {
        state.PauseTiming();
        Setup setup(1000);
        if (!setup.Error.empty()) {
            state.SkipWithError(setup.Error.c_str());
            return;
        }
        setup.ShowTab(4);
        setup.Poll();
        TFrameTwinGrids *grids = setup.Area()->AllProcesses->FrameProcessGrids;
        TStringGrid *grid = grids->sgRight;
        const int row = grids->SelectedRow == 2 ? 3 : 2;
        setup.Server->SetPaused(true);
        if (polling) {
            // The worker's probe waits for the server (the hand-over does not come).
            setup.Worker()->PollTimerTimer();
            QElapsedTimer held;
            held.start();
            while (held.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        state.ResumeTiming();
        const double t0 = NowMs();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        const double ms = NowMs() - t0;
        state.PauseTiming();
        state.SetIterationTime(ms / 1e3);
        freeze.push_back(ms);
        if (grids->SelectedRow != row) state.SkipWithError("the click did not select the row");
        setup.Server->SetPaused(false);
        state.ResumeTiming();
    }
    state.counters["freeze_ms"] = Median(freeze);
}

BENCHMARK(BM_PollOfSelectedServer)
    ->ArgNames({"sessions", "tab"})
    ->ArgsProduct({{1000, 10000}, {0, 1, 2, 3, 4, 5}})
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_SelectSessionOfStoppedServer)
    ->ArgNames({"polling"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("KIVRA_REGISTRY_FILE", (settings.path() + QStringLiteral("/kivrawatch.reg")).toUtf8());
    KivraApplication app(argc, argv);
    MessageBoxRecorder boxes;  // answers OK
    boxes.OnShown = bench::PrintBox;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return boxes.Count() == 0 ? 0 : 1;
}
