#include "app/StartupDecisions.h"

#include "platform/Defaults.h"

namespace StartupDecisions {

void migrateLegacySecondTicker(Defaults& defaults)
{
    const QString key = QStringLiteral("secondTickerEnabled");
    if (defaults.contains(key))
        return;
    if (defaults.boolValue(QStringLiteral("stackedTickersSpike"), false))
        defaults.set(key, true);
}

bool takeOpenSettingsAtLaunch(Defaults& defaults)
{
    const QString launchedKey = QStringLiteral("hasLaunchedBefore");
    const bool launchedBefore = defaults.boolValue(launchedKey, false);
    defaults.set(launchedKey, true);
    return !launchedBefore || defaults.boolValue(QStringLiteral("showSettingsAtStartup"), false);
}

} // namespace StartupDecisions
