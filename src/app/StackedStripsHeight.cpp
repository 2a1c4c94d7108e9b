#include "app/StackedStripsHeight.h"

#include "app/TickerPlacement.h"
#include "platform/Defaults.h"
#include "platform/Json.h"

#include <QJsonDocument>

namespace {

const QString kStripsKey = QStringLiteral("stackedStripsJSON");
const QString kTickerSizeKey = QStringLiteral("tickerSize");

// The size code of the first stored strip, when the stored list decodes
// completely (every entry with all four fields of the right type) and holds
// at least one strip.
std::optional<qint64> storedFirstSize(const Defaults& defaults)
{
    const QJsonValue stored = defaults.value(kStripsKey);
    if (!stored.isString())
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(stored.toString().toUtf8());
    if (!doc.isArray() || doc.array().isEmpty())
        return std::nullopt;
    std::optional<qint64> first;
    for (const QJsonValue& entry : doc.array()) {
        JsonIn in(entry, JsonOptions{}, QStringLiteral("StripConfig"));
        in.required<QString>(QStringLiteral("mix"));
        in.required<double>(QStringLiteral("speed"));
        const qint64 size = in.required<qint64>(QStringLiteral("size"));
        in.required<QString>(QStringLiteral("background"));
        if (!in.ok())
            return std::nullopt;
        if (!first)
            first = size;
    }
    return first;
}

} // namespace

int stackedStripsHeight(const Defaults& defaults)
{
    // Only one stacked strip is ever shown; without a readable stored list it
    // is built from the main strip's size.
    qint64 size = storedFirstSize(defaults).value_or(-1);
    if (size == -1) {
        size = defaults.intValue(kTickerSizeKey, 2);
        if (size == 0)
            size = 2;
    }
    return TickerPlacement::stripHeight(size);
}
