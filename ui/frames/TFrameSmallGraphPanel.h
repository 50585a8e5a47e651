#pragma once
// TFrameSmallGraphPanel: the "Small Graphs" view: a scroll area holding one tile per connected
// server, entry i of its table being connection slot i; it creates, frees and arranges the tiles.
//
// Main thread only. The panel owns its tiles.

#include <string>
#include <QWidget>

class TFrameServerGraphsSmall;

class TFrameSmallGraphPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFrameSmallGraphPanel(QWidget *parent = nullptr);
    ~TFrameSmallGraphPanel() override;

    // The new tile, or nullptr when all 16 entries are in use.
    TFrameServerGraphsSmall *AddServer(const std::string &server);
    void RemoveServer(int index);
    void ArrangeGraphs();
};
