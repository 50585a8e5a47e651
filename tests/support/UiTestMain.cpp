// main() of the widget tests: the program's application object (offscreen), the
// application title the exception display uses, and at the end a wait until every worker thread
// has freed itself, so no hand-over outlives the application.

#include "KivraApplication.h"
#include "KivraThreadSource.h"
#include "TestPump.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv) {
    // Offscreen also when run by hand or listed by CTest's test discovery.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    KivraApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kivrawatch"));
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (!PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 30000)) {
        std::fprintf(stderr, "worker threads still alive at exit\n");
        rc = 1;
    }
    PumpPending();
    return rc;
}
