// Topic focus and the relative "last updated" text.
#include "store/FeedStore.h"

#include "api/RelativeTime.h"
#include "platform/base/Clock.h"
#include "platform/base/Logging.h"

#include <algorithm>
#include <memory>

namespace {
constexpr int kFocusFeedLimit = 20;
constexpr int kFocusItemsPerFeed = 10;
} // namespace

void FeedStore::focusTopic(const QString& topicID)
{
    if (m_focusedTopicID == topicID)
        setFocusedTopicID(std::nullopt);  // a second tap on the same orb leaves the focus
    else
        setFocusedTopicID(topicID);
    setFocusedItems({});
    if (m_focusedTopicID)
        fetchFocusedItems(*m_focusedTopicID, m_lifetime.get_token());
}

QCoro::Task<void> FeedStore::fetchFocusedItems(QString topicID, std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const QStringList ids = focusFeedIDs(topicID);
    if (ids.isEmpty())
        co_return;
    const Result<Fetched<ItemsBatchResponse>> reply =
        co_await m_api->itemsBatch(ids, kFocusItemsPerFeed, std::nullopt, stop);
    if (!self || stop.stop_requested())
        co_return;
    if (reply) {
        // A reply for a topic the user has left since is dropped.
        if (m_focusedTopicID == topicID)
            setFocusedItems(reply->value.items);
        co_return;
    }
    if (reply.error().is(ErrorKind::Cancelled) || reply.error().is(ErrorKind::NotModified))
        co_return;
    qCCritical(lcFeedStore, "focused items fetch failed: %s", qUtf8Printable(reply.error().description));
}

QStringList FeedStore::focusFeedIDs(const QString& topicID) const
{
    const auto orb = std::find_if(m_orbs.cbegin(), m_orbs.cend(), [&](const Orb& o) { return o.id == topicID; });
    if (orb == m_orbs.cend())
        return {};
    QSet<QString> slugs;
    for (const QString& slug : orb->categorySlugs.value_or(QStringList{})) {
        if (!slug.isEmpty())
            slugs.insert(slug.toLower());
    }
    if (slugs.isEmpty())
        return {};
    QList<const FeedIndexItem*> matching;
    for (const FeedIndexItem& feed : m_feeds) {
        if (!feed.isActive.value_or(true) || !feed.category || !feed.category->slug)
            continue;
        if (slugs.contains(feed.category->slug->toLower()))
            matching.append(&feed);
    }
    std::stable_sort(matching.begin(), matching.end(), [](const FeedIndexItem* a, const FeedIndexItem* b) {
        return a->items30d.value_or(0) > b->items30d.value_or(0);
    });
    QStringList ids;
    for (qsizetype i = 0; i < matching.size() && i < kFocusFeedLimit; ++i)
        ids.append(matching.at(i)->id);
    return ids;
}

std::optional<Orb> FeedStore::focusedOrb() const
{
    if (!m_focusedTopicID)
        return std::nullopt;
    for (const Orb& orb : m_orbs) {
        if (orb.id == *m_focusedTopicID)
            return orb;
    }
    return std::nullopt;
}

std::optional<QString> FeedStore::lastUpdatedText() const
{
    if (!m_lastUpdated)
        return std::nullopt;
    return relativeTimeText(*m_lastUpdated, m_clock.now());
}
