#include "app/DialogActivation.h"

#include <QDialog>
#include <QMetaObject>
#include <QWidget>
#include <QWindow>

void activateWhenShown(QWidget& dialog)
{
    // Queued: the dialog's window exists and is mapped by then, so the
    // request carries a time the window manager does not take for stale.
    QMetaObject::invokeMethod(
        &dialog,
        [&dialog] {
            dialog.raise();
            dialog.activateWindow();
            if (QWindow* window = dialog.windowHandle())
                window->requestActivate();
        },
        Qt::QueuedConnection);
}

void openModal(QDialog& dialog)
{
    dialog.setAttribute(Qt::WA_DeleteOnClose);
    // open() would make it modal to its parent only, and these have none.
    dialog.setWindowModality(Qt::ApplicationModal);
    activateWhenShown(dialog);
    dialog.show();
}
