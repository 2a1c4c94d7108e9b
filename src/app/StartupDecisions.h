#pragma once

class Defaults;

// The decisions the application makes once at start-up, over the settings.
namespace StartupDecisions {

// Moves the older "stackedTickersSpike" switch into "secondTickerEnabled":
// only when "secondTickerEnabled" holds no stored value at all and the older
// switch is true. Nothing else is ever written, and the older key stays.
void migrateLegacySecondTicker(Defaults& defaults);

// Records that the application has launched ("hasLaunchedBefore" becomes
// true) and answers whether the settings window opens now: on the first
// launch, or on every launch while "showSettingsAtStartup" is on.
bool takeOpenSettingsAtLaunch(Defaults& defaults);

// Earlier versions kept the feed snapshot and the personal feeds' items in
// the settings file; they move to their own cache files once. Runs before any
// store reads them.
void moveCachesOutOfSettings(Defaults& defaults);

} // namespace StartupDecisions
