#pragma once
// Placeholder of the logon dialog until it is built: what the server browse dialog calls.
// Main thread only.

#include <QDialog>

#include <string>

class QComboBox;

class TFormLogon : public QDialog {
    Q_OBJECT
public:
    explicit TFormLogon(QWidget *parent = nullptr);
    ~TFormLogon() override;

    // A name that is not empty becomes the server box's text.
    void PresetServer(const std::string &server);

private:
    QComboBox *cboxServer;
};
