#pragma once
// What the session views' tests share: a server model fed by the test itself (the rows are
// PollRow), and reading and clicking the grids as a user sees them. The class-wide sort state is
// put back after each test by a ModelStateGuard.

#include "DBServerInfoSource.h"
#include "ModelStateGuard.h"
#include "PollRow.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TStringGrid.h"

#include <QColor>
#include <QRect>

#include <memory>
#include <string>
#include <vector>

class QSplitter;
class TKivraThread;

// A model fed poll by poll as the worker's hand-over feeds it. Its thread object is never
// connected: the detail pane's input-buffer call answers "NONE" / "<No SQL Found>" and the
// statement call an empty text, without any server. Main thread only.
class FedServer {
public:
    explicit FedServer(const std::string &name = "FED\\ONE");
    ~FedServer();
    FedServer(const FedServer &) = delete;
    FedServer &operator=(const FedServer &) = delete;

    TDBServerInfo *Model() const { return ModelObject.get(); }
    void Poll(const std::vector<PollRow> &rows);

private:
    std::unique_ptr<TDBServerInfo> ModelObject;
    TKivraThread *Thread = nullptr;
};

// What the client area does when it binds a server (nullptr: none) to a view with one pane.
template <typename View> void Bind(View &view, TDBServerInfo *server) {
    view.ServerInfo = server;
    TFrameProcessInfo *pane = view.FrameCurrentProcessInfo;
    pane->ServerInfo = server;
    pane->CurrentSpid = pane->InputBufferSpid = pane->StatementSpid = -1;
    view.FrameServerTitleBar1->SetServerName(server ? server->ServerName : std::string());
}

// The direction a key starts in when it is chosen anew: texts and times ascending, counts
// descending.
bool DefaultAscending(TSortKey key);
// The key a click on each title of the session grid sorts by.
extern const TSortKey kSessionColumnKeys[25];

// Column col of the data rows (1 .. RowCount - 1) of a grid.
std::vector<std::string> Column(const TStringGrid *grid, int col);
// The cell's rectangle in the grid's own coordinates (row 0 while fixed: the title above).
QRect CellRect(TStringGrid *grid, int col, int row);
// The colour of the painted pixel at offset inside the cell (negative offsets from the right or
// bottom edge), read from a picture of the whole grid.
QColor PixelIn(TStringGrid *grid, int col, int row, QPoint offset);
// A press and release of button on the cell, as a user's click.
void ClickCell(TStringGrid *grid, int col, int row, Qt::MouseButton button = Qt::LeftButton);
// A click at a point of the grid's own coordinates.
void ClickAt(TStringGrid *grid, QPoint at, Qt::MouseButton button = Qt::LeftButton);

// Drags handle index (1..) of a vertical splitter by dy pixels with the left button and lets go.
void DragSplitter(QSplitter *splitter, int index, int dy);

// TColor (0x00BBGGRR) as the QColor a picture shows.
QColor Rgb(std::uint32_t color);
