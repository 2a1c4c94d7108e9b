#include "api/OrbModels.h"

using Sentiment = Orb::Sentiment;
using Velocity = Orb::Velocity;
using TopItem = Orb::TopItem;
using TopSource = Orb::TopSource;

Result<Sentiment> Sentiment::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Sentiment"));
    Sentiment s{in.optional<double>(QStringLiteral("score")), in.optional<QString>(QStringLiteral("label"))};
    if (!in.ok())
        return std::unexpected(in.error());
    return s;
}

QJsonObject Sentiment::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("score"), score);
    out.put(QStringLiteral("label"), label);
    return out.object();
}

Result<Velocity> Velocity::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Velocity"));
    Velocity v{in.optional<double>(QStringLiteral("per_hour")), in.optional<QString>(QStringLiteral("ui"))};
    if (!in.ok())
        return std::unexpected(in.error());
    return v;
}

QJsonObject Velocity::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("per_hour"), perHour);
    out.put(QStringLiteral("ui"), ui);
    return out.object();
}

Result<TopItem> TopItem::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("TopItem"));
    TopItem t;
    t.itemId = in.required<QString>(QStringLiteral("item_id"));
    t.score = in.optional<double>(QStringLiteral("score"));
    t.imageUrl = in.optional<QString>(QStringLiteral("image_url"));
    if (!in.ok())
        return std::unexpected(in.error());
    return t;
}

QJsonObject TopItem::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("item_id"), itemId);
    out.put(QStringLiteral("score"), score);
    out.put(QStringLiteral("image_url"), imageUrl);
    return out.object();
}

Result<TopSource> TopSource::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("TopSource"));
    TopSource t;
    t.feedId = in.required<QString>(QStringLiteral("feed_id"));
    t.count = in.optional<qint64>(QStringLiteral("count"));
    if (!in.ok())
        return std::unexpected(in.error());
    return t;
}

QJsonObject TopSource::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("feed_id"), feedId);
    out.put(QStringLiteral("count"), count);
    return out.object();
}

namespace {

const QString kKeywordUrls = QStringLiteral("keyword_urls");

// An array whose elements are strings or nulls; a null keeps its position.
std::optional<QList<std::optional<QString>>> readNullableStrings(JsonIn& in, const QString& key)
{
    if (!in.ok() || !in.has(key))
        return std::nullopt;
    const QJsonValue v = in.object().value(key);
    if (!v.isArray()) {
        in.fail(QStringLiteral("\"%1\" is not an array").arg(key));
        return std::nullopt;
    }
    QList<std::optional<QString>> out;
    const QJsonArray array = v.toArray();
    out.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue e = array.at(i);
        if (e.isNull()) {
            out.append(std::nullopt);
        } else if (e.isString()) {
            out.append(e.toString());
        } else {
            in.fail(QStringLiteral("\"%1[%2]\" is not a string").arg(key, QString::number(i)));
            return std::nullopt;
        }
    }
    return out;
}

QJsonArray nullableStrings(const QList<std::optional<QString>>& list)
{
    QJsonArray array;
    for (const auto& e : list)
        array.append(e ? QJsonValue(*e) : QJsonValue(QJsonValue::Null));
    return array;
}

} // namespace

Result<Orb> Orb::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("Orb"));
    Orb o;
    o.id = in.required<QString>(QStringLiteral("topic_id"));
    o.topicLabel = in.required<QString>(QStringLiteral("topic_label"));
    o.sentiment = in.optional<Sentiment>(QStringLiteral("sentiment"));
    o.keywords = in.optional<QStringList>(QStringLiteral("keywords"));
    o.keywordUrls = readNullableStrings(in, kKeywordUrls);
    o.displayColor = in.optional<QString>(QStringLiteral("display_color"));
    o.restingColor = in.optional<QString>(QStringLiteral("resting_color"));
    o.velocity = in.optional<Velocity>(QStringLiteral("velocity"));
    o.volume = in.optional<qint64>(QStringLiteral("volume"));
    o.topItems = in.optional<QList<TopItem>>(QStringLiteral("top_items"));
    o.diversity = in.optional<qint64>(QStringLiteral("diversity"));
    o.topSources = in.optional<QList<TopSource>>(QStringLiteral("top_sources"));
    o.categorySlugs = in.optional<QStringList>(QStringLiteral("category_slugs"));
    if (!in.ok())
        return std::unexpected(in.error());
    return o;
}

QJsonObject Orb::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("topic_id"), id);
    out.put(QStringLiteral("topic_label"), topicLabel);
    out.put(QStringLiteral("sentiment"), sentiment);
    out.put(QStringLiteral("keywords"), keywords);
    out.put(QStringLiteral("display_color"), displayColor);
    out.put(QStringLiteral("resting_color"), restingColor);
    out.put(QStringLiteral("velocity"), velocity);
    out.put(QStringLiteral("volume"), volume);
    out.put(QStringLiteral("top_items"), topItems);
    out.put(QStringLiteral("diversity"), diversity);
    out.put(QStringLiteral("top_sources"), topSources);
    out.put(QStringLiteral("category_slugs"), categorySlugs);
    QJsonObject object = out.object();
    if (keywordUrls)
        object.insert(kKeywordUrls, nullableStrings(*keywordUrls));
    return object;
}

Result<OrbsResponse> OrbsResponse::fromJson(const QJsonValue& json, const JsonOptions& options)
{
    JsonIn in(json, options, QStringLiteral("OrbsResponse"));
    OrbsResponse r;
    r.orbs = in.required<QList<Orb>>(QStringLiteral("orbs"));
    if (!in.ok())
        return std::unexpected(in.error());
    return r;
}

QJsonObject OrbsResponse::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("orbs"), orbs);
    return out.object();
}
