#include "TFrameProcessInfo.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameProcessInfo::TFrameProcessInfo(QWidget *parent) : QWidget(parent) {}
TFrameProcessInfo::~TFrameProcessInfo() = default;

void TFrameProcessInfo::ShowProcess(int spid) { CurrentSpid = spid; }
