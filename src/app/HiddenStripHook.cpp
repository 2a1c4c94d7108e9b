#include "app/HiddenStripHook.h"

#include "app/TickerWindowController.h"
#include "platform/x11/HiddenAppsController.h"

void installHiddenStripHook(HiddenAppsController& hidden, TickerWindowController& windows)
{
    hidden.setStripHook([&windows](bool hide) { windows.setHidden(hide); });
}
