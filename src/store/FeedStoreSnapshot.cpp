// The snapshot cache: restored first thing in start(), written after refreshes.
#include "store/FeedStore.h"

#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "store/CachedSnapshot.h"

void FeedStore::loadSnapshot()
{
    const QJsonValue stored = m_defaults.caches().value(SnapshotKey);
    if (!stored.isObject())
        return;
    Result<CachedSnapshot> snapshot = CachedSnapshot::fromJson(stored, CachedSnapshot::options());
    if (!snapshot)
        return;  // an older or damaged snapshot: the next save replaces it
    setTopics(snapshot->topics);
    setFeedIndex(snapshot->feeds);
    setOrbs(snapshot->orbs);
    setItems(snapshot->items);
    setLastUpdated(snapshot->cachedAt);
    if (!snapshot->items.isEmpty()) {
        setPhase(AppPhase::running());
        setStatusMessage(QStringLiteral("Live"));
    }
}

void FeedStore::saveSnapshot()
{
    // Taken now (the lists are shared, not copied), encoded and written on
    // the cache writer, which keeps saves in call order. cachedAt is when the
    // data was fetched, so restored headlines do not pass for fresh ones.
    CachedSnapshot snapshot{m_topics, m_feeds, m_orbs, m_items, m_lastUpdated.value_or(m_clock.now())};
    m_defaults.caches().setLater(SnapshotKey, [snapshot = std::move(snapshot)] {
        return QJsonValue(snapshot.toJson(CachedSnapshot::options()));
    });
}
