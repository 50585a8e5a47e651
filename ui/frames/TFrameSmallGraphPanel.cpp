#include "TFrameSmallGraphPanel.h"

#include "ExceptionDisplay.h"
#include "TFrameServerGraphsSmall.h"
#include "ui_TFrameSmallGraphPanel.h"

#include <QScrollArea>

#include <algorithm>

namespace {

// After a tile placed at left x, the next one stays on the row only when x + 967 <= W: the last
// tile of a row may overhang the right edge by up to 3 px.
constexpr int kRowRoom = 482;

}  // namespace

TFrameSmallGraphPanel::TFrameSmallGraphPanel(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameSmallGraphPanel>()) {
    ui->setupUi(this);
    ScrollBox1 = ui->ScrollBox1;
}

TFrameSmallGraphPanel::~TFrameSmallGraphPanel() = default;

TFrameServerGraphsSmall *TFrameSmallGraphPanel::AddServer(const std::string &server) {
    int index = 0;
    while (index < kEntryCount && GraphedServers[index].InUse) ++index;
    if (index == kEntryCount) return nullptr;

    st_FSGP_GraphedServers &entry = GraphedServers[index];
    auto *tile = new TFrameServerGraphsSmall(ui->ScrollBox1Contents);
    tile->Slot = index;  // the main window's SetOwner gives the same
    entry.Graph = tile;
    entry.ServerName = server;
    tile->SetServerName(server);
    entry.InUse = true;
    ArrangeGraphs();
    tile->show();
    return tile;
}

void TFrameSmallGraphPanel::RemoveServer(int index) {
    if (index < 0 || index >= kEntryCount) return;
    // Never called from inside the tile's own event handling (its close is deferred), so the
    // tile can go at once.
    delete GraphedServers[index].Graph;
    GraphedServers[index].Graph = nullptr;
    for (int i = index; i < kEntryCount; ++i) {
        st_FSGP_GraphedServers &entry = GraphedServers[i];
        if (i < kEntryCount - 1 && GraphedServers[i + 1].InUse) {
            const st_FSGP_GraphedServers &next = GraphedServers[i + 1];
            entry.Graph = next.Graph;
            entry.ServerName = next.ServerName;
            if (entry.Graph) entry.Graph->Slot = i;
        } else {
            entry.Graph = nullptr;
            entry.ServerName.clear();
            entry.InUse = false;
        }
    }
    ArrangeGraphs();
}

void TFrameSmallGraphPanel::ArrangeGraphs() {
    const int w = width();
    int x = 0, y = 0;
    int right = 0, bottom = 0;
    for (const st_FSGP_GraphedServers &entry : GraphedServers) {
        if (!entry.InUse || entry.Graph == nullptr) continue;
        entry.Graph->move(x, y);
        right = std::max(right, x + entry.Graph->width());
        bottom = std::max(bottom, y + entry.Graph->height());
        x += kTileStepX;
        if (x + kRowRoom > w) {
            x = 0;
            y += kTileStepY;
        }
    }
    // The contents hold every tile, so the scroll box scrolls to those beyond its view.
    ui->ScrollBox1Contents->resize(right, bottom);
}

void TFrameSmallGraphPanel::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    kivra::RunGuarded([this] { ArrangeGraphs(); });
}
