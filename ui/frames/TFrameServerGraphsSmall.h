#pragma once
// TFrameServerGraphsSmall: one server's graph tile (485 x 203, black): the name bar coloured by
// selection and connection state with the close image, the server's start time, current time and
// uptime, and five small charts of the last 120 polls (CPU, response time, sessions and users,
// physical IO, network), any of which can be enlarged over the five and restored.
//
// Axis rule at each refresh: response time follows the data once the history's largest value
// reaches 500 (else fixed at 500), physical IO and network once the largest of their three
// series' maxima reaches 800 (else 800), sessions and users from 100 on (else 100); CPU stays at
// 100. The enlarged chart follows the rule of the chart it shows.
//
// Clicks: a press (any button) on the tile's background, its panels, the name bar or the time
// labels selects the server (MainForm->SelectServer(Slot)); a click on a small chart or its
// enlarge image enlarges it and selects; a click on the enlarged chart or its restore image goes
// back to the five and selects; a click on the close image disconnects the tile's server. That
// removes this very tile, so the disconnect runs only once the click's handling has returned, on
// the slot the tile holds then; it is dropped if the tile is gone by then, and a second click
// while one is pending adds nothing.
//
// Created and freed by the tile panel; the main window sets its owner (the slots' owner, through
// TConnectionCommands), slot and model right after creation. Main thread only. Owner and model
// are borrowed; without a model (ServerInfo nullptr) a refresh does nothing, without an owner a
// click selects and closes nothing.

#include "TDateTime.h"

#include <QEvent>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

namespace Ui {
class TFrameServerGraphsSmall;
}

class QLabel;
class QMouseEvent;
class TChart;
class TConnectionCommands;
class TDBServerInfo;
class TLineSeries;

class TFrameServerGraphsSmall : public QWidget {
    Q_OBJECT
public:
    explicit TFrameServerGraphsSmall(QWidget *parent = nullptr);
    ~TFrameServerGraphsSmall() override;

    void SetServerName(const std::string &name);
    void SetOwner(TConnectionCommands *owner, int slot);
    void SetStartTime(TDateTime value);
    void SetHighlight(bool selected);
    void RefreshGraphs();
    void PrepareLargeChart();  // sets ChartLarge up for LargeChart, then refreshes

    std::string ServerName;
    TDBServerInfo *ServerInfo = nullptr;  // not owned; set before the first refresh
    int LargeChart = -1;                  // -1 none, 0 CPU, 1 response, 2 sessions, 3 IO, 4 network
    int Slot = 0;                         // connection slot = entry in the panel's table
    TConnectionCommands *MainForm = nullptr;  // not owned
    bool Highlighted = false;

    // The lines, for the refresh (and for tests to read).
    TLineSeries *seriesCPUUsage = nullptr;
    TLineSeries *seriesResponseTime = nullptr;
    TLineSeries *seriesSessions = nullptr, *seriesUsers = nullptr;
    TLineSeries *seriesIOWritten = nullptr, *seriesIORead = nullptr, *seriesIOErrored = nullptr;
    TLineSeries *seriesPacketsReceived = nullptr, *seriesPacketsSent = nullptr,
                *seriesPacketsErrored = nullptr;
    TLineSeries *LineSeriesGreen = nullptr, *LineSeriesYellow = nullptr, *LineSeriesRed = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Shape1MouseDown();
    void ImageCPUMinClick();
    void ImageResponseMinClick();
    void ImageProcessesMinClick();
    void ImagePhysicalMinClick();
    void ImageNetworkMinClick();
    void ImageLargeMinClick();
    void Image1Click();
    void FrameResize();

    void Enlarge(int chart);
    void SelectOwnServer();
    void DisconnectOwnServer();  // the deferred half of Image1Click
    void ShowLargeLabel(QLabel *label, const QLabel *colourOf);
    void ImageClick(std::size_t image);
    // The tile's clicks and presses; true when the event is taken.
    bool MouseFilter(QObject *watched, QEvent::Type type, QMouseEvent *mouse);

    std::unique_ptr<Ui::TFrameServerGraphsSmall> ui;
    std::array<QWidget *, 11> SelectTargets{};  // a press on any of them selects
    // Image1, the enlarge images in chart order, ImageLargeMin: a click on each runs its handler.
    std::array<QWidget *, 7> ClickImages{};
    QWidget *PressedImage = nullptr;  // the image a left press went down on
    bool ClosePending = false;        // a disconnect is queued
    QString NameBarSheet;             // the name bar's style as last set
};
