// The feed selection and the update offer.
#include "store/FeedStore.h"

#include "platform/storage/Defaults.h"
#include "store/FeedSelection.h"

#include <algorithm>

namespace {

bool isActive(const FeedIndexItem& feed)
{
    return feed.isActive.value_or(true);
}

} // namespace

int FeedStore::activeFeedCount() const
{
    return int(std::count_if(m_feeds.cbegin(), m_feeds.cend(), [this](const FeedIndexItem& feed) {
        return isActive(feed) && !m_disabledIDs.contains(feed.id);
    }));
}

QStringList FeedStore::activeFeedIDs() const
{
    QStringList ids;
    for (const FeedIndexItem& feed : m_feeds) {
        if (ids.size() == MaxRequestedFeeds)
            break;
        if (isActive(feed) && !m_disabledIDs.contains(feed.id))
            ids.append(feed.id);
    }
    return ids;
}

QStringList FeedStore::defaultFeedIDs(const QList<FeedIndexItem>& catalogue, int limit) const
{
    QList<const FeedIndexItem*> active;
    for (const FeedIndexItem& feed : catalogue) {
        if (isActive(feed))
            active.append(&feed);
    }
    std::stable_sort(active.begin(), active.end(), [](const FeedIndexItem* a, const FeedIndexItem* b) {
        return a->rankScore.value_or(-1.0) > b->rankScore.value_or(-1.0);
    });
    QStringList ids;
    for (qsizetype i = 0; i < active.size() && i < limit; ++i)
        ids.append(active.at(i)->id);
    return ids;
}

void FeedStore::toggleFeed(const QString& feedID)
{
    QSet<QString> disabled = m_disabledIDs;
    if (!disabled.remove(feedID))
        disabled.insert(feedID);
    setDisabledIDs(disabled);
    afterManualSelectionChange();
}

void FeedStore::setFeeds(const QStringList& feedIDs, bool enabled)
{
    if (feedIDs.isEmpty())
        return;
    for (const QString& id : feedIDs) {
        if (enabled)
            m_disabledIDs.remove(id);
        else
            m_disabledIDs.insert(id);
        Q_EMIT disabledIDsChanged();
    }
    afterManualSelectionChange();
}

void FeedStore::applyCuratedSelection(const QStringList& feedIDs, const QSet<QString>& curatedIDs)
{
    if (m_feeds.isEmpty())
        return;
    const QStringList keptList = curatedIDs.isEmpty() ? defaultFeedIDs(m_feeds, MaxRequestedFeeds) : feedIDs;
    const QSet<QString> kept(keptList.begin(), keptList.end());
    QSet<QString> disabled;
    for (const FeedIndexItem& feed : m_feeds) {
        if (!kept.contains(feed.id))
            disabled.insert(feed.id);
    }
    setDisabledIDs(disabled);
    setActiveCurated(curatedIDs);
    saveDisabledIDs();
    clearItemsIfNoActiveFeeds();
    scheduleRefresh();
}

void FeedStore::afterManualSelectionChange()
{
    setActiveCurated({});  // a manual change ends the curated selection
    saveDisabledIDs();
    clearItemsIfNoActiveFeeds();
    scheduleRefresh();
}

void FeedStore::setActiveCurated(const QSet<QString>& ids)
{
    setActiveCuratedIDs(ids);
    FeedSelection::saveActiveCurated(m_defaults, ids);
}

void FeedStore::saveDisabledIDs()
{
    FeedSelection::saveDisabled(m_defaults, m_disabledIDs);
}

void FeedStore::clearItemsIfNoActiveFeeds()
{
    if (activeFeedCount() > 0)
        return;
    setItems({});
    setStatusMessage(QStringLiteral("No active feeds"));
}

void FeedStore::checkForUpdate(const std::optional<ClientRelease>& release)
{
    if (!release || !release->downloadURL()) {
        setAvailableUpdate(std::nullopt);
        return;
    }
    const QString dismissed = m_defaults.stringValue(FeedSelection::DismissedReleaseKey);
    const bool offer = ClientRelease::isNewer(release->version, m_runningVersion) && release->version != dismissed;
    setAvailableUpdate(offer ? release : std::nullopt);
}

void FeedStore::dismissUpdate()
{
    if (!m_availableUpdate)
        return;
    m_defaults.setAndSave(FeedSelection::DismissedReleaseKey, QJsonValue(m_availableUpdate->version));
    setAvailableUpdate(std::nullopt);
}
