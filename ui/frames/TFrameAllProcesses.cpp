#include "TFrameAllProcesses.h"

#include "TFrameServerTitleBar.h"
#include "TFrameProcessInfo.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameAllProcesses::TFrameAllProcesses(QWidget *parent) : QWidget(parent) {
    FrameServerTitleBar1 = new TFrameServerTitleBar(this);
    FrameCurrentProcessInfo = new TFrameProcessInfo(this);
}
TFrameAllProcesses::~TFrameAllProcesses() = default;

void TFrameAllProcesses::RefreshView() {}
int TFrameAllProcesses::GetSelectedSpid() { return -1; }
