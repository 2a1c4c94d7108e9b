#include "LogCapture.h"
#include "StoreHarness.h"

#include <QSignalSpy>

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;
using Kind = FeedStore::AppPhase::Kind;

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
    // The three reads were in flight together, before the items request.
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

} // namespace
