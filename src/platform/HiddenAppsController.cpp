#include "platform/HiddenAppsController.h"

HiddenAppsController& HiddenAppsController::shared()
{
    static HiddenAppsController* instance = new HiddenAppsController;
    return *instance;
}

HiddenAppsController::HiddenAppsController() = default;

void HiddenAppsController::add(const QString& appClass)
{
    if (appClass.isEmpty() || m_bundleIDs.contains(appClass))
        return;
    m_bundleIDs.append(appClass);
    Q_EMIT bundleIDsChanged();
}

void HiddenAppsController::remove(const QString& appClass)
{
    m_bundleIDs.removeAll(appClass);
    Q_EMIT bundleIDsChanged();
}

QList<HiddenAppsController::RunningApp> HiddenAppsController::runningApps() const
{
    return {};
}
