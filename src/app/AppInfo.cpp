#include "app/AppInfo.h"

QString appVersion()
{
    return QStringLiteral(TIDEWIRE_VERSION);
}
