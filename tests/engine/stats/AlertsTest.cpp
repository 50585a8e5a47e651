// The alert checks: counting, latching, re-arming, the lost-connection check, and one mail per
// evaluation with every check that fired.

#include "ModelFixture.h"

namespace {

class Alerts : public ModelFixture {
protected:
    void SetUp() override {
        ModelFixture::SetUp();
        Owner.Alerts.CPUUsageValue = 98;
        Owner.Alerts.CPUUsageRefresh = 10;
        Owner.Alerts.ServerResponseValue = 500;
        Owner.Alerts.ServerResponseRefresh = 10;
        Poll(Counters);  // the first poll only takes the counters: CPU 0, response 0
    }

    // One poll with the given CPU percent and response time, then the evaluation, as the
    // hand-over runs them.
    void PollAndEvaluate(int cpu, int response = 10) {
        Counters.Busy += cpu;
        Counters.Idle += 100 - cpu;
        Counters.Response = response;
        Poll(Counters);
        ASSERT_EQ(Current().CPUBusy, cpu);
        Model->EvaluateAlerts();
    }

    // The connection is lost: the model is set disconnected, then the alerts are evaluated.
    void LoseConnection() {
        Model->SetDisconnected(true);
        Model->EvaluateAlerts();
    }

    void AdvanceClockTo(int hour, int minute) {
        NowValue = kivra::EncodeDateTime(2026, 12, 10, hour, minute, 0);
    }

    PollCounters Counters{0, 0, 0, 0, 0, 0, 0, 1000, 1000};
};

TEST_F(Alerts, CountRisesWhileAHighSampleIsInTheHistoryAndFiresAtTheTenth) {
    Owner.Alerts.CPUUsage = true;
    for (int i = 0; i < 20; ++i) PollAndEvaluate(50);
    EXPECT_EQ(Model->HighDemandCount, 0);

    PollAndEvaluate(99);
    EXPECT_EQ(Model->HighDemandCount, 1);
    for (int evaluation = 2; evaluation <= 9; ++evaluation) {
        PollAndEvaluate(50);  // the 99 sample is older now but still in the history
        EXPECT_EQ(Model->HighDemandCount, evaluation);
        EXPECT_TRUE(Owner.Mails.empty());
    }
    PollAndEvaluate(50);
    ASSERT_EQ(Owner.Mails.size(), 1u);
    EXPECT_EQ(Owner.Mails[0].Server, "ALPHA");
    EXPECT_FALSE(Owner.Mails[0].LostConnection);
    EXPECT_TRUE(Owner.Mails[0].HighDemand);
    EXPECT_FALSE(Owner.Mails[0].SlowResponse);
    EXPECT_TRUE(Model->HighDemandAlertSent);
    EXPECT_EQ(Model->HighDemandAlertTime, NowValue);

    for (int i = 0; i < 5; ++i) {
        PollAndEvaluate(99);  // latched: nothing counted, nothing sent
        EXPECT_EQ(Model->HighDemandCount, 0);
    }
    EXPECT_EQ(Owner.Mails.size(), 1u);
}

TEST_F(Alerts, HighSampleLeavingTheHistoryStopsTheCount) {
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.CPUUsageRefresh = 1000;
    PollAndEvaluate(99);
    for (int i = 0; i < TDBServerInfo::kHistorySize - 1; ++i) PollAndEvaluate(50);
    EXPECT_EQ(Model->HighDemandCount, TDBServerInfo::kHistorySize);
    PollAndEvaluate(50);  // the 99 sample has just been shifted out
    EXPECT_EQ(Model->HighDemandCount, 0);
}

TEST_F(Alerts, HistoryNeverReachingTheThresholdSendsNothing) {
    Owner.Alerts.CPUUsage = true;
    for (int i = 0; i < 30; ++i) PollAndEvaluate(97);
    EXPECT_EQ(Model->HighDemandCount, 0);
    EXPECT_TRUE(Owner.Mails.empty());
}

TEST_F(Alerts, StaysLatchedAt1804AndReArmsAt1805) {
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.CPUUsageRefresh = 2;
    PollAndEvaluate(99);
    PollAndEvaluate(99);  // fires at 08:00
    ASSERT_EQ(Owner.Mails.size(), 1u);

    AdvanceClockTo(18, 4);  // 0.4194 day later
    PollAndEvaluate(99);
    EXPECT_TRUE(Model->HighDemandAlertSent);
    EXPECT_EQ(Model->HighDemandCount, 0);

    AdvanceClockTo(18, 5);  // 0.4201 day later
    PollAndEvaluate(99);
    EXPECT_FALSE(Model->HighDemandAlertSent);
    EXPECT_EQ(Model->HighDemandCount, 1);
    EXPECT_EQ(Owner.Mails.size(), 1u);

    PollAndEvaluate(99);
    ASSERT_EQ(Owner.Mails.size(), 2u);
    EXPECT_TRUE(Owner.Mails[1].HighDemand);
    EXPECT_EQ(Model->HighDemandAlertTime, NowValue);
}

TEST_F(Alerts, OneMailPerLossEpisode) {
    Owner.Alerts.ServerDisconnect = true;
    PollAndEvaluate(10);
    LoseConnection();
    ASSERT_EQ(Owner.Mails.size(), 1u);
    EXPECT_TRUE(Owner.Mails[0].LostConnection);
    EXPECT_FALSE(Owner.Mails[0].HighDemand);
    EXPECT_FALSE(Owner.Mails[0].SlowResponse);

    LoseConnection();  // the same episode: failed reconnects, repeated reports
    Model->EvaluateAlerts();
    EXPECT_EQ(Owner.Mails.size(), 1u);

    PollAndEvaluate(10);  // a good poll: connected again
    EXPECT_FALSE(Model->LostAlertSent);
    EXPECT_EQ(Owner.Mails.size(), 1u);
    LoseConnection();
    EXPECT_EQ(Owner.Mails.size(), 2u);
}

TEST_F(Alerts, LossWithTheSwitchOffSendsNothing) {
    LoseConnection();
    EXPECT_TRUE(Owner.Mails.empty());
    EXPECT_FALSE(Model->LostAlertSent);
}

TEST_F(Alerts, OnlyTheLostCheckRunsDuringALoss) {
    Owner.Alerts.ServerDisconnect = true;
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.ServerResponse = true;
    PollAndEvaluate(99, 900);
    PollAndEvaluate(99, 900);
    ASSERT_EQ(Model->HighDemandCount, 2);
    ASSERT_EQ(Model->SlowResponseCount, 2);
    Owner.Alerts.CPUUsageRefresh = 1;  // would fire at once if it ran
    Owner.Alerts.ServerResponseRefresh = 1;

    LoseConnection();
    ASSERT_EQ(Owner.Mails.size(), 1u);
    EXPECT_TRUE(Owner.Mails[0].LostConnection);
    EXPECT_FALSE(Owner.Mails[0].HighDemand);
    EXPECT_FALSE(Owner.Mails[0].SlowResponse);
    EXPECT_EQ(Model->HighDemandCount, 2);  // counts survive the loss untouched
    EXPECT_EQ(Model->SlowResponseCount, 2);
}

TEST_F(Alerts, ReconnectClearsTheLatchesButNotTheCountsOrTimes) {
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.CPUUsageRefresh = 1;
    PollAndEvaluate(99);
    ASSERT_TRUE(Model->HighDemandAlertSent);
    const TDateTime firedAt = Model->HighDemandAlertTime;

    Model->SetDisconnected(false);  // already connected: the latch stays
    EXPECT_TRUE(Model->HighDemandAlertSent);

    LoseConnection();
    Model->SetDisconnected(false);
    EXPECT_FALSE(Model->HighDemandAlertSent);
    EXPECT_EQ(Model->HighDemandAlertTime, firedAt);
    PollAndEvaluate(99);
    EXPECT_EQ(Owner.Mails.size(), 2u);
}

TEST_F(Alerts, ResponseAlertRunsWhileTheCpuAlertIsOffAndKeepsItsCountAtZero) {
    Owner.Alerts.ServerResponse = true;
    Owner.Alerts.ServerResponseRefresh = 3;
    PollAndEvaluate(99, 500);  // at the threshold counts
    PollAndEvaluate(99, 100);
    EXPECT_EQ(Model->SlowResponseCount, 2);
    EXPECT_EQ(Model->HighDemandCount, 0);
    PollAndEvaluate(99, 100);
    ASSERT_EQ(Owner.Mails.size(), 1u);
    EXPECT_FALSE(Owner.Mails[0].HighDemand);
    EXPECT_TRUE(Owner.Mails[0].SlowResponse);
    EXPECT_EQ(Model->HighDemandCount, 0);
}

TEST_F(Alerts, BothChecksFiringGiveOneMailWithBothFlags) {
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.ServerResponse = true;
    Owner.Alerts.CPUUsageRefresh = 2;
    Owner.Alerts.ServerResponseRefresh = 2;
    PollAndEvaluate(98, 700);
    PollAndEvaluate(50, 20);
    ASSERT_EQ(Owner.Mails.size(), 1u);
    EXPECT_FALSE(Owner.Mails[0].LostConnection);
    EXPECT_TRUE(Owner.Mails[0].HighDemand);
    EXPECT_TRUE(Owner.Mails[0].SlowResponse);
}

TEST_F(Alerts, SwitchingACheckOffResetsItsCountAndTakesEffectAtTheNextEvaluation) {
    Owner.Alerts.CPUUsage = true;
    PollAndEvaluate(99);
    PollAndEvaluate(50);
    PollAndEvaluate(50);
    ASSERT_EQ(Model->HighDemandCount, 3);

    Owner.Alerts.CPUUsage = false;
    for (int i = 0; i < 20; ++i) {
        PollAndEvaluate(99);
        EXPECT_EQ(Model->HighDemandCount, 0);
    }
    EXPECT_TRUE(Owner.Mails.empty());

    Owner.Alerts.CPUUsage = true;
    PollAndEvaluate(50);
    EXPECT_EQ(Model->HighDemandCount, 1);
}

// A count setting of 0 or 1 fires at the first evaluation that finds a high sample; thresholds
// are compared as signed integers, so a negative threshold is met by every filled sample.
struct CountSettingCase {
    int countSetting;
    int threshold;
    int cpu;
    bool fires;
};

class AlertCountSetting : public Alerts, public ::testing::WithParamInterface<CountSettingCase> {};

TEST_P(AlertCountSetting, FiresAtTheFirstEvaluationOrNot) {
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.CPUUsageRefresh = GetParam().countSetting;
    Owner.Alerts.CPUUsageValue = GetParam().threshold;
    PollAndEvaluate(GetParam().cpu);
    EXPECT_EQ(Owner.Mails.size(), GetParam().fires ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlertCountSetting,
    ::testing::Values(CountSettingCase{0, 98, 98, true}, CountSettingCase{1, 98, 100, true},
                      CountSettingCase{-5, 98, 99, true}, CountSettingCase{2, 98, 99, false},
                      CountSettingCase{1, 98, 97, false}, CountSettingCase{1, -1, 0, true}));

TEST_F(Alerts, NoEvaluationBeforeAnyPollSendsNothing) {
    Owner.Alerts.CPUUsage = true;
    Owner.Alerts.CPUUsageRefresh = 0;
    Owner.Alerts.CPUUsageValue = -1;
    TDBServerInfo fresh;  // no sample is filled yet
    fresh.Owner = &Owner;
    fresh.SetDisconnected(false);
    fresh.EvaluateAlerts();
    EXPECT_TRUE(Owner.Mails.empty());
    EXPECT_EQ(fresh.HighDemandCount, 0);
}

}  // namespace
