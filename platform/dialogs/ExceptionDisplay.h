#pragma once
// The application's exception display: what the user sees of an error nobody handled. It is one
// message box through kivra::ApplicationMessageBox with the exception's message as text, the
// application's title as caption, an OK button and the error icon. A thrown object that is not
// a std::exception shows with an empty message.
//
// Threads: main thread (the box is modal). Call while the QApplication exists; without one the
// message goes to standard error (see MessageBoxDialog.h).

#include <exception>
#include <functional>
#include <string>

namespace kivra {

// The message of what was thrown: what() of a std::exception, otherwise empty.
std::string ExceptionMessage(std::exception_ptr error);

// Shows the exception display for error (nothing when error is null).
void ShowException(std::exception_ptr error);

// Runs action; an exception it throws is shown with ShowException instead of propagating.
// True when action ended normally. The one guard at the edge of every event handler and slot:
// no exception may pass through Qt (see KivraApplication.h).
bool RunGuarded(const std::function<void()> &action);

}  // namespace kivra
