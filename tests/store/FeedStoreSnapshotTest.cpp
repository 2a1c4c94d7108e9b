#include "StoreHarness.h"

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;
using Kind = FeedStore::AppPhase::Kind;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

using FeedStoreSnapshot = StoreTest;

TEST_F(FeedStoreSnapshot, ARestartShowsTheLastHeadlinesBeforeAnyAnswer)
{
    server.route(S("/v1_manifest"), R::json(bytes(manifest({feed(S("a")), feed(S("b"))}))));
    server.route(S("/v1_items_batch"), R::json(bytes(items(S("a1@9 b1@8")))));
    server.route(S("/v1_orbs"), R::json(bytes(orbs({orb(S("o1"), {S("tech")})}))));
    server.route(S("/v1_weather"), R::json(bytes(weather(S("Cork")))));
    makeStore();
    startAndSettle();
    const QDateTime fetchedAt = time.now();

    Gate& never = gate();
    for (const char* path : {"v1_manifest", "v1_items_batch", "v1_orbs", "v1_weather"})
        serveGated(S(path), never, R::withStatus(500));
    time.advanceSeconds(90);
    restart();
    store->start();
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), S("Live"));
    EXPECT_EQ(ids(store->items()), S("a1 b1"));
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
    const QJsonObject saved = defaults->caches().value(FeedStore::SnapshotKey).toObject();
    const QStringList keys = saved.keys();
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()),
              (QSet<QString>{S("topics"), S("feeds"), S("orbs"), S("items"), S("cachedAt")}));
    EXPECT_EQ(saved.value(S("cachedAt")).toString(), fetchedAt.toString(Qt::ISODate));

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

TEST_F(FeedStoreSnapshot, DatesComeBackWithoutFractionalSeconds)
{
    QJsonObject batch = items(QString());
    QJsonObject it = item(S("x1"));
    it.insert(S("published_at"), S("2026-01-15T12:00:00.750Z"));
    batch.insert(S("items"), QJsonArray{it});
    serveCatalogue({feed(S("a"))}, batch);
    makeStore();
    startAndSettle();
    ASSERT_EQ(store->items().first().publishedAt->time().msec(), 750);
    restart();
    Gate& never = gate();
    serveGated(S("v1_manifest"), never, R::withStatus(500));
    store->start();
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().publishedAt, QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
    store->stop();
    never.open();
}

} // namespace
