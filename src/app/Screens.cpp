#include "app/Screens.h"

#include "platform/x11/ScreenNumbers.h"

// The numbering lives in the platform layer so the board, which sits below
// the app, resolves "preferredMonitor" the same way.
namespace Screens {

quint32 displayNumber(const QString& screenName)
{
    return ScreenNumbers::displayNumber(screenName);
}

quint32 screenNumber(const QScreen* screen)
{
    return ScreenNumbers::screenNumber(screen);
}

QScreen* screen(const QString& monitorID)
{
    return ScreenNumbers::screenForMonitorID(monitorID);
}

} // namespace Screens
