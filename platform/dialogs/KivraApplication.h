#pragma once
// KivraApplication: the program's QApplication.
//
// Exceptions never pass through Qt: Qt's event delivery and signal emission are not
// exception-safe (an exception unwinding through them leaks the event's data and leaves
// widgets half-way through what they were doing). Every event handler and every slot of the
// program therefore runs its body in kivra::RunGuarded (ExceptionDisplay.h), which shows what
// the body throws with the application's exception display and returns; the event loop goes
// on, as the user expects of a failed command.
//
// So notify is not overridden to catch: an exception that would reach it has already passed
// through Qt, from a handler that lacks its guard, which is a fault of the program. It is left
// to end the program (std::terminate) rather than let it go on in a state nobody knows.
//
// Construct it on the main thread before any widget; it lives for the whole run.

#include <QApplication>

class KivraApplication : public QApplication {
    Q_OBJECT

public:
    KivraApplication(int &argc, char **argv);
};
