#include "ModalDialog.h"

#include "ReplaceableFunction.h"

#include <QDialog>

namespace kivra {
namespace {

ReplaceableFunction<int(QDialog *)> &Handler() {
    static ReplaceableFunction<int(QDialog *)> handler;
    return handler;
}

}  // namespace

int ShowModal(QDialog *dialog) {
    if (!dialog) return QDialog::Rejected;
    if (auto handler = Handler().Get()) return handler(dialog);
    return dialog->exec();
}

ModalDialogHandler SetModalDialogHandler(ModalDialogHandler handler) {
    return Handler().Set(std::move(handler));
}

}  // namespace kivra
