#pragma once

#include "platform/base/Error.h"
#include "platform/storage/SettingsCatalogue.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>

class Defaults;

// The look and content of a strip stacked under the main one: its mix
// ("latest", "shuffle", "music", "markets" or "cat:" + a category slug),
// speed factor, size code and background theme. Stored as JSON text under
// "stackedStripsJSON"; only the first stored strip that reads is used (one
// that does not is left out, and so is every one after it), and without one
// the older single-strip settings describe it. What is left out is logged,
// and stored text that did not read whole is kept aside (Defaults::setAsideBeforeReplacing)
// before a save replaces it.
struct StripConfig {
    static inline const QString stripsKey = Settings::stackedStripsJSON.key.toString();
    static inline const QString enabledKey = Settings::secondTickerEnabled.key.toString();
    static inline const QString legacyEnabledKey = Settings::stackedTickersSpike.key.toString();
    static inline const QString legacyMixesKey = Settings::extraStripMixes.key.toString();
    // Stored text longer than this is not read: one strip takes less than a
    // tenth of it, and the text is read again at every look at a strip.
    static constexpr qsizetype kMaxStoredText = 4096;

    QString mix;
    double speed = 1.0;
    int size = 2;
    QString background;

    friend bool operator==(const StripConfig&, const StripConfig&) = default;

    // All four keys are required; a missing or mistyped one fails.
    static Result<StripConfig> fromJson(const QJsonValue& json);
    QJsonObject toJson() const;

    // Always exactly one configuration.
    static QList<StripConfig> load(const Defaults& defaults);
    // Stores at most the first configuration; an empty list is stored as
    // "[]". A list that cannot be written as JSON (a speed that is not a
    // finite number) writes nothing. The settings file is written before it
    // returns.
    static void save(const QList<StripConfig>& strips, Defaults& defaults);
    // Sum of the loaded strips' heights in logical pixels.
    static int totalHeight(const Defaults& defaults);
    // Sets "secondTickerEnabled" from the older switch, once: only when it
    // holds no value at all and "stackedTickersSpike" is true.
    static void migrateLegacySecondTicker(Defaults& defaults);

    // A stored strip's field, read and written through the stored text so no
    // caller keeps a stale copy. Out of range: the fallback, and writes are
    // ignored.
    template <class T>
    static T field(const Defaults& defaults, int index, T StripConfig::*member, T fallback)
    {
        const QList<StripConfig> strips = load(defaults);
        return index >= 0 && index < strips.size() ? strips[index].*member : fallback;
    }
    template <class T>
    static void setField(Defaults& defaults, int index, T StripConfig::*member, T value)
    {
        QList<StripConfig> strips = load(defaults);
        if (index < 0 || index >= strips.size())
            return;
        strips[index].*member = std::move(value);
        save(strips, defaults);
    }

private:
    static StripConfig fromLegacySettings(const Defaults& defaults);
};
