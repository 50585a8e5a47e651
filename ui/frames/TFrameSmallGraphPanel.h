#pragma once
// TFrameSmallGraphPanel: the "Small Graphs" view: a scroll area holding one tile per connected
// server. Entry i of its table is connection slot i of the main window: the used entries are
// always 0..n-1, and a removal moves the later entries (and their tiles' Slot) down one place,
// as the main window's slots move. The tiles are laid out in rows in entry order, 485 px apart
// across and 204 px down, wrapping by the panel's own width.
//
// Main thread only. The panel creates and frees the tiles (children of the scroll area's
// contents); tiles still present go with the panel.

#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class TFrameSmallGraphPanel;
}

class QScrollArea;
class TFrameServerGraphsSmall;

// One entry of the panel's table.
struct st_FSGP_GraphedServers {
    std::string ServerName;
    TFrameServerGraphsSmall *Graph = nullptr;  // the tile, or nullptr
    bool InUse = false;
};

class TFrameSmallGraphPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kEntryCount = 16;
    static constexpr int kTileStepX = 485;
    static constexpr int kTileStepY = 204;

    explicit TFrameSmallGraphPanel(QWidget *parent = nullptr);
    ~TFrameSmallGraphPanel() override;

    // The new tile, or nullptr when all 16 entries are in use.
    TFrameServerGraphsSmall *AddServer(const std::string &server);
    // Frees entry index's tile and moves the later entries down; an index outside 0..15 does
    // nothing.
    void RemoveServer(int index);
    void ArrangeGraphs();

    st_FSGP_GraphedServers GraphedServers[kEntryCount];
    QScrollArea *ScrollBox1 = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    std::unique_ptr<Ui::TFrameSmallGraphPanel> ui;
};
