#pragma once
// What the main window's tests share: a fixture with a temporary settings file, the message-box
// recorder, simulated instances on demand and the main window built on demand; an answerer for
// modal dialogs; small readers of what the window shows.

#include "KivraThreadSource.h"
#include "MessageBoxRecorder.h"
#include "ModalDialog.h"
#include "SqlSimInstances.h"
#include "TDateTime.h"
#include "TFormMain.h"
#include "TempSettingsFile.h"

#include <QDialog>
#include <QString>

class TFrameAllProcesses;

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Answers every modal dialog shown while it lives: records the dialog's class, then runs Answer
// (by default the dialog is rejected, as Cancel would).
class DialogAnswerer {
public:
    DialogAnswerer();
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer &) = delete;
    DialogAnswerer &operator=(const DialogAnswerer &) = delete;

    std::function<int(QDialog *dialog)> Answer;
    std::vector<std::string> Shown;  // class names, in order

private:
    kivra::ModalDialogHandler Previous;
};

template <typename T> T *Child(QObject *parent, const char *name) {
    T *child = parent->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// The texts of a list widget's rows.
std::vector<std::string> ActiveNames(TFormMain &window);
std::vector<std::string> KnownNames(TFormMain &window);

// Waits until the model has taken a poll.
bool WaitForPoll(TDBServerInfo *model);
// Waits until count more polls have reached the model (its history's current sample moves on).
bool WaitForPolls(TDBServerInfo *model, int count);

// A session is its SPID and its login time: the server may give a killed session's SPID to a
// new one at once. The login time of the model's session spid (-1 when it has none), and whether
// the model holds that very session.
TDateTime LoginTimeOf(TDBServerInfo *model, int spid);
bool HasSession(TDBServerInfo *model, int spid, TDateTime loginTime);

// A row of the all-sessions grid as FindRow shows it to its match.
struct GridSession {
    int Spid;
    std::string Program, LoginTime;
};

// The first row of the all-sessions grid whose session matches; -1 when none does.
int FindRow(TFrameAllProcesses *view, const std::function<bool(const GridSession &)> &match);

// "hex:41,42" as the settings file writes binary data.
std::string RegHex(const std::string &bytes);

class ProgramTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts count instances (once per test); false with the reason reported.
    void StartSims(int count, const SqlSimOptions &options = SqlSimOptions());
    TFormMain &Window();         // built on first use, from the settings file as it is then
    void CloseWindow();          // destroys it and waits until its workers have gone
    bool Connect(int instance);  // SQL login to sqlsim instance i
    std::string Name(int instance) const { return Sims->ServerName(instance); }
    // The instance whose name slot s holds.
    int InstanceOf(int slot);

    TempSettingsFile Settings;
    MessageBoxRecorder Boxes;
    std::unique_ptr<SqlSimInstances> Sims;
    std::unique_ptr<TFormMain> MainWindow;
};
