#include "app/StartupDecisions.h"

#include "platform/Defaults.h"
#include "platform/SettingsCatalogue.h"
#include "ticker/StripConfig.h"

namespace StartupDecisions {

void migrateLegacySecondTicker(Defaults& defaults)
{
    StripConfig::migrateLegacySecondTicker(defaults);
}

bool takeOpenSettingsAtLaunch(Defaults& defaults)
{
    const bool launchedBefore = Settings::hasLaunchedBefore.read(defaults);
    Settings::hasLaunchedBefore.write(defaults, true);
    return !launchedBefore || Settings::showSettingsAtStartup.read(defaults);
}

} // namespace StartupDecisions
