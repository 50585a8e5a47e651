#pragma once
// TFormServerList: the modal server browse dialog behind the logon dialog's "..." button: lists
// the servers found on the network and hands the chosen name to LogonForm (PresetServer).
// The logon dialog creates it, sets LogonForm, shows it modally and deletes it.
//
// Main thread only. LogonForm is borrowed.

#include <QDialog>

class TFormLogon;

class TFormServerList : public QDialog {
    Q_OBJECT
public:
    explicit TFormServerList(QWidget *parent = nullptr);
    ~TFormServerList() override;

    TFormLogon *LogonForm = nullptr;  // not owned
};
