#pragma once
// Test fixture around one server model with a fake owner, a clock and a millisecond tick of the
// test's own (both installed for the test's duration), and a recorder of the message boxes that
// would be shown. Poll() runs one poll the way the worker's hand-over does.

#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "MessageBoxRecorder.h"
#include "PollRow.h"
#include "TDateTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Raw server counters of one poll.
struct PollCounters {
    int Response = 0;
    int Sent = 0, Received = 0, PacketErrors = 0;
    int Read = 0, Write = 0, IOErrors = 0;
    std::int64_t Busy = 0, Idle = 0;
};

// A session row of the process query (ECID 0) in short; the rest as Poll() fills it in.
struct SessionRow {
    int SPID;
    std::string LoginName;
    TDateTime LoginTime;
    std::int64_t CPU = 0, MemUsage = 0, PhysicalIO = 0;
};

class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        NowValue = kivra::EncodeDateTime(2026, 12, 10, 8, 0, 0);
        kivra::SetNowSource([this] { return NowValue; });
        kivra::SetTickSource([this] { return Tick; });
        Model = std::make_unique<TDBServerInfo>();
        Model->Owner = &Owner;
        Model->ServerName = "ALPHA";
        Model->SetDisconnected(false);
    }

    void TearDown() override {
        Model.reset();
        kivra::SetTickSource({});
        kivra::SetNowSource({});
    }

    // One poll elapsedMs after the previous one, with the given sessions.
    void Poll(const PollCounters &c, std::uint32_t elapsedMs = 1000,
              const std::vector<SessionRow> &rows = {}) {
        Tick += elapsedMs;
        Model->SetDisconnected(false);
        std::vector<PollRow> polled;
        for (const SessionRow &r : rows) {
            PollRow row;
            row.SPID = r.SPID;
            row.LoginName = r.LoginName;
            row.HostName = "host1";
            row.NTDomain = "DOM";
            row.NTUserName = "user";
            row.NetAddress = "10.0.0.1";
            row.ProgramName = "app";
            row.LoginTime = row.LastBatch = r.LoginTime;
            row.CPU = r.CPU;
            row.MemUsage = r.MemUsage;
            row.PhysicalIO = r.PhysicalIO;
            row.LastWaitType.clear();
            polled.push_back(row);
        }
        MergePoll(*Model, polled);
        Model->UpdateStatistics(c.Response, c.Sent, c.Received, c.PacketErrors, c.Read, c.Write,
                                c.IOErrors, c.Busy, c.Idle, NowValue);
    }

    const stStatSample &Current() const { return Model->History[TDBServerInfo::kHistorySize - 1]; }

    FakeKivraOwner Owner;
    std::unique_ptr<TDBServerInfo> Model;
    TDateTime NowValue = 0;
    std::uint32_t Tick = 5000;
    MessageBoxRecorder Shown;  // answers OK
};
