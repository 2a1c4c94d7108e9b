#include "app/DialogActivation.h"

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
