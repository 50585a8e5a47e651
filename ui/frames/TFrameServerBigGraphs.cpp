#include "TFrameServerBigGraphs.h"

#include "TFrameServerTitleBar.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameServerBigGraphs::TFrameServerBigGraphs(QWidget *parent) : QWidget(parent) {
    FrameServerTitleBar1 = new TFrameServerTitleBar(this);
}
TFrameServerBigGraphs::~TFrameServerBigGraphs() = default;

void TFrameServerBigGraphs::SetServer(TDBServerInfo *server) { ServerInfo = server; }
void TFrameServerBigGraphs::RefreshGraphs() {}
