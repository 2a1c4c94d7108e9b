#include "app/AppInfo.h"

#include <QGuiApplication>

QString appVersion()
{
    return QStringLiteral(TIDEWIRE_VERSION);
}

void applyAppIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("tidewire"));
    QCoreApplication::setApplicationVersion(appVersion());
    // No application display name: Qt would append it to every window title
    // ("Tidewire Settings — Tidewire"); each window names itself.
    QGuiApplication::setDesktopFileName(QStringLiteral("tidewire"));
}
