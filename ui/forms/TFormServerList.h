#pragma once
// TFormServerList: the server browse dialog behind the logon dialog's "..." button. At every
// activation it asks the browse layer (kivra::odbc::SQLBrowseConnect for "DRIVER=SQL Server")
// which servers are on the network and lists their names, each search replacing the list; the
// name the user accepts (Ok or a double click) goes to the logon dialog through
// TFormLogon::PresetServer. Cancel and the close box leave without handing a name over.
//
// The logon dialog creates it, sets LogonForm, shows it through kivra::ShowModal (centred on the
// screen) and deletes it.
//
// Threads: main thread only; a search blocks it (hourglass cursor) until the browse layer has
// its answer.

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class TFormLogon;

namespace Ui {
class TFormServerList;
}

class TFormServerList : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOutputRoom = 16000;  // bytes for the browse answer

    explicit TFormServerList(QWidget *parent = nullptr);
    ~TFormServerList() override;

    // Borrowed: the logon dialog that receives the chosen name; it outlives this dialog.
    TFormLogon *LogonForm = nullptr;

    // At every activation, once the pending events are delivered: BrowseServers.
    void FormActivate();
    // One search: the list is replaced by the names found; the first becomes the current row.
    // A failing browse step leaves the list as it was.
    void BrowseServers();
    // Hands the selected name, if any, to LogonForm and closes the dialog.
    void AcceptSelection();
    void Button1Click();            // "Ok"
    void ListBoxServersDblClick();  // a double click on a name

    // The server names of a browse answer of length n: the list after the first "Server={" that
    // starts at positions 0 to n - 15, split at "," up to "}" or the end of the text; an answer of
    // 15 characters or less has none. cut tells that the answer was cut short to fit its room:
    // a last name that runs into the end of the text is then left out (only part of it is
    // there).
    static std::vector<std::string> ServerNames(const char *answer, std::size_t n, bool cut);

protected:
    bool event(QEvent *event) override;

private:
    std::unique_ptr<Ui::TFormServerList> ui;
};
