#include "TabHarness.h"

#include <QFile>

namespace {

CatalogueServer::Options catalogueOptions()
{
    CatalogueServer::Options o;
    o.seed = 7;
    o.now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); };
    return o;
}

} // namespace

TabTest::TabTest() : server(catalogueOptions())
{
    EXPECT_TRUE(server.start().has_value());
    defaults = Defaults::openFile(dir.filePath(QStringLiteral("defaults.json")));
    filters = std::make_unique<FilterStore>(*defaults);
    reads = std::make_unique<ReadStore>(*defaults);
    StripServices::install(&services);
}

TabTest::~TabTest()
{
    StripServices::install(nullptr);
    if (m_feedStore)
        m_feedStore->stop();
    m_feedStore.reset();
    m_markets.reset();
    FakeTime::settle();
    server.stop();
}

FeedStore& TabTest::feedStore()
{
    if (!m_feedStore) {
        FeedStore::Services services{
            .defaults = *defaults,
            .clock = time,
            .scheduler = time,
            .network = &m_network,
            .personal = nullptr,
            .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
            .apiBase = server.baseUrl(),
            .api = std::nullopt,
            .itunesBase = server.baseUrl(),
            .runningVersion = QStringLiteral("0.1"),
        };
        m_feedStore = std::make_unique<FeedStore>(std::move(services));
    }
    return *m_feedStore;
}

FeedStore& TabTest::runningFeedStore()
{
    FeedStore& store = feedStore();
    store.start();
    EXPECT_TRUE(waitUntil([&] { return store.phase().isRunning() && !store.pillars().isEmpty(); }));
    return store;
}

MarketsStore& TabTest::markets()
{
    if (!m_markets) {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = server.baseUrl();
        e.finnhubBase = server.baseUrl();
        e.coingeckoBase = server.baseUrl();
        m_markets = std::make_unique<MarketsStore>(*defaults, secrets, time, time, e);
    }
    return *m_markets;
}

QByteArray TabTest::settingsFile()
{
    EXPECT_TRUE(defaults->flush());
    QFile file(defaults->filePath());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}
