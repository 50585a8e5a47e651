#pragma once
// TFrameServerList: the panel on the left of the main window. Its upper list, "Active
// Connections", holds one entry per connection slot in slot order (entry i is slot i), drawn by
// connection state; a click, a right-button press or a drag over it selects that server for the
// whole window. Its lower list, "All Connections", holds every known server once (names compared
// without regard to case, kept in alphabetical order); from there the user connects or forgets
// a server. The panel keeps no server data: every command goes to MainForm (the slots' owner,
// through TConnectionCommands), and the main window calls the list operations when slots are
// filled, emptied or selected.
//
// Main thread only. MainForm is borrowed and set before the known servers are added; without it
// nothing reaches the window and every active entry is drawn as lost.

#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QListWidget;
class QMenu;
class QMouseEvent;
class QPainter;
class TConnectionCommands;

namespace Ui {
class TFrameServerList;
}

class TFrameServerList : public QWidget {
    Q_OBJECT
public:
    static constexpr int kActiveItemHeight = 16;
    static constexpr int kKnownItemHeight = 13;

    explicit TFrameServerList(QWidget *parent = nullptr);
    ~TFrameServerList() override;

    // ---- Called by the main window -------------------------------------------------------------
    void AddActiveServer(const std::string &name);  // appended and made the current entry
    void SelectActiveServer(int index);             // -1: no current entry
    void AddKnownServer(const std::string &name);   // unless a name equal but for case is there
    void RefreshActiveList();                       // repaint: colours follow connection states
    void RemoveActiveServer(int index);

    // ---- Known-server commands, on the current entry of "All Connections" ----------------------
    void ConnectSelectedServer();
    void ConnectSelectedServerWithPrompt();

    // ---- Handlers ------------------------------------------------------------------------------
    void ListBoxServerListClick();
    void ListBoxServerListMouseDown(QMouseEvent *event);
    void ListBoxServerListMouseMove(QMouseEvent *event);
    void ListBoxServerListMouseUp();
    void ListBoxServerListMouseLeave();
    void ListBoxServerListKeyPress();
    void ListBoxServerListDrawItem(QPainter *painter, int index, const QRect &rect);
    void Disconnect1Click();
    void ListBoxAllServersMouseDown(QMouseEvent *event);
    void ListBoxAllServersDblClick();
    void puConnectToServerClick();
    void ConnectwithPrompt1Click();
    void Removefromlist1Click();

    TConnectionCommands *MainForm = nullptr;  // not owned
    bool Tracking = false;                    // a mouse button is held over the active list

    // The form's components, set after setupUi.
    QListWidget *ListBoxServerList = nullptr;
    QListWidget *ListBoxAllServers = nullptr;
    QMenu *PopupMenuActiveServers = nullptr;
    QMenu *PopupMenuAllServers = nullptr;
    QAction *Disconnect1 = nullptr;
    QAction *puConnectToServer = nullptr;
    QAction *ConnectwithPrompt1 = nullptr;
    QAction *Removefromlist1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The current entry of "All Connections", empty when there is none.
    bool SelectedKnownServer(std::string &name) const;
    void SetActiveRow(int index);  // without the click handler

    std::unique_ptr<Ui::TFrameServerList> ui;
    bool SettingRow = false;  // a row change made by code, not by the user
};
