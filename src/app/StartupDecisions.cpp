#include "app/StartupDecisions.h"

#include "platform/Defaults.h"
#include "ticker/StripConfig.h"

namespace StartupDecisions {

void migrateLegacySecondTicker(Defaults& defaults)
{
    StripConfig::migrateLegacySecondTicker(defaults);
}

bool takeOpenSettingsAtLaunch(Defaults& defaults)
{
    const QString launchedKey = QStringLiteral("hasLaunchedBefore");
    const bool launchedBefore = defaults.boolValue(launchedKey, false);
    defaults.set(launchedKey, true);
    return !launchedBefore || defaults.boolValue(QStringLiteral("showSettingsAtStartup"), false);
}

} // namespace StartupDecisions
