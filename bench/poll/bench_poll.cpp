// One poll against sqlsim at 1,000 and 10,000 sessions, its two halves timed apart:
//   WorkerPart   what the worker does under the connection lock: "SELECT 1", then the process
//                query opened through the database layer (the whole result fetched into memory);
//   LayerFetch   the process query alone through the layer (compare bench_poll_bare_odbc);
//   MainPart     what the hand-over does on the main thread: counters, every row into the model,
//                purge, statistics, alerts (on results of earlier polls, so sessions come and go);
//   WholePoll    a real worker: a tick, the probe, the query, the hand-over, up to the view refresh.
//   WorkerVsBare the worker's part and a minimal ODBC program's fetch of the same query (bound
//                column arrays, block cursor: BareOdbcFetch) taking turns against one sqlsim
//                instance; its counters are the medians of each and of the pairs' ratios, the
//                overhead of our layer over what fetching the data costs.
// WorkerPart and MainPart also count the heap allocations of each poll (AllocationCount.h): the
// medians per poll of the program's own and of the driver's.
#include "ADOConnection.h"
#include "ADODataSet.h"
#include "AllocationCount.h"
#include "BareOdbcFetch.h"
#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "KivraQueryTexts.h"
#include "KivraThreadSource.h"
#include "ProcessResultReader.h"
#include "SqlSimInstances.h"
#include "TDateTime.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<SqlSimInstances> StartServer(int sessions) {
    SqlSimOptions o;
    o.Workload.UserSessions = sessions;
    auto sims = std::make_unique<SqlSimInstances>(1, o);
    if (!sims->Started()) std::abort();
    return sims;
}

void OpenConnection(TADOConnection &c, const SqlSimInstances &server) {
    c.ConnectionString =
        kivra::BuildConnectionString(server.ServerName(0), false, "sa", "Kivra-Test-1");
    c.Open();
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// What the worker runs under the connection lock each poll: the probe, then the process query
// read whole into memory. As in the worker, the probe is a query object of its own per poll and
// the process query one object for every poll.
struct WorkerQueries {
    TADOConnection &Connection;
    TADODataSet Process;
    explicit WorkerQueries(TADOConnection &c) : Connection(c) {
        Process.Connection = &c;
        Process.CommandText = kivra::ProcessQueryText();
    }
    void Poll() {
        TADODataSet probe;
        probe.Connection = &Connection;
        probe.CommandText = kivra::kResponseProbeText;
        probe.Open();
        probe.Close();
        Process.Close();
        Process.Open();
    }
};

// The allocations of each timed poll, as counters: the medians of the program's own and of the
// libraries' (driver manager, driver) allocation counts and bytes per poll.
class AllocationsPerPoll {
public:
    void Begin() { Before = bench::ThreadAllocations(); }
    void End() {
        const bench::AllocationCounts d = bench::ThreadAllocations() - Before;
        Own.push_back(static_cast<double>(d.Own));
        OwnBytes.push_back(static_cast<double>(d.OwnBytes));
        Libraries.push_back(static_cast<double>(d.Libraries));
        LibraryBytes.push_back(static_cast<double>(d.LibraryBytes));
    }
    void Report(benchmark::State &state) const {
        state.counters["allocs_own"] = Median(Own);
        state.counters["alloc_bytes_own"] = Median(OwnBytes);
        state.counters["allocs_lib"] = Median(Libraries);
        state.counters["alloc_bytes_lib"] = Median(LibraryBytes);
    }

private:
    bench::AllocationCounts Before;
    std::vector<double> Own, OwnBytes, Libraries, LibraryBytes;
};

void BM_WorkerPart(benchmark::State &state) {
    auto server = StartServer(static_cast<int>(state.range(0)));
    TADOConnection c;
    OpenConnection(c, *server);
    WorkerQueries worker(c);
    worker.Poll();  // the first poll sizes what later ones reuse
    AllocationsPerPoll allocations;
    for (auto _ : state) {
        allocations.Begin();
        worker.Poll();
        allocations.End();
    }
    state.counters["rows"] = static_cast<double>(worker.Process.RecordCount());
    allocations.Report(state);
}

void BM_LayerFetch(benchmark::State &state) {
    auto server = StartServer(static_cast<int>(state.range(0)));
    TADOConnection c;
    OpenConnection(c, *server);
    TADODataSet process;
    process.Connection = &c;
    process.CommandText = kivra::ProcessQueryText();
    for (auto _ : state) {
        process.Close();
        process.Open();
    }
    state.counters["rows"] = static_cast<double>(process.RecordCount());
}

void BM_MainPart(benchmark::State &state) {
    auto server = StartServer(static_cast<int>(state.range(0)));
    TADOConnection c;
    OpenConnection(c, *server);
    // Results of successive polls, replayed in turn.
    std::vector<std::unique_ptr<TADODataSet>> polls;
    for (int i = 0; i < 8; ++i) {
        auto q = std::make_unique<TADODataSet>();
        q->Connection = &c;
        q->CommandText = kivra::ProcessQueryText();
        q->Open();
        polls.push_back(std::move(q));
    }
    FakeKivraOwner owner;
    TDBServerInfo model;
    model.Owner = &owner;
    model.ServerName = "bench";
    // A second between the replayed polls, as between real ones (the rates divide by it).
    std::uint32_t tick = 0;
    kivra::SetTickSource([&tick] { return tick += 1000; });
    std::size_t next = 0;
    AllocationsPerPoll allocations;
    for (auto _ : state) {
        allocations.Begin();
        TADODataSet &q = *polls[next++ % polls.size()];
        q.First();
        model.SetDisconnected(false);
        model.BeginPollCycle();
        const stPollCounters k = ReadPollCounters(q);
        FeedProcessRows(q, model);
        model.EndPollCycle();
        model.UpdateStatistics(2, k.PacketsSent, k.PacketsReceived, k.PacketErrors, k.TotalRead,
                               k.TotalWrite, k.TotalErrors, k.CpuBusy, k.CpuIdle, k.ServerTime);
        model.EvaluateAlerts();
        allocations.End();
    }
    kivra::SetTickSource({});
    state.counters["rows"] = static_cast<double>(polls[0]->RecordCount());
    allocations.Report(state);
}

void BM_WholePoll(benchmark::State &state) {
    auto server = StartServer(static_cast<int>(state.range(0)));
    FakeKivraOwner owner;
    auto model = std::make_unique<TDBServerInfo>();
    model->Owner = &owner;
    auto *thread = new TKivraThread(true);
    if (!thread->Connect(&owner, 0, server->ServerName(0), false, "sa", "Kivra-Test-1"))
        std::abort();
    model->Thread = thread;
    thread->SetServerInfo(model.get());
    thread->SetRefreshInterval(0);  // polls only when the benchmark ticks
    auto waitForUpdate = [&](std::size_t count) {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (owner.Updates.size() >= count) loop.quit();
        });
        check.start(0);
        loop.exec();
    };
    waitForUpdate(1);  // the start-up poll
    for (auto _ : state) {
        const std::size_t before = owner.Updates.size();
        thread->PollTimerTimer();
        waitForUpdate(before + 1);
    }
    state.counters["rows"] = static_cast<double>(model->ProcessTable->Count);
    thread->Stop();
    model.reset();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (TKivraThread::LiveCount() == 0) loop.quit();
    });
    check.start(1);
    loop.exec();
}

void BM_WorkerVsBare(benchmark::State &state) {
    auto server = StartServer(static_cast<int>(state.range(0)));
    // No churn: every answer holds the same sessions, whichever client asks.
    server->Server(0).SetChurn(0);
    TADOConnection c;
    OpenConnection(c, *server);
    WorkerQueries poll(c);
    // The same driver keywords as the layer's connection.
    BareOdbcFetch bare(c.OdbcConnectionString());
    const std::string &sql = kivra::ProcessQueryText();

    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    std::vector<double> worker, yardstick, ratio;
    long bareRows = 0;
    bool workerFirst = true;
    for (auto _ : state) {
        double w = 0, b = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == workerFirst) {
                const auto t0 = Clock::now();
                poll.Poll();
                w = ms(Clock::now() - t0);
            } else {
                const auto t0 = Clock::now();
                bareRows = bare.Fetch(sql);
                b = ms(Clock::now() - t0);
                benchmark::DoNotOptimize(bare.Checksum());
            }
        }
        workerFirst = !workerFirst;
        worker.push_back(w);
        yardstick.push_back(b);
        ratio.push_back(w / b);
    }
    state.counters["worker_ms"] = Median(worker);
    state.counters["bare_ms"] = Median(yardstick);
    state.counters["ratio"] = Median(ratio);
    state.counters["rows"] = static_cast<double>(poll.Process.RecordCount());
    state.counters["bare_rows"] = static_cast<double>(bareRows);
}

BENCHMARK(BM_WorkerPart)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayerFetch)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MainPart)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholePoll)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WorkerVsBare)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

// The whole-poll benchmark needs the main thread's event loop, as the program has.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
