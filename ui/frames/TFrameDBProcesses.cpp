#include "TFrameDBProcesses.h"

#include "ui_TFrameDBProcesses.h"

#include "DBServerInfoSource.h"

TFrameDBProcesses::TFrameDBProcesses(QWidget *parent)
    : TFrameGroupProcesses(parent,
                           {{1}, true, kLayoutKey, kDesignDatabasesHeight, kDesignDetailHeight}),
      ui(std::make_unique<Ui::TFrameDBProcesses>()) {
    ui->setupUi(this);
    FrameDBGrids = ui->FrameDBGrids;
    Assemble({ui->FrameServerTitleBar1, ui->FrameDBGrids, ui->FrameProcessGrids,
              ui->FrameCurrentProcessInfo, ui->Splitters});
}

TFrameDBProcesses::~TFrameDBProcesses() = default;

void TFrameDBProcesses::SetGroupSortKey(TSortKey key) { ServerInfo->SetDatabaseSortKey(key); }

void TFrameDBProcesses::FillGroupGrid(TStringTable *grid) { ServerInfo->FillDatabaseGrid(grid); }

int TFrameDBProcesses::FindGroup(const std::vector<std::string> &key) const {
    return ServerInfo->FindDatabase(key.at(0).c_str());
}

void TFrameDBProcesses::FillGroupSessions(const std::vector<std::string> &key, TStringTable *grid) {
    ServerInfo->FillDatabaseProcessGrid(key.at(0).c_str(), grid);
}
