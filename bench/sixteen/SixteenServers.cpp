// A headless monitor for the sixteen-server benchmark: the engine without any view. It connects
// one real worker (TKivraThread) with its server model (TDBServerInfo) per server to sqlsim
// instances on consecutive loopback ports, polls every interval for a fixed time through a
// QCoreApplication event loop, then stops every worker, waits until all have ended and exits.
// The CPU time and peak memory are measured from outside (bench/sixteen/run.sh, GNU time).
//
//   bench_sixteen --port 14330 [--servers 16] [--seconds 60] [--interval 1]
//
// Exit status 0 when every server was polled at least once a second but for two, else 1.

#include "BenchArguments.h"
#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "KivraThreadSource.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using bench::IntArgument;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int port = IntArgument(argc, argv, "--port", 0);
    const int servers = IntArgument(argc, argv, "--servers", 16);
    const int seconds = IntArgument(argc, argv, "--seconds", 60);
    const int interval = IntArgument(argc, argv, "--interval", 1);
    if (port <= 0 || servers < 1 || servers > 16 || seconds < 1 || interval < 1) {
        std::fprintf(
            stderr,
            "usage: bench_sixteen --port N [--servers 1..16] [--seconds S] [--interval S]\n");
        return 2;
    }

    // The main window's part, without windows: alerts on and logs off as a watching user has
    // them, the view refreshes each server asked for counted, alert mails only counted.
    FakeKivraOwner owner;
    owner.TurnAlertsOn();
    std::vector<std::unique_ptr<TDBServerInfo>> models;
    std::vector<TKivraThread *> threads;  // each frees itself once stopped
    for (int slot = 0; slot < servers; ++slot) {
        const std::string server = "127.0.0.1," + std::to_string(port + slot);
        auto model = std::make_unique<TDBServerInfo>();
        model->Owner = &owner;
        model->SetServerName(server);
        auto *thread = new TKivraThread(true);
        if (!thread->Connect(&owner, slot, server, false, "sa", "Kivra-Test-1")) {
            std::fprintf(stderr, "bench_sixteen: could not connect to %s\n", server.c_str());
            thread->Stop();
            for (TKivraThread *t : threads) t->Stop();
            return 1;
        }
        model->Thread = thread;
        thread->SetServerInfo(model.get());
        thread->SetRefreshInterval(interval);
        models.push_back(std::move(model));
        threads.push_back(thread);
    }

    // After the run: stop every worker, then wait for all of them to end before leaving.
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] {
        for (TKivraThread *t : threads) t->Stop();
        threads.clear();
        auto *wait = new QTimer(&app);
        QObject::connect(wait, &QTimer::timeout, &app, [] {
            if (TKivraThread::LiveCount() == 0) QCoreApplication::quit();
        });
        wait->start(5);
    });
    app.exec();

    int polls = 0, fewest = -1;
    std::size_t sessions = 0;
    for (int slot = 0; slot < servers; ++slot) {
        const int n = owner.UpdatesOf(slot);
        polls += n;
        if (fewest < 0 || n < fewest) fewest = n;
        sessions +=
            static_cast<std::size_t>(models[static_cast<std::size_t>(slot)]->ProcessTable->Count);
    }
    models.clear();
    std::printf(
        "servers %d  seconds %d  polls %d (fewest per server %d)  sessions at the end %zu  alert mails %d\n",
        servers, seconds, polls, fewest, sessions, static_cast<int>(owner.Mails.size()));
    return fewest >= seconds / interval - 2 ? 0 : 1;
}
