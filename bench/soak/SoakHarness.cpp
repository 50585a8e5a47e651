// The soak's program: the real main window (offscreen) connected to up to 16 sqlsim instances on
// consecutive loopback ports, polling each once a second for a fixed time, while the selected
// server and the shown tab move on every 20 s so that every view is filled from every server.
// It prints the process's resident memory once a minute, after the first minute and at the end,
// then closes the window as a user would and waits for the workers.
//
//   bench_soak --port 14330 [--servers 16] [--seconds 600]
//
// Exit status 0 when the resident memory at the end is within 10% of that after the first
// minute and every server was polled on at least nine seconds in ten; 1 otherwise; 2 when a
// connect failed. Message boxes are printed, answered OK and counted.

#include "BenchArguments.h"
#include "KivraApplication.h"
#include "KivraThreadSource.h"
#include "PollCountingMain.h"
#include "TFormMain.h"
#include "TFrameClientArea.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTabBar>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

double ResidentMB() {
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

}  // namespace

using bench::IntArgument;

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    KivraApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kivrawatch"));
    const int port = IntArgument(argc, argv, "--port", 0);
    const int servers = IntArgument(argc, argv, "--servers", 16);
    const int seconds = IntArgument(argc, argv, "--seconds", 600);
    if (port <= 0 || servers < 1 || servers > 16 || seconds < 61) {
        std::fprintf(stderr, "usage: bench_soak --port N [--servers 1..16] [--seconds S > 60]\n");
        return 2;
    }
    MessageBoxRecorder boxes;  // answers OK
    boxes.OnShown = bench::PrintBox;

    auto *window = new bench::PollCountingMain;
    window->SetRefreshInterval(1);
    window->show();
    for (int i = 0; i < servers; ++i) {
        const std::string server = "127.0.0.1," + std::to_string(port + i);
        if (!window->ConnectToServer(server, false, "sa", "Kivra-Test-1")) {
            std::fprintf(stderr, "bench_soak: no connection to %s\n", server.c_str());
            delete window;
            return 2;
        }
    }

    QElapsedTimer clock;
    clock.start();
    double firstMinuteMB = 0, endMB = 0;
    int step = 0;
    QTimer every20s;
    QObject::connect(&every20s, &QTimer::timeout, [&] {
        ++step;
        window->SelectServer(step % servers);
        window->FrameClientArea1->TabSet1->setCurrentIndex(step % TFrameClientArea::kTabCount);
    });
    every20s.start(20000);
    QTimer minute;
    QObject::connect(&minute, &QTimer::timeout, [&] {
        const double mb = ResidentMB();
        const long minutes = (clock.elapsed() + 500) / 60000;
        if (minutes == 1) firstMinuteMB = mb;
        std::printf("minute %ld: resident %.1f MB\n", minutes, mb);
        std::fflush(stdout);
    });
    minute.start(60000);
    QTimer::singleShot(seconds * 1000, [&] {
        minute.stop();
        every20s.stop();
        endMB = ResidentMB();
        window->close();
        app.quit();
    });
    app.exec();

    long fewest = -1;
    for (int slot = 0; slot < servers; ++slot) {
        const long polls = window->Polls[slot];
        if (fewest < 0 || polls < fewest) fewest = polls;
    }
    delete window;
    QElapsedTimer ending;
    ending.start();
    while (TKivraThread::LiveCount() > 0 && ending.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    const double ratio = firstMinuteMB > 0 ? endMB / firstMinuteMB : 0;
    std::printf(
        "%d servers, %d s: resident memory after the first minute %.1f MB, at the end "
        "%.1f MB (%+.1f%%); fewest polls of a server %ld; message boxes %d\n",
        servers, seconds, firstMinuteMB, endMB, (ratio - 1) * 100, fewest, boxes.Count());
    const bool polled = fewest * 10 >= static_cast<long>(seconds) * 9;
    return ratio > 0 && ratio <= 1.10 && polled ? 0 : 1;
}
