#pragma once
// TFrameToolbarButtons: the main window's button bar, 25 px high: "Connect", "Kill Proc",
// "Kill Group" and "Properties", each with its image beside its caption. The frame has no
// handlers of its own: the main window connects the buttons' clicks to its commands.
//
// Main thread only.

#include <QWidget>

#include <memory>

class QToolButton;

namespace Ui {
class TFrameToolbarButtons;
}

class TFrameToolbarButtons : public QWidget {
    Q_OBJECT
public:
    explicit TFrameToolbarButtons(QWidget *parent = nullptr);
    ~TFrameToolbarButtons() override;

    // Every button gets this width (76 in the frame's own design).
    void SetButtonWidth(int width);

    // The form's buttons, set after setupUi.
    QToolButton *ToolButtonConnect = nullptr;
    QToolButton *ToolButtonKillProc = nullptr;
    QToolButton *ToolButtonKillGroup = nullptr;
    QToolButton *ToolButtonProperties = nullptr;

private:
    std::unique_ptr<Ui::TFrameToolbarButtons> ui;
};
