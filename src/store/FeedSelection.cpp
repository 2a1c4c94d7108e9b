#include "store/FeedSelection.h"

#include "platform/storage/Defaults.h"

#include <QStringList>
#include <algorithm>

namespace FeedSelection {

QSet<QString> parseIds(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return QSet<QString>(pieces.begin(), pieces.end());
}

QString joinIds(const QSet<QString>& ids)
{
    QStringList sorted(ids.begin(), ids.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted.join(QLatin1Char(','));
}

QSet<QString> loadDisabled(const Defaults& defaults)
{
    return parseIds(defaults.stringValue(DisabledKey));
}

QSet<QString> loadActiveCurated(const Defaults& defaults)
{
    if (defaults.contains(ActiveCuratedKey))
        return parseIds(defaults.stringValue(ActiveCuratedKey));
    const QString legacy = defaults.stringValue(LegacyActiveCuratedKey);
    if (!legacy.isEmpty())
        return {legacy};
    return {};
}

void saveDisabled(Defaults& defaults, const QSet<QString>& ids)
{
    defaults.setAndSave(DisabledKey, QJsonValue(joinIds(ids)));
}

void saveActiveCurated(Defaults& defaults, const QSet<QString>& ids)
{
    if (ids.isEmpty())
        defaults.remove(ActiveCuratedKey);
    else
        defaults.set(ActiveCuratedKey, QJsonValue(joinIds(ids)));
    defaults.remove(LegacyActiveCuratedKey);
}

} // namespace FeedSelection
