#include "ticker/StripConfig.h"

#include "platform/Defaults.h"
#include "platform/Json.h"
#include "platform/SettingsCatalogue.h"
#include "ticker/StripMetrics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {
const QString kLatest = QStringLiteral("latest");
} // namespace

Result<StripConfig> StripConfig::fromJson(const QJsonValue& json)
{
    JsonIn in(json, JsonOptions{}, QStringLiteral("StripConfig"));
    StripConfig c;
    c.mix = in.required<QString>(QStringLiteral("mix"));
    c.speed = in.required<double>(QStringLiteral("speed"));
    c.size = in.required<int>(QStringLiteral("size"));
    c.background = in.required<QString>(QStringLiteral("background"));
    if (!in.ok())
        return std::unexpected(in.error());
    return c;
}

QJsonObject StripConfig::toJson() const
{
    return QJsonObject{{QStringLiteral("mix"), mix},
                       {QStringLiteral("speed"), speed},
                       {QStringLiteral("size"), size},
                       {QStringLiteral("background"), background}};
}

StripConfig StripConfig::fromLegacySettings(const Defaults& defaults)
{
    StripConfig c;
    c.speed = Settings::scrollSpeed.read(defaults);
    const qint64 size = Settings::tickerSize.read(defaults);
    c.size = size == 0 || size < INT_MIN || size > INT_MAX ? int(Settings::tickerSize.fallback) : int(size);
    c.background = Settings::themeBackground.read(defaults);
    // Pieces are not trimmed: " music" is a mix of its own.
    const QStringList pieces =
        Settings::extraStripMixes.read(defaults).split(QLatin1Char(','), Qt::SkipEmptyParts);
    c.mix = pieces.isEmpty() ? kLatest : pieces.first();
    return c;
}

namespace {

// The strips of the stored text that read, and whether all of it did. An
// element that does not read costs that element only; absent or empty text
// is no strip and nothing unreadable.
struct StoredStrips {
    QList<StripConfig> strips;
    bool whole = true;
};

StoredStrips readStored(const Defaults& defaults)
{
    StoredStrips out;
    const QJsonValue stored = defaults.value(StripConfig::stripsKey);
    if (!defaults.contains(StripConfig::stripsKey) || (stored.isString() && stored.toString().isEmpty()))
        return out;
    const QJsonDocument doc = QJsonDocument::fromJson(stored.toString().toUtf8());
    out.whole = stored.isString() && doc.isArray();
    for (const QJsonValue& element : doc.array()) {
        Result<StripConfig> c = StripConfig::fromJson(element);
        if (c)
            out.strips.append(*c);
        else
            out.whole = false;
    }
    return out;
}

} // namespace

QList<StripConfig> StripConfig::load(const Defaults& defaults)
{
    const StoredStrips stored = readStored(defaults);
    if (!stored.strips.isEmpty())
        return {stored.strips.first()};
    return {fromLegacySettings(defaults)};
}

void StripConfig::save(const QList<StripConfig>& strips, Defaults& defaults)
{
    QJsonArray array;
    if (!strips.isEmpty()) {
        if (!std::isfinite(strips.first().speed))
            return;  // JSON has no text for it
        array.append(strips.first().toJson());
    }
    // Stored text that did not read whole is kept aside before the new
    // text takes its place in the file.
    if (!readStored(defaults).whole)
        defaults.setAsideBeforeReplacing(stripsKey);
    defaults.set(stripsKey, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
}

int StripConfig::totalHeight(const Defaults& defaults)
{
    int total = 0;
    for (const StripConfig& c : load(defaults))
        total += StripMetrics::stripHeight(c.size);
    return total;
}

void StripConfig::migrateLegacySecondTicker(Defaults& defaults)
{
    if (defaults.contains(enabledKey))
        return;
    if (Settings::stackedTickersSpike.read(defaults))
        defaults.set(enabledKey, true);
}
