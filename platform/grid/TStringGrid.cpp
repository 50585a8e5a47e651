#include "TStringGrid.h"

#include "TStringGridDelegate.h"
#include "TStringGridHeader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {
constexpr int kRowHeight = 16;
constexpr int kDefaultColWidth = 64;
constexpr TColor kFixedColor = 0xF0F0F0;
constexpr TColor kWindowColor = 0xFFFFFF;
constexpr TColor kHighlightColor = 0xD77800;
constexpr TColor kTextColor = 0x000000;
constexpr TColor kHighlightTextColor = 0xFFFFFF;
}  // namespace

TStringGrid::TStringGrid(QWidget *parent)
    : QTableView(parent), Store(new TStringTable(this)), Painter(new TStringGridDelegate(this)),
      Header(new TStringGridHeader(this)), Metrics(font()) {
    setHorizontalHeader(Header);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->hide();
    Header->setDefaultSectionSize(kDefaultColWidth);
    setItemDelegate(Painter);
    setModel(Store);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    Widths.assign(static_cast<std::size_t>(Store->ColCount()), kDefaultColWidth);

    Header->viewport()->installEventFilter(this);
    connect(Header, &QHeaderView::sectionResized, this, [this](int col, int, int width) {
        if (col >= 0 && col < static_cast<int>(Widths.size()))
            Widths[static_cast<std::size_t>(col)] = width;
    });
    BindTable();
    auto scrolled = [this](int) {
        if (!Placing && OnTopLeftChanged) OnTopLeftChanged(this);
    };
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    ApplyLayout();
}

TStringGrid::~TStringGrid() = default;

void TStringGrid::BindTable() {
    connect(Store, &QAbstractItemModel::modelReset, this, &TStringGrid::ApplyLayout);
    connect(Store, &QAbstractItemModel::rowsRemoved, this, &TStringGrid::ApplyLayout);
    connect(Store, &QAbstractItemModel::rowsInserted, this, &TStringGrid::ApplyLayout);
    connect(Store, &QAbstractItemModel::columnsInserted, this, &TStringGrid::ApplyLayout);
    connect(Store, &QAbstractItemModel::columnsRemoved, this, &TStringGrid::ApplyLayout);
    connect(Store, &TStringTable::FixedRowsChanged, this, &TStringGrid::ApplyLayout);
    connect(Store, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        ResetScroll = {verticalScrollBar()->value(), horizontalScrollBar()->value()};
        RestoreAfterReset = true;
    });
}

void TStringGrid::ShareTable(TStringGrid *source) {
    if (!source || source == this || source->Store == Store) return;
    if (Suspended) SetRedraw(true);
    TStringTable *own = Store;
    disconnect(own, nullptr, this, nullptr);
    Store = source->Store;
    QItemSelectionModel *ownSelection = selectionModel();
    setModel(Store);
    delete ownSelection;
    delete own;
    BindTable();
    ApplyLayout();
}

int TStringGrid::ColWidths(int col) const {
    if (col < 0 || col >= static_cast<int>(Widths.size())) return 0;
    return Widths[static_cast<std::size_t>(col)];
}

void TStringGrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= ColCount()) return;
    width = std::max(width, 0);
    if (col >= static_cast<int>(Widths.size()))
        Widths.resize(static_cast<std::size_t>(col) + 1, kDefaultColWidth);
    Widths[static_cast<std::size_t>(col)] = width;
    if (col < Header->count()) setColumnWidth(col, width);
}

void TStringGrid::ApplyLayout() {
    // A reset of the table rebuilds the header sections: put back widths and the title row.
    Widths.resize(static_cast<std::size_t>(Store->ColCount()), kDefaultColWidth);
    const int shown = Header->count();
    for (int c = 0; c < shown && c < static_cast<int>(Widths.size()); ++c)
        if (Header->sectionSize(c) != Widths[static_cast<std::size_t>(c)])
            Header->resizeSection(c, Widths[static_cast<std::size_t>(c)]);
    const bool titleFixed = Store->FixedRows() > 0;
    if (model()->rowCount() > 0 && isRowHidden(0) != titleFixed) setRowHidden(0, titleFixed);
    Header->setVisible(titleFixed);
    PlaceCurrentSilently();
}

void TStringGrid::PlaceCurrentSilently() {
    // Keeping the current cell must not scroll: the view stays where the user left it, also
    // across a reset of the table (which would otherwise scroll to the current row). Only a
    // cell chosen during a suspended refill is scrolled into view.
    const QPoint before =
        RestoreAfterReset ? ResetScroll
                          : QPoint(verticalScrollBar()->value(), horizontalScrollBar()->value());
    const int rows = std::min(Store->RowCount(), model()->rowCount());
    const int cols = std::min(Store->ColCount(), model()->columnCount());
    if (rows <= 0 || cols <= 0 || Store->Updating()) return;
    RestoreAfterReset = false;
    CurRow = std::clamp(CurRow, Store->FixedRows(), rows - 1);
    CurCol = std::clamp(CurCol, 0, cols - 1);
    const QModelIndex want = model()->index(CurRow, CurCol);
    Placing = true;
    if (selectionModel()->currentIndex() != want)
        selectionModel()->setCurrentIndex(want, QItemSelectionModel::ClearAndSelect);
    updateGeometries();
    verticalScrollBar()->setValue(before.x());
    horizontalScrollBar()->setValue(before.y());
    if (ScrollToCurrent) scrollTo(want);
    ScrollToCurrent = false;
    Placing = false;
    if (OnTopLeftChanged && (verticalScrollBar()->value() != before.x() ||
                             horizontalScrollBar()->value() != before.y()))
        OnTopLeftChanged(this);
}

void TStringGrid::MoveCurrent(int col, int row) {
    if (row < Store->FixedRows() || row >= Store->RowCount() || col < 0 || col >= Store->ColCount())
        return;
    if (row == CurRow && col == CurCol) {
        ChosenRow = row;  // set to itself: the cell stays, now as chosen
        return;
    }
    const QModelIndex want = model()->index(row, col);
    if (want.isValid() && !isRowHidden(row)) {
        selectionModel()->setCurrentIndex(want, QItemSelectionModel::ClearAndSelect);
        return;
    }
    // Inside a suspended refill the view may not show that cell yet: raise the event now and
    // place the cell (scrolled into view) when the refill ends.
    bool canSelect = true;
    if (OnSelectCell) OnSelectCell(this, col, row, canSelect);
    if (!canSelect) return;
    CurRow = ChosenRow = row;
    CurCol = col;
    ScrollToCurrent = true;
}

void TStringGrid::SetRow(int row) { MoveCurrent(CurCol, row); }
void TStringGrid::SetCol(int col) { MoveCurrent(col, CurRow); }

void TStringGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    if (!Placing && current.isValid() && (current.row() != CurRow || current.column() != CurCol)) {
        bool canSelect = true;
        if (current.row() < Store->FixedRows())
            canSelect = false;
        else if (OnSelectCell)
            OnSelectCell(this, current.column(), current.row(), canSelect);
        if (canSelect) {
            CurRow = ChosenRow = current.row();
            CurCol = current.column();
        } else {
            QTableView::currentChanged(current, previous);
            const QModelIndex back = model()->index(CurRow, CurCol);
            Placing = true;
            selectionModel()->setCurrentIndex(back, QItemSelectionModel::ClearAndSelect);
            Placing = false;
            return;
        }
    }
    QTableView::currentChanged(current, previous);
}

int TStringGrid::TopRow() const {
    const int row = rowAt(0);
    return row < 0 ? Store->FixedRows() : row;
}

void TStringGrid::SetTopRow(int row) {
    row = std::clamp(row, Store->FixedRows(), std::max(Store->FixedRows(), Store->RowCount() - 1));
    if (row == TopRow() || row >= model()->rowCount()) return;
    const int col = std::max(columnAt(0), 0);
    scrollTo(model()->index(row, col), QAbstractItemView::PositionAtTop);
}

void TStringGrid::MouseToCell(int X, int Y, int &ACol, int &ARow) const {
    ACol = ARow = -1;
    const QPoint at(X, Y);
    if (Header->isVisible() && Header->geometry().contains(at)) {
        const int col = Header->logicalIndexAt(Header->mapFrom(this, at).x());
        if (col >= 0 && col < Store->ColCount()) {
            ACol = col;
            ARow = 0;
        }
        return;
    }
    if (!viewport()->geometry().contains(at)) return;
    const QPoint local = viewport()->mapFrom(this, at);
    const int row = rowAt(local.y()), col = columnAt(local.x());
    if (row < 0 || col < 0 || row >= Store->RowCount() || col >= Store->ColCount()) return;
    ACol = col;
    ARow = row;
}

bool TStringGrid::IsBelowLastRow(int X, int Y) const {
    const QPoint at(X, Y);
    if (!viewport()->geometry().contains(at)) return false;
    // The rows start at the viewport's top (it scrolls by whole rows), so a point of the viewport
    // over no row is below the last one.
    return rowAt(viewport()->mapFrom(this, at).y()) < 0;
}

void TStringGrid::Repaint() {
    viewport()->repaint();
    if (Header->isVisible()) Header->viewport()->repaint();
}

void TStringGrid::Invalidate() {
    viewport()->update();
    if (Header->isVisible()) Header->viewport()->update();
}

void TStringGrid::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) Metrics = QFontMetrics(font());
    QTableView::changeEvent(event);
}

void TStringGrid::SetRedraw(bool on) {
    if (on == !Suspended) return;
    Suspended = !on;
    if (!on) {
        setUpdatesEnabled(false);
        Store->BeginUpdate();
    } else {
        Store->EndUpdate();
        setUpdatesEnabled(true);
    }
}

void TStringGrid::RaiseMouseDown(QMouseEvent *event, QWidget *from) {
    if (!OnMouseDown) return;
    const QPoint at = from->mapTo(this, event->position().toPoint());
    OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
}

void TStringGrid::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        // Other buttons leave the current cell (and the selection) alone.
        event->accept();
        RaiseMouseDown(event, viewport());
        return;
    }
    // A click on a current cell that a refill placed (its chosen row being gone) is the user's
    // first move to it; any other click on the current cell moves nothing and raises nothing.
    const QModelIndex hit = indexAt(event->position().toPoint());
    const bool placed = hit.isValid() && hit.row() == CurRow && hit.column() == CurCol &&
                        CurRow != ChosenRow;
    QTableView::mousePressEvent(event);
    if (placed) {
        bool canSelect = true;
        if (OnSelectCell) OnSelectCell(this, CurCol, CurRow, canSelect);
        if (canSelect) ChosenRow = CurRow;
    }
    RaiseMouseDown(event, viewport());
}

void TStringGrid::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

bool TStringGrid::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Header->viewport() && event->type() == QEvent::MouseButtonPress)
        RaiseMouseDown(static_cast<QMouseEvent *>(event), Header->viewport());
    return QTableView::eventFilter(watched, event);
}

void TStringGrid::PaintCell(QPainter &painter, const QRect &rect, int col, int row,
                            TGridDrawState state) {
    TGridCanvas canvas(painter, font(), Metrics, PaintCache);
    if (OnDrawCell) {
        TGridCanvas *outer = ActiveCanvas;
        ActiveCanvas = &canvas;
        OnDrawCell(this, col, row, rect, state);
        ActiveCanvas = outer;
        return;
    }
    const bool selected = (state & gdSelected) && !(state & gdFixed);
    canvas.Brush.Color = (state & gdFixed) ? kFixedColor
                         : selected        ? kHighlightColor
                                           : kWindowColor;
    canvas.Font.Color = selected ? kHighlightTextColor : kTextColor;
    canvas.TextRect(rect, rect.left() + 2, rect.top(), Store->Cells(col, row));
}
