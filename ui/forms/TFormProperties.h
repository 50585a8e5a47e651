#pragma once
// TFormProperties: the modal settings dialog of the main window: polling interval, the view
// shown at start, the e-mail alerts with their mail server, and logging. The main window creates
// it, fills it (SetMainForm, SetRefreshInterval, SetEmailAlerts, SetLogging, in that order),
// shows it through kivra::ShowModal (centred on the screen) and deletes it.
//
// Apply and OK hand every setting to the main window and write all of them to the settings store
// ("\SOFTWARE\Vornix\Kivrawatch" with its subkeys "Alerts" and "Logging"); OK then closes, Cancel
// only closes (what an earlier Apply did stays). A number field that does not hold a whole number
// stops the apply with the conversion error shown by the exception display: what was handed to
// the main window before it stays, nothing is written, and OK keeps the dialog open.
//
// "Test" sends the test mail with the mail settings as typed (IdSMTPTest, IdMsgTest).
//
// Threads: main thread only; the test mail blocks it for the whole exchange. The dialog borrows
// the main window (MainForm), which outlives it.

#include "KivraOwner.h"
#include "TIdMessage.h"
#include "TIdSMTP.h"

#include <QDialog>

#include <memory>
#include <string>

class TFormMain;

namespace Ui {
class TFormProperties;
}

class TFormProperties : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTestConnectTimeoutMs = 5000;  // as the alert mail's

    explicit TFormProperties(QWidget *parent = nullptr);
    ~TFormProperties() override;

    // Keeps main and selects its InitialPanel in the initial-panel box (none outside 0 to 5).
    void SetMainForm(TFormMain *main);
    // The track bar's position, kept within 0 to 120; the interval label follows.
    void SetRefreshInterval(int seconds);
    void SetEmailAlerts(stEmailAlerts alerts);
    void SetLogging(stLogging logging);

    // Hands the settings to the main window and writes them to the store (Apply, OK). Raises the
    // conversion error of a number field that holds no whole number.
    void ApplySettings();
    // The e-mail enabling rule: the alert and mail controls follow "Enable Email Alerts", the mail
    // log-on controls also need an authentication other than "None".
    void UpdateEmailControls();

    // The "Log Every" field's text as the masked edit has it: three characters, the digits
    // entered with blanks before them ("  1"); only blanks when nothing is entered.
    QString LogEveryText() const;

    TFormMain *MainForm = nullptr;
    TIdSMTP IdSMTPTest;    // port 25, no authentication until a test sets it
    TIdMessage IdMsgTest;  // subject and body fixed; addresses from the controls at each test

    // Handlers, as the controls call them.
    void TrackBarRefreshChange();
    void TabControl1Change();
    void CheckBoxEnableEmailClick();
    void ComboBoxAuthenticateChange();
    void CheckBoxEnableLoggingClick();
    void Button1Click();          // folder picker
    void ButtonTestEmailClick();  // test mail
    void ButtonApplyClick();
    void Button4Click();  // OK
    void Button5Click();  // Cancel

private:
    void SetLogEveryText(int value);
    void WriteSettings();

    std::unique_ptr<Ui::TFormProperties> ui;
};
