#include "TFrameBlockedProcesses.h"

#include "ui_TFrameBlockedProcesses.h"

#include "DBServerInfoSource.h"
#include "GridColumns.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameTwinGrids.h"

#include <QSplitter>

namespace {
constexpr int kBlockedByColumn = 18;
constexpr int kSpidColumn = 1;

// The design heights: the lower part (or pane) keeps its height, the upper one takes the rest.
void SetDesignHeights(QSplitter *splitter, int total, int lower) {
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({qMax(1, total - lower - splitter->handleWidth()), lower});
}
}  // namespace

TFrameBlockedProcesses::TFrameBlockedProcesses(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameBlockedProcesses>()) {
    ui->setupUi(this);
    FrameServerTitleBar1 = ui->FrameServerTitleBar1;
    FrameBlockedProcess = ui->FrameBlockedProcess;
    FrameBlockingProcess = ui->FrameBlockingProcess;
    FrameBlockedProcessesGrids = ui->FrameBlockedProcessesGrids;
    SetDesignHeights(ui->Splitter2sdfsdf, height(), kDesignPanesHeight);
    SetDesignHeights(ui->Splitter1, kDesignPanesHeight, kDesignBlockingHeight);

    SetupProcessGrid();
    FrameBlockedProcessesGrids->BindViewHandlers(
        FrameBlockedProcessesGrids->sgRight,
        [this](TStringGrid *s, int c, int r, bool &ok) {
            FrameBlockedProcessesGridssgRightSelectCell(s, c, r, ok);
        },
        nullptr);
}

TFrameBlockedProcesses::~TFrameBlockedProcesses() = default;

void TFrameBlockedProcesses::SetupProcessGrid() {
    FrameBlockedProcessesGrids->SetupColumns(SessionGridColumns(), 0);
}

void TFrameBlockedProcesses::RefreshView() {
    if (!ServerInfo) {
        FrameBlockedProcessesGrids->Clear();
        FrameBlockedProcess->ShowProcess(-1);
        FrameBlockingProcess->ShowProcess(-1);
        FrameServerTitleBar1->SetServerName(std::string());
        return;
    }
    RefreshProcessGrid();
}

void TFrameBlockedProcesses::RefreshProcessGrid() {
    if (!ServerInfo) return;
    FrameBlockedProcessesGrids->SetRedraw(false);
    ServerInfo->FillBlockedProcessGrid(FrameBlockedProcessesGrids->sgRight->Table());
    FrameBlockedProcessesGrids->SyncGrids();
    FrameBlockedProcessesGrids->SetRedraw(true);
    ShowSelectedProcesses();
}

void TFrameBlockedProcesses::ShowSelectedProcesses() {
    if (!ServerInfo) return;
    TFrameTwinGrids *grids = FrameBlockedProcessesGrids;
    grids->SetRightRedraw(false);
    // No blocked session, or a highlighted row past the end (whose old texts are never used):
    // both panes are emptied.
    const int blocked = grids->SelectedNumber(kSpidColumn);
    if (grids->sgRight->RowCount() < 2 || blocked < 0) {
        FrameBlockedProcess->ShowProcess(-1);
        FrameBlockingProcess->ShowProcess(-1);
    } else {
        FrameBlockedProcess->ShowProcess(blocked);
        FrameBlockingProcess->ShowProcess(grids->SelectedNumber(kBlockedByColumn));
    }
    grids->SetRightRedraw(true);
}

void TFrameBlockedProcesses::FrameBlockedProcessesGridssgRightSelectCell(TStringGrid *Sender,
                                                                         int ACol, int ARow,
                                                                         bool &CanSelect) {
    if (!ServerInfo) return;
    FrameBlockedProcessesGrids->sgSelectCell(Sender, ACol, ARow, CanSelect);
    ShowSelectedProcesses();
}
