// The whole program's benchmark: the real main window (offscreen) built as the program builds it,
// from the settings file that KIVRA_REGISTRY_FILE names. The program connects to no server by
// itself, so the harness does what the user does: it double-clicks every server of "All
// Connections" (each connects with its saved logon), then clicks the first of the connected
// servers; the tab shown is the settings' InitialPanel. After a warm-up it watches the program for
// a fixed time and prints:
//   - the process's CPU time (every thread: the workers and the main thread) per second of the
//     window, as a share of one core, and its peak resident memory;
//   - the main thread's busy stretches: each event the application delivers on the main thread
//     at the top level is timed (notify), and events that follow one another with less than
//     kJoinGapUs between them count as one stretch, since the main thread did not wait between
//     them; their count, median, 99th percentile and maximum, on the clock and in the main
//     thread's CPU time;
//   - the input latency: a probe thread posts an event to the main thread every kProbeMs (the
//     next one after the last arrived) and times its delivery: how long a click would have waited;
//   - the fewest polls any server handed over in the window.
// Then it closes the window as the user would and waits for the workers.
//
//   bench_program [--seconds 60] [--warmup 5]
//
// Exit status 0 when every known server connected and every server was polled on nine seconds in
// ten; 1 otherwise; 2 on bad arguments or no known server. Message boxes are printed, answered OK
// and counted.

#include "BenchArguments.h"
#include "KivraApplication.h"
#include "KivraThreadSource.h"
#include "PollCountingMain.h"
#include "TFormMain.h"
#include "TFrameClientArea.h"
#include "TFrameServerList.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QTabBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kJoinGapUs = 1000;
constexpr int kProbeMs = 10;

long Micros(Clock::time_point from, Clock::time_point to) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(to - from).count());
}

long ThreadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// The program's application object with the main thread's event deliveries timed: each stretch's
// length on the clock (what the user waits) and the main thread's CPU time in it (what it costs;
// on a loaded machine the clock's figure also holds the time the thread waited for a core).
class TimedApplication : public KivraApplication {
public:
    using KivraApplication::KivraApplication;

    bool notify(QObject *receiver, QEvent *event) override {
        if (QThread::currentThread() != thread()) return KivraApplication::notify(receiver, event);
        if (Depth++ > 0) {
            const bool done = KivraApplication::notify(receiver, event);
            --Depth;
            return done;
        }
        const Clock::time_point start = Clock::now();
        const bool recording = Recording;  // an event that switches it on or off is not counted
        const long cpuStart = recording ? ThreadCpuMicros() : 0;
        const bool done = KivraApplication::notify(receiver, event);
        const Clock::time_point end = Clock::now();
        --Depth;
        if (recording && Recording) {
            if (!Open || Micros(StretchEnd, start) >= kJoinGapUs) {
                CloseStretch();
                Open = true;
                StretchStart = start;
                StretchCpuUs = 0;
            }
            StretchEnd = end;
            StretchCpuUs += ThreadCpuMicros() - cpuStart;
        }
        return done;
    }

    void Record(bool on) {
        if (!on) CloseStretch();
        Recording = on;
    }

    std::vector<long> StretchesUs;     // on the clock
    std::vector<long> StretchesCpuUs;  // the main thread's CPU time, in the same order

private:
    void CloseStretch() {
        if (Open) {
            StretchesUs.push_back(Micros(StretchStart, StretchEnd));
            StretchesCpuUs.push_back(StretchCpuUs);
        }
        Open = false;
    }

    int Depth = 0;
    bool Recording = false;
    bool Open = false;
    Clock::time_point StretchStart, StretchEnd;
    long StretchCpuUs = 0;
};

// Posts an event to the main thread every kProbeMs, the next after the last arrived.
class LatencyProbe {
public:
    explicit LatencyProbe(QObject *mainThreadObject) : Target(mainThreadObject) {
        Thread = std::thread([this] { Run(); });
    }
    ~LatencyProbe() { Stop(); }
    // Posts no more; the last event posted may still be on its way.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Ending = true;
        }
        Wake.notify_all();
        if (Thread.joinable()) Thread.join();
    }
    std::vector<long> LatenciesUs;  // written on the main thread

private:
    void Run() {
        std::unique_lock<std::mutex> lock(Mutex);
        while (!Ending) {
            if (!Outstanding) {
                Outstanding = true;
                const Clock::time_point posted = Clock::now();
                QMetaObject::invokeMethod(
                    Target,
                    [this, posted] {
                        LatenciesUs.push_back(Micros(posted, Clock::now()));
                        std::lock_guard<std::mutex> arrived(Mutex);
                        Outstanding = false;
                    },
                    Qt::QueuedConnection);
            }
            Wake.wait_for(lock, std::chrono::milliseconds(kProbeMs));
        }
    }

    QObject *Target;
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Ending = false;
    bool Outstanding = false;
    std::thread Thread;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakResidentMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void PrintDistribution(const char *what, std::vector<long> values) {
    if (values.empty()) {
        std::printf("%s: none\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    auto at = [&values](double q) {
        return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))] /
               1000.0;
    };
    const long over =
        std::count_if(values.begin(), values.end(), [](long us) { return us > 100000; });
    std::printf("%s: %zu, median %.2f ms, p99 %.2f ms, max %.1f ms, over 100 ms %ld\n", what,
                values.size(), at(0.5), at(0.99), values.back() / 1000.0, over);
}

// A left double-click on one entry of a list, as the mouse gives it.
void DoubleClickRow(QListWidget *list, int row) {
    list->setCurrentRow(row);
    const QPointF at = list->visualItemRect(list->item(row)).center();
    QMouseEvent click(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &click);
}

}  // namespace

using bench::IntArgument;

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kivrawatch"));
    const int seconds = IntArgument(argc, argv, "--seconds", 60);
    const int warmup = IntArgument(argc, argv, "--warmup", 5);
    if (seconds < 10 || warmup < 0) {
        std::fprintf(stderr, "usage: bench_program [--seconds S >= 10] [--warmup W]\n");
        return 2;
    }
    MessageBoxRecorder boxes;  // answers OK
    boxes.OnShown = bench::PrintBox;

    auto *window = new bench::PollCountingMain;
    window->Counting = false;
    window->show();
    QListWidget *known = window->FrameServerList1->ListBoxAllServers;
    const int servers = std::min(known->count(), static_cast<int>(TFormMain::kSlotCount));
    if (servers == 0) {
        std::fprintf(stderr, "bench_program: no known server in the settings\n");
        delete window;
        return 2;
    }

    // Each double-click connects before it returns (the logon runs on the main thread).
    QElapsedTimer clock;
    clock.start();
    long longestClickMs = 0;
    for (int row = 0; row < servers; ++row) {
        const qint64 before = clock.elapsed();
        DoubleClickRow(known, row);
        QCoreApplication::processEvents();
        longestClickMs = std::max<long>(longestClickMs, clock.elapsed() - before);
    }
    window->FrameServerList1->ListBoxServerList->setCurrentRow(0);
    QCoreApplication::processEvents();
    const int shownTab = window->FrameClientArea1->TabSet1->currentIndex();
    std::printf(
        "connected %d of %d known servers in %lld ms (the longest double-click %ld ms), "
        "server %d selected, tab %d shown\n",
        window->ConnectedCount(), known->count(), clock.elapsed(), longestClickMs,
        window->SelectedServer, shownTab);
    std::fflush(stdout);

    double cpuStart = 0, mainCpuStart = 0;
    QElapsedTimer watch;
    std::unique_ptr<LatencyProbe> probe;
    const auto stop = [&] {
        app.Record(false);
        window->Counting = false;
        const double wall = watch.elapsed() / 1000.0;
        const double cpu = CpuSeconds() - cpuStart;
        const double mainCpu = ThreadCpuMicros() / 1e6 - mainCpuStart;
        probe->Stop();
        std::printf(
            "%d s of polling (wall %.1f s): CPU %.2f s = %.1f%% of one core, of which the "
            "main thread %.1f%%; peak memory (max RSS) %.1f MB\n",
            seconds, wall, cpu, 100 * cpu / wall, 100 * mainCpu / wall, PeakResidentMB());
        PrintDistribution("main thread busy stretches", app.StretchesUs);
        PrintDistribution("main thread CPU time in a stretch", app.StretchesCpuUs);
        window->close();
        app.quit();
    };
    QTimer::singleShot(warmup * 1000, [&] {
        cpuStart = CpuSeconds();
        mainCpuStart = ThreadCpuMicros() / 1e6;
        watch.start();
        window->Counting = true;
        probe = std::make_unique<LatencyProbe>(&app);
        app.Record(true);
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, stop);
    });
    app.exec();

    if (probe) PrintDistribution("input latency (probe every 10 ms)", probe->LatenciesUs);
    long fewest = -1;
    for (int slot = 0; slot < servers; ++slot)
        if (fewest < 0 || window->Polls[slot] < fewest) fewest = window->Polls[slot];
    const bool connected = window->ConnectedCount() == servers;
    delete window;
    QElapsedTimer ending;
    ending.start();
    while (TKivraThread::LiveCount() > 0 && ending.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();  // the probe's last event
    std::printf("fewest polls of a server %ld in %d s; message boxes %d\n", fewest, seconds,
                boxes.Count());
    return connected && fewest * 10 >= static_cast<long>(seconds) * 9 ? 0 : 1;
}
