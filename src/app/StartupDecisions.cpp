#include "app/StartupDecisions.h"

#include "personal/PersonalFeedStore.h"
#include "platform/Defaults.h"
#include "store/FeedStore.h"
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

void moveCachesOutOfSettings(Defaults& defaults)
{
    defaults.caches().adopt(defaults, {FeedStore::SnapshotKey, PersonalFeedStore::kItemsKey});
}

} // namespace StartupDecisions
