#include "api/ItemModels.h"

#include "api/ApiJson.h"

#include <QHashFunctions>

namespace {
const QString kItemId = QStringLiteral("item_id");
const QString kTitle = QStringLiteral("title");
const QString kUrl = QStringLiteral("url");
const QString kPublishedAt = QStringLiteral("published_at");
const QString kSource = QStringLiteral("source");
const QString kImageUrl = QStringLiteral("image_url");
} // namespace

// FeedCategory ---------------------------------------------------------------

Result<FeedCategory> FeedCategory::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("FeedCategory"));
    FeedCategory c;
    c.id = in.optional<QString>(QStringLiteral("category_id"));
    c.name = in.optional<QString>(QStringLiteral("name"));
    c.slug = in.optional<QString>(QStringLiteral("slug"));
    c.sortOrder = in.optional<qint64>(QStringLiteral("sort_order"));
    if (!in.ok())
        return std::unexpected(in.error());
    return c;
}

QJsonObject FeedCategory::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("category_id"), id);
    out.put(QStringLiteral("name"), name);
    out.put(QStringLiteral("slug"), slug);
    out.put(QStringLiteral("sort_order"), sortOrder);
    return out.object();
}

namespace {
template <class T>
size_t hashOptional(const std::optional<T>& value, size_t seed)
{
    // An absent value mixes in a marker no present value produces.
    return value ? qHashMulti(seed, 1, *value) : qHashMulti(seed, 0);
}
} // namespace

size_t qHash(const FeedCategory& c, size_t seed) noexcept
{
    seed = hashOptional(c.id, seed);
    seed = hashOptional(c.name, seed);
    seed = hashOptional(c.slug, seed);
    return hashOptional(c.sortOrder, seed);
}

// FeedSource -----------------------------------------------------------------

Result<FeedSource> FeedSource::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("FeedSource"));
    FeedSource s;
    s.id = in.required<QString>(QStringLiteral("feed_id"));
    s.title = in.optional<QString>(kTitle);
    s.slug = in.optional<QString>(QStringLiteral("slug"));
    s.iconUrl = in.optional<QString>(QStringLiteral("icon_url"));
    s.domain = in.optional<QString>(QStringLiteral("domain"));
    s.sourceType = ApiJson::optionalSourceType(in, QStringLiteral("source_type"));
    s.category = in.optional<FeedCategory>(QStringLiteral("category"));
    if (!in.ok())
        return std::unexpected(in.error());
    return s;
}

QJsonObject FeedSource::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("feed_id"), id);
    out.put(kTitle, title);
    out.put(QStringLiteral("slug"), slug);
    out.put(QStringLiteral("icon_url"), iconUrl);
    out.put(QStringLiteral("domain"), domain);
    ApiJson::putSourceType(out, QStringLiteral("source_type"), sourceType);
    out.put(QStringLiteral("category"), category);
    return out.object();
}

// FeedItem -------------------------------------------------------------------

Result<FeedItem> FeedItem::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("FeedItem"));
    FeedItem item;
    item.stableId = in.required<QString>(kItemId);
    item.title = in.required<QString>(kTitle);
    item.url = in.optional<QString>(kUrl);
    item.publishedAt = ApiJson::optionalDate(in, kPublishedAt);
    item.source = in.optional<FeedSource>(kSource);
    item.imageUrl = in.optional<QString>(kImageUrl);
    if (!in.ok())
        return std::unexpected(in.error());
    return item;
}

QJsonObject FeedItem::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(kItemId, stableId);
    out.put(kTitle, title);
    out.put(kUrl, url);
    out.putDate(kPublishedAt, publishedAt);
    out.put(kSource, source);
    out.put(kImageUrl, imageUrl);
    return out.object();
}

// Replies --------------------------------------------------------------------

Result<ItemsBatchResponse> ItemsBatchResponse::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("ItemsBatchResponse"));
    ItemsBatchResponse r;
    r.items = in.required<QList<FeedItem>>(QStringLiteral("items"));
    if (!in.ok())
        return std::unexpected(in.error());
    return r;
}

QJsonObject ItemsBatchResponse::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("items"), items);
    return out.object();
}

Result<WeatherResponse> WeatherResponse::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("WeatherResponse"));
    WeatherResponse w;
    w.city = in.required<QString>(QStringLiteral("city"));
    w.temp = in.required<QString>(QStringLiteral("temp"));
    w.condition = in.required<QString>(QStringLiteral("condition"));
    w.icon = in.required<QString>(QStringLiteral("icon"));
    if (!in.ok())
        return std::unexpected(in.error());
    return w;
}

QJsonObject WeatherResponse::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("city"), city);
    out.put(QStringLiteral("temp"), temp);
    out.put(QStringLiteral("condition"), condition);
    out.put(QStringLiteral("icon"), icon);
    return out.object();
}
