#pragma once
// The program's message boxes as real QMessageBox windows. InstallMessageBoxDialog() puts
// ShowMessageBoxDialog behind kivra::ApplicationMessageBox (MessageBoxHook.h), so every message
// box of the program, engine ones included, appears as a modal dialog over the active window.
//
// Flags keep the Win32 values: the low four bits choose the buttons (MB_OK, MB_OKCANCEL,
// MB_YESNO; other values show OK), the next four the icon (none, MB_ICONERROR, MB_ICONQUESTION,
// MB_ICONWARNING, MB_ICONINFORMATION). The answer is IDOK, IDCANCEL, IDYES or IDNO. Closing the
// box with Escape or the title bar answers OK for an OK box, Cancel for OK/Cancel and No for
// Yes/No. Texts are shown as plain text (a server's message is never read as markup).
//
// Threads: call from any thread. A call on another thread shows the box on the application's
// thread and blocks the caller until it is answered (so the application's thread must not be
// waiting for that caller at the time). Without a QApplication (before it exists or
// after it is gone) the text goes to standard error and the answer is the cautious one: OK for
// an OK box, Cancel or No for a question.

#include <string>

namespace kivra {

int ShowMessageBoxDialog(const std::string &text, const std::string &caption, unsigned flags);

// The answer of a box nobody can answer: OK for an OK box, Cancel or No for a question.
int CautiousAnswer(unsigned flags);

// Installs ShowMessageBoxDialog as the application's message-box handler (main thread, once the
// QApplication exists).
void InstallMessageBoxDialog();

}  // namespace kivra
