#pragma once
// TFrameServerTitleBar: the caption bar at the top of each server view, 24 px high: a left cap,
// a stretched middle and a right cap, with the server name over them (bold, 13 px).
//
// Main thread only.

#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class TFrameServerTitleBar;
}

class TFrameServerTitleBar : public QWidget {
    Q_OBJECT
public:
    explicit TFrameServerTitleBar(QWidget *parent = nullptr);
    ~TFrameServerTitleBar() override;

    void SetServerName(const std::string &text);
    QString ServerNameText() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    std::unique_ptr<Ui::TFrameServerTitleBar> ui;
};
