#include "TFrameBlockedProcesses.h"

#include "TFrameServerTitleBar.h"
#include "TFrameProcessInfo.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameBlockedProcesses::TFrameBlockedProcesses(QWidget *parent) : QWidget(parent) {
    FrameServerTitleBar1 = new TFrameServerTitleBar(this);
    FrameBlockedProcess = new TFrameProcessInfo(this);
    FrameBlockingProcess = new TFrameProcessInfo(this);
}
TFrameBlockedProcesses::~TFrameBlockedProcesses() = default;

void TFrameBlockedProcesses::RefreshView() {}
