#include "shell/SessionEnd.h"

#include "shell/SkinnedDialog.h"

#include <QApplication>
#include <QDialog>

void EndSession(QWidget* mainWindow) {
    // Innermost first: a message box of the conversion window before the window itself. The
    // bound only guards against a window that refuses to go.
    for (int left = 0; left < 64; ++left) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            break;
        if (auto* skinned = qobject_cast<TSkinnedDialog*>(modal))
            skinned->EndSession();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
    if (mainWindow != nullptr)
        mainWindow->close();
    // Ends every running event loop, the dialogs' nested ones too; any opened later returns
    // at once.
    QCoreApplication::exit(0);
}
