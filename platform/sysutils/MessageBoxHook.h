#pragma once
// The application's one message-box function. Every message box of the program (connection
// errors, arithmetic faults, confirmations) goes through ApplicationMessageBox, so tests can see
// what would be shown and answer it. The user interface installs a handler that shows a real
// QMessageBox; without one, the text goes to standard error and the default button is answered.
//
// Flags and answers keep the Win32 values, so the call sites read like the dialogs they describe.

#include <functional>
#include <string>

namespace kivra {

enum MessageBoxFlags : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageBoxHandler =
    std::function<int(const std::string &text, const std::string &caption, unsigned flags)>;

// Shows text with caption; returns the button pressed. Runs the handler on the calling thread
// (the main thread in this program).
int ApplicationMessageBox(const std::string &text, const std::string &caption, unsigned flags);

// Installs a handler (an empty one restores the default); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace kivra
