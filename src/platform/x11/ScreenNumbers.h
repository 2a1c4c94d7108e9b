#pragma once

#include <QString>

class QScreen;

// The display numbers that name screens in the "preferredMonitor" setting:
// the 32-bit FNV-1a hash of the screen's name, so the same connector keeps
// its number across runs and hot-plugging; 0 for a screen without a name.
namespace ScreenNumbers {

quint32 displayNumber(const QString& screenName);
quint32 screenNumber(const QScreen* screen);
// The first attached screen, in Qt's screen order, whose display number in
// decimal equals `monitorID` exactly; nullptr for an empty text or no match.
QScreen* screenForMonitorID(const QString& monitorID);

} // namespace ScreenNumbers
