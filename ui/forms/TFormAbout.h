#pragma once
// TFormAbout: the modal about box of the Help menu. The main window creates it, shows it modally
// and deletes it.
//
// Main thread only.

#include <QDialog>

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget *parent = nullptr);
    ~TFormAbout() override;
};
