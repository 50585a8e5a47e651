#include "TFrameUserProcesses.h"

#include "ui_TFrameUserProcesses.h"

#include "DBServerInfoSource.h"

namespace {
constexpr int kLoginColumn = 1, kAddressColumn = 16;  // a user's key in the users grid
}

TFrameUserProcesses::TFrameUserProcesses(QWidget *parent)
    : TFrameGroupProcesses(parent, {{kLoginColumn, kAddressColumn},
                                    false,
                                    kLayoutKey,
                                    kDesignUsersHeight,
                                    kDesignDetailHeight}),
      ui(std::make_unique<Ui::TFrameUserProcesses>()) {
    ui->setupUi(this);
    FrameUserGrids = ui->FrameUserGrids;
    Assemble({ui->FrameServerTitleBar1, ui->FrameUserGrids, ui->FrameProcessGrids,
              ui->FrameCurrentProcessInfo, ui->Splitters});
}

TFrameUserProcesses::~TFrameUserProcesses() = default;

void TFrameUserProcesses::SetGroupSortKey(TSortKey key) { ServerInfo->SetUserSortKey(key); }

void TFrameUserProcesses::FillGroupGrid(TStringTable *grid) { ServerInfo->FillUserGrid(grid); }

int TFrameUserProcesses::FindGroup(const std::vector<std::string> &key) const {
    return ServerInfo->FindUser(key.at(0).c_str(), key.at(1).c_str());
}

void TFrameUserProcesses::FillGroupSessions(const std::vector<std::string> &key,
                                            TStringTable *grid) {
    ServerInfo->FillUserProcessGrid(key.at(0).c_str(), key.at(1).c_str(), grid);
}
