// Kivrawatch: the program entry. The application object (which shows what an event handler
// throws), the application title "Kivrawatch", the main window, the message loop until the main
// window closes; an exception that escapes start-up is shown with the exception display and the
// program ends.
//
// Ending: closing the main window stops every server's worker. A worker that is inside a query
// ends when its query returns and hands over once more, so the main thread goes on delivering
// events after the loop until every worker has gone (at most kWorkerWaitMs; a worker still busy
// then is left to the end of the process).
//
// SIGTERM, SIGINT (Ctrl-C) and SIGHUP end the program whatever window is open and at whatever point
// of the start-up: every open window closes as the user would close it (the main window's close
// stops the workers; the settings are left as they are). A signal that comes while the main window
// is being built (a start-up message box open, or none yet) closes what is open and the program
// ends once the window is built, without showing it; a message box asked for after the signal is
// not shown (it takes its cautious answer).
//
// The category "kivrawatch.program" (off by default; QT_LOGGING_RULES="kivrawatch.program.info=
// true") tells when the main window is up, each message box shown (caption and text), when
// start-up failed and how long the workers took to end: what scripts and the smoke test watch.

#include "ExceptionDisplay.h"
#include "KivraApplication.h"
#include "KivraThreadSource.h"
#include "MessageBoxDialog.h"
#include "MessageBoxHook.h"
#include "TFormMain.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcProgram, "kivrawatch.program", QtWarningMsg)

namespace {

constexpr int kWorkerWaitMs = 10000;

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_endRequested = 0;

void OnCloseSignal(int) {
    // Async-signal-safe: the flag is seen before any event loop runs; the event loop (the main
    // one, or a box's) reads the pipe and closes the windows.
    g_endRequested = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

bool EndRequested() { return g_endRequested != 0; }

void CloseWindowsOnSignals(QObject *context) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, kivra::Guarded([] {
                         char buffer[16];
                         while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
                         }
                         // A dialog or message box that is open closes too; the main window's close ends the loop.
                         QApplication::closeAllWindows();
                         QApplication::quit();
                     }));
    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

// Every message box is told on the program's category; once the program is ending, none is shown.
void InstallMessageBoxes() {
    kivra::SetMessageBoxHandler(
        [](const std::string &text, const std::string &caption, unsigned flags) {
            if (EndRequested()) return kivra::CautiousAnswer(flags);
            qCInfo(lcProgram).noquote() << "message box:" << QString::fromStdString(caption) << "-"
                                        << QString::fromStdString(text);
            return kivra::ShowMessageBoxDialog(text, caption, flags);
        });
}

// Delivers events until every worker has freed itself, at most timeoutMs.
bool WaitForWorkers(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    // processEvents, not an event loop: after a quit from inside a dialog no new loop would run.
    QTimer tick;
    tick.start(5);
    while (TKivraThread::LiveCount() > 0 && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    tick.stop();
    // What the last workers handed to the main thread as they ended (their timers).
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return TKivraThread::LiveCount() == 0;
}

}  // namespace

int main(int argc, char **argv) {
    KivraApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kivrawatch"));
    // The icon of every window, and the desktop entry the window belongs to (kivrawatch.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("kivrawatch"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kivrawatch-%1.png").arg(size), QSize(size, size));
    QGuiApplication::setWindowIcon(icon);
    InstallMessageBoxes();
    CloseWindowsOnSignals(&app);

    int rc = 0;
    try {
        TFormMain window;
        if (EndRequested()) {
            // A signal came while the window was being built: closed as the user would close it.
            qCInfo(lcProgram) << "ended by a signal during start-up";
            window.close();
        } else {
            window.show();
            QTimer::singleShot(0, &window,
                               kivra::Guarded([] { qCInfo(lcProgram) << "main window shown"; }));
            rc = app.exec();
        }
    } catch (...) {
        qCInfo(lcProgram).noquote()
            << "start-up failed:"
            << QString::fromStdString(kivra::ExceptionMessage(std::current_exception()));
        kivra::ShowException(std::current_exception());
        rc = 1;
    }

    QElapsedTimer ending;
    ending.start();
    const bool ended = WaitForWorkers(kWorkerWaitMs);
    qCInfo(lcProgram) << "workers ended after" << ending.elapsed() << "ms";
    if (!ended) {
        std::fprintf(stderr, "kivrawatch: %d server connection(s) still busy at exit\n",
                     TKivraThread::LiveCount());
        std::fflush(nullptr);
        std::_Exit(rc);
    }
    return rc;
}
