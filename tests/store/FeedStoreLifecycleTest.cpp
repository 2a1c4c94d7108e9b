#include "StoreHarness.h"

#include <QSignalSpy>

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;
using Kind = FeedStore::AppPhase::Kind;

const QString kConnecting = QStringLiteral("Connecting to Virave Vavuv...");
const QString kFailed = QStringLiteral("Connection Failed. Retrying…");
const QString kOffline = QStringLiteral("Offline — reconnecting…");

using FeedStoreLifecycle = StoreTest;

TEST_F(FeedStoreLifecycle, StartRestoresThenMonitorsThenHandsOverThenBeats)
{
    storeSnapshot({feed(QStringLiteral("a"))}, QStringLiteral("x1@5"));
    Gate& manifestGate = gate();
    serveGated(QStringLiteral("v1_manifest"), manifestGate, R::withStatus(404));
    personal.items = {FeedItem{QStringLiteral("p1"), QStringLiteral("Mine"), {}, {}, {}, {}}};
    makeStore();
    EXPECT_EQ(store->phase().kind, Kind::Booting);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Initializing..."));
    EXPECT_TRUE(store->items().isEmpty());  // nothing is read before start()

    bool monitorBeforeHandOver = false;
    bool snapshotBeforeHandOver = false;
    personal.onStart = [&] {
        monitorBeforeHandOver = monitor != nullptr && monitor->isStarted();
        snapshotBeforeHandOver = !store->items().isEmpty();
    };
    store->start();
    EXPECT_TRUE(snapshotBeforeHandOver);
    EXPECT_TRUE(monitorBeforeHandOver);
    EXPECT_EQ(personal.installs, 1);
    EXPECT_EQ(personal.starts, 1);
    EXPECT_EQ(ids(store->personalItems()), QStringLiteral("p1"));
    // Restored before any answer: the strip can show the last headlines.
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    EXPECT_EQ(store->lastUpdated(), QDateTime(QDate(2026, 1, 10), QTime(8, 0), Qt::UTC));
    EXPECT_EQ(ids(store->items()), QStringLiteral("x1"));
    EXPECT_EQ(ids(store->tickerItems()), QStringLiteral("x1 p1"));

    store->start();  // a second start does nothing
    EXPECT_EQ(monitorsMade, 1);
    EXPECT_EQ(personal.installs, 1);
    EXPECT_EQ(personal.starts, 1);
    ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_manifest")) == 1; }));
    manifestGate.open();
    ASSERT_TRUE(waitForRefreshes(1));
    EXPECT_EQ(requests(QStringLiteral("v1_manifest")), 1);
}

TEST_F(FeedStoreLifecycle, StopEndsHeartbeatMonitorAndPollingAndStartRunsAgain)
{
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));
    makeStore();
    startAndSettle();
    QSignalSpy monitorSpy(store.get(), &FeedStore::pathMonitorChanged);
    store->stop();
    EXPECT_EQ(store->pathMonitor(), nullptr);
    EXPECT_EQ(monitorSpy.count(), 1);
    EXPECT_EQ(personal.stops, 1);
    EXPECT_FALSE(store->isStarted());
    EXPECT_EQ(ids(store->items()), QStringLiteral("a1"));  // data stays

    // A stopped sleep ends the heartbeat: no refresh runs after it.
    time.advanceSeconds(600);
    EXPECT_EQ(time.pendingCount(), 0);
    drain();
    EXPECT_EQ(requests(QStringLiteral("v1_manifest")), 1);

    store->start();
    EXPECT_EQ(monitorsMade, 2);
    EXPECT_EQ(personal.starts, 2);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_EQ(requests(QStringLiteral("v1_manifest")), 2);
}

TEST_F(FeedStoreLifecycle, HeartbeatCountsThreeHundredSecondsFromTheEndOfARefresh)
{
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));
    Gate& itemsGate = gate();
    serveGated(QStringLiteral("v1_items_batch"), itemsGate, R::json(bytes(items(QStringLiteral("a1@1")))));
    makeStore();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_items_batch")) == 1; }));
    time.advanceSeconds(200);  // the refresh takes a while
    itemsGate.open();
    ASSERT_TRUE(waitForRefreshes(1));

    time.advanceSeconds(299);
    drain(100);
    EXPECT_EQ(requests(QStringLiteral("v1_manifest")), 1);
    time.advanceSeconds(1);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_EQ(requests(QStringLiteral("v1_manifest")), 2);
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(3));
    EXPECT_EQ(requests(QStringLiteral("v1_manifest")), 3);
}

TEST_F(FeedStoreLifecycle, StopDuringARefreshAppliesNothing)
{
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));
    Gate& itemsGate = gate();
    serveGated(QStringLiteral("v1_items_batch"), itemsGate, R::json(bytes(items(QStringLiteral("a1@1")))));
    makeStore();
    QSignalSpy phases(store.get(), &FeedStore::phaseChanged);
    store->start();
    ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_items_batch")) == 1; }));
    store->stop();
    itemsGate.open();
    drain();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_EQ(store->phase().kind, Kind::Booting);
    EXPECT_EQ(phases.count(), 0);
    EXPECT_EQ(store->statusMessage(), kConnecting);
    EXPECT_EQ(weatherWrites, 0);
    EXPECT_FALSE(defaults->caches().contains(FeedStore::SnapshotKey));
}

struct PhaseCase {
    const char* name;
    bool online;
    int manifestStatus;  // 200: the catalogue of feed "a" (inactive when noActiveFeeds)
    bool noActiveFeeds;
    int itemsStatus;
    Kind phase;
    const char* message;  // the error phase's text
    const char* status;
    int itemRequests;
    bool orbsAndWeatherApplied;
    bool snapshotSaved;
};

void PrintTo(const PhaseCase& c, std::ostream* os)
{
    *os << c.name;
}

class FreshInstallPhase : public StoreTest, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(FreshInstallPhase, OutcomeBecomesPhaseAndStatus)
{
    const PhaseCase& c = GetParam();
    const QJsonObject feedA = c.noActiveFeeds ? feed(Feed{QStringLiteral("a"), false, {}, {}, {}}) : feed(QStringLiteral("a"));
    server.route(QStringLiteral("/v1_manifest"), R::json(bytes(manifest({feedA})), c.manifestStatus));
    server.route(QStringLiteral("/v1_items_batch"), R::json(bytes(items(QStringLiteral("a1@1 a2@0"))), c.itemsStatus));
    server.route(QStringLiteral("/v1_orbs"), R::json(bytes(orbs({orb(QStringLiteral("o1"))}))));
    server.route(QStringLiteral("/v1_weather"), R::json(bytes(weather(QStringLiteral("Cork")))));
    monitorStartsOnline = c.online;
    makeStore();
    store->start();
    EXPECT_EQ(store->isOnline(), c.online);
    EXPECT_EQ(store->statusMessage(), kConnecting);
    ASSERT_TRUE(waitUntil([&] { return store->phase().kind != Kind::Booting; }));
    drain(150);
    EXPECT_EQ(store->phase().kind, c.phase);
    EXPECT_EQ(store->phase().message, QString::fromUtf8(c.message));
    EXPECT_EQ(store->statusMessage(), QString::fromUtf8(c.status));
    EXPECT_EQ(requests(QStringLiteral("v1_items_batch")), c.itemRequests);
    EXPECT_EQ(!store->orbs().isEmpty(), c.orbsAndWeatherApplied);
    EXPECT_EQ(store->currentWeather().has_value(), c.orbsAndWeatherApplied);
    EXPECT_EQ(defaults->caches().contains(FeedStore::SnapshotKey), c.snapshotSaved);
}

INSTANTIATE_TEST_SUITE_P(Cases, FreshInstallPhase, ::testing::Values(
    PhaseCase{"everything answers", true, 200, false, 200, Kind::Running, "", "Live", 1, true, true},
    PhaseCase{"manifest fails online", true, 404, false, 200, Kind::Error, "Connection Failed. Retrying…",
              "Connecting to Virave Vavuv...", 0, false, false},
    PhaseCase{"manifest fails offline", false, 404, false, 200, Kind::Error, "Offline — reconnecting…",
              "Connecting to Virave Vavuv...", 0, false, false},
    PhaseCase{"items fail", true, 200, false, 404, Kind::Error, "Connection Failed. Retrying…",
              "Connecting to Virave Vavuv...", 1, true, true},
    PhaseCase{"no active feeds", true, 200, true, 200, Kind::Running, "", "No active feeds found", 0, true, true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(FeedStoreLifecycle, OfflineWithASnapshotKeepsRunningAndLive)
{
    storeSnapshot({feed(QStringLiteral("a"))}, QStringLiteral("x1@5"));
    monitorStartsOnline = false;
    makeStore();  // every request answers 404
    store->start();
    ASSERT_TRUE(waitForRefreshes(1));
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    EXPECT_EQ(ids(store->items()), QStringLiteral("x1"));
    EXPECT_EQ(store->feeds().size(), 1);
}

TEST_F(FeedStoreLifecycle, PathMonitorRefreshesOnlyWhenComingBackOnline)
{
    monitorStartsOnline = false;
    makeStore();  // offline, nothing answers
    store->start();
    ASSERT_TRUE(waitUntil([&] { return store->phase().kind == Kind::Error; }));
    EXPECT_EQ(store->phase().message, kOffline);
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));

    struct Step {
        const char* name;
        bool online;
        int manifestRequests;
    };
    const Step steps[] = {
        {"back online refreshes at once", true, 2},
        {"going offline starts nothing", false, 2},
        {"online again refreshes", true, 3},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        monitor->setOnline(s.online);
        EXPECT_EQ(store->isOnline(), s.online);
        if (s.online) {
            ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_manifest")) == s.manifestRequests; }));
        }
        drain(100);
        EXPECT_EQ(requests(QStringLiteral("v1_manifest")), s.manifestRequests);
    }
    ASSERT_TRUE(waitUntil([&] { return store->phase().kind == Kind::Running; }));
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
}

TEST_F(FeedStoreLifecycle, NotifyRuleSilencesOnlyEqualWritesOfComparedFields)
{
    storeSnapshot({feed(QStringLiteral("a"))}, QStringLiteral("x1@5"));
    makeStore();
    QSignalSpy items(store.get(), &FeedStore::itemsChanged);
    QSignalSpy topics(store.get(), &FeedStore::topicsChanged);
    QSignalSpy feeds(store.get(), &FeedStore::feedsChanged);
    QSignalSpy status(store.get(), &FeedStore::statusMessageChanged);
    QSignalSpy phase(store.get(), &FeedStore::phaseChanged);
    QSignalSpy focus(store.get(), &FeedStore::focusedTopicIDChanged);
    QSignalSpy room(store.get(), &FeedStore::isRoomListeningChanged);
    QSignalSpy ticker(store.get(), &FeedStore::tickerItemsChanged);
    // The same snapshot restored twice: equal items and status stay silent,
    // topics, feeds and phase announce every write.
    store->start();
    store->stop();
    store->start();
    EXPECT_EQ(items.count(), 1);
    EXPECT_EQ(status.count(), 1);  // "Live"; with items loaded the heartbeat does not say "Connecting…"
    EXPECT_EQ(topics.count(), 2);
    EXPECT_EQ(feeds.count(), 2);
    EXPECT_EQ(phase.count(), 2);
    EXPECT_EQ(ticker.count(), 1);

    store->setFocusedTopicID(QStringLiteral("t"));
    store->setFocusedTopicID(QStringLiteral("t"));
    store->setRoomListening(true);
    store->setRoomListening(true);
    EXPECT_EQ(focus.count(), 1);
    EXPECT_EQ(room.count(), 1);
    store->stop();
}

TEST_F(FeedStoreLifecycle, HandOverAfterTheStoreIsGoneIsIgnored)
{
    makeStore();
    store->start();
    const auto handler = personal.handler;
    store.reset();
    handler({FeedItem{QStringLiteral("late"), QStringLiteral("Late"), {}, {}, {}, {}}});  // must not crash
    SUCCEED();
}

} // namespace
