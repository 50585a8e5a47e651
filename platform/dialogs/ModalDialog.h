#pragma once
// The one way the program shows a modal dialog (logon, server browse, properties, about): through
// a replaceable function, by default QDialog::exec(). Tests install a handler that answers the
// dialog as a user would (fills its controls, clicks its buttons) and returns the dialog's result,
// so no nested event loop of their own is needed.
//
// Threads: main thread.

#include <functional>

class QDialog;

namespace kivra {

using ModalDialogHandler = std::function<int(QDialog *dialog)>;

// Shows dialog modally and returns its result (QDialog::Accepted or Rejected, or what done() set).
int ShowModal(QDialog *dialog);

// Installs a handler (an empty one restores QDialog::exec); returns the previous one.
ModalDialogHandler SetModalDialogHandler(ModalDialogHandler handler);

}  // namespace kivra
