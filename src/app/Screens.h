#pragma once

#include <QString>

class QScreen;

// The display numbers that name screens in the "preferredMonitor" setting.
namespace Screens {

// A screen's display number: stable for the same connector across runs and
// hot-plugging (derived from the screen's name); 0 for a screen without one.
quint32 screenNumber(const QScreen* screen);

// The number derived from a screen name (32-bit FNV-1a of its UTF-8 bytes).
quint32 displayNumber(const QString& screenName);

// The first attached screen, in Qt's screen order, whose display number in
// decimal equals `monitorID` exactly; nullptr for an empty text or no match.
QScreen* screen(const QString& monitorID);

} // namespace Screens
