#include "platform/storage/SettingsCatalogue.h"

#include "platform/storage/Defaults.h"

bool BoolSetting::read(const Defaults& defaults) const
{
    return defaults.boolValue(key.toString(), fallback);
}

void BoolSetting::write(Defaults& defaults, bool value) const
{
    defaults.setAndSave(key.toString(), value);
}

qint64 IntSetting::read(const Defaults& defaults) const
{
    return defaults.intValue(key.toString(), fallback);
}

void IntSetting::write(Defaults& defaults, qint64 value) const
{
    defaults.setAndSave(key.toString(), value);
}

double DoubleSetting::read(const Defaults& defaults) const
{
    return defaults.doubleValue(key.toString(), fallback);
}

void DoubleSetting::write(Defaults& defaults, double value) const
{
    defaults.setAndSave(key.toString(), value);
}

QString StringSetting::read(const Defaults& defaults) const
{
    return defaults.stringValue(key.toString(), fallback.toString());
}

void StringSetting::write(Defaults& defaults, const QString& value) const
{
    defaults.setAndSave(key.toString(), QJsonValue(value));
}

namespace SettingsCatalogue {
namespace {

using S = Type;

Entry entry(const BoolSetting& s, const char* owner, bool resettable)
{
    return {s.key.toString(), S::Bool, s.fallback, QString::fromLatin1(owner), resettable};
}
Entry entry(const IntSetting& s, const char* owner, bool resettable)
{
    return {s.key.toString(), S::Int, s.fallback, QString::fromLatin1(owner), resettable};
}
Entry entry(const DoubleSetting& s, const char* owner, bool resettable)
{
    return {s.key.toString(), S::Double, s.fallback, QString::fromLatin1(owner), resettable};
}
Entry entry(const StringSetting& s, const char* owner, bool resettable)
{
    return {s.key.toString(), S::String, s.fallback.toString(), QString::fromLatin1(owner), resettable};
}
Entry entry(const StoredSetting& s, const char* owner)
{
    return {s.key.toString(), S::Stored, QJsonValue(QJsonValue::Undefined), QString::fromLatin1(owner), false};
}

constexpr bool kReset = true;
constexpr bool kKeep = false;

} // namespace

const QList<Entry>& entries()
{
    using namespace Settings;
    static const QList<Entry> all = {
        entry(scrollSpeed, "ticker", kReset),
        entry(tickerOpacity, "ticker", kReset),
        entry(tickerSize, "ticker", kReset),
        entry(tickerPosition, "ticker", kReset),
        entry(preferredMonitor, "app", kReset),
        entry(alwaysOnTop, "ticker", kReset),
        entry(feedMix, "ticker", kReset),
        entry(themeBackground, "ticker", kReset),
        entry(dimReadItems, "ticker", kReset),
        entry(weatherCity, "store", kReset),
        entry(tickerMiniModeTransient, "ticker", kKeep),
        entry(secondTickerEnabled, "ticker", kReset),
        entry(stackedStripsJSON, "ticker", kReset),
        entry(stackedTickersSpike, "ticker", kReset),
        entry(extraStripMixes, "ticker", kReset),
        entry(nowPlayingEnabled, "music", kReset),
        entry(musicBlendWithFeeds, "store", kReset),
        entry(roomListenEnabled, "music", kReset),
        entry(hasLaunchedBefore, "app", kKeep),
        entry(showSettingsAtStartup, "app", kReset),
        entry(launchAtLogin, "app", kKeep),
        entry(showDebugTab, "settings", kKeep),
        entry(hiddenForBundleIDs, "app"),
        entry(settingsWindowFrame, "app"),
        entry(moveToApplicationsDeclined, "app", kKeep),
        entry(moveToApplicationsReassertLogin, "app", kKeep),
        entry(disabledFeedIDs, "store", kKeep),
        entry(activeCuratedIDs, "store", kKeep),
        entry(activeCuratedID, "store", kKeep),
        entry(dismissedReleaseVersion, "store", kKeep),
        entry(feedSnapshot, "store"),
        entry(readItemIDs, "store"),
        entry(mutedPhrases, "store"),
        entry(followedPhrases, "store"),
        entry(personalFeeds, "personal"),
        entry(personalFeedItems, "personal"),
        entry(marketsWatchlist, "markets"),
    };
    return all;
}

std::optional<Entry> find(const QString& key)
{
    for (const Entry& e : entries())
        if (e.key == key)
            return e;
    return std::nullopt;
}

void resetToDefaults(Defaults& defaults)
{
    for (const Entry& e : entries())
        if (e.resettable)
            defaults.set(e.key, e.fallback);
    defaults.flush();
}

} // namespace SettingsCatalogue
