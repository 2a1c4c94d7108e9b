#include "MarketsFixture.h"

#include "Await.h"

#include <QSignalSpy>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <limits>

namespace {

using KeyKind = MarketsStore::KeyStatus::Kind;

class StoreTest : public MarketsFixture {};

TEST_F(StoreTest, ConstructionReadsTheKeyAndTheWatchlistAndSendsNothing)
{
    struct Case {
        const char* name;
        std::optional<QString> key;
        KeyKind status;
        bool hasKey;
    };
    const Case cases[] = {
        {"no key", std::nullopt, KeyKind::None, false},
        {"a key", QStringLiteral("abc"), KeyKind::Checking, true},
        {"an empty key", QString(), KeyKind::None, false},
    };
    for (const Case& c : cases) {
        secrets.remove(Keychain::kService, Keychain::kFinnhubAccount);
        if (c.key)
            storeKey(*c.key);
        storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
        MarketsStore& s = makeStore();
        EXPECT_EQ(s.keyStatus().kind, c.status) << c.name;
        EXPECT_EQ(s.hasFinnhubKey(), c.hasKey) << c.name;
        EXPECT_EQ(s.watchlist().size(), 2) << c.name;
        EXPECT_TRUE(s.house().isEmpty() && s.byok().isEmpty() && s.watchQuotes().isEmpty()) << c.name;
        EXPECT_FALSE(s.lastUpdated().has_value()) << c.name;
        EXPECT_FALSE(s.isPolling()) << c.name;
    }
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(StoreTest, HasFinnhubKeyAnswersFromMemory)
{
    storeKey(QStringLiteral("abc"));
    MarketsStore& s = makeStore();
    const int reads = secrets.readCount;
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(s.hasFinnhubKey());
    EXPECT_EQ(secrets.readCount, reads) << "no secret-store round trip per call";
}

TEST_F(StoreTest, UnreadableStoredWatchlistsStartEmptyAndStayStored)
{
    const QList<std::pair<const char*, QJsonValue>> cases = {
        {"a string", QJsonValue(QStringLiteral("[{not json"))},
        {"an object", QJsonObject{{QStringLiteral("symbol"), QStringLiteral("A")}}},
        {"a bad kind", QJsonArray{QJsonObject{{QStringLiteral("symbol"), QStringLiteral("A")},
                                              {QStringLiteral("kind"), QStringLiteral("bond")},
                                              {QStringLiteral("name"), QStringLiteral("A")}}}},
    };
    for (const auto& [name, value] : cases) {
        defaults->set(MarketsStore::kWatchlistKey, value);
        EXPECT_TRUE(makeStore().watchlist().isEmpty()) << name;
        EXPECT_EQ(defaults->value(MarketsStore::kWatchlistKey), value) << name << ": left for the next edit";
    }
}

TEST_F(StoreTest, WatchlistEditsSurviveARestart)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/defaults.json");
    {
        auto file = Defaults::openFile(path);
        file->set(MarketsStore::kWatchlistKey, *WatchSymbol::encodeList({stock("AAPL"), stock("MSFT"), coin("BTC", "bitcoin")}));
        MarketsStore s(*file, secrets, time, time, endpoints());
        s.setHolding(QStringLiteral("AAPL"), 2.5, 150.0);
        s.remove(QStringLiteral("MSFT"));
        ASSERT_TRUE(file->flush());
    }
    auto file = Defaults::openFile(path);
    MarketsStore s(*file, secrets, time, time, endpoints());
    ASSERT_EQ(s.watchlist().size(), 2);
    EXPECT_EQ(s.watchlist()[0].symbol, QStringLiteral("AAPL"));
    EXPECT_EQ(s.watchlist()[0].units, 2.5);
    EXPECT_EQ(s.watchlist()[0].cost, 150.0);
    EXPECT_EQ(s.watchlist()[1], coin("BTC", "bitcoin"));
    EXPECT_EQ(symbolsOf(s.stockSymbols()), QStringList{QStringLiteral("AAPL")});
    EXPECT_EQ(symbolsOf(s.coinSymbols()), QStringList{QStringLiteral("BTC")});
}

TEST_F(StoreTest, SetHoldingStoresOnlyValidFinitePairs)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::optional<double> units, cost;
        bool stored;
    };
    const Case cases[] = {
        {"units and cost", 2.0, 10.0, true},   {"cost zero", 2.0, 0.0, true},
        {"units zero", 0.0, 10.0, false},      {"negative cost", 2.0, -1.0, false},
        {"units only", 2.0, std::nullopt, false}, {"cost only", std::nullopt, 1.0, false},
        {"infinite units", inf, 1.0, false},   {"NaN cost", 1.0, nan, false},
    };
    for (const Case& c : cases) {
        WatchSymbol held = stock("AAPL");
        held.units = 9.0;
        held.cost = 9.0;
        storeWatchlist({held, stock("MSFT")});
        MarketsStore& s = makeStore();
        s.setHolding(QStringLiteral("AAPL"), c.units, c.cost);
        const WatchSymbol& entry = s.watchlist()[0];
        EXPECT_EQ(entry.units, c.stored ? c.units : std::nullopt) << c.name;
        EXPECT_EQ(entry.cost, c.stored ? c.cost : std::nullopt) << c.name;
        EXPECT_EQ(s.watchlist()[1], stock("MSFT")) << c.name;
        auto saved = WatchSymbol::decodeList(defaults->value(MarketsStore::kWatchlistKey));
        ASSERT_TRUE(saved.has_value()) << c.name << ": the watchlist always saves";
        EXPECT_EQ(*saved, s.watchlist()) << c.name;
    }
}

TEST_F(StoreTest, SetHoldingOfAnUnknownSymbolSavesNothing)
{
    storeWatchlist({stock("AAPL")});
    MarketsStore& s = makeStore();
    QSignalSpy changes(defaults.get(), &Defaults::changed);
    QSignalSpy watch(&s, &MarketsStore::watchlistChanged);
    s.setHolding(QStringLiteral("ZZZ"), 1.0, 1.0);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(watch.count(), 0);
}

TEST_F(StoreTest, EqualAssignmentsDoNotNotify)
{
    storeWatchlist({stock("AAPL")});
    MarketsStore& s = makeStore();
    QSignalSpy watch(&s, &MarketsStore::watchlistChanged);
    QSignalSpy strip(&s, &MarketsStore::stripQuotesChanged);
    QSignalSpy key(&s, &MarketsStore::keyStatusChanged);
    s.setWatchlist({stock("AAPL")});
    s.setKeyStatus(MarketsStore::KeyStatus::none());
    EXPECT_EQ(watch.count(), 0);
    EXPECT_EQ(key.count(), 0);
    s.setKeyStatus(MarketsStore::KeyStatus::error(QStringLiteral("a")));
    s.setKeyStatus(MarketsStore::KeyStatus::error(QStringLiteral("a")));
    s.setKeyStatus(MarketsStore::KeyStatus::error(QStringLiteral("b")));
    EXPECT_EQ(key.count(), 2);
    s.setWatchlist({stock("MSFT")});
    EXPECT_EQ(watch.count(), 1);
    EXPECT_EQ(strip.count(), 1) << "the strip list follows the watchlist";
}

// Strip counting: the count never goes below 0, one poll loop runs while it
// is above 0, and a second strip starts no second loop.
TEST_F(StoreTest, VisibleStripCounter)
{
    struct Step {
        bool appear;
        int count;
        bool polling;
    };
    struct Case {
        const char* name;
        QList<Step> steps;
    };
    const Case cases[] = {
        {"two strips, one leaves", {{true, 1, true}, {true, 2, true}, {false, 1, true}, {false, 0, false}}},
        {"disappear at zero", {{false, 0, false}, {false, 0, false}, {true, 1, true}, {false, 0, false}}},
        {"back again", {{true, 1, true}, {false, 0, false}, {true, 1, true}, {false, 0, false}}},
    };
    for (const Case& c : cases) {
        MarketsStore& s = makeStore();
        QSignalSpy polling(&s, &MarketsStore::pollingChanged);
        int expectedStarts = 0;
        bool wasPolling = false;
        for (const Step& step : c.steps) {
            step.appear ? s.stripAppeared() : s.stripDisappeared();
            EXPECT_EQ(s.activeStrips(), step.count) << c.name;
            EXPECT_EQ(s.isPolling(), step.polling) << c.name;
            if (step.polling && !wasPolling)
                ++expectedStarts;
            wasPolling = step.polling;
            FakeTime::settle();
        }
        EXPECT_EQ(time.pendingCount(), 0) << c.name << ": the sleeping loop ended with the last strip";
        EXPECT_EQ(polling.count(), 2 * expectedStarts) << c.name;
    }
}

TEST_F(StoreTest, PollingRefreshesAtOnceThenEverySixtySecondsAfterACycle)
{
    storeKey(QStringLiteral("k"));
    serveQuotes({});
    MarketsStore& s = makeStore();
    s.stripAppeared();
    s.stripAppeared();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.lastUpdated().has_value(); }, 5000));
    EXPECT_EQ(*s.lastUpdated(), time.now());
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 4) << "one cycle for two strips";
    EXPECT_EQ(time.pendingCount(), 1);
    EXPECT_EQ(time.nextDueInMs(), 60000);

    time.advanceSeconds(59);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 4);
    time.advanceSeconds(1);
    const QDateTime second = time.now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.lastUpdated() == second; }, 5000));
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 8);

    s.stripDisappeared();
    s.stripDisappeared();
    FakeTime::settle();
    EXPECT_EQ(time.pendingCount(), 0);
    time.advanceSeconds(120);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 8) << "no polling without a strip";
}

// A cycle stopped because the last strip left publishes nothing at all:
// no placeholders, no failure text, no log line, no time stamp.
TEST_F(StoreTest, AStoppedCycleIsDropped)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
    Response slow = Response::json(finnhubQuote(100));
    slow.delay = std::chrono::milliseconds(3000);
    serveQuotes({{QStringLiteral("SPY"), slow}});
    server.route(QStringLiteral("/api/v3/simple/price"), slow);
    // Every read of the cycle is still under way at the stop: an unrouted
    // house set would fail at once, and on a slow machine before the stop.
    server.route(QStringLiteral("/v1_markets"), slow);
    MarketsLog log;
    MarketsStore& s = makeStore();
    QSignalSpy strip(&s, &MarketsStore::stripQuotesChanged);
    QSignalSpy key(&s, &MarketsStore::keyStatusChanged);
    std::stop_source stop;
    auto cycle = s.refresh(stop.get_token());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 2; }, 5000));
    stop.request_stop();
    awaitTask(std::move(cycle), 2000);
    FakeTime::settle();
    EXPECT_EQ(key.count(), 0);
    EXPECT_EQ(s.keyStatus().kind, KeyKind::Checking);
    EXPECT_EQ(strip.count(), 0) << "no placeholders published";
    EXPECT_TRUE(s.byok().isEmpty());
    EXPECT_TRUE(s.watchQuotes().isEmpty());
    EXPECT_FALSE(s.lastUpdated().has_value());
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 1) << "no request after the stop";
}

TEST_F(StoreTest, TheLastStripLeavingStopsTheRunningCycle)
{
    storeKey(QStringLiteral("k"));
    Response slow = Response::json(finnhubQuote(100));
    slow.delay = std::chrono::milliseconds(3000);
    serveQuotes({{QStringLiteral("SPY"), slow}});
    MarketsStore& s = makeStore();
    QSignalSpy strip(&s, &MarketsStore::stripQuotesChanged);
    s.stripAppeared();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 1; }, 5000));
    QElapsedTimer clock;
    clock.start();
    s.stripDisappeared();
    // The aborted request ends the loop; it never reaches its 60-second sleep.
    for (int i = 0; i < 20; ++i)
        FakeTime::settle();
    EXPECT_EQ(time.pendingCount(), 0);
    EXPECT_EQ(strip.count(), 0);
    EXPECT_EQ(s.keyStatus().kind, KeyKind::Checking);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(StoreTest, SetFinnhubKeyPaths)
{
    serveQuotes({});
    struct Case {
        const char* name;
        QString typed;
        bool failWrites;
        std::optional<QString> storedAfter;  // starting from "old"
        KeyKind statusAfter;
        int quoteRequests;
    };
    const Case cases[] = {
        {"trimmed and stored, then checked", QStringLiteral("  new-key \n"), false, QStringLiteral("new-key"), KeyKind::Ok, 4},
        {"blank removes", QStringLiteral(" \t\n "), false, std::nullopt, KeyKind::None, 0},
        {"failed save keeps the old key", QStringLiteral("new-key"), true, QStringLiteral("old"), KeyKind::Error, 0},
        {"failed removal keeps the old key", QString(), true, QStringLiteral("old"), KeyKind::Error, 0},
    };
    for (const Case& c : cases) {
        secrets.failWrites = false;
        storeKey(QStringLiteral("old"));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshOwnKeyQuotes());
        ASSERT_EQ(s.byok().size(), 4) << c.name;
        server.clearRequests();
        secrets.failWrites = c.failWrites;
        s.setFinnhubKey(c.typed);
        if (c.statusAfter == KeyKind::Ok) {
            EXPECT_EQ(s.keyStatus().kind, KeyKind::Checking) << c.name;
            ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind != KeyKind::Checking; }, 5000)) << c.name;
        }
        FakeTime::settle();
        EXPECT_EQ(s.keyStatus().kind, c.statusAfter) << c.name;
        EXPECT_EQ(secrets.read(Keychain::kService, Keychain::kFinnhubAccount), c.storedAfter) << c.name;
        EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), c.quoteRequests) << c.name;
        EXPECT_EQ(s.hasFinnhubKey(), c.storedAfter.has_value()) << c.name;
        if (c.statusAfter == KeyKind::None) {
            EXPECT_TRUE(s.byok().isEmpty()) << c.name;
        }
        if (c.failWrites) {
            EXPECT_EQ(s.byok().size(), 4) << c.name << ": nothing pretends the key changed";
            EXPECT_FALSE(s.keyStatus().message.contains(QStringLiteral("new-key"))) << c.name;
            EXPECT_FALSE(s.keyStatus().message.isEmpty()) << c.name;
        }
        for (const auto& r : server.requests())
            EXPECT_EQ(r.header("X-Finnhub-Token"), QByteArray("new-key")) << c.name;
    }
}

TEST_F(StoreTest, ARefreshUnderAReplacedKeyPublishesNothing)
{
    Response slow = Response::json(finnhubQuote(100));
    slow.delay = std::chrono::milliseconds(300);
    serveQuotes({{QStringLiteral("SPY"), slow}});
    storeKey(QStringLiteral("first"));
    MarketsStore& s = makeStore();
    auto refresh = s.refreshOwnKeyQuotes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 1; }, 5000));
    s.setFinnhubKey(QString());
    awaitTask(std::move(refresh));
    EXPECT_EQ(s.keyStatus().kind, KeyKind::None);
    EXPECT_TRUE(s.byok().isEmpty());
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 1);
}

} // namespace

namespace {

TEST_F(StoreTest, DestroyingTheStoreWithWorkInFlightIsSafe)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({coin("BTC", "bitcoin")});
    Response slow = Response::json(finnhubQuote(100));
    slow.delay = std::chrono::milliseconds(3000);
    serveQuotes({{QStringLiteral("SPY"), slow}, {QStringLiteral("AAPL"), slow}});
    server.route(QStringLiteral("/api/v3/simple/price"), slow);
    server.route(QStringLiteral("/api/v3/search"), slow);
    server.route(QStringLiteral("/v1_markets"), slow);
    MarketsStore& s = makeStore();
    s.stripAppeared();
    auto stockAdd = s.addStock(QStringLiteral("AAPL"));
    auto coinAdd = s.addCoin(QStringLiteral("eth"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 5; }, 5000));
    store.reset();
    const auto stockResult = awaitTask(std::move(stockAdd), 2000);
    const auto coinResult = awaitTask(std::move(coinAdd), 2000);
    ASSERT_TRUE(stockResult.has_value());
    ASSERT_TRUE(coinResult.has_value());
    EXPECT_EQ(stockResult->kind, WatchAddResult::Kind::Unreachable);
    EXPECT_EQ(coinResult->kind, WatchAddResult::Kind::Unreachable);
    for (int i = 0; i < 10; ++i)
        FakeTime::settle();
    EXPECT_EQ(time.pendingCount(), 0);
    EXPECT_FALSE(defaults->contains(QStringLiteral("x")));
    EXPECT_EQ(WatchSymbol::decodeList(defaults->value(MarketsStore::kWatchlistKey))->size(), 1) << "nothing saved";
}

} // namespace
