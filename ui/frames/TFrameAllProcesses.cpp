#include "TFrameAllProcesses.h"

#include "ui_TFrameAllProcesses.h"

#include "DBServerInfoSource.h"
#include "ExceptionDisplay.h"
#include "GridColumns.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameTwinGrids.h"
#include "TStoredSplitterLayout.h"

#include <QSplitter>

TFrameAllProcesses::TFrameAllProcesses(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameAllProcesses>()) {
    ui->setupUi(this);
    FrameServerTitleBar1 = ui->FrameServerTitleBar1;
    FrameCurrentProcessInfo = ui->FrameCurrentProcessInfo;
    FrameProcessGrids = ui->FrameProcessGrids;

    Layout = new TStoredSplitterLayout(ui->Splitter1, kLayoutKey,
                                       {{"TopSplitValue", TStoredSplitterLayout::SplitterTop, 1},
                                        {"TopGrid", TStoredSplitterLayout::PanelHeight, 0},
                                        {"BottomGrid", TStoredSplitterLayout::PanelHeight, 1}},
                                       0, {0, kDesignDetailHeight});
    Layout->Restore();
    SetupProcessGrid();

    for (TStringGrid *grid : {FrameProcessGrids->sgLeft, FrameProcessGrids->sgRight})
        FrameProcessGrids->BindViewHandlers(
            grid,
            [this](TStringGrid *s, int c, int r, bool &ok) {
                FrameProcessGridssgRightSelectCell(s, c, r, ok);
            },
            [this](TStringGrid *s, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
                FrameProcessGridssgRightMouseDown(s, b, m, x, y);
            });
    connect(ui->Splitter1, &QSplitter::splitterMoved, this,
            kivra::Guarded([this] { Splitter1Moved(); }));
}

TFrameAllProcesses::~TFrameAllProcesses() = default;

void TFrameAllProcesses::SetupProcessGrid() {
    FrameProcessGrids->SetupColumns(SessionGridColumns(), 0);
}

void TFrameAllProcesses::RefreshView() {
    if (!ServerInfo) {
        FrameProcessGrids->Clear();
        FrameCurrentProcessInfo->ShowProcess(-1);
        FrameServerTitleBar1->SetServerName(std::string());
        return;
    }
    RefreshProcessGrid();
}

void TFrameAllProcesses::RefreshProcessGrid() {
    if (!ServerInfo) return;
    FrameProcessGrids->SetRedraw(false);
    ServerInfo->FillProcessGrid(FrameProcessGrids->sgRight->Table());
    FrameProcessGrids->SyncGrids();
    FrameProcessGrids->SetRedraw(true);
    ShowSelectedProcess();
}

void TFrameAllProcesses::ShowSelectedProcess() {
    if (!ServerInfo) return;
    FrameProcessGrids->SetRightRedraw(false);
    // A highlighted row past the end holds no session: the pane is emptied, never fed the text
    // that row held before.
    FrameCurrentProcessInfo->ShowProcess(FrameProcessGrids->SelectedNumber(1));
    FrameProcessGrids->SetRightRedraw(true);
}

int TFrameAllProcesses::GetSelectedSpid() {
    return ServerInfo ? FrameProcessGrids->SelectedNumber(1) : -1;
}

void TFrameAllProcesses::FrameProcessGridssgRightSelectCell(TStringGrid *Sender, int ACol, int ARow,
                                                            bool &CanSelect) {
    if (!ServerInfo) return;
    FrameProcessGrids->sgSelectCell(Sender, ACol, ARow, CanSelect);
    ShowSelectedProcess();
}

void TFrameAllProcesses::FrameProcessGridssgRightMouseDown(TStringGrid *Sender, Qt::MouseButton,
                                                           Qt::KeyboardModifiers, int X, int Y) {
    if (!ServerInfo) return;
    int col = -1, row = -1;
    if (!TFrameTwinGrids::PressedCell(Sender, X, Y, col, row)) return;
    if (row == 0) ServerInfo->SetProcessSortKey(SessionGridColumns().KeyOf(col));
    RefreshProcessGrid();
}

void TFrameAllProcesses::Splitter1Moved() { Layout->Save(); }
