// The large graphs' Reconnect against a simulated server, through the real worker and ODBC stack:
// a dropped connection shows the warning and the button, a click reconnects (a restarted server
// shows its new start time) and hides them, a failed reconnect keeps them.

#include "DateTimeText.h"
#include "MessageBoxRecorder.h"
#include "PolledServer.h"
#include "SqlSimInstances.h"
#include "TFrameServerBigGraphs.h"
#include "TestPump.h"
#include "WidgetProbe.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace graphs_test;

namespace {

class BigGraphsReconnect : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Sim.Started()) << Sim.Error();
        ASSERT_TRUE(Server.Connect(Sim.ServerName(0)));
        View.resize(1032, 716);
        View.show();
        View.SetServer(Server.Model());
        Server.DuringUpdate = [this] { View.RefreshGraphs(); };  // as the main window refreshes
        ASSERT_TRUE(Server.WaitForPolls(1));
        Warning = Child<QWidget>(View, "LabelServerDisconnected");
        Button = Child<QPushButton>(View, "btnAttemptReconnect");
        ASSERT_FALSE(Warning->isVisible());
        ASSERT_FALSE(Button->isVisible());
    }

    void LoseTheConnection() {
        Sim.Server(0).DropConnections();
        ASSERT_TRUE(PumpUntil([&] { return Warning->isVisible(); }));
        EXPECT_TRUE(Button->isVisible());
        EXPECT_TRUE(Server.Model()->Disconnected);
    }

    QString StartTimeText() { return Child<QLabel>(View, "LabelServerStartTime")->text(); }

    SqlSimInstances Sim{1};
    MessageBoxRecorder Boxes;
    TFrameServerBigGraphs View;
    PolledServer Server;  // stopped before the view goes
    QWidget *Warning = nullptr;
    QPushButton *Button = nullptr;
};

TEST_F(BigGraphsReconnect, DropShowsTheWarningAndAClickReconnectsToTheRestartedServer) {
    const QString startedBefore = StartTimeText();
    ASSERT_FALSE(startedBefore.isEmpty());
    LoseTheConnection();

    Sim.Server(0).Restart();
    QTest::mouseClick(Button, Qt::LeftButton);
    EXPECT_EQ(Boxes.Count(), 0);
    EXPECT_FALSE(Warning->isVisible());
    EXPECT_FALSE(Button->isVisible());
    EXPECT_EQ(StartTimeText().toStdString(),
              kivra::DateTimeToStr(Server.Model()->GetServerStartTime()));
    EXPECT_NE(StartTimeText(), startedBefore);

    // Polling goes on, connected.
    ASSERT_TRUE(Server.WaitForPolls(1));
    EXPECT_FALSE(Warning->isVisible());
}

TEST_F(BigGraphsReconnect, FailedReconnectKeepsTheWarningAndTheButton) {
    Sim.Server(0).SetRefuseConnections(true);
    LoseTheConnection();

    QTest::mouseClick(Button, Qt::LeftButton);
    EXPECT_EQ(Boxes.Count(), 1);  // the connection error
    EXPECT_TRUE(Warning->isVisible());
    EXPECT_TRUE(Button->isVisible());
    EXPECT_TRUE(Server.Model()->Disconnected);

    Sim.Server(0).SetRefuseConnections(false);
    QTest::mouseClick(Button, Qt::LeftButton);
    EXPECT_EQ(Boxes.Count(), 1);
    EXPECT_FALSE(Warning->isVisible());
    EXPECT_FALSE(Button->isVisible());
}

}  // namespace
