#pragma once

#include "api/FeedAPI.h"
#include "api/ItemModels.h"
#include "api/ManifestModels.h"
#include "api/OrbModels.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/PersonalItemsSource.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class Clock;
class Defaults;
class PathMonitor;
class QNetworkAccessManager;
class Scheduler;

// The one observable model behind every view: start-up phase and status, the
// connection state, the catalogue and its items, personal items, weather,
// the update offer, the feed selection, the topic focus and the music lane.
//
// Every observed field has its own change signal. Most fields notify only on
// a real change; phase, topics, feeds, currentWeather and the path monitor
// notify on every write. tickerItems() is derived and announces itself with
// tickerItemsChanged() whenever one of its inputs changes.
//
// Main thread only. Network work runs in coroutines that stop with the store.
class FeedStore : public QObject {
    Q_OBJECT
public:
    struct AppPhase {
        enum class Kind { Error, Booting, Running };
        Kind kind = Kind::Booting;
        QString message;  // the text to show in the error phase

        static AppPhase booting() { return {Kind::Booting, {}}; }
        static AppPhase running() { return {Kind::Running, {}}; }
        static AppPhase error(QString message) { return {Kind::Error, std::move(message)}; }
        bool isRunning() const { return kind == Kind::Running; }
        friend bool operator==(const AppPhase&, const AppPhase&) = default;
    };

    struct WeatherInfo {
        QString city;
        QString temp;
        QString condition;
        QString icon;
        friend bool operator==(const WeatherInfo&, const WeatherInfo&) = default;
    };

    struct NowPlayingTrack {
        QString artist;
        QString track;
        friend bool operator==(const NowPlayingTrack&, const NowPlayingTrack&) = default;
    };

    struct ArtistBundle {
        QString artist;
        QList<FeedItem> items;
    };

    using PathMonitorFactory = std::function<std::unique_ptr<PathMonitor>()>;

    // What the store runs on. Everything is borrowed and must outlive it.
    struct Services {
        Defaults& defaults;
        Clock& clock;
        Scheduler& scheduler;
        QNetworkAccessManager* network;   // artwork lookups; nullptr: the store's own
        PersonalItemsSource* personal;    // nullptr: no personal feeds
        PathMonitorFactory makePathMonitor;  // empty: the system monitor
        QUrl apiBase;                     // empty: Endpoints::current().apiBase
        std::optional<FeedAPIConfig> api; // timeouts and caps; none: the standard ones
        QUrl itunesBase;                  // empty: Endpoints::current().itunesBase
        QString runningVersion;           // empty: the application version, else "0"
    };

    static inline const QString SnapshotKey = Settings::feedSnapshot.key.toString();
    static inline const QString WeatherCityKey = Settings::weatherCity.key.toString();
    static inline const QString MusicBlendKey = Settings::musicBlendWithFeeds.key.toString();
    static constexpr int MaxRequestedFeeds = 100;
    static constexpr int ItemsPerFeed = 3;
    static constexpr int PulseWindowMinutes = 120;
    static constexpr std::chrono::seconds HeartbeatInterval{300};
    static constexpr std::chrono::milliseconds SelectionDebounce{300};

    explicit FeedStore(Services services, QObject* parent = nullptr);
    ~FeedStore() override;

    // Lifecycle ---------------------------------------------------------------
    // Restores the snapshot, starts the path monitor, hooks and starts the
    // personal items, then the heartbeat (refresh now, then every 300 s).
    // Does nothing while the heartbeat runs.
    void start();
    // Ends the heartbeat, the path monitor and personal polling; data stays.
    void stop();
    bool isStarted() const { return m_heartbeat != nullptr; }

    // Refresh cycle -----------------------------------------------------------
    // Manifest, orbs and weather at once; then the items of the active feeds;
    // applied in the order manifest, items, orbs, weather, snapshot.
    QCoro::Task<void> refresh();
    // Weather only (after the city changed).
    QCoro::Task<void> refreshWeather();
    // An items-only refresh 0.3 s after the last call.
    void scheduleRefresh();

    // Selection ---------------------------------------------------------------
    int activeFeedCount() const;
    // Active, not switched-off feeds in catalogue order, at most 100.
    QStringList activeFeedIDs() const;
    // Active feeds of `catalogue` by rank score (absent = -1), best first.
    QStringList defaultFeedIDs(const QList<FeedIndexItem>& catalogue, int limit) const;
    void toggleFeed(const QString& feedID);
    void setFeeds(const QStringList& feedIDs, bool enabled);
    void applyCuratedSelection(const QStringList& feedIDs, const QSet<QString>& curatedIDs);
    void dismissUpdate();

    // Composition and focus ---------------------------------------------------
    QList<FeedItem> tickerItems() const;
    static QList<FeedItem> mergeByDate(const QList<FeedItem>& curated, const QList<FeedItem>& personal);
    static QList<FeedItem> blendMusic(const QList<FeedItem>& music, const QList<FeedItem>& feeds);
    // Toggles the focus on an orb and fetches its feeds' newest items.
    void focusTopic(const QString& topicID);
    QStringList focusFeedIDs(const QString& topicID) const;
    std::optional<Orb> focusedOrb() const;
    // "5 min. ago"-style text for lastUpdated, or nothing.
    std::optional<QString> lastUpdatedText() const;

    // Music lane --------------------------------------------------------------
    void setNowPlaying(const QString& artist, const QString& track, const std::optional<QUrl>& artworkURL);
    void pauseNowPlaying(quint64 clearAfterSeconds);
    void clearNowPlaying();
    static QList<FeedItem> interleaveStreams(const NowPlayingResponse& response);

    // Observed fields ---------------------------------------------------------
    const AppPhase& phase() const { return m_phase; }
    const QString& statusMessage() const { return m_statusMessage; }
    const std::optional<QDateTime>& lastUpdated() const { return m_lastUpdated; }
    bool isOnline() const { return m_isOnline; }
    const std::optional<QString>& focusedTopicID() const { return m_focusedTopicID; }
    const QList<Topic>& topics() const { return m_topics; }
    const QList<Orb>& orbs() const { return m_orbs; }
    const QList<FeedItem>& items() const { return m_items; }
    const QList<FeedIndexItem>& feeds() const { return m_feeds; }
    const QList<Pillar>& pillars() const { return m_pillars; }
    const std::optional<WeatherInfo>& currentWeather() const { return m_currentWeather; }
    const QList<FeedItem>& focusedItems() const { return m_focusedItems; }
    const std::optional<NowPlayingTrack>& nowPlaying() const { return m_nowPlaying; }
    bool isRoomListening() const { return m_isRoomListening; }
    const QList<FeedItem>& nowPlayingItems() const { return m_nowPlayingItems; }
    const QList<ArtistBundle>& recentBundles() const { return m_recentBundles; }
    const std::optional<QUrl>& nowPlayingArtworkURL() const { return m_nowPlayingArtworkURL; }
    const QList<FeedItem>& personalItems() const { return m_personalItems; }
    const QSet<QString>& disabledIDs() const { return m_disabledIDs; }
    const std::optional<ClientRelease>& availableUpdate() const { return m_availableUpdate; }
    const QSet<QString>& activeCuratedIDs() const { return m_activeCuratedIDs; }
    PathMonitor* pathMonitor() const { return m_pathMonitor.get(); }
    bool hasPendingClear() const { return m_pendingClear != nullptr; }

    // Writes from views (leaving a focus) and the room listener.
    void setFocusedTopicID(const std::optional<QString>& topicID);
    void setFocusedItems(const QList<FeedItem>& items);
    void setRoomListening(bool listening);

Q_SIGNALS:
    void phaseChanged();
    void statusMessageChanged();
    void lastUpdatedChanged();
    void isOnlineChanged();
    void focusedTopicIDChanged();
    void topicsChanged();
    void orbsChanged();
    void itemsChanged();
    void feedsChanged();
    void pillarsChanged();
    void currentWeatherChanged();
    void focusedItemsChanged();
    void nowPlayingChanged();
    void isRoomListeningChanged();
    void nowPlayingItemsChanged();
    void recentBundlesChanged();
    void nowPlayingArtworkURLChanged();
    void personalItemsChanged();
    void disabledIDsChanged();
    void availableUpdateChanged();
    void activeCuratedIDsChanged();
    void pathMonitorChanged();
    void tickerItemsChanged();

private:
    // A cancellable piece of work owned by the store.
    struct Job {
        std::stop_source stop;
    };
    // The outcome of one items request.
    struct ItemsReply {
        enum class Kind {
            NoFeeds,      // nothing to ask for
            Fresh,        // a new batch
            NotModified,  // 304 with the remembered batch
            Unchanged,    // 304 without a remembered batch
            Failed,
            Cancelled,    // stopped: applies nothing
            Stale,        // overtaken by a newer request: dropped
        };
        Kind kind;
        QList<FeedItem> items;
        Error error;
    };

    // The notify rule: a write equal to the stored value is kept silently.
    template <class T, class Equal = std::equal_to<T>>
    void assign(T& field, T value, void (FeedStore::*signal)(), Equal equal = {})
    {
        const bool same = equal(field, value);
        field = std::move(value);
        if (!same)
            Q_EMIT(this->*signal)();
    }
    template <class T>
    void assignAlways(T& field, T value, void (FeedStore::*signal)())
    {
        field = std::move(value);
        Q_EMIT(this->*signal)();
    }

    void setPhase(AppPhase phase);
    void setStatusMessage(const QString& text);
    void setLastUpdated(const std::optional<QDateTime>& when);
    void setIsOnline(bool online);
    void setTopics(const QList<Topic>& topics);
    void setOrbs(const QList<Orb>& orbs);
    void setItems(const QList<FeedItem>& items);
    void setFeedIndex(const QList<FeedIndexItem>& feeds);
    void setPillars(const QList<Pillar>& pillars);
    void setCurrentWeather(const std::optional<WeatherInfo>& weather);
    void setNowPlayingTrack(const std::optional<NowPlayingTrack>& track);
    void setNowPlayingItems(const QList<FeedItem>& items);
    void setRecentBundles(const QList<ArtistBundle>& bundles);
    void setNowPlayingArtworkURL(const std::optional<QUrl>& url);
    void setPersonalItems(const QList<FeedItem>& items);
    void setDisabledIDs(const QSet<QString>& ids);
    void setAvailableUpdate(const std::optional<ClientRelease>& release);
    void setActiveCuratedIDs(const QSet<QString>& ids);
    void invalidateTickerItems();

    // Refresh cycle (FeedStoreRefresh.cpp).
    QCoro::Task<void> runHeartbeat(std::stop_token stop);
    QCoro::Task<void> refreshWith(std::stop_token stop);
    QCoro::Task<void> refreshItemsOnly(std::stop_token stop);
    QCoro::Task<void> debouncedRefresh(std::stop_token stop);
    QCoro::Task<ItemsReply> requestItems(std::stop_token stop);
    void applyItems(const ItemsReply& reply);
    QCoro::Task<Result<WeatherInfo>> fetchWeather(std::stop_token stop);
    void startPathMonitor();
    void onPathUpdate(bool online);
    QString connectionText() const;
    std::optional<int> itemsWindow() const;

    // Selection (FeedStoreSelection.cpp).
    void afterManualSelectionChange();
    void setActiveCurated(const QSet<QString>& ids);
    void saveDisabledIDs();
    void clearItemsIfNoActiveFeeds();
    void checkForUpdate(const std::optional<ClientRelease>& release);

    // Snapshot (FeedStoreSnapshot.cpp).
    void loadSnapshot();
    void saveSnapshot();

    // Focus and music lane (FeedStoreFocus.cpp, FeedStoreNowPlaying.cpp).
    QCoro::Task<void> fetchFocusedItems(QString topicID, std::stop_token stop);
    QCoro::Task<void> lookUpArtwork(QString artist, QString track, std::stop_token stop);
    QCoro::Task<void> fetchArtistBundle(QString artist, QString track, bool hasArtwork, int attempt,
                                        std::stop_token stop);
    QCoro::Task<void> delayedClear(quint64 seconds, std::stop_token stop);
    void addBundle(const QString& artist, const QList<FeedItem>& items);
    void rebuildNowPlayingItems();

    Defaults& m_defaults;
    Clock& m_clock;
    Scheduler& m_scheduler;
    QNetworkAccessManager* m_network;
    PersonalItemsSource* m_personal;
    std::unique_ptr<PersonalItemsSource> m_ownPersonal;
    PathMonitorFactory m_makePathMonitor;
    QUrl m_itunesBase;
    QString m_runningVersion;
    std::unique_ptr<FeedAPI> m_api;
    std::stop_source m_lifetime;  // stopped when the store goes away

    AppPhase m_phase = AppPhase::booting();
    QString m_statusMessage = QStringLiteral("Initializing...");
    std::optional<QDateTime> m_lastUpdated;
    bool m_isOnline = true;
    std::optional<QString> m_focusedTopicID;
    QList<Topic> m_topics;
    QList<Orb> m_orbs;
    QList<FeedItem> m_items;
    QList<FeedIndexItem> m_feeds;
    QList<Pillar> m_pillars;
    std::optional<WeatherInfo> m_currentWeather;
    std::unique_ptr<Job> m_heartbeat;
    std::unique_ptr<PathMonitor> m_pathMonitor;
    QList<FeedItem> m_focusedItems;
    std::optional<NowPlayingTrack> m_nowPlaying;
    bool m_isRoomListening = false;
    QList<FeedItem> m_nowPlayingItems;
    QList<ArtistBundle> m_recentBundles;
    std::optional<QUrl> m_nowPlayingArtworkURL;
    std::unique_ptr<Job> m_pendingClear;
    QList<FeedItem> m_personalItems;
    QSet<QString> m_disabledIDs;
    std::optional<ClientRelease> m_availableUpdate;
    QSet<QString> m_activeCuratedIDs;
    std::unique_ptr<Job> m_pendingRefresh;

    quint64 m_itemsRequestNumber = 0;  // the newest items request; older replies are dropped
    quint64 m_weatherRequestNumber = 0;
    mutable std::optional<QList<FeedItem>> m_tickerItems;  // cached composition
};
