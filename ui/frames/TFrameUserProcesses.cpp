#include "TFrameUserProcesses.h"

#include "TFrameServerTitleBar.h"
#include "TFrameProcessInfo.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameUserProcesses::TFrameUserProcesses(QWidget *parent) : QWidget(parent) {
    FrameServerTitleBar1 = new TFrameServerTitleBar(this);
    FrameCurrentProcessInfo = new TFrameProcessInfo(this);
}
TFrameUserProcesses::~TFrameUserProcesses() = default;

void TFrameUserProcesses::RefreshView() {}
int TFrameUserProcesses::GetSelectedSpid() { return -1; }
