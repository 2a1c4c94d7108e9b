#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

class Defaults;

// One typed setting: its key and the value it reads as when it is absent or
// stored with the wrong type. write() is the user's change: the settings
// file is written before it returns (a failure is kept in saveError()). Constant-initialised, so headers can derive
// their key constants from these without an initialisation order.
struct BoolSetting {
    QStringView key;
    bool fallback;
    bool read(const Defaults& defaults) const;
    void write(Defaults& defaults, bool value) const;
};
struct IntSetting {
    QStringView key;
    qint64 fallback;
    qint64 read(const Defaults& defaults) const;
    void write(Defaults& defaults, qint64 value) const;
};
struct DoubleSetting {
    QStringView key;
    double fallback;
    double read(const Defaults& defaults) const;
    void write(Defaults& defaults, double value) const;
};
struct StringSetting {
    QStringView key;
    QStringView fallback;
    QString read(const Defaults& defaults) const;
    void write(Defaults& defaults, const QString& value) const;
};
// A stored collection (a JSON array or object, or JSON text); absent means
// empty, and its owner decodes it.
struct StoredSetting {
    QStringView key;
};

// Every settings key the application reads or writes, each with its one
// default. Readers, the settings tabs and reset-to-defaults all use these.
namespace Settings {

// The main strip.
inline constexpr DoubleSetting scrollSpeed{u"scrollSpeed", 1.0};
inline constexpr DoubleSetting tickerOpacity{u"tickerOpacity", 1.0};
// 1 compact, 2 standard, 4 large; a stored 0 also counts as standard.
inline constexpr IntSetting tickerSize{u"tickerSize", 2};
// Exactly "bottom" puts the strip on the bottom edge.
inline constexpr StringSetting tickerPosition{u"tickerPosition", u"top"};
// Decimal display number of the chosen screen; empty: automatic.
inline constexpr StringSetting preferredMonitor{u"preferredMonitor", u""};
inline constexpr BoolSetting alwaysOnTop{u"alwaysOnTop", true};
inline constexpr StringSetting feedMix{u"feedMix", u"shuffle"};
inline constexpr StringSetting themeBackground{u"themeBackground", u"Black"};
inline constexpr BoolSetting dimReadItems{u"dimReadItems", true};
inline constexpr StringSetting weatherCity{u"weatherCity", u"Dublin"};
inline constexpr BoolSetting tickerMiniModeTransient{u"tickerMiniModeTransient", false};

// The second strip.
inline constexpr BoolSetting secondTickerEnabled{u"secondTickerEnabled", false};
inline constexpr StringSetting stackedStripsJSON{u"stackedStripsJSON", u""};
inline constexpr BoolSetting stackedTickersSpike{u"stackedTickersSpike", false};
inline constexpr StringSetting extraStripMixes{u"extraStripMixes", u"latest"};

// Music.
inline constexpr BoolSetting nowPlayingEnabled{u"nowPlayingEnabled", true};
inline constexpr BoolSetting musicBlendWithFeeds{u"musicBlendWithFeeds", false};
inline constexpr BoolSetting roomListenEnabled{u"roomListenEnabled", false};

// Start-up and the desktop.
inline constexpr BoolSetting hasLaunchedBefore{u"hasLaunchedBefore", false};
inline constexpr BoolSetting showSettingsAtStartup{u"showSettingsAtStartup", false};
inline constexpr BoolSetting launchAtLogin{u"launchAtLogin", false};
inline constexpr BoolSetting showDebugTab{u"showDebugTab", false};
inline constexpr StoredSetting hiddenForBundleIDs{u"hiddenForBundleIDs"};
// The settings window's last frame: {"x", "y", "width", "height"}.
inline constexpr StoredSetting settingsWindowFrame{u"TidewireSettingsWindow"};
// The offer to move the AppImage into ~/Applications: declined for good,
// and, after a move, re-register launch at login at the next start.
inline constexpr BoolSetting moveToApplicationsDeclined{u"moveToApplicationsDeclined", false};
inline constexpr BoolSetting moveToApplicationsReassertLogin{u"moveToApplicationsReassertLogin", false};

// The feed selection and the update notice.
inline constexpr StringSetting disabledFeedIDs{u"disabledFeedIDs", u""};
inline constexpr StringSetting activeCuratedIDs{u"activeCuratedIDs", u""};
inline constexpr StringSetting activeCuratedID{u"activeCuratedID", u""};
inline constexpr StringSetting dismissedReleaseVersion{u"dismissedReleaseVersion", u""};

// Stored collections.
inline constexpr StoredSetting readItemIDs{u"readItemIDs.v1"};
inline constexpr StoredSetting mutedPhrases{u"mutedPhrases.v1"};
inline constexpr StoredSetting followedPhrases{u"followedPhrases.v1"};
inline constexpr StoredSetting personalFeeds{u"personalFeeds.v1"};
inline constexpr StoredSetting marketsWatchlist{u"marketsWatchlist.v1"};

// What can be fetched again: each lives in its own file named after its key
// under the cache folder (Defaults::caches()), never in the settings file;
// earlier versions' copies in the settings file move there at start-up.
inline constexpr StoredSetting feedSnapshot{u"feedstore.snapshot.v3"};
inline constexpr StoredSetting personalFeedItems{u"personalFeeds.items.v1"};

} // namespace Settings

// The settings as one table: key, type, default and the component that owns
// each, and which of them "Reset to Defaults" puts back.
namespace SettingsCatalogue {

enum class Type { Bool, Int, Double, String, Stored };

struct Entry {
    QString key;
    Type type;
    QJsonValue fallback;  // undefined for stored collections
    QString owner;        // the component that defines the setting
    // A preference of the main or second strip (its music switches and the
    // older settings the second strip falls back to included), the board's
    // monitor or the settings window at start-up.
    bool resettable;
};

const QList<Entry>& entries();
std::optional<Entry> find(const QString& key);

// Writes the default of every strip, board and start-up preference; user
// data (selection, history, phrases, feeds, watchlist), the desktop
// registrations (launch at login) and the markers of first run, mini mode
// and the move stay as they are. The file is written before it returns.
void resetToDefaults(Defaults& defaults);

} // namespace SettingsCatalogue
