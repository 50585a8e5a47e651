#pragma once
// For the benchmarks that run the real main window: the window with a count of the polls that
// reached each server, and the printing of the message boxes answered instead of shown.
// Main thread only.

#include "DBServerInfoSource.h"
#include "MessageBoxRecorder.h"
#include "TFormMain.h"

#include <cstdio>
#include <string>

namespace bench {

class PollCountingMain : public TFormMain {
public:
    void UpdateServerViews(int slot) override {
        TFormMain::UpdateServerViews(slot);
        if (Counting && slot >= 0 && slot < kSlotCount && Connections[slot].InUse &&
            !Connections[slot].ServerInfo->Disconnected)
            ++Polls[slot];
    }
    bool Counting = true;
    long Polls[kSlotCount] = {};  // hand-overs of a connected server, by slot
};

// What a benchmark does with a message box it answers (through a MessageBoxRecorder, which
// answers OK and counts): prints it to stderr.
inline void PrintBox(const RecordedMessageBox &box) {
    std::fprintf(stderr, "message box \"%s\": %s\n", box.Caption.c_str(), box.Text.c_str());
}

}  // namespace bench
