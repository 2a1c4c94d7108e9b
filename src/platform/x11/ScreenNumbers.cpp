#include "platform/x11/ScreenNumbers.h"

#include <QGuiApplication>
#include <QScreen>

namespace ScreenNumbers {

quint32 displayNumber(const QString& screenName)
{
    if (screenName.isEmpty())
        return 0;
    quint32 hash = 2166136261u;
    for (const char byte : screenName.toUtf8()) {
        hash ^= quint8(byte);
        hash *= 16777619u;
    }
    return hash;
}

quint32 screenNumber(const QScreen* screen)
{
    return screen ? displayNumber(screen->name()) : 0;
}

QScreen* screenForMonitorID(const QString& monitorID)
{
    if (monitorID.isEmpty())
        return nullptr;
    for (QScreen* candidate : QGuiApplication::screens()) {
        if (QString::number(screenNumber(candidate)) == monitorID)
            return candidate;
    }
    return nullptr;
}

} // namespace ScreenNumbers
