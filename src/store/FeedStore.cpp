#include "store/FeedStore.h"

#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/net/Endpoints.h"
#include "platform/base/Logging.h"
#include "platform/net/PathMonitor.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/FeedSelection.h"
#include "store/ItemComposition.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>

namespace {

struct SameItems {
    bool operator()(const QList<FeedItem>& a, const QList<FeedItem>& b) const
    {
        return ItemComposition::sameContent(a, b);
    }
};

} // namespace

FeedStore::FeedStore(Services services, QObject* parent)
    : QObject(parent),
      m_defaults(services.defaults),
      m_clock(services.clock),
      m_scheduler(services.scheduler),
      m_network(services.network),
      m_personal(services.personal),
      m_makePathMonitor(std::move(services.makePathMonitor)),
      m_itunesBase(services.itunesBase),
      m_runningVersion(services.runningVersion),
      m_disabledIDs(FeedSelection::loadDisabled(services.defaults)),
      m_activeCuratedIDs(FeedSelection::loadActiveCurated(services.defaults))
{
    if (!m_personal) {
        m_ownPersonal = std::make_unique<NoPersonalItems>();
        m_personal = m_ownPersonal.get();
    }
    if (!m_makePathMonitor)
        m_makePathMonitor = [] { return PathMonitor::createSystem(); };
    if (m_runningVersion.isEmpty())
        m_runningVersion = QCoreApplication::applicationVersion();
    if (m_runningVersion.isEmpty())
        m_runningVersion = QStringLiteral("0");
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    FeedAPIConfig config = services.api.value_or(FeedAPIConfig::standard());
    if (!services.apiBase.isEmpty())
        config.baseURL = services.apiBase;
    m_api = std::make_unique<FeedAPI>(m_scheduler, config);

    // The derived ticker list follows every input it reads.
    for (auto signal : {&FeedStore::itemsChanged, &FeedStore::personalItemsChanged,
                        &FeedStore::focusedTopicIDChanged, &FeedStore::focusedItemsChanged,
                        &FeedStore::nowPlayingChanged, &FeedStore::nowPlayingItemsChanged})
        connect(this, signal, this, &FeedStore::invalidateTickerItems);
    connect(&m_defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == MusicBlendKey)
            invalidateTickerItems();
    });
}

FeedStore::~FeedStore()
{
    // Coroutines still in flight check the lifetime token and a guard before
    // they touch the store again.
    m_lifetime.request_stop();
    for (Job* job : {m_heartbeat.get(), m_pendingClear.get(), m_pendingRefresh.get()}) {
        if (job)
            job->stop.request_stop();
    }
}

// Lifecycle ------------------------------------------------------------------

void FeedStore::start()
{
    if (m_heartbeat)
        return;
    loadSnapshot();
    startPathMonitor();
    QPointer<FeedStore> self(this);
    m_personal->setOnItemsChanged([self](const QList<FeedItem>& items) {
        if (self)
            self->setPersonalItems(items);
    });
    m_personal->start();
    m_heartbeat = std::make_unique<Job>();
    runHeartbeat(m_heartbeat->stop.get_token());
}

void FeedStore::stop()
{
    if (m_heartbeat) {
        m_heartbeat->stop.request_stop();
        m_heartbeat.reset();
    }
    if (m_pathMonitor) {
        m_pathMonitor->disconnect(this);
        m_pathMonitor.reset();
        Q_EMIT pathMonitorChanged();
    }
    m_personal->stopPolling();
}

// Observed fields --------------------------------------------------------------

void FeedStore::setPhase(AppPhase phase)
{
    assignAlways(m_phase, std::move(phase), &FeedStore::phaseChanged);
}

void FeedStore::setStatusMessage(const QString& text)
{
    assign(m_statusMessage, text, &FeedStore::statusMessageChanged);
}

void FeedStore::setLastUpdated(const std::optional<QDateTime>& when)
{
    assign(m_lastUpdated, when, &FeedStore::lastUpdatedChanged);
}

void FeedStore::setIsOnline(bool online)
{
    assign(m_isOnline, online, &FeedStore::isOnlineChanged);
}

void FeedStore::setFocusedTopicID(const std::optional<QString>& topicID)
{
    assign(m_focusedTopicID, topicID, &FeedStore::focusedTopicIDChanged);
}

void FeedStore::setTopics(const QList<Topic>& topics)
{
    assignAlways(m_topics, topics, &FeedStore::topicsChanged);
}

void FeedStore::setOrbs(const QList<Orb>& orbs)
{
    assign(m_orbs, orbs, &FeedStore::orbsChanged);
}

void FeedStore::setItems(const QList<FeedItem>& items)
{
    assign(m_items, items, &FeedStore::itemsChanged, SameItems{});
}

void FeedStore::setFeedIndex(const QList<FeedIndexItem>& feeds)
{
    assignAlways(m_feeds, feeds, &FeedStore::feedsChanged);
}

void FeedStore::setPillars(const QList<Pillar>& pillars)
{
    assign(m_pillars, pillars, &FeedStore::pillarsChanged);
}

void FeedStore::setCurrentWeather(const std::optional<WeatherInfo>& weather)
{
    assignAlways(m_currentWeather, weather, &FeedStore::currentWeatherChanged);
}

void FeedStore::setFocusedItems(const QList<FeedItem>& items)
{
    assign(m_focusedItems, items, &FeedStore::focusedItemsChanged, SameItems{});
}

void FeedStore::setNowPlayingTrack(const std::optional<NowPlayingTrack>& track)
{
    assign(m_nowPlaying, track, &FeedStore::nowPlayingChanged);
}

void FeedStore::setRoomListening(bool listening)
{
    assign(m_isRoomListening, listening, &FeedStore::isRoomListeningChanged);
}

void FeedStore::setNowPlayingItems(const QList<FeedItem>& items)
{
    assign(m_nowPlayingItems, items, &FeedStore::nowPlayingItemsChanged, SameItems{});
}

void FeedStore::setRecentBundles(const QList<ArtistBundle>& bundles)
{
    m_recentBundles = bundles;
    Q_EMIT recentBundlesChanged();
}

void FeedStore::setNowPlayingArtworkURL(const std::optional<QUrl>& url)
{
    assign(m_nowPlayingArtworkURL, url, &FeedStore::nowPlayingArtworkURLChanged);
}

void FeedStore::setPersonalItems(const QList<FeedItem>& items)
{
    assign(m_personalItems, items, &FeedStore::personalItemsChanged, SameItems{});
}

void FeedStore::setDisabledIDs(const QSet<QString>& ids)
{
    assign(m_disabledIDs, ids, &FeedStore::disabledIDsChanged);
}

void FeedStore::setAvailableUpdate(const std::optional<ClientRelease>& release)
{
    assign(m_availableUpdate, release, &FeedStore::availableUpdateChanged);
}

void FeedStore::setActiveCuratedIDs(const QSet<QString>& ids)
{
    assign(m_activeCuratedIDs, ids, &FeedStore::activeCuratedIDsChanged);
}

// Ticker list ------------------------------------------------------------------

void FeedStore::invalidateTickerItems()
{
    m_tickerItems.reset();
    Q_EMIT tickerItemsChanged();
}

QList<FeedItem> FeedStore::tickerItems() const
{
    if (m_tickerItems)
        return *m_tickerItems;
    QList<FeedItem> result;
    if (m_focusedTopicID && !m_focusedItems.isEmpty()) {
        result = m_focusedItems;
    } else {
        const bool lane = m_nowPlaying && !m_nowPlayingItems.isEmpty();
        if (!lane)
            result = ItemComposition::mergeByDate(m_items, m_personalItems);
        else if (Settings::musicBlendWithFeeds.read(m_defaults))
            result = ItemComposition::mergeAndBlend(m_items, m_personalItems, m_nowPlayingItems);
        else
            result = m_nowPlayingItems;  // the lane replaces the feeds while a track plays
    }
    m_tickerItems = result;
    return result;
}

QList<FeedItem> FeedStore::mergeByDate(const QList<FeedItem>& curated, const QList<FeedItem>& personal)
{
    return ItemComposition::mergeByDate(curated, personal);
}

QList<FeedItem> FeedStore::blendMusic(const QList<FeedItem>& music, const QList<FeedItem>& feeds)
{
    return ItemComposition::blendMusic(music, feeds);
}
