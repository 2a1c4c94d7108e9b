#include "TabHarness.h"

#include "platform/PathMonitor.h"

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
    m_feedStore = std::make_unique<FeedStore>(FeedStore::Services{
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
    });
    StripServices::install(&services);
}

TabTest::~TabTest()
{
    StripServices::install(nullptr);
    m_feedStore->stop();
    m_feedStore.reset();
    m_markets.reset();
    FakeTime::settle();
    server.stop();
}

MarketsStore& TabTest::markets()
{
    if (!m_markets) {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = e.finnhubBase = e.coingeckoBase = server.baseUrl();
        m_markets = std::make_unique<MarketsStore>(*defaults, secrets, time, time, e);
    }
    return *m_markets;
}

QByteArray TabTest::settingsFile()
{
    EXPECT_TRUE(defaults->flush());
    QFile file(defaults->filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
