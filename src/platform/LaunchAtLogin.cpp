#include "platform/LaunchAtLogin.h"

LaunchAtLogin& LaunchAtLogin::shared()
{
    static LaunchAtLogin* instance = new LaunchAtLogin;
    return *instance;
}

bool LaunchAtLogin::isEnabled() const
{
    return false;
}

bool LaunchAtLogin::setEnabled(bool)
{
    m_lastError = QStringLiteral("not available yet");
    return false;
}
