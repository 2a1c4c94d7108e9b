#include "app/HiddenStripHook.h"

#include "app/TickerWindowController.h"
#include "platform/HiddenAppsController.h"

#include <QWidget>

void installHiddenStripHook(HiddenAppsController& hidden, TickerWindowController& windows)
{
    hidden.setStripHook([&windows](bool hide) {
        QWidget* window = windows.window();
        if (!window)
            return;
        if (hide) {
            window->hide();
            return;
        }
        window->show();
        window->raise();
        windows.reposition();
    });
}
