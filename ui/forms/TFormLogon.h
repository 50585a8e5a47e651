#pragma once
// TFormLogon: the modal logon dialog. The user names a server (typed, picked from the known
// servers, or found with the browse dialog behind "..."), chooses Windows authentication or a SQL
// login, and connects through MainForm->ConnectToServer. A failed connect leaves the dialog open
// with what was typed; a successful one saves the logon (TKnownServers) and closes the dialog.
//
// Created by the main window with MainForm set, shown through kivra::ShowModal, deleted by its
// creator. Every activation (FormActivate) adds the known servers to the combo and, while the
// server text is empty, fills in the default server with its saved logon.
//
// Main thread only. MainForm, the slots' owner (the main window, through TConnectionCommands), is
// borrowed.

#include <QDialog>

#include <memory>
#include <string>

class TConnectionCommands;

namespace Ui {
class TFormLogon;
}

class TFormLogon : public QDialog {
    Q_OBJECT
public:
    explicit TFormLogon(QWidget *parent = nullptr);
    ~TFormLogon() override;

    // An empty name changes nothing; any other becomes the server text, with its saved logon.
    void PresetServer(const std::string &server);
    // The saved logon of the server in the combo's text, when it has a key.
    void LoadSavedLogon();

    // ---- Handlers ------------------------------------------------------------------------------
    void FormActivate();
    void cboxServerSelect();
    void btnLogonClick();
    void Button1Click();  // "...": the server browse dialog
    void Button3Click();  // "Cancel"

    TConnectionCommands *MainForm = nullptr;  // not owned; set before the dialog is shown

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::TFormLogon> ui;
};
