#include "TFrameEventLog.h"

#include "ui_TFrameEventLog.h"

#include "ExceptionDisplay.h"

namespace {

constexpr TColor kTitleBack = 0x000000, kSelectedBack = 0x808080, kOddBack = 0xFFFFFF,
                 kEvenBack = 0xE9E9E9, kLightText = 0xFFFFFF, kDarkText = 0x000000;

const struct {
    const char *Title;
    int Width;
} kLogColumns[] = {{"Log ID", 85}, {"Archive Date", 185}, {"Log File Size", 140}};

}  // namespace

TFrameEventLog::TFrameEventLog(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameEventLog>()) {
    ui->setupUi(this);
    TStringGrid *logs = ui->StringGrid1;
    logs->SetColCount(3);
    logs->SetRowCount(5);
    logs->SetFixedRows(1);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(11);
    logs->setFont(font);
    for (int col = 0; col < 3; ++col) {
        logs->SetColWidths(col, kLogColumns[col].Width);
        logs->SetCells(col, 0, kLogColumns[col].Title);
    }
    logs->OnDrawCell = kivra::Guarded(
        [this](TStringGrid *sender, int col, int row, const QRect &rect, TGridDrawState state) {
            StringGrid1DrawCell(sender, col, row, rect, state);
        });
    logs->OnSelectCell =
        kivra::Guarded([this](TStringGrid *sender, int col, int row, bool &canSelect) {
            StringGrid1SelectCell(sender, col, row, canSelect);
        });

    TStringGrid *details = ui->StringGrid2;
    details->SetColCount(5);
    details->SetRowCount(5);
    details->SetFixedRows(1);

    // The list keeps its height when the view grows; the lower grid takes the rest.
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->setSizes({89, height() - 89 - ui->Splitter1->handleWidth()});
    SelectedRow = 1;
}

TFrameEventLog::~TFrameEventLog() = default;

void TFrameEventLog::StringGrid1DrawCell(TStringGrid *Sender, int ACol, int ARow, const QRect &Rect,
                                         TGridDrawState) {
    TGridCanvas *canvas = Sender->Canvas();
    if (!canvas) return;
    if (ARow == 0) {
        canvas->Brush.Color = kTitleBack;
        canvas->Font.Color = kLightText;
    } else if (ARow == SelectedRow) {
        canvas->Brush.Color = kSelectedBack;
        canvas->Font.Color = kLightText;
    } else {
        canvas->Brush.Color = ARow % 2 ? kOddBack : kEvenBack;
        canvas->Font.Color = kDarkText;
    }
    canvas->FillRect(Rect);
    const std::string text = Sender->Cells(ACol, ARow) + " ";
    // Right-aligned, the trailing blank included in the width.
    canvas->TextRect(Rect, Rect.x() + Rect.width() - canvas->TextWidth(text), Rect.top(), text);
}

void TFrameEventLog::StringGrid1SelectCell(TStringGrid *Sender, int, int ARow, bool &CanSelect) {
    if (ARow > 0) {
        SelectedRow = ARow;
        Sender->Repaint();
    }
    CanSelect = true;
}
