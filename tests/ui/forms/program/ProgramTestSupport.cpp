#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "TFrameAllProcesses.h"
#include "TFrameServerList.h"
#include "TFrameTwinGrids.h"
#include "TestPump.h"

#include <QListWidget>

#include <algorithm>
#include <cstdio>

DialogAnswerer::DialogAnswerer() {
    Previous = kivra::SetModalDialogHandler([this](QDialog *dialog) {
        Shown.push_back(dialog->metaObject()->className());
        return Answer ? Answer(dialog) : int(QDialog::Rejected);
    });
}

DialogAnswerer::~DialogAnswerer() { kivra::SetModalDialogHandler(Previous); }

namespace {

std::vector<std::string> Rows(QListWidget *list) {
    std::vector<std::string> names;
    for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
    return names;
}

}  // namespace

std::vector<std::string> ActiveNames(TFormMain &window) {
    return Rows(window.FrameServerList1->ListBoxServerList);
}

std::vector<std::string> KnownNames(TFormMain &window) {
    return Rows(window.FrameServerList1->ListBoxAllServers);
}

bool WaitForPoll(TDBServerInfo *model) {
    return PumpUntil([model] { return model->History[TDBServerInfo::kHistorySize - 1].Filled; });
}

bool WaitForPolls(TDBServerInfo *model, int count) {
    // Every poll shifts the history by one: count the samples filled since now.
    const auto filled = [model] {
        int n = 0;
        for (const stStatSample &s : model->History) n += s.Filled ? 1 : 0;
        return n;
    };
    const int target = std::min(TDBServerInfo::kHistorySize, filled() + count);
    return PumpUntil([&] { return filled() >= target; }, 30000);
}

TDateTime LoginTimeOf(TDBServerInfo *model, int spid) {
    for (int i = 0; i < model->ProcessTable->Count; ++i) {
        const stProcessInfo &p = model->ProcessTable->Item<stProcessInfo>(i);
        if (p.SPID == spid) return p.LoginTime;
    }
    return -1;
}

bool HasSession(TDBServerInfo *model, int spid, TDateTime loginTime) {
    for (int i = 0; i < model->ProcessTable->Count; ++i) {
        const stProcessInfo &p = model->ProcessTable->Item<stProcessInfo>(i);
        if (p.SPID == spid && p.LoginTime == loginTime) return true;
    }
    return false;
}

int FindRow(TFrameAllProcesses *view, const std::function<bool(const GridSession &)> &match) {
    TStringGrid *grid = view->FrameProcessGrids->sgRight;
    for (int row = 1; row < grid->RowCount(); ++row)
        if (match({CellNumber(grid->Cells(1, row)), grid->Cells(7, row), grid->Cells(10, row)}))
            return row;
    return -1;
}

std::string RegHex(const std::string &bytes) {
    std::string text = "hex:";
    char part[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i) text += ",";
        text += part;
    }
    return text;
}

void ProgramTest::TearDown() { CloseWindow(); }

void ProgramTest::StartSims(int count, const SqlSimOptions &options) {
    Sims = std::make_unique<SqlSimInstances>(count, options);
    ASSERT_TRUE(Sims->Started()) << Sims->Error();
}

TFormMain &ProgramTest::Window() {
    if (!MainWindow) MainWindow = std::make_unique<TFormMain>();
    return *MainWindow;
}

void ProgramTest::CloseWindow() {
    MainWindow.reset();
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 30000));
}

bool ProgramTest::Connect(int instance) {
    return Window().ConnectToServer(Name(instance), false, SqlSimInstances::kLogin,
                                    SqlSimInstances::kPassword);
}

int ProgramTest::InstanceOf(int slot) {
    for (int i = 0; i < Sims->Count(); ++i)
        if (Window().Connections[slot].ServerName == Name(i)) return i;
    return -1;
}
