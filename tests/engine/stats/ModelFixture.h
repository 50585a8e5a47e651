#pragma once
// Test fixture around one server model with a fake owner, a clock and a millisecond tick of the
// test's own (both installed for the test's duration), and a message-box handler that records
// what would be shown. Poll() runs one poll the way the worker's hand-over does.

#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "MessageBoxHook.h"
#include "TDateTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Raw server counters of one poll.
struct PollCounters {
    int response = 0;
    int sent = 0, received = 0, packetErrors = 0;
    int read = 0, write = 0, ioErrors = 0;
    std::int64_t busy = 0, idle = 0;
};

// One session row of the process query (ECID 0).
struct SessionRow {
    int spid;
    std::string login;
    TDateTime loginTime;
    std::int64_t cpu = 0, mem = 0, io = 0;
};

class ModelFixture : public ::testing::Test {
protected:
    struct ShownBox {
        std::string text, caption;
        unsigned flags;
    };

    void SetUp() override {
        NowValue = kivra::EncodeDateTime(2026, 12, 10, 8, 0, 0);
        kivra::SetNowSource([this] { return NowValue; });
        kivra::SetTickSource([this] { return Tick; });
        kivra::SetMessageBoxHandler(
            [this](const std::string &text, const std::string &caption, unsigned flags) {
                Boxes.push_back({text, caption, flags});
                return static_cast<int>(kivra::IDOK);
            });
        Model = std::make_unique<TDBServerInfo>();
        Model->Owner = &Owner;
        Model->ServerName = "ALPHA";
        Model->SetDisconnected(false);
    }

    void TearDown() override {
        Model.reset();
        kivra::SetMessageBoxHandler({});
        kivra::SetTickSource({});
        kivra::SetNowSource({});
    }

    // One poll elapsedMs after the previous one, with the given sessions.
    void Poll(const PollCounters &c, std::uint32_t elapsedMs = 1000,
              const std::vector<SessionRow> &rows = {}) {
        Tick += elapsedMs;
        Model->SetDisconnected(false);
        Model->BeginPollCycle();
        for (const SessionRow &r : rows) {
            stProcessRow row;
            row.SPID = r.spid;
            row.DatabaseName = "master";
            row.LoginName = r.login.c_str();
            row.HostName = "host1";
            row.NTDomain = "DOM";
            row.NTUserName = "user";
            row.NetAddress = "10.0.0.1";
            row.Command = "AWAITING COMMAND";
            row.Status = "sleeping";
            row.ProgramName = "app";
            row.LoginTime = row.LastBatch = r.loginTime;
            row.CPU = r.cpu;
            row.MemUsage = r.mem;
            row.PhysicalIO = r.io;
            row.NetLibrary = "TCP/IP";
            row.HostProcess = "1234";
            Model->AddProcessRow(row);
        }
        Model->EndPollCycle();
        Model->UpdateStatistics(c.response, c.sent, c.received, c.packetErrors, c.read, c.write,
                                c.ioErrors, c.busy, c.idle, NowValue);
    }

    const stStatSample &Current() const { return Model->History[TDBServerInfo::kHistorySize - 1]; }

    FakeKivraOwner Owner;
    std::unique_ptr<TDBServerInfo> Model;
    TDateTime NowValue = 0;
    std::uint32_t Tick = 5000;
    std::vector<ShownBox> Boxes;
};
