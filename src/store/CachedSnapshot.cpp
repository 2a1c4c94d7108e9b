#include "store/CachedSnapshot.h"

namespace {
const QString kTopics = QStringLiteral("topics");
const QString kFeeds = QStringLiteral("feeds");
const QString kOrbs = QStringLiteral("orbs");
const QString kItems = QStringLiteral("items");
const QString kCachedAt = QStringLiteral("cachedAt");
} // namespace

JsonOptions CachedSnapshot::options()
{
    return JsonOptions{DateCoding::iso8601()};
}

Result<CachedSnapshot> CachedSnapshot::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("CachedSnapshot"));
    CachedSnapshot s;
    s.topics = in.required<QList<Topic>>(kTopics);
    s.feeds = in.required<QList<FeedIndexItem>>(kFeeds);
    s.orbs = in.required<QList<Orb>>(kOrbs);
    s.items = in.required<QList<FeedItem>>(kItems);
    const std::optional<QDateTime> cachedAt = in.requiredDate(kCachedAt);
    if (!in.ok())
        return std::unexpected(in.error());
    s.cachedAt = *cachedAt;
    return s;
}

QJsonObject CachedSnapshot::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(kTopics, topics);
    out.put(kFeeds, feeds);
    out.put(kOrbs, orbs);
    out.put(kItems, items);
    out.putDate(kCachedAt, cachedAt);
    return out.object();
}
