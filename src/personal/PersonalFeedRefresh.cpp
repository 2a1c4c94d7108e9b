// Fetching and polling side of PersonalFeedStore: the item mapping, the
// refresh pass and the poll loop.

#include "personal/PersonalFeedStore.h"

#include "platform/base/Clock.h"

#include <QHash>
#include <QSet>
#include <algorithm>

namespace {

const QString kNoItemsText = QStringLiteral("No items in the feed right now");

QString sourceDomain(const QString& feedUrl)
{
    const QUrl url(feedUrl);
    if (!url.isValid() || url.host().isEmpty())
        return feedUrl;
    return url.host().toLower().remove(QStringLiteral("www."));
}

FeedCategory personalCategory()
{
    FeedCategory category;
    category.id = QStringLiteral("personal");
    category.name = QStringLiteral("Your feeds");
    category.slug = QStringLiteral("personal");
    category.sortOrder = 0;
    return category;
}

} // namespace

QList<FeedItem> PersonalFeedStore::toFeedItems(const ParsedFeed& parsed, const PersonalFeed& feed)
{
    FeedSource source;
    source.id = feed.id;
    source.title = feed.title;
    source.domain = sourceDomain(feed.url);
    source.sourceType = SourceType::Rss;
    source.category = personalCategory();

    QList<FeedItem> dated;
    QList<FeedItem> undated;
    QSet<QString> seen;
    for (const ParsedFeedItem& entry : parsed.items) {
        const QString key = entry.link ? *entry.link : entry.guid ? *entry.guid : entry.title;
        const QString stableId = feed.id + QLatin1Char('-') + key;
        if (seen.contains(stableId))
            continue;  // the first entry with this key wins
        seen.insert(stableId);
        FeedItem item{stableId, entry.title, entry.link, entry.publishedAt, source, entry.imageUrl};
        (item.publishedAt ? dated : undated).append(std::move(item));
    }
    std::stable_sort(dated.begin(), dated.end(),
                     [](const FeedItem& a, const FeedItem& b) { return *a.publishedAt > *b.publishedAt; });
    dated.append(undated);
    if (dated.size() > kMaxItemsPerFeed)
        dated.resize(kMaxItemsPerFeed);
    return dated;
}

QCoro::Task<void> PersonalFeedStore::refreshAll()
{
    return refreshPass(this, {});
}

QCoro::Task<void> PersonalFeedStore::refreshPass(QPointer<PersonalFeedStore> self, std::stop_token stop)
{
    if (!self || self->m_feeds.isEmpty() || self->m_isRefreshing)
        co_return;
    self->assignRefreshing(true);

    const QList<PersonalFeed> pass = self->m_feeds;
    QHash<QString, QList<FeedItem>> fresh;
    for (const PersonalFeed& feed : pass) {
        const QUrl url(feed.url);
        if (!feed.isEnabled || !url.isValid())
            continue;
        const FetchOutcome outcome = co_await self->m_fetcher.fetch(url, stop);
        if (!self)
            co_return;
        // A stopped pass records nothing for the fetch it broke off and
        // fetches no further feeds; what it already took is kept below.
        if (stop.stop_requested())
            break;
        self->recordOutcome(feed, outcome, fresh);
    }

    self->saveFeeds();
    self->assignItems(self->mergedItems(fresh));
    self->saveItems(self->m_items);
    self->notifyItemsChanged();
    self->assignRefreshing(false);
}

void PersonalFeedStore::recordOutcome(const PersonalFeed& feed, const FetchOutcome& outcome,
                                      QHash<QString, QList<FeedItem>>& fresh)
{
    PersonalFeed* current = feedWithId(feed.id);
    if (!current)
        return;  // removed while it was being fetched
    if (outcome.isFailed()) {
        current->lastError = outcome.message;
    } else if (!outcome.feed || outcome.feed->items.isEmpty()) {
        current->lastFetchedAt = m_clock.now();
        current->lastError = kNoItemsText;
    } else {
        QList<FeedItem> items = toFeedItems(*outcome.feed, feed);
        current->lastFetchedAt = m_clock.now();
        current->lastError.reset();
        current->itemCount = items.size();
        fresh.insert(feed.id, std::move(items));
    }
    Q_EMIT feedsChanged();
}

// Fresh items where a feed gave some, its kept items otherwise; items of
// feeds no longer listed drop out.
QList<FeedItem> PersonalFeedStore::mergedItems(const QHash<QString, QList<FeedItem>>& fresh) const
{
    QHash<QString, QList<FeedItem>> kept;
    for (const FeedItem& item : m_items) {
        if (item.source)
            kept[item.source->id].append(item);
    }
    QList<FeedItem> merged;
    for (const PersonalFeed& feed : m_feeds) {
        const auto found = fresh.constFind(feed.id);
        merged.append(found != fresh.cend() ? *found : kept.value(feed.id));
    }
    return merged;
}

void PersonalFeedStore::start()
{
    // Only the switched-on feeds' items, like every later hand-over.
    notifyItemsChanged();
    if (m_pollTask)
        return;
    auto task = std::make_shared<PollTask>();
    setPollTask(task);
    pollLoop(this, &m_scheduler, task->token());
}

QCoro::Task<void> PersonalFeedStore::pollLoop(QPointer<PersonalFeedStore> self, Scheduler* scheduler,
                                              std::stop_token stop)
{
    while (!stop.stop_requested() && self) {
        co_await refreshPass(self, stop);
        if (stop.stop_requested() || !self)
            co_return;
        co_await scheduler->sleep(std::chrono::duration_cast<Scheduler::Duration>(kPollInterval), stop);
    }
}
