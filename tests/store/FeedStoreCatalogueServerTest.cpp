// The store against the sample catalogue server: the whole road from the
// server API to the ticker list, and a restart from the snapshot.
#if defined(TIDEWIRE_HAVE_CATALOGUE_SERVER)

#include "CatalogueServer.h"
#include "StoreHarness.h"

namespace {

using Kind = FeedStore::AppPhase::Kind;

class FeedStoreAgainstCatalogue : public StoreTest {
protected:
    FeedStoreAgainstCatalogue() : catalogueServer(options()) {}

    CatalogueServer::Options options()
    {
        CatalogueServer::Options o;
        o.seed = 11;
        o.now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); };
        return o;
    }
    void makeStoreOnCatalogue()
    {
        FeedStore::Services services{
            .defaults = *defaults,
            .clock = time,
            .scheduler = time,
            .network = &network,
            .personal = &personal,
            .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
            .apiBase = catalogueServer.baseUrl(),
            .api = std::nullopt,
            .itunesBase = catalogueServer.baseUrl(),
            .runningVersion = QStringLiteral("0.1"),
        };
        store = std::make_unique<FeedStore>(std::move(services));
    }

    CatalogueServer catalogueServer;
};

TEST_F(FeedStoreAgainstCatalogue, ReachesLiveWithTheActiveFeedsAndRestartsFromTheSnapshot)
{
    ASSERT_TRUE(catalogueServer.start().has_value());
    makeStoreOnCatalogue();
    store->start();
    ASSERT_TRUE(waitUntil([&] { return store->phase().kind != Kind::Booting && store->currentWeather(); }, 10000));
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    ASSERT_FALSE(store->feeds().isEmpty());
    ASSERT_FALSE(store->items().isEmpty());
    const QStringList active = store->activeFeedIDs();
    for (const FeedItem& item : store->items()) {
        ASSERT_TRUE(item.source);
        EXPECT_TRUE(active.contains(item.source->id)) << item.source->id.toStdString();
    }
    EXPECT_FALSE(store->orbs().isEmpty());
    const QList<FeedItem> shown = store->items();

    // Switch the first active feed off: its items leave with the next batch.
    const QString dropped = active.first();
    store->toggleFeed(dropped);
    time.advanceSeconds(0.3);
    ASSERT_TRUE(waitUntil([&] {
        return std::none_of(store->items().cbegin(), store->items().cend(),
                            [&](const FeedItem& i) { return i.source->id == dropped; });
    }));
    const QStringList remaining = catalogue::ids(store->items()).split(QLatin1Char(' '));

    // A restart with the server gone shows the last headlines at once.
    catalogueServer.stop();
    store.reset();
    ASSERT_TRUE(defaults->flush());
    defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"), dir.path() + QStringLiteral("/cache"));
    makeStoreOnCatalogue();
    store->start();
    EXPECT_EQ(store->phase().kind, Kind::Running);
    EXPECT_EQ(store->statusMessage(), QStringLiteral("Live"));
    EXPECT_EQ(catalogue::ids(store->items()).split(QLatin1Char(' ')), remaining);
    EXPECT_TRUE(store->disabledIDs().contains(dropped));
    store->stop();
}

} // namespace

#endif
