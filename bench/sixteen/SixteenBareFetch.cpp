// The floor of the sixteen-server benchmark: what the ODBC driver alone costs to fetch what the
// monitor fetches. One thread per server fetches the process query once every interval through
// a minimal ODBC program (BareOdbcFetch: bound column arrays, nothing kept) on its own
// connection, with the driver keywords that the database layer gives the driver. Nothing else:
// no probe, no model, no event loop. It prints the mean CPU time of one fetch (the fetching
// thread's own clock, user and system, around each fetch; connecting is not counted): 16 times
// that per second is the floor of the monitor's CPU time at one poll a second (run.sh).
// Texts are fetched as UTF-8 (the driver converts the server's Unicode texts), or with --wide 1
// the server's Unicode texts as UTF-16, as they come over the wire.
//
//   bench_sixteen_bare --port 14330 [--servers 16] [--seconds 60] [--interval 1] [--wide 0|1]
//
// Exit status 0 when every server was fetched at least once a second but for two, else 1.

#include "ADOConnection.h"
#include "BareOdbcFetch.h"
#include "BenchArguments.h"
#include "KivraQueryTexts.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <time.h>

namespace {

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

using bench::IntArgument;

int main(int argc, char **argv) {
    const int port = IntArgument(argc, argv, "--port", 0);
    const int servers = IntArgument(argc, argv, "--servers", 16);
    const int seconds = IntArgument(argc, argv, "--seconds", 60);
    const int interval = IntArgument(argc, argv, "--interval", 1);
    const auto method = IntArgument(argc, argv, "--wide", 0) != 0
                            ? BareOdbcFetch::Method::BoundWideBlock
                            : BareOdbcFetch::Method::BoundBlock;
    if (port <= 0 || servers < 1 || servers > 16 || seconds < 1 || interval < 1) {
        std::fprintf(
            stderr,
            "usage: bench_sixteen_bare --port N [--servers 1..16] [--seconds S] [--interval S] [--wide 0|1]\n");
        return 2;
    }

    std::vector<std::unique_ptr<BareOdbcFetch>> fetches;
    for (int slot = 0; slot < servers; ++slot) {
        // The keywords the layer's connection gives the driver, from the same connection string.
        TADOConnection layer;
        layer.ConnectionString = kivra::BuildConnectionString(
            "127.0.0.1," + std::to_string(port + slot), false, "sa", "Kivra-Test-1");
        fetches.push_back(std::make_unique<BareOdbcFetch>(layer.OdbcConnectionString()));
    }

    const std::string &sql = kivra::ProcessQueryText();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::vector<int> polls(static_cast<std::size_t>(servers), 0);
    std::vector<double> cpu(static_cast<std::size_t>(servers), 0.0);
    std::atomic<long> rows{0};
    std::vector<std::thread> threads;
    for (int slot = 0; slot < servers; ++slot) {
        threads.emplace_back([&, slot] {
            BareOdbcFetch &fetch = *fetches[static_cast<std::size_t>(slot)];
            // The monitor's first poll follows 100 ms after the connect, then one per interval.
            auto next = start + std::chrono::milliseconds(100);
            while (next < end) {
                std::this_thread::sleep_until(next);
                const double t0 = ThreadCpuSeconds();
                rows += fetch.Fetch(sql, method);
                cpu[static_cast<std::size_t>(slot)] += ThreadCpuSeconds() - t0;
                ++polls[static_cast<std::size_t>(slot)];
                next += std::chrono::seconds(interval);
            }
        });
    }
    for (std::thread &t : threads) t.join();
    fetches.clear();

    int total = 0, fewest = -1;
    double seconds_cpu = 0;
    for (int slot = 0; slot < servers; ++slot) {
        const int n = polls[static_cast<std::size_t>(slot)];
        total += n;
        seconds_cpu += cpu[static_cast<std::size_t>(slot)];
        if (fewest < 0 || n < fewest) fewest = n;
    }
    std::printf(
        "servers %d  seconds %d  fetches %d (fewest per server %d)  rows per fetch %.0f  "
        "cpu per fetch %.3f ms\n",
        servers, seconds, total, fewest, total ? static_cast<double>(rows) / total : 0.0,
        total ? 1000 * seconds_cpu / total : 0.0);
    return fewest >= seconds / interval - 2 ? 0 : 1;
}
