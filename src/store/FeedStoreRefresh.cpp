// The refresh cycle: heartbeat, full and items-only refreshes, the selection
// debounce, weather and the connection state.
#include "store/FeedStore.h"

#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "platform/net/PathMonitor.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/FeedSelection.h"

namespace {

const QString kConnecting = QStringLiteral("Connecting to Virave Vavuv...");
const QString kLive = QStringLiteral("Live");
const QString kNoActiveFeedsFound = QStringLiteral("No active feeds found");

void logFailure(const char* what, const Error& error)
{
    qCCritical(lcFeedStore, "%s: %s", what, qUtf8Printable(error.description));
}

bool isCancelled(const Error& error)
{
    return error.is(ErrorKind::Cancelled);
}

} // namespace

// Heartbeat --------------------------------------------------------------------

QCoro::Task<void> FeedStore::runHeartbeat(std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    if (m_items.isEmpty())
        setStatusMessage(kConnecting);
    co_await refreshWith(stop);
    while (self && !stop.stop_requested()) {
        const bool elapsed = co_await m_scheduler.sleep(HeartbeatInterval, stop);
        // A stopped sleep ends the heartbeat; it does not refresh once more.
        if (!self || !elapsed || stop.stop_requested())
            co_return;
        co_await self->refreshWith(stop);
    }
}

QCoro::Task<void> FeedStore::refresh()
{
    return refreshWith(m_lifetime.get_token());
}

// Full refresh -------------------------------------------------------------------

QCoro::Task<void> FeedStore::refreshWith(std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    // The three reads stop with the refresh, and also on their own when a
    // failed manifest makes their answers useless.
    std::stop_source reads;
    std::stop_callback forward(stop, [&reads] { reads.request_stop(); });

    auto manifestTask = m_api->get<ManifestResponse>(QStringLiteral("v1_manifest"), reads.get_token());
    auto orbsTask = m_api->get<OrbsResponse>(QStringLiteral("v1_orbs"), reads.get_token());
    auto weatherTask = fetchWeather(reads.get_token());

    const Result<Fetched<ManifestResponse>> manifest = co_await manifestTask;
    if (!self || stop.stop_requested() || (!manifest && isCancelled(manifest.error())))
        co_return;
    if (manifest) {
        const ManifestResponse& m = manifest->value;
        setTopics(m.topics);
        setFeedIndex(m.feedIndex);
        setPillars(m.pillars.value_or(QList<Pillar>{}));
        checkForUpdate(m.clientRelease);
    } else if (!manifest.error().is(ErrorKind::NotModified)) {
        logFailure("manifest fetch failed", manifest.error());
        if (m_items.isEmpty()) {
            setPhase(AppPhase::error(connectionText()));
            reads.request_stop();
            co_await orbsTask;
            co_await weatherTask;
            co_return;
        }
    }

    const ItemsReply items = co_await requestItems(stop);
    if (!self || items.kind == ItemsReply::Kind::Cancelled)
        co_return;
    if (items.kind == ItemsReply::Kind::Failed) {
        logFailure("items fetch failed", items.error);
        if (m_items.isEmpty())
            setPhase(AppPhase::error(connectionText()));
    } else {
        applyItems(items);
    }

    const Result<Fetched<OrbsResponse>> orbs = co_await orbsTask;
    if (!self || stop.stop_requested() || (!orbs && isCancelled(orbs.error())))
        co_return;
    if (orbs)
        setOrbs(orbs->value.orbs);
    else if (!orbs.error().is(ErrorKind::NotModified))
        logFailure("orbs fetch failed", orbs.error());

    const Result<WeatherInfo> weather = co_await weatherTask;
    if (!self || stop.stop_requested())
        co_return;
    // A failed reading keeps the last one, still announced to observers; a
    // reading overtaken by a newer weather request is left out.
    if (weather || !isCancelled(weather.error()))
        setCurrentWeather(weather ? std::optional<WeatherInfo>(*weather) : m_currentWeather);

    saveSnapshot();
}

// Items --------------------------------------------------------------------------

std::optional<int> FeedStore::itemsWindow() const
{
    if (m_activeCuratedIDs == QSet<QString>{FeedSelection::PulseSetID})
        return PulseWindowMinutes;
    return std::nullopt;
}

QCoro::Task<FeedStore::ItemsReply> FeedStore::requestItems(std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const QStringList ids = activeFeedIDs();
    // Every request gets a number; only the newest one may apply.
    const quint64 number = ++m_itemsRequestNumber;
    if (ids.isEmpty())
        co_return ItemsReply{ItemsReply::Kind::NoFeeds, {}, {}};
    const Result<Fetched<ItemsBatchResponse>> reply =
        co_await m_api->itemsBatch(ids, ItemsPerFeed, itemsWindow(), stop);
    if (!self || stop.stop_requested() || (!reply && isCancelled(reply.error())))
        co_return ItemsReply{ItemsReply::Kind::Cancelled, {}, {}};
    if (number != m_itemsRequestNumber)
        co_return ItemsReply{ItemsReply::Kind::Stale, {}, {}};
    if (reply) {
        const auto kind = reply->notModified ? ItemsReply::Kind::NotModified : ItemsReply::Kind::Fresh;
        co_return ItemsReply{kind, reply->value.items, {}};
    }
    if (reply.error().is(ErrorKind::NotModified))
        co_return ItemsReply{ItemsReply::Kind::Unchanged, {}, {}};
    co_return ItemsReply{ItemsReply::Kind::Failed, {}, reply.error()};
}

void FeedStore::applyItems(const ItemsReply& reply)
{
    switch (reply.kind) {
    case ItemsReply::Kind::NoFeeds:
        setItems({});
        setPhase(AppPhase::running());
        setStatusMessage(kNoActiveFeedsFound);
        return;
    case ItemsReply::Kind::Fresh:
        setItems(reply.items);
        setLastUpdated(m_clock.now());
        break;
    case ItemsReply::Kind::NotModified:
        // The remembered body of the same request: what the server still holds.
        setItems(reply.items);
        break;
    case ItemsReply::Kind::Unchanged:
        break;
    case ItemsReply::Kind::Failed:
    case ItemsReply::Kind::Cancelled:
    case ItemsReply::Kind::Stale:
        return;
    }
    setPhase(AppPhase::running());
    setStatusMessage(kLive);
}

QCoro::Task<void> FeedStore::refreshItemsOnly(std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const ItemsReply reply = co_await requestItems(stop);
    if (!self || reply.kind == ItemsReply::Kind::Cancelled || reply.kind == ItemsReply::Kind::Stale)
        co_return;
    if (reply.kind == ItemsReply::Kind::Failed)
        logFailure("items-only fetch failed", reply.error);
    else
        applyItems(reply);
    saveSnapshot();
}

void FeedStore::scheduleRefresh()
{
    if (m_pendingRefresh)
        m_pendingRefresh->stop.request_stop();
    // The selection changed: answers to requests already in flight are stale.
    ++m_itemsRequestNumber;
    m_pendingRefresh = std::make_unique<Job>();
    debouncedRefresh(m_pendingRefresh->stop.get_token());
}

QCoro::Task<void> FeedStore::debouncedRefresh(std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    co_await m_scheduler.sleep(SelectionDebounce, stop);
    if (!self || stop.stop_requested())
        co_return;
    co_await refreshItemsOnly(stop);
}

// Weather ----------------------------------------------------------------------

QCoro::Task<Result<FeedStore::WeatherInfo>> FeedStore::fetchWeather(std::stop_token stop)
{
    QPointer<FeedStore> self(this);
    const QString city = Settings::weatherCity.read(m_defaults);
    const quint64 number = ++m_weatherRequestNumber;
    const Result<Fetched<WeatherResponse>> reply = co_await m_api->weather(city, stop);
    if (!self || stop.stop_requested())
        co_return fail(ErrorKind::Cancelled, QStringLiteral("cancelled"));
    // A slower answer for a city asked earlier must not replace a newer one.
    if (number != m_weatherRequestNumber)
        co_return fail(ErrorKind::Cancelled, QStringLiteral("superseded"));
    if (!reply)
        co_return std::unexpected(reply.error());
    const WeatherResponse& w = reply->value;
    co_return WeatherInfo{w.city, w.temp, w.condition, w.icon};
}

QCoro::Task<void> FeedStore::refreshWeather()
{
    QPointer<FeedStore> self(this);
    const Result<WeatherInfo> weather = co_await fetchWeather(m_lifetime.get_token());
    if (!self || (!weather && isCancelled(weather.error())))
        co_return;
    setCurrentWeather(weather ? std::optional<WeatherInfo>(*weather) : m_currentWeather);
}

// Connection state ---------------------------------------------------------------

QString FeedStore::connectionText() const
{
    return m_isOnline ? QStringLiteral("Connection Failed. Retrying…") : QStringLiteral("Offline — reconnecting…");
}

void FeedStore::startPathMonitor()
{
    if (m_pathMonitor)
        return;
    m_pathMonitor = m_makePathMonitor();
    connect(m_pathMonitor.get(), &PathMonitor::onlineChanged, this, &FeedStore::onPathUpdate);
    Q_EMIT pathMonitorChanged();
    m_pathMonitor->start();
    onPathUpdate(m_pathMonitor->isOnline());  // the state at start counts as the first report
}

void FeedStore::onPathUpdate(bool online)
{
    const bool wasOnline = m_isOnline;
    setIsOnline(online);
    if (online && !wasOnline)
        refreshWith(m_lifetime.get_token());
}
