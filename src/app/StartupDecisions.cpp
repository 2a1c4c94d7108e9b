#include "app/StartupDecisions.h"

#include "personal/PersonalFeedStore.h"
#include "platform/storage/Defaults.h"
#include "store/FeedStore.h"
#include "platform/storage/SettingsCatalogue.h"
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

void moveCachesOutOfSettings(Defaults& defaults)
{
    defaults.caches().adopt(defaults, {FeedStore::SnapshotKey, PersonalFeedStore::kItemsKey});
}

} // namespace StartupDecisions
