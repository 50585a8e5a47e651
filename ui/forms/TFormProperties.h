#pragma once
// TFormProperties: the modal settings dialog of the main window (poll interval, initial panel,
// alert mail, logging). The main window fills it with SetMainForm, SetRefreshInterval,
// SetEmailAlerts and SetLogging, in that order, shows it modally and deletes it.
//
// Main thread only. MainForm is borrowed.

#include "KivraOwner.h"

#include <QDialog>

class TFormMain;

class TFormProperties : public QDialog {
    Q_OBJECT
public:
    explicit TFormProperties(QWidget *parent = nullptr);
    ~TFormProperties() override;

    void SetMainForm(TFormMain *mainForm);
    void SetRefreshInterval(int seconds);
    void SetEmailAlerts(stEmailAlerts alerts);
    void SetLogging(stLogging logging);

    TFormMain *MainForm = nullptr;  // not owned
};
