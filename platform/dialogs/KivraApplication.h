#pragma once
// KivraApplication: the program's QApplication. An exception that escapes an event handler
// (a button's click handler, a timer's slot, a queued call) is caught at the event's delivery and
// shown with the exception display (ExceptionDisplay.h); the event counts as not handled and the
// event loop goes on, as the user would expect of a failed command. Qt itself must never see an
// exception pass through it, so this is the one place that catches them.
//
// Construct it on the main thread before any widget; it lives for the whole run.

#include <QApplication>

class KivraApplication : public QApplication {
    Q_OBJECT

public:
    KivraApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
