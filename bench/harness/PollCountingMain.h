#pragma once
// For the benchmarks that run the real main window: the window with a count of the polls that
// reached each server, and message boxes answered OK, printed and counted instead of shown.
// Main thread only.

#include "DBServerInfoSource.h"
#include "MessageBoxHook.h"
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

// Every message box from now on is printed to stderr, counted in `count` and answered OK.
inline void PrintMessageBoxes(int &count) {
    kivra::SetMessageBoxHandler([&count](const std::string &text, const std::string &caption, unsigned) {
        ++count;
        std::fprintf(stderr, "message box \"%s\": %s\n", caption.c_str(), text.c_str());
        return static_cast<int>(kivra::IDOK);
    });
}

}  // namespace bench
