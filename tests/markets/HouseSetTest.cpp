#include "MarketsFixture.h"

#include "Await.h"

#include "CatalogueServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>

namespace {

const QByteArray kHouse = R"({"api_version":"1","as_of":"2026-01-15T12:00:00Z","delayed":true,)"
                          R"("attribution":[{"name":"Frankfurter","url":"https://rates.example/","credit":"ECB"}],)"
                          R"("quotes":[)"
                          R"({"symbol":"XYZ","name":"Xyz","kind":"equity","currency":"USD","cadence":"delayed","price":5,"source":"exchange","ok":true},)"
                          R"({"symbol":"EURUSD","name":"Euro","kind":"fx","currency":"USD","cadence":"daily","price":1.08,"source":"frankfurter","ok":true},)"
                          R"({"symbol":"SPY","name":"S&P","kind":"equity","currency":"USD","cadence":"delayed","price":500,"source":"exchange","ok":true}]})";

class HouseSetTest : public MarketsFixture {
protected:
    // Runs `task` to its end, moving fake time on so retry pauses pass.
    void runAdvancing(QCoro::Task<void>&& task)
    {
        bool done = false;
        auto wrapper = [](QCoro::Task<void> t, bool* finished) -> QCoro::Task<void> {
            co_await std::move(t);
            *finished = true;
        };
        auto running = wrapper(std::move(task), &done);
        QElapsedTimer guard;
        guard.start();
        while (!done && guard.elapsed() < 10000) {
            time.advanceSeconds(1);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        ASSERT_TRUE(done);
    }
};

TEST_F(HouseSetTest, AFreshSetIsTakenAsReceived)
{
    server.route(QStringLiteral("/v1_markets"), Response::json(kHouse).header("ETag", "\"h1\""));
    MarketsStore& s = makeStore();
    QSignalSpy key(&s, &MarketsStore::keyStatusChanged);
    awaitTask(s.refreshHouse());
    EXPECT_EQ(symbolsOf(s.house()), (QStringList{"XYZ", "EURUSD", "SPY"}));
    ASSERT_EQ(s.attribution().size(), 1);
    EXPECT_EQ(s.attribution()[0], (MarketAttribution{QStringLiteral("Frankfurter"), QStringLiteral("https://rates.example/"),
                                                     QStringLiteral("ECB")}));
    EXPECT_EQ(symbolsOf(s.stripQuotes()), (QStringList{"SPY", "EURUSD", "XYZ"}));
    EXPECT_EQ(key.count(), 0) << "the house set never touches the key status";
}

TEST_F(HouseSetTest, NotModifiedKeepsEverythingQuietly)
{
    server.script(QStringLiteral("/v1_markets"),
                  {Response::json(kHouse).header("ETag", "\"h1\""), Response::withStatus(304).header("ETag", "\"h1\"")});
    MarketsStore& s = makeStore();
    awaitTask(s.refreshHouse());
    const QList<MarketQuote> house = s.house();
    ASSERT_EQ(house.size(), 3);
    MarketsLog log;
    QSignalSpy houseSpy(&s, &MarketsStore::houseChanged);
    QSignalSpy attribution(&s, &MarketsStore::attributionChanged);
    awaitTask(s.refreshHouse());
    ASSERT_EQ(server.requestCount(QStringLiteral("/v1_markets")), 2);
    EXPECT_EQ(server.requests().last().header("If-None-Match"), QByteArray("\"h1\""));
    EXPECT_EQ(s.house(), house);
    EXPECT_EQ(s.attribution().size(), 1);
    EXPECT_EQ(houseSpy.count(), 0);
    EXPECT_EQ(attribution.count(), 0);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(HouseSetTest, FailuresKeepTheLastGoodSetAndLog)
{
    struct Case {
        const char* name;
        Response answer;
        QString logPrefix;
    };
    const Case cases[] = {
        {"undecodable 2xx", Response::json(R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":[{"symbol":"A"}]})"),
         QStringLiteral("house set failed: ")},
        {"not JSON", Response::text("<html>", "text/html"), QStringLiteral("house set failed: ")},
        {"server error after retries", Response::withStatus(500), QStringLiteral("house set failed: ")},
        {"not found", Response::withStatus(404), QStringLiteral("house set failed: ")},
    };
    for (const Case& c : cases) {
        server.route(QStringLiteral("/v1_markets"), Response::json(kHouse));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshHouse());
        ASSERT_EQ(s.house().size(), 3) << c.name;
        server.route(QStringLiteral("/v1_markets"), c.answer);
        MarketsLog log;
        runAdvancing(s.refreshHouse());
        EXPECT_EQ(s.house().size(), 3) << c.name;
        EXPECT_EQ(s.attribution().size(), 1) << c.name;
        ASSERT_EQ(log.lines().size(), 1) << c.name;
        EXPECT_TRUE(log.lines()[0].startsWith(c.logPrefix)) << c.name << log.lines()[0].toStdString();
    }
}

TEST_F(HouseSetTest, ACycleEndsWithATimeStampWhateverItsChildrenMet)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({coin("BTC", "bitcoin")});
    server.route(QStringLiteral("/v1_markets"), Response::withStatus(404));
    serveQuotes({{QStringLiteral("SPY"), Response::withStatus(429)}});
    server.route(QStringLiteral("/api/v3/simple/price"), Response::withStatus(500));
    MarketsLog log;
    MarketsStore& s = makeStore();
    awaitTask(s.refresh());
    EXPECT_EQ(s.lastUpdated(), time.now());
    EXPECT_EQ(log.lines().size(), 2) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.keyStatus().message, QStringLiteral("Finnhub rate limit hit, retrying next minute"));
}

// The whole road on the sample catalogue server, which also stands in for
// Finnhub and CoinGecko: house set, own-key quotes and coins merge into one
// strip list.
TEST(MarketsOnTheSampleServer, PublishesAMergedStripList)
{
    CatalogueServer catalogue;
    ASSERT_TRUE(catalogue.start().has_value());
    Endpoints e = Endpoints::builtIn();
    e.apiBase = catalogue.baseUrl();
    e.finnhubBase = catalogue.baseUrl();
    e.coingeckoBase = catalogue.baseUrl();
    auto defaults = Defaults::inMemory();
    MemorySecretStore secrets;
    FakeTime time;
    {
        MarketsStore s(*defaults, secrets, time, time, e);
        s.setFinnhubKey(QStringLiteral("sample-key"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind != MarketsStore::KeyStatus::Kind::Checking; }, 5000));
        EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::ok());

        auto stock = awaitTask(s.addStock(QStringLiteral("nwnd")));
        ASSERT_TRUE(stock.has_value());
        EXPECT_EQ(stock->kind, WatchAddResult::Kind::Added);
        auto coin = awaitTask(s.addCoin(QStringLiteral("sol")));
        ASSERT_TRUE(coin.has_value());
        ASSERT_EQ(coin->kind, WatchAddResult::Kind::Added);
        EXPECT_EQ(coin->added->coinId, QStringLiteral("solana"));
        s.setHolding(QStringLiteral("NWND"), 10, 100);

        QSignalSpy strip(&s, &MarketsStore::stripQuotesChanged);
        s.stripAppeared();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.lastUpdated().has_value(); }, 10000));
        s.stripDisappeared();

        const QList<MarketQuote> quotes = s.stripQuotes();
        QStringList symbols;
        for (const MarketQuote& q : quotes)
            symbols.append(q.symbol);
        EXPECT_EQ(symbols.mid(0, 3), (QStringList{"SPY", "QQQ", "DIA"})) << symbols.join(' ').toStdString();
        for (const char* expected : {"BTC", "EURUSD", "GLD", "NWND", "SOL"})
            EXPECT_TRUE(symbols.contains(QString::fromLatin1(expected))) << expected;
        EXPECT_EQ(symbols.removeDuplicates(), 0);
        for (const MarketQuote& q : quotes) {
            if (q.symbol == QLatin1String("SPY")) {
                EXPECT_EQ(q.source, QStringLiteral("finnhub")) << "own quote beats the house quote";
            } else if (q.symbol == QLatin1String("NWND")) {
                EXPECT_EQ(q.holding, (Holding{10, 100}));
            } else if (q.symbol == QLatin1String("SOL")) {
                EXPECT_TRUE(q.ok && q.price.value_or(0) > 0);
            }
        }
        EXPECT_FALSE(s.attribution().isEmpty());
        FakeTime::settle();
    }
    FakeTime::settle();
}

} // namespace
