#include "TFrameServerGraphsSmall.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameServerGraphsSmall::TFrameServerGraphsSmall(QWidget *parent) : QWidget(parent) {}
TFrameServerGraphsSmall::~TFrameServerGraphsSmall() = default;

void TFrameServerGraphsSmall::SetServerName(const std::string &name) { ServerName = name; }
void TFrameServerGraphsSmall::SetOwner(TFormMain *owner, int slot) {
    MainForm = owner;
    Slot = slot;
}
void TFrameServerGraphsSmall::SetStartTime(TDateTime) {}
void TFrameServerGraphsSmall::SetHighlight(bool selected) { Highlighted = selected; }
void TFrameServerGraphsSmall::RefreshGraphs() {}
