#include "ViewTestSupport.h"

#include "KivraThreadSource.h"

#include <QHeaderView>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSplitter>
#include <QTest>

FedServer::FedServer(const std::string &name) : ModelObject(std::make_unique<TDBServerInfo>()) {
    Thread = new TKivraThread(true);
    ModelObject->SetServerName(name);
    ModelObject->Thread = Thread;
}

FedServer::~FedServer() {
    ModelObject.reset();
    Thread->Stop();  // frees itself
}

void FedServer::Poll(const std::vector<FedRow> &rows) {
    TDBServerInfo &m = *ModelObject;
    m.SetDisconnected(false);
    m.BeginPollCycle();
    for (const FedRow &r : rows) {
        stProcessRow row;
        row.SPID = r.spid;
        row.ECID = r.ecid;
        row.DatabaseName = r.database.c_str();
        row.LoginName = r.login.c_str();
        row.HostName = r.host.c_str();
        row.NTDomain = r.domain.c_str();
        row.NTUserName = r.user.c_str();
        row.NetAddress = r.address.c_str();
        row.Command = r.command.c_str();
        row.Status = r.status.c_str();
        row.ProgramName = r.program.c_str();
        row.Blocked = r.blocked;
        row.LoginTime = r.loginTime;
        row.LastBatch = r.lastBatch;
        row.CPU = r.cpu;
        row.MemUsage = r.mem;
        row.PhysicalIO = r.io;
        row.OpenTran = r.openTran;
        row.LastWaitType = r.waitType.c_str();
        row.WaitResource = r.waitResource.c_str();
        row.WaitTime = r.waitTime;
        row.NetLibrary = r.library.c_str();
        row.HostProcess = r.hostProcess.c_str();
        m.AddProcessRow(row);
    }
    m.EndPollCycle();
}

std::vector<FedRow> Sessions(int first, int count) {
    std::vector<FedRow> rows;
    for (int spid = first; spid < first + count; ++spid) {
        FedRow r;
        r.spid = spid;
        r.login = "user" + std::to_string(spid);
        r.host = "HOST" + std::to_string(spid);
        rows.push_back(r);
    }
    return rows;
}

SortStateGuard::SortStateGuard()
    : Keys{TDBServerInfo::FilteredProcessSortKey, TDBServerInfo::ProcessSortKey,
           TDBServerInfo::UserSortKey, TDBServerInfo::DatabaseSortKey},
      Ascending{TDBServerInfo::FilteredProcessSortAscending, TDBServerInfo::ProcessSortAscending,
                TDBServerInfo::UserSortAscending, TDBServerInfo::DatabaseSortAscending} {}

SortStateGuard::~SortStateGuard() {
    TDBServerInfo::FilteredProcessSortKey = Keys[0];
    TDBServerInfo::ProcessSortKey = Keys[1];
    TDBServerInfo::UserSortKey = Keys[2];
    TDBServerInfo::DatabaseSortKey = Keys[3];
    TDBServerInfo::FilteredProcessSortAscending = Ascending[0];
    TDBServerInfo::ProcessSortAscending = Ascending[1];
    TDBServerInfo::UserSortAscending = Ascending[2];
    TDBServerInfo::DatabaseSortAscending = Ascending[3];
}

bool DefaultAscending(TSortKey key) {
    return key <= skNetLibrary || key == skHostProcess || key == skThreads;
}

const TSortKey kSessionColumnKeys[25] = {
    skSPID, skSPID, skLoginName, skHostName, skDatabase, skCommand, skStatus, skProgramName,
    skThreads, skThreadsDelta, skLoginTime, skLastBatch, skCPU, skCPUDelta, skMemUsage,
    skMemDelta, skPhysicalIO, skIODelta, skLocked, skOpenTran, skWaitTime, skHostProcess,
    skNTLogin, skNetLibrary, skNetAddress};

std::vector<std::string> Column(const TStringGrid *grid, int col) {
    std::vector<std::string> out;
    for (int row = 1; row < grid->RowCount(); ++row) out.push_back(grid->Cells(col, row));
    return out;
}

QRect CellRect(TStringGrid *grid, int col, int row) {
    if (row < grid->FixedRows()) {
        QHeaderView *header = grid->horizontalHeader();
        const QRect section(header->sectionViewportPosition(col), 0, header->sectionSize(col),
                            header->height());
        return section.translated(header->viewport()->mapTo(grid, QPoint(0, 0)));
    }
    const QRect cell = grid->visualRect(grid->model()->index(row, col));
    return cell.translated(grid->viewport()->mapTo(grid, QPoint(0, 0)));
}

QColor PixelIn(TStringGrid *grid, int col, int row, QPoint offset) {
    const QRect cell = CellRect(grid, col, row);
    const int x = offset.x() >= 0 ? cell.left() + offset.x() : cell.right() + 1 + offset.x();
    const int y = offset.y() >= 0 ? cell.top() + offset.y() : cell.bottom() + 1 + offset.y();
    const QImage picture = grid->grab().toImage();
    const qreal ratio = picture.devicePixelRatio();
    return picture.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
}

void ClickAt(TStringGrid *grid, QPoint at, Qt::MouseButton button) {
    QHeaderView *header = grid->horizontalHeader();
    QWidget *target = grid->viewport();
    if (header->isVisible() && header->geometry().contains(at)) target = header->viewport();
    const QPoint local = target->mapFrom(grid, at);
    QTest::mousePress(target, button, Qt::NoModifier, local);
    QTest::mouseRelease(target, button, Qt::NoModifier, local);
}

void ClickCell(TStringGrid *grid, int col, int row, Qt::MouseButton button) {
    const QRect cell = CellRect(grid, col, row);
    ClickAt(grid, QPoint(cell.left() + qMin(8, cell.width() / 2), cell.center().y()), button);
}

QColor Rgb(std::uint32_t color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

void DragSplitter(QSplitter *splitter, int index, int dy) {
    QSplitterHandle *handle = splitter->handle(index);
    const QPoint from = handle->rect().center(), to = from + QPoint(0, dy);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(handle->mapToGlobal(at)), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(handle, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}
