#include "ViewTestSupport.h"

#include "KivraThreadSource.h"

#include <QApplication>
#include <QHeaderView>
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

void FedServer::Poll(const std::vector<PollRow> &rows) {
    ModelObject->SetDisconnected(false);
    MergePoll(*ModelObject, rows);
}

bool DefaultAscending(TSortKey key) {
    return key <= skNetLibrary || key == skHostProcess || key == skThreads;
}

const TSortKey kSessionColumnKeys[25] = {
    skSPID,        skSPID,     skLoginName,    skHostName,  skDatabase,  skCommand,  skStatus,
    skProgramName, skThreads,  skThreadsDelta, skLoginTime, skLastBatch, skCPU,      skCPUDelta,
    skMemUsage,    skMemDelta, skPhysicalIO,   skIODelta,   skLocked,    skOpenTran, skWaitTime,
    skHostProcess, skNTLogin,  skNetLibrary,   skNetAddress};

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
