#include "ticker/StripConfig.h"

#include "platform/storage/Defaults.h"
#include "platform/storage/Json.h"
#include "platform/base/Logging.h"
#include "platform/storage/SettingsCatalogue.h"
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

// The strip of the stored text that is used (the first that reads), and
// whether all of the text was read. An element that does not read costs that
// element only; absent or empty text is no strip and nothing unreadable.
struct StoredStrips {
    QList<StripConfig> strips;
    bool whole = true;
    QStringList problems;  // for the log
};

StoredStrips parseStored(const Defaults& defaults)
{
    StoredStrips out;
    const QJsonValue stored = defaults.value(StripConfig::stripsKey);
    if (!defaults.contains(StripConfig::stripsKey) || (stored.isString() && stored.toString().isEmpty()))
        return out;
    out.whole = false;
    if (!stored.isString()) {
        out.problems.append(QStringLiteral("it is not a text; none of it can be read"));
        return out;
    }
    const QString text = stored.toString();
    if (text.size() > StripConfig::kMaxStoredText) {
        out.problems.append(QStringLiteral("its text is longer than %1 characters; none of it is read")
                                .arg(StripConfig::kMaxStoredText));
        return out;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (!doc.isArray()) {
        out.problems.append(error.error != QJsonParseError::NoError
                                ? QStringLiteral("it is not a list: %1 at byte %2").arg(error.errorString()).arg(error.offset)
                                : QStringLiteral("it is not a list; none of it can be read"));
        return out;
    }
    const QJsonArray array = doc.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!out.strips.isEmpty()) {
            out.problems.append(QStringLiteral("left out: %1 after the first that reads, as one strip is used")
                                    .arg(array.size() - i));
            return out;
        }
        Result<StripConfig> c = StripConfig::fromJson(array.at(i));
        if (c)
            out.strips.append(*c);
        else
            out.problems.append(QStringLiteral("record %1 of %2 cannot be read and is left out: %3")
                                    .arg(i + 1)
                                    .arg(array.size())
                                    .arg(c.error().description));
    }
    out.whole = out.problems.isEmpty();
    return out;
}

// As parseStored(), logged as every stored list is: once for each stored
// text, though the strips are read again on every look at them.
StoredStrips readStored(const Defaults& defaults)
{
    StoredStrips out = parseStored(defaults);
    if (out.whole)
        return out;
    static size_t reported = 0;  // the text last logged; main thread only
    const size_t text = qHash(defaults.value(StripConfig::stripsKey).toString(), 1);
    if (text == reported)
        return out;
    reported = text;
    for (const QString& problem : out.problems)
        qCCritical(lcTicker).noquote() << "Stored" << StripConfig::stripsKey + u':' << problem;
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
    defaults.setAndSave(stripsKey, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
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
