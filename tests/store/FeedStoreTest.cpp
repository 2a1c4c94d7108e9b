#include "store/FeedSelection.h"

#include "StoreHarness.h"
#include "LogCapture.h"

#include <QSignalSpy>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

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

using FeedStoreSnapshot = StoreTest;

TEST_F(FeedStoreSnapshot, ARestartShowsTheLastHeadlinesBeforeAnyAnswer)
{
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a")), feed(S("b"))}))));
    QJsonObject batch = items(S("a1@9 b1@8"));
    QJsonArray list = batch.value(S("items")).toArray();
    QJsonObject fractional = list[1].toObject();
    fractional.insert(S("published_at"), S("2026-01-15T12:08:00.750Z"));
    list[1] = fractional;
    batch.insert(S("items"), list);
    server.route(S("/v1_items_batch"), R::json(bytes(batch)));
    server.route(S("/v1_orbs"), R::json(bytes(orbs({orb(S("o1"), {S("tech")})}))));
    server.route(S("/v1_weather"), R::json(bytes(weather(S("Cork")))));
    makeStore();
    startAndSettle();
    const QDateTime fetchedAt = time.now();
    ASSERT_EQ(store->items().at(1).publishedAt->time().msec(), 750);
    const QStringList keys = defaults->caches().value(FeedStore::SnapshotKey).toObject().keys();
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()),
              (QSet<QString>{S("topics"), S("feeds"), S("orbs"), S("items"), S("cachedAt")}));

    Gate& never = gate();
    for (const char* path : {"v1_manifest", "v1_items_batch", "v1_orbs", "v1_weather"})
        serveGated(S(path), never, R::withStatus(500));
    time.advanceSeconds(90);
    restart();
    store->start();
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), S("Live"));
    EXPECT_EQ(ids(store->items()), S("a1 b1"));
    EXPECT_EQ(store->items().at(1).publishedAt, QDateTime(QDate(2026, 1, 15), QTime(12, 8), Qt::UTC))
        << "dates come back without fractional seconds";
    EXPECT_EQ(store->feeds().size(), 2);
    EXPECT_EQ(store->topics().size(), 1);
    ASSERT_EQ(store->orbs().size(), 1);
    EXPECT_EQ(store->orbs().first().categorySlugs, QStringList{S("tech")});
    EXPECT_EQ(store->lastUpdated(), fetchedAt);
    // Not in the snapshot.
    EXPECT_FALSE(store->currentWeather());
    EXPECT_TRUE(store->pillars().isEmpty());
    store->stop();
    never.open();
}

TEST_F(FeedStoreSnapshot, HoldsCatalogueOrbsAndItemsWithTheTimeOfTheLastFetch)
{
    serveCatalogue({feed(S("a"))}, items(S("a1@9")), orbs({orb(S("o1"))}));
    makeStore();
    startAndSettle();
    const QDateTime fetchedAt = time.now();

    // Later refreshes whose items fail save the same data with the time it
    // was fetched, not the time of the save.
    server.route(S("/v1_items_batch"), R::withStatus(404));
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_EQ(defaults->caches().value(FeedStore::SnapshotKey).toObject().value(S("cachedAt")).toString(),
              fetchedAt.toString(Qt::ISODate));
    restart();
    store->start();
    EXPECT_EQ(store->lastUpdated(), fetchedAt);
    store->stop();
}

TEST_F(FeedStoreSnapshot, ItemsOnlyRefreshSavesEvenWhenItFails)
{
    serveCatalogue({feed(S("a")), feed(S("b"))}, items(S("a1@9")));
    makeStore();
    startAndSettle();
    defaults->caches().set(FeedStore::SnapshotKey, QJsonValue());
    server.route(S("/v1_items_batch"), R::withStatus(404));
    store->toggleFeed(S("b"));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return defaults->caches().contains(FeedStore::SnapshotKey); }));
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(ids(store->items()), S("a1"));
}

TEST_F(FeedStoreSnapshot, UnreadableSnapshotsAreIgnoredAndReplaced)
{
    const QJsonObject good{{S("topics"), QJsonArray{}}, {S("feeds"), QJsonArray{feed(S("a"))}},
                           {S("orbs"), QJsonArray{}}, {S("items"), items(S("x1")).value(S("items"))},
                           {S("cachedAt"), S("2026-01-10T08:00:00Z")}};
    struct Case {
        const char* name;
        QJsonValue stored;
    };
    QJsonObject noCachedAt = good;
    noCachedAt.remove(S("cachedAt"));
    QJsonObject noFeeds = good;
    noFeeds.remove(S("feeds"));
    QJsonObject badDate = good;
    badDate.insert(S("cachedAt"), S("yesterday"));
    QJsonObject badItem = good;
    badItem.insert(S("items"), QJsonArray{QJsonObject{{S("title"), S("no id")}}});
    const Case cases[] = {
        {"text, not an object", QJsonValue(S("{not json"))},
        {"without cachedAt", noCachedAt},
        {"without feeds", noFeeds},
        {"unreadable date", badDate},
        {"item without id", badItem},
    };
    serveCatalogue({feed(S("a"))}, items(S("a1@9")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->caches().set(FeedStore::SnapshotKey, c.stored);
        makeStore();
        store->start();
        EXPECT_EQ(store->phase().kind, Kind::Booting);
        EXPECT_TRUE(store->items().isEmpty());
        EXPECT_TRUE(store->feeds().isEmpty());
        ASSERT_TRUE(waitForRefreshes(1));
        EXPECT_TRUE(defaults->caches().value(FeedStore::SnapshotKey).isObject());
        EXPECT_EQ(defaults->caches().value(FeedStore::SnapshotKey).toObject().value(S("items")).toArray().size(), 1);
        store.reset();
    }
}

TEST_F(FeedStoreSnapshot, EmptyItemsRestoreTheCatalogueButStayBooting)
{
    storeSnapshot({feed(S("a"))}, QString());
    Gate& never = gate();
    serveGated(S("v1_manifest"), never, R::withStatus(500));
    makeStore();
    store->start();
    EXPECT_EQ(store->feeds().size(), 1);
    EXPECT_EQ(store->orbs().size(), 1);
    EXPECT_EQ(store->phase().kind, Kind::Booting);
    EXPECT_EQ(store->statusMessage(), S("Connecting to Virave Vavuv..."));
    store->stop();
    never.open();
}

class FeedStoreSelection : public StoreTest {
protected:
    // A started store over a catalogue of `feeds`, after its first refresh.
    void startWith(const QList<QJsonObject>& feeds, const QJsonValue& release = QJsonValue())
    {
        server.route(S("/v1_manifest"), R::json(bytes(manifest(feeds, release))));
        server.route(S("/v1_items_batch"), R::json(bytes(items(S("a1@5")))));
        server.route(S("/v1_orbs"), R::json(bytes(orbs({}))));
        server.route(S("/v1_weather"), R::json(bytes(weather(S("Cork")))));
        makeStore();
        startAndSettle();
    }
    // Lets the debounce run out and waits for its items request.
    void debounce(int expectedItemRequests)
    {
        time.advanceSeconds(0.3);
        ASSERT_TRUE(waitUntil([&] { return requests(S("v1_items_batch")) == expectedItemRequests; }));
        drain(50);
    }
    QUrlQuery lastItemsQuery() const { return requestsFor(S("v1_items_batch")).last().query; }
};

TEST_F(FeedStoreSelection, SelectionIsWrittenAtEveryChangeAndReadAfterARestart)
{
    defaults->set(FeedSelection::LegacyActiveCuratedKey, S("pulse"));
    startWith({feed(S("a")), feed(S("b")), feed(S("c"))});
    EXPECT_EQ(store->activeCuratedIDs(), QSet<QString>{S("pulse")});
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("since_minutes")), S("120"));

    store->toggleFeed(S("c"));
    store->toggleFeed(S("b"));
    EXPECT_EQ(defaults->stringValue(FeedSelection::DisabledKey), S("b,c"));
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());  // a manual change ends the curated selection
    EXPECT_FALSE(defaults->contains(FeedSelection::ActiveCuratedKey));
    EXPECT_FALSE(defaults->contains(FeedSelection::LegacyActiveCuratedKey));
    debounce(2);
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), S("a"));
    EXPECT_FALSE(lastItemsQuery().hasQueryItem(S("since_minutes")));

    restart();
    EXPECT_EQ(store->disabledIDs(), (QSet<QString>{S("b"), S("c")}));
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());
}

TEST_F(FeedStoreSelection, AtMostOneHundredFeedsInCatalogueOrder)
{
    QList<QJsonObject> feeds;
    for (int i = 0; i < 160; ++i)
        feeds.append(i % 16 == 15 ? feed(Feed{S("f%1").arg(i), false, {}, {}, {}}) : feed(S("f%1").arg(i)));
    defaults->set(FeedSelection::DisabledKey, S("f0,gone"));
    startWith(feeds);
    EXPECT_EQ(store->activeFeedCount(), 160 - 10 - 1);
    const QStringList ids = store->activeFeedIDs();
    ASSERT_EQ(ids.size(), 100);
    EXPECT_EQ(ids.first(), S("f1"));
    EXPECT_FALSE(ids.contains(S("f15")));  // inactive
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), ids.join(QLatin1Char(',')));
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("limit_per_feed")), S("3"));
}

TEST_F(FeedStoreSelection, CuratedSetsDecideTheFeedsAndTheWindow)
{
    startWith({feed(Feed{S("a"), {}, 0.5, {}, {}}), feed(Feed{S("b"), {}, 0.9, {}, {}}),
               feed(Feed{S("c"), false, 5.0, {}, {}}), feed(Feed{S("d"), {}, {}, {}, {}})});
    struct Step {
        const char* name;
        QStringList feedIDs;
        QSet<QString> curated;
        QSet<QString> disabled;
        const char* requested;
        const char* window;  // "" for none
        const char* storedCurated;  // nullptr: key removed
    };
    const Step steps[] = {
        {"pulse alone asks for two hours", {S("a"), S("d")}, {S("pulse")}, {S("b"), S("c")}, "a,d", "120", "pulse"},
        {"pulse with a pillar asks for no window", {S("b")}, {S("pulse"), S("tech")}, {S("a"), S("c"), S("d")}, "b", "",
         "pulse,tech"},
        {"no curated set keeps the best-ranked active feeds", {S("a")}, {}, {S("c")}, "a,b,d", "", nullptr},
    };
    int itemRequests = 1;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        store->applyCuratedSelection(s.feedIDs, s.curated);
        EXPECT_EQ(store->disabledIDs(), s.disabled);
        EXPECT_EQ(store->activeCuratedIDs(), s.curated);
        if (s.storedCurated)
            EXPECT_EQ(defaults->stringValue(FeedSelection::ActiveCuratedKey), S(s.storedCurated));
        else
            EXPECT_FALSE(defaults->contains(FeedSelection::ActiveCuratedKey));
        debounce(++itemRequests);
        EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), S(s.requested));
        EXPECT_EQ(lastItemsQuery().queryItemValue(S("since_minutes")), S(s.window));
    }
}

TEST_F(FeedStoreSelection, DefaultSelectionRanksBestFirstAndKeepsCatalogueOrderForTies)
{
    makeStore();
    const QList<QJsonObject> json{feed(Feed{S("a"), {}, 1.0, {}, {}}), feed(Feed{S("b"), {}, {}, {}, {}}),
                                  feed(Feed{S("c"), {}, 2.0, {}, {}}), feed(Feed{S("d"), {}, 1.0, {}, {}}),
                                  feed(Feed{S("e"), false, 9.0, {}, {}}), feed(Feed{S("f"), {}, -0.5, {}, {}})};
    QList<FeedIndexItem> catalogue;
    for (const auto& o : json)
        catalogue.append(*FeedIndexItem::fromJson(o, JsonOptions{}));
    store->toggleFeed(S("c"));  // switched-off feeds are not consulted
    EXPECT_EQ(store->defaultFeedIDs(catalogue, 10), (QStringList{S("c"), S("a"), S("d"), S("f"), S("b")}));
    EXPECT_EQ(store->defaultFeedIDs(catalogue, 2), (QStringList{S("c"), S("a")}));
}

TEST_F(FeedStoreSelection, ChangesWithinTheDebounceMakeOneRequest)
{
    startWith({feed(S("a")), feed(S("b")), feed(S("c"))});
    store->toggleFeed(S("a"));
    time.advanceSeconds(0.1);
    store->setFeeds({S("b")}, false);
    time.advanceSeconds(0.1);
    store->toggleFeed(S("a"));
    time.advanceSeconds(0.29);
    drain(100);
    EXPECT_EQ(requests(S("v1_items_batch")), 1);
    debounce(2);
    drain(100);
    EXPECT_EQ(requests(S("v1_items_batch")), 2);
    EXPECT_EQ(lastItemsQuery().queryItemValue(S("feed_ids")), S("a,c"));
}

TEST_F(FeedStoreSelection, SetFeedsNotifiesPerIdAndAnEmptyListDoesNothing)
{
    startWith({feed(S("a")), feed(S("b"))});
    QSignalSpy disabled(store.get(), &FeedStore::disabledIDsChanged);
    store->setFeeds({}, false);
    EXPECT_EQ(disabled.count(), 0);
    EXPECT_EQ(time.pendingCount(), 1);  // only the heartbeat: no debounce started
    store->setFeeds({S("a"), S("b"), S("a")}, false);
    EXPECT_EQ(disabled.count(), 3);
    EXPECT_EQ(store->disabledIDs(), (QSet<QString>{S("a"), S("b")}));
}

TEST_F(FeedStoreSelection, SwitchingOffTheLastFeedClearsItemsAtOnce)
{
    startWith({feed(S("a")), feed(Feed{S("z"), false, {}, {}, {}})});
    ASSERT_FALSE(store->items().isEmpty());
    store->toggleFeed(S("a"));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_EQ(store->statusMessage(), S("No active feeds"));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return store->statusMessage() == S("No active feeds found"); }));
    EXPECT_EQ(requests(S("v1_items_batch")), 1);  // nothing to ask for
    EXPECT_TRUE(store->phase().isRunning());
}

TEST_F(FeedStoreSelection, CuratedSelectionNeedsACatalogue)
{
    makeStore();
    store->applyCuratedSelection({S("a")}, {S("pulse")});
    EXPECT_TRUE(store->disabledIDs().isEmpty());
    EXPECT_TRUE(store->activeCuratedIDs().isEmpty());
    EXPECT_EQ(time.pendingCount(), 0);
}

struct UpdateCase {
    const char* name;
    const char* version;  // nullptr: no release in the manifest
    const char* url;
    const char* dismissed;  // nullptr: nothing dismissed
    bool offered;
};

void PrintTo(const UpdateCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpdateOffer : public FeedStoreSelection, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdateOffer, NewerUndismissedReleasesWithAWebLinkAreOffered)
{
    const UpdateCase& c = GetParam();
    if (c.dismissed)
        defaults->set(FeedSelection::DismissedReleaseKey, S(c.dismissed));
    startWith({feed(S("a"))}, c.version ? QJsonValue(release(S(c.version), S(c.url))) : QJsonValue());
    EXPECT_EQ(store->availableUpdate().has_value(), c.offered);
    if (c.offered) {
        EXPECT_EQ(store->availableUpdate()->version, S(c.version));
        store->dismissUpdate();
        EXPECT_FALSE(store->availableUpdate());
        EXPECT_EQ(defaults->stringValue(FeedSelection::DismissedReleaseKey), S(c.version));
        // The same release stays hidden at the next refresh.
        time.advanceSeconds(300);
        ASSERT_TRUE(waitForRefreshes(2));
        EXPECT_FALSE(store->availableUpdate());
    }
}

// The running version is 1.4.
INSTANTIATE_TEST_SUITE_P(Cases, UpdateOffer, ::testing::Values(
    UpdateCase{"newer", "1.5", "https://example.com/get", nullptr, true},
    UpdateCase{"same version", "1.4.0", "https://example.com/get", nullptr, false},
    UpdateCase{"older", "1.3.9", "https://example.com/get", nullptr, false},
    UpdateCase{"dismissed", "1.5", "https://example.com/get", "1.5", false},
    UpdateCase{"newer than the dismissed one", "1.6", "HTTPS://example.com/get", "1.5", true},
    UpdateCase{"not a web link", "1.5", "ftp://example.com/get", nullptr, false},
    UpdateCase{"no release", nullptr, "", nullptr, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(FeedStoreSelection, AManifestWithoutReleaseWithdrawsTheOffer)
{
    startWith({feed(S("a"))}, release(S("2.0")));
    ASSERT_TRUE(store->availableUpdate());
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a"))}))));
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_FALSE(store->availableUpdate());
    store->dismissUpdate();  // nothing offered: nothing written
    EXPECT_FALSE(defaults->contains(FeedSelection::DismissedReleaseKey));
}

FeedItem personalItem(const QString& id, int minutes)
{
    return FeedItem{id, S("Mine ") + id, {}, QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * minutes),
                    {}, {}};
}

QByteArray bundle(const QStringList& corpusUrls, const QStringList& newsUrls = {})
{
    const auto stream = [](const QStringList& urls) {
        QJsonArray list;
        for (const auto& u : urls)
            list.append(QJsonObject{{S("title"), S("Story ") + u}, {S("url"), u}});
        return list;
    };
    return bytes(QJsonObject{{S("artist"), QJsonObject{{S("name"), S("Artist")}}},
                             {S("links"), QJsonArray{}},
                             {S("streams"), QJsonObject{{S("corpus"), stream(corpusUrls)},
                                                        {S("news"), stream(newsUrls)},
                                                        {S("videos"), QJsonArray{}}}}});
}

class FeedStoreComposition : public StoreTest {
protected:
    void startWith(const QList<QJsonObject>& feeds, const QString& itemPatterns, const QList<QJsonObject>& orbList = {})
    {
        serveCatalogue(feeds, items(itemPatterns), orbs(orbList));
        server.route(S("/v1_nowplaying"), R::json(bundle({S("m1"), S("m2")})));
        makeStore();
        startAndSettle();
    }
};

TEST_F(FeedStoreComposition, TickerItemsFollowFocusMusicAndTheBlendSetting)
{
    startWith({feed(Feed{S("a"), {}, {}, {}, S("tech")})}, S("c1@9 c2@5 c3@1"), {orb(S("o1"), {S("tech")})});
    QSignalSpy ticker(store.get(), &FeedStore::tickerItemsChanged);
    personal.handler({personalItem(S("p1"), 7), personalItem(S("p2"), 5)});
    EXPECT_EQ(ids(store->tickerItems()), S("c1 p1 c2 p2 c3"));
    EXPECT_EQ(ticker.count(), 1);

    // A track set but its lane still empty: the merged list.
    Gate& lane = gate();
    serveGated(S("v1_nowplaying"), lane, R::json(bundle({S("m1"), S("m2")})));
    store->setNowPlaying(S("Artist"), S("Song"), QUrl(S("https://art/1.jpg")));
    EXPECT_EQ(ids(store->tickerItems()), S("c1 p1 c2 p2 c3"));
    lane.open();
    ASSERT_TRUE(waitUntil([&] { return !store->nowPlayingItems().isEmpty(); }));
    // Blend off: the lane replaces the feeds.
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 np-m2"));
    ticker.clear();
    defaults->set(FeedStore::MusicBlendKey, true);
    EXPECT_EQ(ticker.count(), 1);
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 c1 p1 np-m2 c2 p2 c3"));

    // A focused topic with items hides the music too.
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    EXPECT_EQ(ids(store->tickerItems()), S("c1 c2 c3"));
    // The strip leaving the focus.
    store->setFocusedTopicID(std::nullopt);
    store->setFocusedItems({});
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 c1 p1 np-m2 c2 p2 c3"));
}

TEST_F(FeedStoreComposition, FocusAsksTheTopicsBestFeedsAndTogglesOnASecondTap)
{
    QList<QJsonObject> feeds{
        feed(Feed{S("low"), {}, {}, 1, S("Tech")}),      feed(Feed{S("off"), false, {}, 99, S("tech")}),
        feed(Feed{S("none"), {}, {}, {}, S("TECH")}),    feed(Feed{S("high"), {}, {}, 50, S("science")}),
        feed(Feed{S("other"), {}, {}, 70, S("sport")}),  feed(Feed{S("bare"), {}, {}, 80, {}}),
        feed(Feed{S("tie"), {}, {}, 1, S("tech")}),
    };
    for (int i = 0; i < 25; ++i)
        feeds.append(feed(Feed{S("bulk%1").arg(i), {}, {}, 10, S("science")}));
    startWith(feeds, S("c1@1"), {orb(S("o1"), {S("TECH"), S("Science"), S("")}), orb(S("empty"))});
    store->toggleFeed(S("high"));  // the user's switched-off feeds still count here

    const QStringList ids = store->focusFeedIDs(S("o1"));
    ASSERT_EQ(ids.size(), 20);
    EXPECT_EQ(ids.first(), S("high"));
    EXPECT_EQ(ids.at(1), S("bulk0"));
    EXPECT_FALSE(ids.contains(S("off")));
    EXPECT_FALSE(ids.contains(S("other")));
    EXPECT_FALSE(ids.contains(S("bare")));
    EXPECT_TRUE(store->focusFeedIDs(S("empty")).isEmpty());
    EXPECT_TRUE(store->focusFeedIDs(S("missing")).isEmpty());

    server.route(S("/v1_items_batch"), R::json(bytes(items(S("f1@1 f2@2")))));
    const int before = requests(S("v1_items_batch"));
    store->focusTopic(S("o1"));
    EXPECT_EQ(store->focusedOrb()->id, S("o1"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    EXPECT_EQ(catalogue::ids(store->focusedItems()), S("f1 f2"));  // server order
    const QUrlQuery query = requestsFor(S("v1_items_batch")).last().query;
    EXPECT_EQ(query.queryItemValue(S("feed_ids")), ids.join(QLatin1Char(',')));
    EXPECT_EQ(query.queryItemValue(S("limit_per_feed")), S("10"));
    EXPECT_FALSE(query.hasQueryItem(S("since_minutes")));

    store->focusTopic(S("o1"));  // second tap leaves the focus
    EXPECT_FALSE(store->focusedTopicID());
    EXPECT_TRUE(store->focusedItems().isEmpty());
    EXPECT_FALSE(store->focusedOrb());

    store->focusTopic(S("empty"));  // no matching feeds: no request
    drain(100);
    EXPECT_EQ(requests(S("v1_items_batch")), before + 1);
    EXPECT_EQ(store->focusedTopicID(), S("empty"));
}

TEST_F(FeedStoreComposition, ALateFocusReplyForAnotherTopicChangesNothing)
{
    startWith({feed(Feed{S("a"), {}, {}, {}, S("tech")}), feed(Feed{S("b"), {}, {}, {}, S("sport")})}, S("c1@1"),
              {orb(S("o1"), {S("tech")}), orb(S("o2"), {S("sport")})});
    Gate& slow = gate();
    server.handle(S("/v1_items_batch"), [&slow](const LoopbackServer::Request& r) {
        if (r.query.queryItemValue(S("feed_ids")) == S("a")) {
            slow.wait();
            return R::json(bytes(items(S("tech1@1"))));
        }
        return R::json(bytes(items(S("sport1@1"))));
    });
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return requests(S("v1_items_batch")) == 2; }));
    store->focusTopic(S("o2"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    slow.open();
    drain();
    EXPECT_EQ(ids(store->focusedItems()), S("sport1"));
}

TEST_F(FeedStoreComposition, RefocusingATopicShowsItsItemsAgainWhenTheServerAnswersNotModified)
{
    serveCatalogue({feed(Feed{S("a"), {}, {}, {}, S("tech")})}, items(S("c1@1")), orbs({orb(S("o1"), {S("tech")})}));
    serveWithETag(S("v1_items_batch"), [](const LoopbackServer::Request& r) {
        return bytes(items(r.query.queryItemValue(S("limit_per_feed")) == S("10") ? S("f1@1") : S("c1@1")));
    });
    LogCapture log;
    makeStore();
    startAndSettle();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        store->focusTopic(S("o1"));
        ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
        EXPECT_EQ(ids(store->focusedItems()), S("f1"));
        store->focusTopic(S("o1"));
    }
    EXPECT_FALSE(requestsFor(S("v1_items_batch")).last().header("If-None-Match").isEmpty());
    EXPECT_FALSE(log.anyContains(S("focused items fetch failed")));
}

TEST_F(FeedStoreComposition, AFailedFocusFetchLogsAndKeepsTheMergedList)
{
    startWith({feed(Feed{S("a"), {}, {}, {}, S("tech")})}, S("c1@1"), {orb(S("o1"), {S("tech")})});
    server.route(S("/v1_items_batch"), R::withStatus(404));
    LogCapture log;
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return log.anyContains(S("focused items fetch failed: ")); }));
    EXPECT_TRUE(store->focusedItems().isEmpty());
    EXPECT_EQ(ids(store->tickerItems()), S("c1"));
}

TEST_F(FeedStoreComposition, LastUpdatedTextDescribesTheAgeOfTheData)
{
    makeStore();
    EXPECT_FALSE(store->lastUpdatedText());
    storeSnapshot({feed(S("a"))}, S("x1"), time.now().addSecs(-5 * 60).toString(Qt::ISODate));
    makeStore();
    Gate& never = gate();
    serveGated(S("v1_manifest"), never, R::withStatus(404));
    store->start();
    const auto text = store->lastUpdatedText();
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->contains(S("5"))) << text->toStdString();
    EXPECT_TRUE(text->contains(S("min"))) << text->toStdString();
    time.advanceSeconds(2 * 3600);
    EXPECT_TRUE(store->lastUpdatedText()->contains(S("2"))) << store->lastUpdatedText()->toStdString();
    EXPECT_TRUE(store->lastUpdatedText()->contains(S("hr"))) << store->lastUpdatedText()->toStdString();
    store->stop();
}

struct OrderCase {
    const char* name;
    QList<const char*> releaseOrder;  // paths whose answers are released, in this order
};

void PrintTo(const OrderCase& c, std::ostream* os)
{
    *os << c.name;
}

class ApplyOrder : public StoreTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(ApplyOrder, IsManifestItemsOrbsWeatherSnapshotWhateverTheReplyOrder)
{
    Gate& manifestGate = gate();
    Gate& itemsGate = gate();
    Gate& orbsGate = gate();
    Gate& weatherGate = gate();
    QHash<QString, Gate*> gates{{QStringLiteral("v1_manifest"), &manifestGate},
                                {QStringLiteral("v1_items_batch"), &itemsGate},
                                {QStringLiteral("v1_orbs"), &orbsGate},
                                {QStringLiteral("v1_weather"), &weatherGate}};
    serveGated(QStringLiteral("v1_manifest"), manifestGate, R::json(bytes(manifest({feed(QStringLiteral("a"))}))));
    serveGated(QStringLiteral("v1_items_batch"), itemsGate, R::json(bytes(items(QStringLiteral("a1@1")))));
    serveGated(QStringLiteral("v1_orbs"), orbsGate, R::json(bytes(orbs({orb(QStringLiteral("o1"))}))));
    serveGated(QStringLiteral("v1_weather"), weatherGate, R::json(bytes(weather(QStringLiteral("Cork")))));
    makeStore();

    QStringList applied;
    QObject::connect(store.get(), &FeedStore::topicsChanged, [&] { applied << QStringLiteral("manifest"); });
    QObject::connect(store.get(), &FeedStore::itemsChanged, [&] { applied << QStringLiteral("items"); });
    QObject::connect(store.get(), &FeedStore::orbsChanged, [&] { applied << QStringLiteral("orbs"); });
    QObject::connect(store.get(), &FeedStore::currentWeatherChanged, [&] { applied << QStringLiteral("weather"); });
    QObject::connect(&defaults->caches(), &CacheFiles::changed, [&](const QString& key) {
        if (key == FeedStore::SnapshotKey)
            applied << QStringLiteral("snapshot");
    });

    store->start();
    // The three reads go out together, before any answer and before the items request.
    ASSERT_TRUE(waitUntil([&] {
        return requests(QStringLiteral("v1_manifest")) == 1 && requests(QStringLiteral("v1_orbs")) == 1
            && requests(QStringLiteral("v1_weather")) == 1;
    }));
    EXPECT_EQ(requests(QStringLiteral("v1_items_batch")), 0);
    for (const char* path : GetParam().releaseOrder) {
        const QString p = QString::fromUtf8(path);
        // The items request goes out only once the manifest is applied.
        if (p != QStringLiteral("v1_items_batch") || applied.contains(QStringLiteral("manifest"))) {
            ASSERT_TRUE(waitUntil([&] { return requests(p) == 1; })) << path;
        }
        gates.value(p)->open();
        drain(50);
    }
    ASSERT_TRUE(waitForRefreshes(1));
    EXPECT_EQ(applied, (QStringList{QStringLiteral("manifest"), QStringLiteral("items"), QStringLiteral("orbs"),
                                    QStringLiteral("weather"), QStringLiteral("snapshot")}));
    const auto all = server.requests();
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all.last().path, QStringLiteral("/v1_items_batch"));
}

INSTANTIATE_TEST_SUITE_P(Cases, ApplyOrder, ::testing::Values(
    OrderCase{"weather, orbs, then manifest", {"v1_weather", "v1_orbs", "v1_manifest", "v1_items_batch"}},
    OrderCase{"orbs before manifest, weather last", {"v1_orbs", "v1_manifest", "v1_items_batch", "v1_weather"}},
    OrderCase{"in request order", {"v1_manifest", "v1_items_batch", "v1_orbs", "v1_weather"}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

using FeedStoreRefresh = StoreTest;

TEST_F(FeedStoreRefresh, ManifestFailureWithItemsKeepsTheCatalogueAndGoesOn)
{
    storeSnapshot({feed(QStringLiteral("a")), feed(QStringLiteral("b"))}, QStringLiteral("x1@5"));
    server.route(QStringLiteral("/v1_manifest"), R::withStatus(404));
    server.route(QStringLiteral("/v1_items_batch"), R::json(bytes(items(QStringLiteral("a1@9 b1@8")))));
    server.route(QStringLiteral("/v1_orbs"), R::json(bytes(orbs({orb(QStringLiteral("o2"))}))));
    server.route(QStringLiteral("/v1_weather"), R::json(bytes(weather(QStringLiteral("Cork")))));
    LogCapture log;
    makeStore();
    startAndSettle();
    EXPECT_TRUE(log.anyContains(QStringLiteral("manifest fetch failed: ")));
    EXPECT_EQ(store->feeds().size(), 2);
    EXPECT_EQ(requestsFor(QStringLiteral("v1_items_batch")).first().query.queryItemValue(QStringLiteral("feed_ids")),
              QStringLiteral("a,b"));
    EXPECT_EQ(ids(store->items()), QStringLiteral("a1 b1"));
    EXPECT_EQ(store->orbs().first().id, QStringLiteral("o2"));
    EXPECT_EQ(store->phase().kind, Kind::Running);
}

TEST_F(FeedStoreRefresh, FailuresWhileItemsAreLoadedChangeNeitherPhaseNorStatus)
{
    storeSnapshot({feed(QStringLiteral("a"))}, QStringLiteral("x1@5"));
    server.route(QStringLiteral("/v1_manifest"), R::json(bytes(manifest({feed(QStringLiteral("a"))}))));
    server.route(QStringLiteral("/v1_items_batch"), R::withStatus(404));
    server.route(QStringLiteral("/v1_orbs"), R::withStatus(404));
    server.route(QStringLiteral("/v1_weather"), R::json(bytes(weather(QStringLiteral("Cork")))));
    LogCapture log;
    makeStore();
    startAndSettle();
    server.route(QStringLiteral("/v1_weather"), R::withStatus(404));
    QSignalSpy weatherSpy(store.get(), &FeedStore::currentWeatherChanged);
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_TRUE(log.anyContains(QStringLiteral("items fetch failed: ")));
    EXPECT_TRUE(log.anyContains(QStringLiteral("orbs fetch failed: ")));
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    EXPECT_EQ(ids(store->items()), QStringLiteral("x1"));
    EXPECT_EQ(store->orbs().size(), 1);  // from the snapshot
    // A failed weather reading keeps the last one and still notifies.
    EXPECT_EQ(weatherSpy.count(), 1);
    ASSERT_TRUE(store->currentWeather());
    EXPECT_EQ(store->currentWeather()->city, QStringLiteral("Cork"));
}

TEST_F(FeedStoreRefresh, NotModifiedAppliesTheRememberedBatchWhenSwitchingBack)
{
    server.route(QStringLiteral("/v1_manifest"),
                 R::json(bytes(manifest({feed(QStringLiteral("a")), feed(QStringLiteral("b"))}))));
    server.route(QStringLiteral("/v1_orbs"), R::json(bytes(orbs({}))));
    server.route(QStringLiteral("/v1_weather"), R::json(bytes(weather(QStringLiteral("Cork")))));
    serveWithETag(QStringLiteral("v1_items_batch"), [](const LoopbackServer::Request& r) {
        const QString ids = r.query.queryItemValue(QStringLiteral("feed_ids"));
        return bytes(items(ids == QStringLiteral("a") ? QStringLiteral("a1@5") : QStringLiteral("a1@5 b1@4")));
    });
    makeStore();
    startAndSettle();
    const auto fetchedAt = store->lastUpdated();
    ASSERT_EQ(ids(store->items()), QStringLiteral("a1 b1"));

    const auto switchTo = [&](int expectedRequests) {
        store->toggleFeed(QStringLiteral("b"));
        time.advanceSeconds(0.3);
        ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_items_batch")) == expectedRequests; }));
        drain(100);
    };
    time.advanceSeconds(60);
    switchTo(2);  // b off: a fresh batch for "a"
    EXPECT_EQ(ids(store->items()), QStringLiteral("a1"));
    time.advanceSeconds(60);
    switchTo(3);  // b on again: the server answers 304 for "a,b"
    EXPECT_FALSE(requestsFor(QStringLiteral("v1_items_batch")).last().header("If-None-Match").isEmpty());
    EXPECT_EQ(ids(store->items()), QStringLiteral("a1 b1"));
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    // Nothing new arrived: the time of the last fetch stays that of the "a" batch.
    ASSERT_TRUE(fetchedAt);
    EXPECT_EQ(store->lastUpdated(), fetchedAt->addMSecs(60300));
}

TEST_F(FeedStoreRefresh, NotModifiedWithoutARememberedBodyKeepsEverythingAndSaves)
{
    storeSnapshot({feed(QStringLiteral("a"))}, QStringLiteral("x1@5"));
    for (const char* path : {"/v1_manifest", "/v1_items_batch", "/v1_orbs", "/v1_weather"})
        server.route(QString::fromUtf8(path), R::withStatus(304));
    LogCapture log;
    makeStore();
    startAndSettle();
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    EXPECT_EQ(ids(store->items()), QStringLiteral("x1"));
    EXPECT_EQ(store->feeds().size(), 1);
    EXPECT_TRUE(defaults->caches().contains(FeedStore::SnapshotKey));
    EXPECT_FALSE(log.anyContains(QStringLiteral("failed")));
}

TEST_F(FeedStoreRefresh, AnOlderItemsReplyNeverBringsBackSwitchedOffFeeds)
{
    server.route(QStringLiteral("/v1_manifest"),
                 R::json(bytes(manifest({feed(QStringLiteral("a")), feed(QStringLiteral("b"))}))));
    server.route(QStringLiteral("/v1_orbs"), R::json(bytes(orbs({}))));
    server.route(QStringLiteral("/v1_weather"), R::json(bytes(weather(QStringLiteral("Cork")))));
    Gate& slow = gate();
    server.handle(QStringLiteral("/v1_items_batch"), [&slow](const LoopbackServer::Request& r) {
        if (r.query.queryItemValue(QStringLiteral("feed_ids")) == QStringLiteral("a,b")) {
            slow.wait();
            return R::json(bytes(items(QStringLiteral("a1@5 b1@4"))));
        }
        return R::json(bytes(items(QStringLiteral("a1@5"))));
    });
    makeStore();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_items_batch")) == 1; }));
    store->toggleFeed(QStringLiteral("b"));
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] { return ids(store->items()) == QStringLiteral("a1"); }));
    slow.open();
    ASSERT_TRUE(waitForRefreshes(1));
    drain(100);
    EXPECT_EQ(ids(store->items()), QStringLiteral("a1"));
    // The snapshot holds the newest data too.
    const QJsonArray saved = defaults->caches().value(FeedStore::SnapshotKey).toObject().value(QStringLiteral("items")).toArray();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved.first().toObject().value(QStringLiteral("item_id")).toString(), QStringLiteral("a1"));
}

TEST_F(FeedStoreRefresh, WeatherFollowsTheStoredCityAndKeepsTheLastReadingOnFailure)
{
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));
    // Revalidated: a city asked for again is answered 304.
    serveWithETag(QStringLiteral("v1_weather"), [](const LoopbackServer::Request& r) {
        const QString city = r.query.queryItemValue(QStringLiteral("city"), QUrl::FullyDecoded);
        return city == QStringLiteral("Nowhere") ? QByteArray() : bytes(weather(city));
    });
    makeStore();
    startAndSettle();
    ASSERT_TRUE(store->currentWeather());
    EXPECT_EQ(store->currentWeather()->city, QStringLiteral("Dublin"));  // no city stored

    struct Step {
        const char* city;
        const char* shown;
    };
    const Step steps[] = {{"Cork", "Cork"}, {"Nowhere", "Cork"}, {"Dublin", "Dublin"}, {"Cork", "Cork"}};
    int writes = weatherWrites;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.city);
        defaults->set(FeedStore::WeatherCityKey, QString::fromUtf8(s.city));
        store->refreshWeather();
        ASSERT_TRUE(waitUntil([&] { return weatherWrites == writes + 1; }));
        writes = weatherWrites;
        EXPECT_EQ(store->currentWeather()->city, QString::fromUtf8(s.shown));
    }
    EXPECT_EQ(requestsFor(QStringLiteral("v1_weather")).last().header("If-None-Match").isEmpty(), false);
}

TEST_F(FeedStoreRefresh, AnAnswerForACityAskedEarlierDoesNotReplaceANewerOne)
{
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));
    makeStore();
    startAndSettle();
    Gate& slow = gate();
    server.handle(QStringLiteral("/v1_weather"), [&slow](const LoopbackServer::Request& r) {
        const QString city = r.query.queryItemValue(QStringLiteral("city"), QUrl::FullyDecoded);
        if (city == QStringLiteral("Cork"))
            slow.wait();
        return R::json(bytes(weather(city)));
    });
    defaults->set(FeedStore::WeatherCityKey, QStringLiteral("Cork"));
    store->refreshWeather();
    ASSERT_TRUE(waitUntil([&] { return requests(QStringLiteral("v1_weather")) == 2; }));
    defaults->set(FeedStore::WeatherCityKey, QStringLiteral("Galway"));
    store->refreshWeather();
    ASSERT_TRUE(waitUntil([&] { return store->currentWeather()->city == QStringLiteral("Galway"); }));
    slow.open();
    drain();
    EXPECT_EQ(store->currentWeather()->city, QStringLiteral("Galway"));
}

TEST_F(FeedStoreRefresh, AHeadlineRewordedUnderTheSameIdIsAnnounced)
{
    serveCatalogue({feed(QStringLiteral("a"))}, items(QStringLiteral("a1@1")));
    makeStore();
    startAndSettle();
    QJsonObject reworded = items(QStringLiteral("a1@1"));
    QJsonObject first = reworded.value(QStringLiteral("items")).toArray().first().toObject();
    first.insert(QStringLiteral("title"), QStringLiteral("Corrected headline"));
    reworded.insert(QStringLiteral("items"), QJsonArray{first});
    server.route(QStringLiteral("/v1_items_batch"), R::json(bytes(reworded)));
    QSignalSpy itemsSpy(store.get(), &FeedStore::itemsChanged);
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(2));
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(store->items().first().title, QStringLiteral("Corrected headline"));
    // The same batch again stays silent.
    time.advanceSeconds(300);
    ASSERT_TRUE(waitForRefreshes(3));
    EXPECT_EQ(itemsSpy.count(), 1);
}

QJsonArray stream(const QStringList& urls, const QString& source = {})
{
    QJsonArray list;
    for (const auto& u : urls) {
        QJsonObject entry{{S("title"), S("Story ") + u}, {S("url"), u}};
        if (!source.isEmpty())
            entry.insert(S("source"), source);
        list.append(entry);
    }
    return list;
}

// An artist's bundle whose corpus items are "<artist>1".."<artist>N".
QByteArray bundleFor(const QString& artist, int count, const QString& artwork = {})
{
    QStringList urls;
    for (int i = 1; i <= count; ++i)
        urls.append(artist + QString::number(i));
    QJsonObject o{{S("artist"), QJsonObject{{S("name"), artist}}},
                  {S("links"), QJsonArray{}},
                  {S("streams"), QJsonObject{{S("corpus"), stream(urls)}, {S("news"), QJsonArray{}},
                                             {S("videos"), QJsonArray{}}}}};
    if (!artwork.isEmpty())
        o.insert(S("artwork"), artwork);
    return bytes(o);
}

QByteArray artworkReply(const QString& name)
{
    return bytes(QJsonObject{{S("results"), QJsonArray{QJsonObject{{S("artworkUrl100"),
                                                                    S("https://art/") + name + S("/100x100.jpg")}}}}});
}

class FeedStoreNowPlaying : public StoreTest {
protected:
    FeedStoreNowPlaying()
    {
        // Bundles per artist, revalidated with ETags; artwork named after the track.
        serveWithETag(S("v1_nowplaying"), [](const LoopbackServer::Request& r) {
            const QString artist = r.query.queryItemValue(S("artist"), QUrl::FullyDecoded);
            return bundleFor(artist, 4, S("https://bundle/") + artist + S(".jpg"));
        });
        server.handle(S("/search"), [](const LoopbackServer::Request& r) {
            const QString term = r.query.queryItemValue(S("term"), QUrl::FullyDecoded);
            return R::json(artworkReply(term.section(QLatin1Char(' '), -1)));
        });
        makeStore();
    }

    void play(const char* artist, const char* track, std::optional<QUrl> art = std::nullopt)
    {
        store->setNowPlaying(S(artist), S(track), art);
    }
    bool laneIs(const QString& expected)
    {
        return waitUntil([&] { return ids(store->nowPlayingItems()) == expected; });
    }
    QString bundleArtists() const
    {
        QStringList out;
        for (const auto& b : store->recentBundles())
            out.append(b.artist);
        return out.join(QLatin1Char(' '));
    }
};

TEST_F(FeedStoreNowPlaying, ATrackFetchesItsArtistsBundleAndArtwork)
{
    LogCapture log;
    play("A", "Song");
    EXPECT_EQ(store->nowPlaying(), (FeedStore::NowPlayingTrack{S("A"), S("Song")}));
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    const FeedItem first = store->nowPlayingItems().first();
    ASSERT_TRUE(first.source);
    EXPECT_EQ(first.source->id, S("np-corpus"));
    EXPECT_EQ(first.source->title, S("A"));  // no source named: the artist
    EXPECT_EQ(first.url, S("A1"));
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL().has_value(); }));
    const auto request = requestsFor(S("v1_nowplaying")).first();
    EXPECT_EQ(request.query.queryItemValue(S("track"), QUrl::FullyDecoded), S("Song"));
    EXPECT_TRUE(log.anyContains(S("np: set Song — A (prev nil, items 0)")));
    EXPECT_TRUE(log.anyContains(S("np: loaded bundle for A — blend now 4 items over 1 artist(s)")));
}

TEST_F(FeedStoreNowPlaying, RepeatsAndNewTracksAskOnlyForWhatChanged)
{
    play("A", "One");
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S("https://art/One/600x600.jpg")); }));
    struct Step {
        const char* name;
        const char* artist;
        const char* track;
        int lookups;
        int fetches;
    };
    const Step steps[] = {
        {"same artist and track again", "A", "One", 1, 1},
        {"new track of the same artist", "A", "Two", 2, 1},
        {"new artist", "B", "Three", 3, 2},
        {"back to a cached artist", "A", "Four", 4, 2},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        play(s.artist, s.track);
        ASSERT_TRUE(waitUntil([&] { return requests(S("search")) == s.lookups; }));
        ASSERT_TRUE(waitUntil([&] { return requests(S("v1_nowplaying")) == s.fetches; }));
        drain(100);
        EXPECT_EQ(requests(S("search")), s.lookups);
        EXPECT_EQ(requests(S("v1_nowplaying")), s.fetches);
    }
    // A is back in front: three of A's, then two of B's.
    EXPECT_EQ(bundleArtists(), S("A B"));
    EXPECT_EQ(ids(store->nowPlayingItems()), S("np-A1 np-A2 np-A3 np-B1 np-B2 np-A4 np-B3 np-B4"));
}

TEST_F(FeedStoreNowPlaying, KeepsTheLastThreeArtists)
{
    for (const char* artist : {"A", "B", "C", "D"}) {
        play(artist, "Song");
        ASSERT_TRUE(waitUntil([&] { return bundleArtists().startsWith(S(artist)); }));
    }
    EXPECT_EQ(bundleArtists(), S("D C B"));
    EXPECT_EQ(ids(store->nowPlayingItems()),
              S("np-D1 np-D2 np-D3 np-C1 np-C2 np-B1 np-D4 np-C3 np-C4 np-B2 np-B3 np-B4"));
    play("A", "Song");  // dropped: fetched again
    ASSERT_TRUE(waitUntil([&] { return requests(S("v1_nowplaying")) == 5; }));
    ASSERT_TRUE(waitUntil([&] { return bundleArtists() == S("A D C"); }));
}

TEST_F(FeedStoreNowPlaying, StreamsInterleaveOnePerPassAndShowAStoryOnce)
{
    NowPlayingResponse response;
    response.artist.name = S("Artist");
    const auto entries = [](const QStringList& urls) {
        QList<NowPlayingResponse::StreamItem> out;
        for (const auto& u : urls)
            out.append(NowPlayingResponse::StreamItem{S("T ") + u, u, {}, {}, {}});
        return out;
    };
    response.streams.corpus = entries({S("c1"), S("c2"), S("shared")});
    response.streams.news = entries({S("shared"), S("n2")});
    response.streams.videos = entries({S("v1")});
    response.streams.social = entries({S("s1"), S("s2"), S("s3"), S("s4")});
    response.streams.social->first().source = S("Forum");
    const QList<FeedItem> lane = FeedStore::interleaveStreams(response);
    EXPECT_EQ(ids(lane), S("np-c1 np-shared np-v1 np-s1 np-c2 np-n2 np-s2 np-s3 np-s4"));
    EXPECT_EQ(lane.at(2).source->id, S("np-video"));
    EXPECT_EQ(lane.at(3).source->id, S("np-social"));
    EXPECT_EQ(lane.at(3).source->title, S("Forum"));
    EXPECT_EQ(lane.at(1).source->id, S("np-news"));  // first seen in the news pass
    EXPECT_TRUE(FeedStore::interleaveStreams(NowPlayingResponse{}).isEmpty());
}

TEST_F(FeedStoreNowPlaying, PausesClearAfterTheirTimeUnlessMusicResumes)
{
    struct Case {
        const char* name;
        QList<std::pair<double, const char*>> events;  // seconds from start: "pause" or "play"
        double clearedAt;  // -1: never within 120 s
    };
    const Case cases[] = {
        {"clears after 30 seconds", {{0, "pause"}}, 30},
        {"a second pause does not restart the timer", {{0, "pause"}, {10, "pause"}}, 30},
        {"a new track within the time cancels the clear", {{0, "pause"}, {20, "play"}}, -1},
        {"a pause after resuming starts a new timer", {{0, "pause"}, {20, "play"}, {25, "pause"}}, 55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeStore();
        play("A", "Song");
        ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
        const QDateTime start = time.now();
        const auto advanceTo = [&](double seconds) {
            time.advance(std::chrono::milliseconds(time.now().msecsTo(start.addMSecs(qint64(seconds * 1000)))));
        };
        for (const auto& [at, what] : c.events) {
            advanceTo(at);
            if (QByteArray(what) == "pause")
                store->pauseNowPlaying(30);
            else
                play("A", "Other");
        }
        for (int second = 1; second <= 120 && store->nowPlaying(); ++second)
            advanceTo(second);
        if (c.clearedAt < 0) {
            EXPECT_TRUE(store->nowPlaying());
            EXPECT_FALSE(store->hasPendingClear());
        } else {
            EXPECT_FALSE(store->nowPlaying());
            EXPECT_EQ(start.secsTo(time.now()), qint64(c.clearedAt));
            EXPECT_TRUE(store->nowPlayingItems().isEmpty());
            EXPECT_TRUE(store->recentBundles().isEmpty());
            EXPECT_FALSE(store->nowPlayingArtworkURL());
        }
    }
}

TEST_F(FeedStoreNowPlaying, APauseWhileNothingPlaysDoesNothing)
{
    store->pauseNowPlaying(30);
    EXPECT_FALSE(store->hasPendingClear());
    EXPECT_EQ(time.pendingCount(), 0);
}

TEST_F(FeedStoreNowPlaying, ATimedOutBundleRequestIsRetriedOnce)
{
    FeedAPIConfig config = FeedAPIConfig::standard();
    config.timeout = std::chrono::milliseconds(300);
    makeStore(config);
    auto calls = std::make_shared<std::atomic<int>>(0);
    server.handle(S("/v1_nowplaying"), [calls](const LoopbackServer::Request&) {
        R reply = R::json(bundleFor(S("A"), 2));
        if (calls->fetch_add(1) == 0)
            reply.delay = std::chrono::milliseconds(1500);
        return reply;
    });
    LogCapture log;
    play("A", "Song", QUrl(S("https://mic/art.jpg")));
    ASSERT_TRUE(laneIs(S("np-A1 np-A2")));
    EXPECT_EQ(requests(S("v1_nowplaying")), 2);
    EXPECT_TRUE(log.anyContains(S("now-playing fetch timed out, retrying once")));
    EXPECT_FALSE(log.anyContains(S("now-playing fetch failed")));
    // A microphone match brings its own artwork: no lookup, the bundle's is unused.
    EXPECT_EQ(requests(S("search")), 0);
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://mic/art.jpg")));
}

TEST_F(FeedStoreNowPlaying, ASecondTimeoutIsLoggedAsAFailure)
{
    FeedAPIConfig config = FeedAPIConfig::standard();
    config.timeout = std::chrono::milliseconds(200);
    makeStore(config);
    server.handle(S("/v1_nowplaying"), [](const LoopbackServer::Request&) {
        R reply = R::json(bundleFor(S("A"), 2));
        reply.delay = std::chrono::milliseconds(800);
        return reply;
    });
    LogCapture log;
    play("A", "Song");
    ASSERT_TRUE(waitUntil([&] { return log.anyContains(S("now-playing fetch failed: ")); }));
    EXPECT_EQ(requests(S("v1_nowplaying")), 2);
    EXPECT_TRUE(store->nowPlayingItems().isEmpty());
}

TEST_F(FeedStoreNowPlaying, ALateArtworkAnswerForAnEarlierTrackIsDropped)
{
    Gate& slow = gate();
    server.handle(S("/search"), [&slow](const LoopbackServer::Request& r) {
        const QString track = r.query.queryItemValue(S("term"), QUrl::FullyDecoded).section(QLatin1Char(' '), -1);
        if (track == S("One"))
            slow.wait();
        return R::json(artworkReply(track));
    });
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return requests(S("search")) == 1; }));
    play("A", "Two");
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S("https://art/Two/600x600.jpg")); }));
    slow.open();
    drain();
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://art/Two/600x600.jpg")));
}

TEST_F(FeedStoreNowPlaying, BundleArtworkFillsInOnlyWhenNoArtworkIsSet)
{
    server.route(S("/search"), R::json(bytes(QJsonObject{{S("results"), QJsonArray{}}})));
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return store->nowPlayingArtworkURL() == QUrl(S("https://bundle/A.jpg")); }));
    play("B", "Two");  // the earlier artwork stays: the bundle's is not used
    ASSERT_TRUE(waitUntil([&] { return bundleArtists() == S("B A"); }));
    EXPECT_EQ(store->nowPlayingArtworkURL(), QUrl(S("https://bundle/A.jpg")));
}

TEST_F(FeedStoreNowPlaying, TheSameArtistAfterAClearFillsTheLaneFromANotModifiedAnswer)
{
    play("A", "Song");
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    store->clearNowPlaying();
    EXPECT_TRUE(store->nowPlayingItems().isEmpty());
    play("A", "Song");
    ASSERT_TRUE(laneIs(S("np-A1 np-A2 np-A3 np-A4")));
    EXPECT_EQ(requests(S("v1_nowplaying")), 2);
    EXPECT_FALSE(requestsFor(S("v1_nowplaying")).last().header("If-None-Match").isEmpty());
}

TEST_F(FeedStoreNowPlaying, ABundleForAnArtistNoLongerPlayingIsDropped)
{
    Gate& slow = gate();
    server.handle(S("/v1_nowplaying"), [&slow](const LoopbackServer::Request& r) {
        const QString artist = r.query.queryItemValue(S("artist"), QUrl::FullyDecoded);
        if (artist == S("A"))
            slow.wait();
        return R::json(bundleFor(artist, 2));
    });
    play("A", "One");
    ASSERT_TRUE(waitUntil([&] { return requests(S("v1_nowplaying")) == 1; }));
    play("B", "Two");
    ASSERT_TRUE(laneIs(S("np-B1 np-B2")));
    slow.open();
    drain();
    EXPECT_EQ(bundleArtists(), S("B"));
}

} // namespace
