#include "TFrameEventLog.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameEventLog::TFrameEventLog(QWidget *parent) : QWidget(parent) {}
TFrameEventLog::~TFrameEventLog() = default;
