#include "TFrameSmallGraphPanel.h"

// Placeholder until the view is built: the declared operations are what the client area calls.
TFrameSmallGraphPanel::TFrameSmallGraphPanel(QWidget *parent) : QWidget(parent) {}
TFrameSmallGraphPanel::~TFrameSmallGraphPanel() = default;

TFrameServerGraphsSmall *TFrameSmallGraphPanel::AddServer(const std::string &) { return nullptr; }
void TFrameSmallGraphPanel::RemoveServer(int) {}
void TFrameSmallGraphPanel::ArrangeGraphs() {}
