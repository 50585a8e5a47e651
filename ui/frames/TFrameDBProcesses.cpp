#include "TFrameDBProcesses.h"

#include "TFrameServerTitleBar.h"
#include "TFrameProcessInfo.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameDBProcesses::TFrameDBProcesses(QWidget *parent) : QWidget(parent) {
    FrameServerTitleBar1 = new TFrameServerTitleBar(this);
    FrameCurrentProcessInfo = new TFrameProcessInfo(this);
}
TFrameDBProcesses::~TFrameDBProcesses() = default;

void TFrameDBProcesses::RefreshView() {}
int TFrameDBProcesses::GetSelectedSpid() { return -1; }
