#include "app/AppInfo.h"

#include <QGuiApplication>

QString appVersion()
{
    return QStringLiteral(TIDEWIRE_VERSION);
}

void applyAppIdentity()
{
    // Qt publishes the tray item's title and the windows' class from the
    // application name. The settings and cache folders keep their own
    // lower-case name ("tidewire"), whatever this one is.
    QCoreApplication::setApplicationName(QStringLiteral("Tidewire"));
    QCoreApplication::setApplicationVersion(appVersion());
    // No application display name: Qt would append it to every window title
    // ("Tidewire Settings — Tidewire"); each window names itself.
    QGuiApplication::setDesktopFileName(QStringLiteral("tidewire"));
}
