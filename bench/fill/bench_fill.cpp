// Time per refill of the all-sessions grid: sort the session table under the current key, write
// every cell into a shown TStringGrid with painting suspended, resume, and (paint:1) repaint the
// visible cells as the view does after a refill.
// Between refills the counters move as a poll would move them, so each sort has work to do.
// Run with QT_QPA_PLATFORM=offscreen.

#include "DBServerInfoSource.h"
#include "FixedText.h"
#include "TDateTime.h"
#include "TStringGrid.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

using kivra::CopyFixedText;

void Populate(TDBServerInfo &model, int sessions) {
    model.ProcessTable->Deallocate();
    model.ProcessTable->Allocate();
    std::mt19937 random(7);
    const char *programs[] = {"VORNIXMonitor", "SQL Agent", "OrderService", "Reporting"};
    const char *commands[] = {"AWAITING COMMAND", "SELECT", "UPDATE", "INSERT"};
    const TDateTime start = kivra::EncodeDateTime(2026, 12, 10, 6, 0, 0);
    for (int i = 0; i < sessions; ++i) {
        stProcessInfo p;
        std::memset(&p, 0, sizeof p);
        p.SPID = 51 + i;
        char text[64];
        std::snprintf(text, sizeof text, "login%03u", static_cast<unsigned>(random() % 400));
        CopyFixedText(p.LoginName, text);
        std::snprintf(text, sizeof text, "WS-%04u", static_cast<unsigned>(random() % 2000));
        CopyFixedText(p.HostName, text);
        std::snprintf(text, sizeof text, "db%02u", static_cast<unsigned>(random() % 40));
        CopyFixedText(p.DatabaseName, text);
        CopyFixedText(p.NTDomain, "CORP");
        CopyFixedText(p.NTUserName, p.LoginName);
        std::snprintf(text, sizeof text, "10.%u.%u.%u", static_cast<unsigned>(random() % 255),
                      static_cast<unsigned>(random() % 255), static_cast<unsigned>(random() % 255));
        CopyFixedText(p.NetAddress, text);
        CopyFixedText(p.Command, commands[random() % 4]);
        CopyFixedText(p.Status, random() % 3 ? "sleeping" : "runnable");
        CopyFixedText(p.ProgramName, programs[random() % 4]);
        CopyFixedText(p.NetLibrary, "TCP/IP");
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(random() % 30000));
        CopyFixedText(p.HostProcess, text);
        p.LoginTime = start + (random() % 86400) / 86400.0;
        p.LastBatch = p.LoginTime + (random() % 3600) / 86400.0;
        p.CPU = p.PrevCPU = random() % 1000000;
        p.MemUsage = p.PrevMemUsage = random() % 5000;
        p.PhysicalIO = p.PrevPhysicalIO = random() % 10000000;
        p.Threads = p.PrevThreads = 1 + static_cast<int>(random() % 4);
        p.BlockedBy = random() % 50 == 0 ? 51 : 0;
        model.ProcessTable->Append(p);
    }
}

// One poll's worth of change: a tenth of the sessions did some work.
void Poll(TDBServerInfo &model, std::mt19937 &random) {
    for (int i = 0; i < model.ProcessTable->Count; ++i) {
        stProcessInfo &p = model.ProcessTable->Item<stProcessInfo>(i);
        p.PrevCPU = p.CPU;
        p.PrevMemUsage = p.MemUsage;
        p.PrevPhysicalIO = p.PhysicalIO;
        if (random() % 10 == 0) {
            p.CPU += random() % 500;
            p.PhysicalIO += random() % 100;
            p.LastBatch += 1.0 / 86400.0;
        }
    }
}

// range(0) sessions, range(1) the sort key, range(2) 1 to repaint the shown grid after each fill.
void FillAllSessions(benchmark::State &state) {
    const int sessions = static_cast<int>(state.range(0));
    const bool paint = state.range(2) != 0;
    TDBServerInfo::ProcessSortKey = static_cast<TSortKey>(state.range(1));
    TDBServerInfo::ProcessSortAscending = state.range(1) == skSPID;
    TDBServerInfo model;
    Populate(model, sessions);
    TStringGrid grid;
    grid.SetColCount(25);
    grid.resize(1200, 700);
    grid.show();
    std::mt19937 random(11);
    for (auto _ : state) {
        state.PauseTiming();
        Poll(model, random);
        state.ResumeTiming();
        grid.SetRedraw(false);
        model.FillProcessGrid(grid.Table());
        grid.SetRedraw(true);
        if (paint) {
            grid.Refresh();
            QApplication::processEvents();
        }
    }
    state.counters["sessions"] = sessions;
    state.SetItemsProcessed(state.iterations() * sessions);
}

BENCHMARK(FillAllSessions)
    ->ArgNames({"sessions", "key", "paint"})
    ->ArgsProduct({{300, 1000, 3000, 10000, 30000}, {skSPID, skCPUDelta, skLoginName}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
