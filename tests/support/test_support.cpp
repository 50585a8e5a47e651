// The shared test support against the real stack: a polled model fills from sqlsim, and the
// message-box recorder answers in order.

#include "AllocatedBuffer.h"
#include "MessageBoxRecorder.h"
#include "PolledServer.h"
#include "SqlSimInstances.h"

#include <gtest/gtest.h>

TEST(TestSupport, PolledServerFillsItsModelFromSqlsim) {
    SqlSimInstances sims(1);
    ASSERT_TRUE(sims.Started()) << sims.Error();
    PolledServer server;
    int updates = 0;
    server.DuringUpdate = [&] { ++updates; };
    ASSERT_TRUE(server.Connect(sims.ServerName(0)));
    ASSERT_TRUE(server.WaitForPolls(2));
    EXPECT_GE(updates, 2);
    EXPECT_GT(server.Model()->ProcessTable->Count, 0);
    server.Stop();
    EXPECT_EQ(server.Model(), nullptr);
}

TEST(TestSupport, FailedConnectShowsItsBoxAndLeavesNoModel) {
    SqlSimInstances sims(1);
    ASSERT_TRUE(sims.Started()) << sims.Error();
    MessageBoxRecorder boxes;
    PolledServer server;
    EXPECT_FALSE(server.Connect(sims.ServerName(0), 1, "sa", "wrong"));
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(server.Model(), nullptr);
}

TEST(TestSupport, RecorderAnswersInOrderThenWithTheDefault) {
    MessageBoxRecorder boxes(kivra::IDNO);
    boxes.Answers = {kivra::IDYES};
    EXPECT_EQ(kivra::ApplicationMessageBox("a", "c", kivra::MB_YESNO), kivra::IDYES);
    EXPECT_EQ(kivra::ApplicationMessageBox("b", "c", kivra::MB_YESNO), kivra::IDNO);
    EXPECT_EQ(boxes.CountCaption("c"), 2);
    EXPECT_EQ(boxes.Boxes[1].Text, "b");
}
