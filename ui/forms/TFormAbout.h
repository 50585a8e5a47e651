#pragma once
// TFormAbout: the About box: the product picture and a button that closes it. Created by the main
// window when the Help menu's about entry is chosen, shown through kivra::ShowModal (centred on
// the screen), deleted by its creator. Main thread only.

#include <QDialog>

#include <memory>

namespace Ui {
class TFormAbout;
}

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget *parent = nullptr);
    ~TFormAbout() override;

    void Button3Click();  // "Close"

private:
    std::unique_ptr<Ui::TFormAbout> ui;
};
