#include "TFrameTwinGrids.h"

#include "ui_TFrameTwinGrids.h"

#include "ExceptionDisplay.h"

#include <QLabel>
#include <QSplitter>

#include <charconv>
#include <climits>

namespace {
constexpr TColor kTitleBrush = 0x000000, kTitleFont = 0xFFFFFF;
constexpr TColor kSelectedBrush = 0x808080, kSelectedFont = 0xFFFFFF;
constexpr TColor kOddBrush = 0xFFFFFF, kEvenBrush = 0xE9E9E9, kRowFont = 0x000000;
constexpr TColor kIconTransparent = 0xFFFFFF;
constexpr int kGridFontPixels = 11;

// The state image of a letter: 0 grey, 1 red, 2 yellow, 3 green; -1 none.
int StateImage(const std::string &letter) {
    if (letter == "L") return 1;
    if (letter == "A") return 3;
    if (letter == "I") return 0;
    if (letter == "P") return 2;
    return -1;
}
}  // namespace

int CellNumber(const std::string &text, int fallback) {
    int value = 0;
    const char *begin = text.data(), *end = begin + text.size();
    if (begin == end || *begin == '+') return fallback;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end ? value : fallback;
}

TFrameTwinGrids::TFrameTwinGrids(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameTwinGrids>()) {
    ui->setupUi(this);
    sgLeft = ui->sgLeft;
    sgRight = ui->sgRight;
    Splitter1 = ui->Splitter1;
    Label1 = ui->Label1;
    LabelCount = ui->LabelCount;

    QFont gridFont(QStringLiteral("Verdana"));
    gridFont.setPixelSize(kGridFontPixels);
    for (QWidget *w : {static_cast<QWidget *>(sgLeft), static_cast<QWidget *>(sgRight),
                       static_cast<QWidget *>(LabelCount)})
        w->setFont(gridFont);
    // The left grid starts 1 px wide; the right one takes the rest, also when the frame grows.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({1, qMax(1, width() - 1 - Splitter1->handleWidth())});

    const char *images[] = {":/images/StateGrey.bmp", ":/images/StateRed.bmp",
                            ":/images/StateYellow.bmp", ":/images/StateGreen.bmp"};
    for (std::size_t i = 0; i < ImageListStates.size(); ++i)
        ImageListStates[i] = QImage(QString::fromLatin1(images[i]));

    // One table shown twice: the frozen grid shows the scrolling grid's own.
    sgLeft->ShareTable(sgRight);
    // Until its view fills it, the table is its title row alone: no data row, a count of 0.
    sgRight->SetRowCount(1);
    BindGrid(sgLeft);
    BindGrid(sgRight);
    SelectedRow = 1;
    IconColumn = -1;
    for (int &flag : RightAligned) flag = 0;
}

TFrameTwinGrids::~TFrameTwinGrids() = default;

void TFrameTwinGrids::BindGrid(TStringGrid *grid) {
    using kivra::Guarded;
    grid->OnDrawCell =
        Guarded([this](TStringGrid *sender, int col, int row, const QRect &rect,
                       TGridDrawState state) { sgDrawCell(sender, col, row, rect, state); });
    grid->OnSelectCell = Guarded([this](TStringGrid *sender, int col, int row, bool &canSelect) {
        sgSelectCell(sender, col, row, canSelect);
    });
    grid->OnTopLeftChanged = Guarded([this](TStringGrid *sender) { sgTopLeftChanged(sender); });
}

void TFrameTwinGrids::BindViewHandlers(TStringGrid *grid, TSelectCellHandler onSelectCell,
                                       TMouseDownHandler onMouseDown) {
    if (onSelectCell) grid->OnSelectCell = kivra::Guarded(std::move(onSelectCell));
    if (onMouseDown) grid->OnMouseDown = kivra::Guarded(std::move(onMouseDown));
}

QString TFrameTwinGrids::Title() const { return Label1->text(); }

void TFrameTwinGrids::setTitle(const QString &title) {
    Label1->setText(title);
    LabelCount->setText(QString::number(sgRight->RowCount() - 1) + title);
}

void TFrameTwinGrids::SyncGrids() {
    // The frozen grid shows the scrolling grid's table, so it holds every cell of it already:
    // left are the title row and the count.
    TStringTable *table = sgRight->Table();
    if (table->RowCount() > 1) table->SetFixedRows(1);
    LabelCount->setText(QString::number(table->RowCount() - 1) + Label1->text());
}

void TFrameTwinGrids::SetRedraw(bool on) {
    Suspended = !on;
    sgLeft->SetRedraw(on);
    sgRight->SetRedraw(on);
    if (on) {
        RightSuspended = false;
        // One paint per refill, when the event loop next paints: the panes' updates and the
        // reselection that follow the refill join it instead of painting the grids again.
        sgLeft->Invalidate();
        sgRight->Invalidate();
    }
}

void TFrameTwinGrids::SetRightRedraw(bool on) {
    if (Suspended || RightSuspended == !on) return;
    RightSuspended = !on;
    sgRight->SetRedraw(on);
}

void TFrameTwinGrids::SelectRow(int row) {
    sgLeft->SetRow(row);
    sgRight->SetRow(row);
    SelectedRow = row;
}

void TFrameTwinGrids::sgSelectCell(TStringGrid *, int, int ARow, bool &) {
    if (ARow < 1) return;
    SelectedRow = ARow;
    sgLeft->Invalidate();
    sgRight->Invalidate();
}

void TFrameTwinGrids::sgTopLeftChanged(TStringGrid *Sender) {
    const int top = Sender->TopRow();
    sgLeft->SetTopRow(top);
    sgRight->SetTopRow(top);
}

void TFrameTwinGrids::sgDrawCell(TStringGrid *Sender, int ACol, int ARow, const QRect &Rect,
                                 TGridDrawState) {
    TGridCanvas *canvas = Sender->Canvas();
    if (!canvas) return;
    if (ARow == 0) {
        canvas->Brush.Color = kTitleBrush;
        canvas->Font.Color = kTitleFont;
    } else if (ARow == SelectedRow) {
        canvas->Brush.Color = kSelectedBrush;
        canvas->Font.Color = kSelectedFont;
    } else {
        canvas->Brush.Color = ARow % 2 ? kOddBrush : kEvenBrush;
        canvas->Font.Color = kRowFont;
    }
    canvas->FillRect(Rect);

    const std::string &text = Sender->Cells(ACol, ARow);
    if (ACol > 0 || IconColumn == -1) {
        if (ACol >= 0 && ACol < kMaxColumns && RightAligned[ACol] == 1) {
            const std::string shown = text + " ";
            canvas->TextRect(Rect, Rect.right() + 1 - canvas->TextWidth(shown), Rect.top(), shown);
        } else {
            canvas->TextRect(Rect, Rect.left(), Rect.top(), " " + text);
        }
        return;
    }
    if (ARow == 0 || ACol != IconColumn) return;
    const int image = StateImage(text);
    if (image >= 0)
        canvas->Draw(Rect.left(), Rect.top(), ImageListStates[static_cast<std::size_t>(image)],
                     kIconTransparent);
}

void TFrameTwinGrids::SetupColumns(const TGridColumns &columns, int iconColumn) {
    IconColumn = iconColumn;
    const int count = columns.Count();
    for (TStringGrid *grid : {sgRight, sgLeft}) {
        grid->SetColCount(count);
        for (int col = 0; col < count; ++col) {
            const TGridColumn &c = columns.Columns[static_cast<std::size_t>(col)];
            grid->SetColWidths(col, grid == sgLeft && c.LeftWidth > 0 ? c.LeftWidth : c.Width);
        }
    }
    for (int col = 0; col < count; ++col)
        sgRight->SetCells(col, 0, columns.Columns[static_cast<std::size_t>(col)].Title);
    SyncGrids();
    for (int col = 0; col < kMaxColumns; ++col)
        RightAligned[col] =
            col < count && columns.Columns[static_cast<std::size_t>(col)].RightAligned ? 1 : 0;
}

bool TFrameTwinGrids::PressedCell(TStringGrid *grid, int X, int Y, int &col, int &row) {
    grid->MouseToCell(X, Y, col, row);
    if (col < 0) return false;
    grid->SetCol(col);
    return true;
}

void TFrameTwinGrids::Clear() {
    sgRight->SetRowCount(1);
    SyncGrids();
}

int TFrameTwinGrids::SelectedNumber(int col) const {
    if (SelectedRow < 1 || SelectedRow >= sgRight->RowCount()) return -1;
    return CellNumber(sgRight->Cells(col, SelectedRow));
}
