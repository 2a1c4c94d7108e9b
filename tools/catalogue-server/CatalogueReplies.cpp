#include "CatalogueReplies.h"

#include "SampleRandom.h"

#include <QColor>
#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace {

QString stateStatus(FeedState state)
{
    switch (state) {
    case FeedState::Flowing: return QStringLiteral("ok");
    case FeedState::Quiet: return QStringLiteral("stale");
    case FeedState::Broken: return QStringLiteral("broken");
    case FeedState::Inactive: return QStringLiteral("paused");
    }
    return QStringLiteral("ok");
}

QString hexColor(const QColor& color)
{
    return color.name(QColor::HexRgb).toUpper();
}

} // namespace

CatalogueReplies::CatalogueReplies(const SampleCatalogue& catalogue, QUrl base)
    : m_catalogue(catalogue), m_base(std::move(base))
{
}

QString CatalogueReplies::isoDate(const QDateTime& when)
{
    return when.toUTC().toString(Qt::ISODate);
}

QString CatalogueReplies::isoDateWithMillis(const QDateTime& when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

QString CatalogueReplies::iconUrl(const SampleFeed& feed) const
{
    return m_base.resolved(QUrl(QStringLiteral("ip3/%1.ico").arg(feed.domain))).toString();
}

QJsonObject CatalogueReplies::category(const SampleCategory& category) const
{
    return QJsonObject{{"category_id", category.id},
                       {"name", category.name},
                       {"slug", category.slug},
                       {"sort_order", category.sortOrder}};
}

QJsonObject CatalogueReplies::feedSource(const SampleFeed& feed) const
{
    QJsonObject source{{"feed_id", feed.id},
                       {"title", feed.title},
                       {"slug", feed.slug},
                       {"domain", feed.domain},
                       {"source_type", feed.sourceType},
                       {"category", category(m_catalogue.categoryOf(feed))}};
    if (feed.ownIcon)
        source.insert("icon_url", iconUrl(feed));
    return source;
}

QJsonObject CatalogueReplies::item(const SampleItem& item) const
{
    QJsonObject out{{"item_id", item.id},
                    {"title", item.title},
                    {"url", item.url},
                    {"published_at", isoDateWithMillis(item.publishedAt)},
                    {"source", feedSource(m_catalogue.feeds().at(item.feed))}};
    if (item.hasImage)
        out.insert("image_url", m_base.resolved(QUrl(QStringLiteral("img/%1.png").arg(item.id))).toString());
    return out;
}

QJsonObject CatalogueReplies::feedIndexItem(int index, const QDateTime& now) const
{
    const SampleFeed& feed = m_catalogue.feeds().at(index);
    QJsonObject out{{"feed_id", feed.id},
                    {"title", feed.title},
                    {"url", feed.url},
                    {"is_active", feed.state != FeedState::Inactive},
                    {"source_type", feed.sourceType},
                    {"items_30d", m_catalogue.countWithin(index, now, 30 * 86400)},
                    {"items_1h", m_catalogue.countWithin(index, now, 3600)},
                    {"status", stateStatus(feed.state)},
                    {"category", category(m_catalogue.categoryOf(feed))},
                    {"pillar", m_catalogue.categoryOf(feed).pillar},
                    {"rank_score", feed.rankScore}};
    if (feed.ownIcon)
        out.insert("icon_url", iconUrl(feed));
    if (const auto last = m_catalogue.lastItemAt(index, now))
        out.insert("last_item_at", isoDate(*last));
    return out;
}

QJsonObject CatalogueReplies::manifest(const QDateTime& now) const
{
    QJsonArray topics;
    for (const SampleTopic& topic : m_catalogue.topics())
        topics.append(QJsonObject{
            {"topic_id", topic.id}, {"label", topic.label}, {"slug", topic.slug}, {"orb_color", topic.orbColor}});
    QJsonArray pillars;
    for (const SamplePillar& pillar : m_catalogue.pillars())
        pillars.append(QJsonObject{{"slug", pillar.slug},
                                   {"name", pillar.name},
                                   {"icon", pillar.icon},
                                   {"tint", pillar.tint},
                                   {"blurb", pillar.blurb},
                                   {"sort_order", pillar.sortOrder},
                                   {"feed_count", m_catalogue.feedCountOfPillar(pillar.slug)}});
    QJsonArray index;
    for (int i = 0; i < m_catalogue.feeds().size(); ++i)
        index.append(feedIndexItem(i, now));
    const QJsonObject release{{"version", QStringLiteral(TIDEWIRE_CATALOGUE_RELEASE)},
                              {"build", 1},
                              {"download_url", QStringLiteral("https://tidewire.example/download")},
                              {"release_notes", QStringLiteral("Sample catalogue release.")},
                              {"min_supported", QStringLiteral("0.1.0")}};
    return QJsonObject{{"topics", topics}, {"pillars", pillars}, {"feed_index", index}, {"client_release", release}};
}

QJsonObject CatalogueReplies::itemsBatch(const QStringList& feedIds, int limitPerFeed,
                                         std::optional<int> sinceMinutes, const QDateTime& now) const
{
    std::optional<QDateTime> notBefore;
    if (sinceMinutes && *sinceMinutes > 0)
        notBefore = now.addSecs(-qint64(*sinceMinutes) * 60);
    QList<SampleItem> items;
    QSet<int> seen;
    for (const QString& id : feedIds) {
        const int index = m_catalogue.feedIndex(id);
        if (index < 0 || seen.contains(index))
            continue;
        seen.insert(index);
        items.append(m_catalogue.itemsOf(index, now, limitPerFeed, notBefore));
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const SampleItem& a, const SampleItem& b) { return a.publishedAt > b.publishedAt; });
    QJsonArray out;
    for (const SampleItem& i : items)
        out.append(item(i));
    return QJsonObject{{"items", out}};
}

QJsonObject CatalogueReplies::orbs(const QDateTime& now) const
{
    QJsonArray out;
    for (int i = 0; i < m_catalogue.topics().size(); ++i)
        out.append(orb(i, now));
    return QJsonObject{{"orbs", out}};
}

QJsonObject CatalogueReplies::orb(int topicIndex, const QDateTime& now) const
{
    const SampleTopic& topic = m_catalogue.topics().at(topicIndex);
    // The topic's items of the last day: items of its categories that name a keyword.
    QList<SampleItem> matched;
    for (int f = 0; f < m_catalogue.feeds().size(); ++f) {
        if (!topic.categorySlugs.contains(m_catalogue.categoryOf(m_catalogue.feeds().at(f)).slug))
            continue;
        for (const SampleItem& item : m_catalogue.itemsOf(f, now, 200, now.addSecs(-86400))) {
            const QString title = item.title.toLower();
            if (std::any_of(topic.keywords.begin(), topic.keywords.end(),
                            [&](const QString& k) { return title.contains(k); }))
                matched.append(item);
        }
    }
    std::stable_sort(matched.begin(), matched.end(),
                     [](const SampleItem& a, const SampleItem& b) { return a.publishedAt > b.publishedAt; });

    const auto recent = std::count_if(matched.begin(), matched.end(),
                                      [&](const SampleItem& i) { return i.publishedAt > now.addSecs(-6 * 3600); });
    const double perHour = std::round(double(recent) / 6.0 * 10.0) / 10.0;
    const QString word = perHour >= 4.0 ? "surging" : perHour >= 1.5 ? "rising" : "steady";

    SampleRandom random(m_catalogue.seed(), topic.id, now.toSecsSinceEpoch() / 3600);
    const double score = std::round(random.between(-0.8, 0.8) * 100.0) / 100.0;
    const QString mood = score > 0.25 ? "upbeat" : score < -0.25 ? "tense" : "mixed";

    QJsonArray keywordUrls;
    for (const QString& keyword : topic.keywords) {
        const auto hit = std::find_if(matched.begin(), matched.end(),
                                      [&](const SampleItem& i) { return i.title.toLower().contains(keyword); });
        keywordUrls.append(hit != matched.end() ? QJsonValue(hit->url) : QJsonValue(QJsonValue::Null));
    }
    QJsonArray topItems;
    for (int i = 0; i < std::min<int>(5, int(matched.size())); ++i) {
        QJsonObject top{{"item_id", matched.at(i).id}, {"score", std::round((0.95 - i * 0.08) * 100) / 100}};
        if (matched.at(i).hasImage)
            top.insert("image_url", item(matched.at(i)).value("image_url"));
        topItems.append(top);
    }
    QMap<QString, int> perFeed;
    for (const SampleItem& i : matched)
        ++perFeed[m_catalogue.feeds().at(i.feed).id];
    QList<std::pair<QString, int>> sources(perFeed.keyValueBegin(), perFeed.keyValueEnd());
    std::stable_sort(sources.begin(), sources.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    QJsonArray topSources;
    for (int i = 0; i < std::min<int>(3, int(sources.size())); ++i)
        topSources.append(QJsonObject{{"feed_id", sources.at(i).first}, {"count", sources.at(i).second}});

    // Every other orb carries two different colours (drawn in its own colour);
    // the rest carry one, and the client falls back to the pillar colour.
    const QColor base(topic.orbColor);
    const QColor resting = topicIndex % 2 == 0 ? base.darker(160) : base;
    return QJsonObject{{"topic_id", topic.id},
                       {"topic_label", topic.label},
                       {"sentiment", QJsonObject{{"score", score}, {"label", mood}}},
                       {"keywords", QJsonArray::fromStringList(topic.keywords)},
                       {"keyword_urls", keywordUrls},
                       {"display_color", hexColor(base)},
                       {"resting_color", hexColor(resting)},
                       {"velocity", QJsonObject{{"per_hour", perHour}, {"ui", word}}},
                       {"volume", int(matched.size())},
                       {"top_items", topItems},
                       {"diversity", int(perFeed.size())},
                       {"top_sources", topSources},
                       {"category_slugs", QJsonArray::fromStringList(topic.categorySlugs)}};
}
