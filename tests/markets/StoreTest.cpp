#include "markets/MarketsStore.h"
#include "markets/SymbolRanking.h"
#include "platform/Defaults.h"
#include "platform/SecretStore.h"

#include "Await.h"
#include "CatalogueServer.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "LoopbackServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace {

// A market store on in-memory settings and secrets, fake time, and one
// loopback server standing in for the server API, Finnhub and CoinGecko.
class MarketsFixture : public ::testing::Test {
protected:
    using Response = LoopbackServer::Response;

    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    MemorySecretStore secrets;
    std::unique_ptr<MarketsStore> store;

    void TearDown() override
    {
        store.reset();
        FakeTime::settle();
    }

    Endpoints endpoints() const
    {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = server.baseUrl();
        e.finnhubBase = server.baseUrl();
        e.coingeckoBase = server.baseUrl();
        return e;
    }

    MarketsStore& makeStore()
    {
        store.reset();
        store = std::make_unique<MarketsStore>(*defaults, secrets, time, time, endpoints());
        return *store;
    }

    void storeKey(const QString& key)
    {
        ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, key).has_value());
    }

    static QByteArray finnhubQuote(double c, double dp = 0.5, double t = 1715976000)
    {
        return QStringLiteral(R"({"c":%1,"d":1.0,"dp":%2,"pc":1.0,"t":%3})").arg(c).arg(dp).arg(t, 0, 'f', 0).toUtf8();
    }

    // Finnhub quotes by symbol; any symbol not listed answers with price 100.
    void serveQuotes(QHash<QString, Response> bySymbol)
    {
        server.handle(QStringLiteral("/api/v1/quote"), [bySymbol](const LoopbackServer::Request& r) {
            const QString symbol = r.query.queryItemValue(QStringLiteral("symbol"), QUrl::FullyDecoded);
            return bySymbol.value(symbol, Response::json(finnhubQuote(100)));
        });
    }

    QStringList quotedSymbols() const
    {
        QStringList out;
        for (const auto& r : server.requestsFor(QStringLiteral("/api/v1/quote")))
            out.append(r.query.queryItemValue(QStringLiteral("symbol"), QUrl::FullyDecoded));
        return out;
    }

    static QStringList symbolsOf(const QList<MarketQuote>& quotes)
    {
        QStringList out;
        for (const MarketQuote& q : quotes)
            out.append(q.symbol);
        return out;
    }

    static QStringList symbolsOf(const QList<WatchSymbol>& entries)
    {
        QStringList out;
        for (const WatchSymbol& w : entries)
            out.append(w.symbol);
        return out;
    }

    static WatchSymbol stock(const char* symbol)
    {
        return {QString::fromUtf8(symbol), WatchSymbol::Kind::Stock, QString::fromUtf8(symbol) + QStringLiteral(" Inc"),
                std::nullopt, std::nullopt, std::nullopt};
    }
    static WatchSymbol coin(const char* symbol, const char* id)
    {
        return {QString::fromUtf8(symbol), WatchSymbol::Kind::Coin, QString::fromUtf8(symbol) + QStringLiteral(" coin"),
                QString::fromUtf8(id), std::nullopt, std::nullopt};
    }

    void storeWatchlist(const QList<WatchSymbol>& list) { defaults->set(MarketsStore::kWatchlistKey, *WatchSymbol::encodeList(list)); }
};

// The markets client's log lines while alive.
struct MarketsLog : LogCapture {
    QStringList lines() const
    {
        QStringList out;
        for (const Line& l : LogCapture::lines())
            if (l.category == QLatin1String("tidewire.client.markets"))
                out.append(l.message);
        return out;
    }
};

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

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
        const int reads = secrets.readCount;
        EXPECT_EQ(s.hasFinnhubKey(), c.hasKey) << c.name;
        EXPECT_EQ(secrets.readCount, reads) << c.name << ": answered from memory";
    }
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
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
        {"units and cost", 2.0, 10.0, true}, {"negative cost", 2.0, -1.0, false},
        {"cost only", std::nullopt, 1.0, false}, {"infinite units", inf, 1.0, false}, {"NaN cost", 1.0, nan, false},
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


TEST_F(StoreTest, EqualAssignmentsDoNotNotify)
{
    storeWatchlist({stock("AAPL")});
    MarketsStore& s = makeStore();
    QSignalSpy saves(defaults.get(), &Defaults::changed);
    QSignalSpy watch(&s, &MarketsStore::watchlistChanged);
    QSignalSpy strip(&s, &MarketsStore::stripQuotesChanged);
    QSignalSpy key(&s, &MarketsStore::keyStatusChanged);
    s.setWatchlist({stock("AAPL")});
    s.setHolding(QStringLiteral("ZZZ"), 1.0, 1.0);
    s.setKeyStatus(MarketsStore::KeyStatus::none());
    EXPECT_EQ(saves.count(), 0) << "a holding of an unknown symbol saves nothing";
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

// The last strip leaving stops the running cycle, which publishes nothing at
// all: no placeholders, no failure text, no log line, no time stamp, and the
// loop never reaches its sleep.
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
    s.stripAppeared();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 3; }, 5000));
    s.stripDisappeared();
    for (int i = 0; i < 20; ++i)
        FakeTime::settle();
    EXPECT_EQ(time.pendingCount(), 0);
    EXPECT_EQ(key.count(), 0);
    EXPECT_EQ(s.keyStatus().kind, KeyKind::Checking);
    EXPECT_EQ(strip.count(), 0) << "no placeholders published";
    EXPECT_TRUE(s.byok().isEmpty());
    EXPECT_TRUE(s.watchQuotes().isEmpty());
    EXPECT_FALSE(s.lastUpdated().has_value());
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 1) << "no request after the stop";
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

using AddKind = WatchAddResult::Kind;

class FinnhubTest : public MarketsFixture {
protected:
    void SetUp() override { storeKey(QStringLiteral("sekrit-key-123")); }

    void expectKeyOnlyInHeaders(const QByteArray& key = "sekrit-key-123")
    {
        for (const auto& r : server.requests()) {
            if (!r.path.startsWith(QStringLiteral("/api/v1/")))
                continue;
            EXPECT_EQ(r.header("X-Finnhub-Token"), key) << r.rawTarget.toStdString();
            EXPECT_FALSE(r.rawTarget.contains(QString::fromUtf8(key))) << r.rawTarget.toStdString();
            EXPECT_FALSE(r.query.hasQueryItem(QStringLiteral("token"))) << r.rawTarget.toStdString();
        }
    }
};

TEST_F(FinnhubTest, AllQuotesAnswerPublishesEtfsAndWatchedStocks)
{
    // Symbols travel intact in the address.
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin"), stock("A&B+C D")});
    serveQuotes({{QStringLiteral("AAPL"), Response::json(finnhubQuote(190.5, 1.25))}});
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(quotedSymbols(), (QStringList{"SPY", "QQQ", "DIA", "GLD", "AAPL", "A&B+C D"}));
    EXPECT_EQ(symbolsOf(s.byok()), (QStringList{"SPY", "QQQ", "DIA", "GLD"}));
    EXPECT_EQ(s.byok()[0].name, QStringLiteral("S&P 500 ETF"));
    EXPECT_EQ(s.byok()[3].name, QStringLiteral("Gold ETF"));
    EXPECT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "A&B+C D"}));
    const MarketQuote& aapl = s.watchQuotes()[0];
    EXPECT_EQ(aapl.name, QStringLiteral("AAPL Inc"));
    EXPECT_EQ(aapl.price, 190.5);
    EXPECT_EQ(aapl.changePct, 1.25);
    EXPECT_EQ(aapl.asOf, QStringLiteral("2024-05-17T20:00:00Z"));
    EXPECT_TRUE(aapl.ok);
    EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::ok());
    expectKeyOnlyInHeaders();
}

TEST_F(FinnhubTest, OutcomesOfOnePass)
{
    const QByteArray haveAccess = R"({"error":"You don't HAVE ACCESS to this resource."})";
    const QByteArray invalid = R"({"error":"Invalid API key"})";
    struct Case {
        const char* name;
        QHash<QString, Response> answers;
        KeyKind status;
        QString message;  // exact, or a prefix when it ends with ": "
        QStringList requested;
        QStringList byok;
        QStringList unusable;  // symbols whose quote is not ok
        QStringList watch;
    };
    const QStringList all{"SPY", "QQQ", "DIA", "GLD", "AAPL"};
    const Case cases[] = {
        {"401 without have access: rejected, nothing more",
         {{"SPY", Response::json(invalid, 401)}}, KeyKind::Rejected, {}, {"SPY"}, {}, {}, {"OLD"}},
        {"401 with an empty body: rejected",
         {{"QQQ", Response::text("", "text/plain", 401)}}, KeyKind::Rejected, {}, {"SPY", "QQQ"}, {}, {}, {"OLD"}},
        {"401 with have access: off the plan",
         {{"SPY", Response::json(haveAccess, 401)}}, KeyKind::Error,
         QStringLiteral("Key accepted; SPY not on your Finnhub plan"), all, {"SPY", "QQQ", "DIA", "GLD"}, {"SPY"},
         {"OLD", "AAPL"}},
        {"403: off the plan whatever the body says",
         {{"GLD", Response::json(invalid, 403)}}, KeyKind::Error,
         QStringLiteral("Key accepted; GLD not on your Finnhub plan"), all, {"SPY", "QQQ", "DIA", "GLD"}, {"GLD"},
         {"OLD", "AAPL"}},
        {"two off the plan, in request order",
         {{"DIA", Response::json(haveAccess, 401)}, {"QQQ", Response::withStatus(403)}}, KeyKind::Error,
         QStringLiteral("Key accepted; QQQ, DIA not on your Finnhub plan"), all, {"SPY", "QQQ", "DIA", "GLD"},
         {"QQQ", "DIA"}, {"OLD", "AAPL"}},
        {"429 stops the pass and publishes what came before",
         {{"QQQ", Response::withStatus(429)}}, KeyKind::Error,
         QStringLiteral("Finnhub rate limit hit, retrying next minute"), {"SPY", "QQQ"}, {"SPY"}, {}, {"OLD"}},
        {"a failure beats off-the-plan",
         {{"GLD", Response::withStatus(403)}, {"AAPL", Response::withStatus(500)}}, KeyKind::Error,
         QStringLiteral("Finnhub returned HTTP 500 for AAPL"), all, {"SPY", "QQQ", "DIA", "GLD"}, {"GLD", "AAPL"},
         {"OLD", "AAPL"}},
        {"an undecodable 2xx is a placeholder and a failure",
         {{"DIA", Response::text("<html>busy</html>", "text/html", 200)}}, KeyKind::Error,
         QStringLiteral("Could not reach Finnhub: "), all, {"SPY", "QQQ", "DIA", "GLD"}, {"DIA"}, {"OLD", "AAPL"}},
        {"a wrongly typed 2xx body fails too",
         {{"SPY", Response::json(R"({"c":"12"})")}}, KeyKind::Error, QStringLiteral("Could not reach Finnhub: "), all,
         {"SPY", "QQQ", "DIA", "GLD"}, {"SPY"}, {"OLD", "AAPL"}},
        {"an unknown symbol (c = 0) is no failure",
         {{"AAPL", Response::json(finnhubQuote(0))}}, KeyKind::Ok, {}, all, {"SPY", "QQQ", "DIA", "GLD"}, {"AAPL"},
         {"OLD", "AAPL"}},
        {"a later failure replaces an earlier one",
         {{"SPY", Response::withStatus(502)}, {"DIA", Response::withStatus(404)}}, KeyKind::Error,
         QStringLiteral("Finnhub returned HTTP 404 for DIA"), all, {"SPY", "QQQ", "DIA", "GLD"}, {"SPY", "DIA"},
         {"OLD", "AAPL"}},
    };
    for (const Case& c : cases) {
        // A first pass leaves a watch quote of "OLD", which then leaves the
        // watchlist: a pass keeps it in front (only quotes of watched stocks
        // are replaced), a rejected pass touches nothing.
        storeWatchlist({stock("OLD")});
        server.clearRequests();
        serveQuotes({});
        MarketsStore& s = makeStore();
        awaitTask(s.refreshOwnKeyQuotes());
        ASSERT_EQ(symbolsOf(s.watchQuotes()), QStringList{"OLD"}) << c.name;
        s.setWatchlist({stock("AAPL")});
        server.clearRequests();
        serveQuotes(c.answers);

        awaitTask(s.refreshOwnKeyQuotes());
        EXPECT_EQ(s.keyStatus().kind, c.status) << c.name;
        if (c.message.endsWith(QStringLiteral(": ")))
            EXPECT_TRUE(s.keyStatus().message.startsWith(c.message)) << c.name << ": " << s.keyStatus().message.toStdString();
        else
            EXPECT_EQ(s.keyStatus().message, c.message) << c.name;
        EXPECT_EQ(quotedSymbols(), c.requested) << c.name;
        EXPECT_EQ(symbolsOf(s.byok()), c.byok) << c.name;
        QStringList unusable;
        for (const MarketQuote& q : s.byok() + s.watchQuotes()) {
            if (!q.ok)
                unusable.append(q.symbol);
        }
        EXPECT_EQ(unusable, c.unusable) << c.name;
        EXPECT_EQ(symbolsOf(s.watchQuotes()), c.watch) << c.name;
        EXPECT_FALSE(s.keyStatus().message.contains(QStringLiteral("sekrit"))) << c.name;
        expectKeyOnlyInHeaders();
    }
}

TEST_F(FinnhubTest, PlaceholdersKeepTheRowAndNoPrice)
{
    storeWatchlist({stock("AAPL")});
    serveQuotes({{QStringLiteral("AAPL"), Response::withStatus(500)}});
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    ASSERT_EQ(s.watchQuotes().size(), 1);
    MarketQuote expected;
    expected.symbol = QStringLiteral("AAPL");
    expected.name = QStringLiteral("AAPL Inc");
    expected.kind = QStringLiteral("equity");
    expected.currency = QStringLiteral("USD");
    expected.cadence = QuoteCadence::Live;
    expected.source = QStringLiteral("finnhub");
    expected.ok = false;
    EXPECT_EQ(s.watchQuotes()[0], expected);
}

TEST_F(FinnhubTest, TransportFailureNamesFinnhubButNotTheKey)
{
    storeWatchlist({});
    LoopbackServer closed;
    Endpoints e = endpoints();
    e.finnhubBase = closed.baseUrl();
    closed.stop();
    MarketsStore s(*defaults, secrets, time, time, e);
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(s.keyStatus().kind, KeyKind::Error);
    EXPECT_TRUE(s.keyStatus().message.startsWith(QStringLiteral("Could not reach Finnhub: ")))
        << s.keyStatus().message.toStdString();
    EXPECT_FALSE(s.keyStatus().message.contains(QStringLiteral("sekrit")));
    EXPECT_EQ(s.byok().size(), 4);
}

TEST_F(FinnhubTest, WithoutAKeyNothingIsSentAndStockQuotesGo)
{
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
    serveQuotes({});
    server.route(QStringLiteral("/api/v3/simple/price"), Response::json(R"({"bitcoin":{"usd":50000}})"));
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    awaitTask(s.refreshCoins());
    ASSERT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "BTC"}));
    ASSERT_EQ(s.byok().size(), 4);

    for (const std::optional<QString>& key : {std::optional<QString>(), std::optional<QString>(QString())}) {
        secrets.remove(Keychain::kService, Keychain::kFinnhubAccount);
        if (key)
            storeKey(*key);
        server.clearRequests();
        awaitTask(s.refreshOwnKeyQuotes());
        EXPECT_EQ(server.requestCount(), 0);
        EXPECT_TRUE(s.byok().isEmpty());
        EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::none());
        EXPECT_EQ(symbolsOf(s.watchQuotes()), QStringList{"BTC"}) << "coin quotes stay";
        EXPECT_FALSE(s.hasFinnhubKey());
    }
}



TEST_F(FinnhubTest, AddStockOutcomes)
{
    const QByteArray apple = R"({"name":"Apple Inc","ticker":"AAPL"})";
    struct Case {
        const char* name;
        QString input;
        std::optional<QString> givenName;
        QHash<QString, Response> quotes;
        std::optional<Response> profile;  // default: Apple's profile
        AddKind expected;
        QString message;
        QStringList requested;
        QString storedName;  // with Added
        int profileRequests;
    };
    const Case cases[] = {
        {"normalised and named from the profile", QStringLiteral("  $aapl \n"), {}, {}, {}, AddKind::Added, {},
         {"AAPL"}, QStringLiteral("Apple Inc"), 1},
        {"given name used unchanged, no profile", QStringLiteral("AAPL"), QStringLiteral(" My Apple "), {}, {},
         AddKind::Added, {}, {"AAPL"}, QStringLiteral(" My Apple "), 0},
        {"profile without name", QStringLiteral("AAPL"), {}, {}, Response::json(R"({"ticker":"AAPL"})"), AddKind::Added,
         {}, {"AAPL"}, QStringLiteral("AAPL"), 1},
        {"profile with an empty name", QStringLiteral("AAPL"), {}, {}, Response::json(R"({"name":""})"), AddKind::Added,
         {}, {"AAPL"}, QStringLiteral("AAPL"), 1},
        {"profile 404", QStringLiteral("AAPL"), {}, {}, Response::json(apple, 404), AddKind::Added, {}, {"AAPL"},
         QStringLiteral("AAPL"), 1},
        {"a dot is kept", QStringLiteral("vod.l"), {}, {}, {}, AddKind::Added, {}, {"VOD.L"}, QStringLiteral("Apple Inc"), 1},
        {"13 characters", QStringLiteral("ABCDEFGHIJKLM"), {}, {}, {}, AddKind::UnknownSymbol, {}, {}, {}, 0},
        {"only blanks and dollars", QStringLiteral(" $ $$ "), {}, {}, {}, AddKind::UnknownSymbol, {}, {}, {}, 0},
        {"fixed ETF in any case", QStringLiteral("spy"), {}, {}, {}, AddKind::Duplicate, {}, {}, {}, 0},
        {"already watched", QStringLiteral("msft"), {}, {}, {}, AddKind::Duplicate, {}, {}, {}, 0},
        {"have access in any case", QStringLiteral("AAPL"), {},
         {{"AAPL", Response::json(R"({"error":"no Have Access here"})", 401)}}, {}, AddKind::NotOnPlan, {}, {"AAPL"}, {}, 0},
        {"401 otherwise", QStringLiteral("AAPL"), {}, {{"AAPL", Response::text("nope", "text/plain", 401)}}, {},
         AddKind::RejectedKey, {}, {"AAPL"}, {}, 0},
        {"403 always off the plan", QStringLiteral("AAPL"), {}, {{"AAPL", Response::json(R"({"error":"x"})", 403)}}, {},
         AddKind::NotOnPlan, {}, {"AAPL"}, {}, 0},
        {"429", QStringLiteral("AAPL"), {}, {{"AAPL", Response::withStatus(429)}}, {}, AddKind::Unreachable,
         QStringLiteral("Finnhub rate limit hit, retrying next minute"), {"AAPL"}, {}, 0},
        {"502", QStringLiteral("AAPL"), {}, {{"AAPL", Response::withStatus(502)}}, {}, AddKind::Unreachable,
         QStringLiteral("Finnhub returned HTTP 502 for AAPL"), {"AAPL"}, {}, 0},
        {"no price", QStringLiteral("AAPL"), {}, {{"AAPL", Response::json(finnhubQuote(0))}}, {}, AddKind::UnknownSymbol,
         {}, {"AAPL"}, {}, 0},
        {"missing price", QStringLiteral("AAPL"), {}, {{"AAPL", Response::json(R"({"t":1})")}}, {},
         AddKind::UnknownSymbol, {}, {"AAPL"}, {}, 0},
        {"undecodable", QStringLiteral("AAPL"), {}, {{"AAPL", Response::text("x", "text/plain")}}, {},
         AddKind::Unreachable, QStringLiteral("Could not reach Finnhub: "), {"AAPL"}, {}, 0},
    };
    for (const Case& c : cases) {
        storeWatchlist({stock("MSFT")});
        server.clearRequests();
        serveQuotes(c.quotes);
        server.route(QStringLiteral("/api/v1/stock/profile2"), c.profile.value_or(Response::json(apple)));
        MarketsStore& s = makeStore();
        const QJsonValue storedBefore = defaults->value(MarketsStore::kWatchlistKey);
        const auto result = awaitTask(s.addStock(c.input, c.givenName));
        ASSERT_TRUE(result.has_value()) << c.name;
        EXPECT_EQ(result->kind, c.expected) << c.name;
        if (c.message.endsWith(QStringLiteral(": ")))
            EXPECT_TRUE(result->message.startsWith(c.message)) << c.name;
        else
            EXPECT_EQ(result->message, c.message) << c.name;
        EXPECT_EQ(quotedSymbols(), c.requested) << c.name;
        EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/stock/profile2")), c.profileRequests) << c.name;
        EXPECT_EQ(s.keyStatus().kind, KeyKind::Checking) << c.name << ": an add never touches the key status";
        expectKeyOnlyInHeaders();
        if (c.expected != AddKind::Added) {
            EXPECT_EQ(s.watchlist(), QList<WatchSymbol>{stock("MSFT")}) << c.name;
            EXPECT_TRUE(s.watchQuotes().isEmpty()) << c.name;
            EXPECT_EQ(defaults->value(MarketsStore::kWatchlistKey), storedBefore) << c.name;
            continue;
        }
        const WatchSymbol expectedEntry{c.requested[0], WatchSymbol::Kind::Stock, c.storedName, {}, {}, {}};
        EXPECT_EQ(result->added, expectedEntry) << c.name;
        EXPECT_EQ(s.watchlist(), (QList<WatchSymbol>{stock("MSFT"), expectedEntry})) << c.name;
        EXPECT_EQ(WatchSymbol::decodeList(defaults->value(MarketsStore::kWatchlistKey)).value_or(QList<WatchSymbol>()),
                  s.watchlist()) << c.name;
        ASSERT_EQ(s.watchQuotes().size(), 1) << c.name;
        EXPECT_EQ(s.watchQuotes()[0].name, c.storedName) << c.name;
        EXPECT_EQ(s.watchQuotes()[0].price, 100.0) << c.name;
    }
}

TEST_F(FinnhubTest, AddStockChecksRunInOrder)
{
    QList<WatchSymbol> full;
    for (int i = 0; i < 10; ++i)
        full.append(stock(QStringLiteral("S%1").arg(i).toUtf8().constData()));
    serveQuotes({});
    struct Case {
        const char* name;
        std::optional<QString> key;
        QString input;
        AddKind expected;
    };
    const Case cases[] = {
        {"no key beats a full list", std::nullopt, QStringLiteral("AAPL"), AddKind::NeedsKey},
        {"an empty key is no key", QString(), QStringLiteral("AAPL"), AddKind::NeedsKey},
        {"a bad symbol beats no key", std::nullopt, QStringLiteral("ABCDEFGHIJKLMN"), AddKind::UnknownSymbol},
        {"duplicate beats full", QStringLiteral("k"), QStringLiteral("s3"), AddKind::Duplicate},
        {"full", QStringLiteral("k"), QStringLiteral("AAPL"), AddKind::Full},
    };
    for (const Case& c : cases) {
        secrets.remove(Keychain::kService, Keychain::kFinnhubAccount);
        if (c.key)
            storeKey(*c.key);
        storeWatchlist(full);
        server.clearRequests();
        MarketsStore& s = makeStore();
        EXPECT_EQ(awaitTask(s.addStock(c.input))->kind, c.expected) << c.name;
        EXPECT_EQ(server.requestCount(), 0) << c.name;
    }
}

TEST_F(FinnhubTest, SearchStocks)
{
    const QByteArray answer = R"({"count":3,"result":[)"
                              R"({"description":"APPLE INC-MX","displaySymbol":"AAPL.MX","symbol":"AAPL.MX","type":"Common Stock"},)"
                              R"({"description":"APPLE HOSPITALITY","displaySymbol":"APLE","symbol":"APLE","type":"REIT"},)"
                              R"({"description":"APPLE INC","displaySymbol":"AAPL","symbol":"AAPL","type":"Common Stock"}]})";
    struct Case {
        const char* name;
        QString query;
        Response answer;
        QStringList expected;
        int requests;
    };
    const Case cases[] = {
        {"ranked", QStringLiteral(" aapl "), Response::json(answer), {"AAPL", "APLE", "AAPL.MX"}, 1},
        {"one character", QStringLiteral("a"), Response::json(answer), {}, 0},
        {"dollar and one letter", QStringLiteral("$a"), Response::json(answer), {}, 0},
        {"41 characters", QString(41, QLatin1Char('a')), Response::json(answer), {}, 0},
        {"40 characters are sent", QString(40, QLatin1Char('a')), Response::json(answer), {"APLE", "AAPL", "AAPL.MX"}, 1},
        {"status other than 200", QStringLiteral("aapl"), Response::json(answer, 201), {}, 1},
        {"server error", QStringLiteral("aapl"), Response::withStatus(500), {}, 1},
        {"undecodable", QStringLiteral("aapl"), Response::json(R"({"result":[{"symbol":"A"}]})"), {}, 1},
    };
    MarketsStore& s = makeStore();
    for (const Case& c : cases) {
        server.clearRequests();
        server.route(QStringLiteral("/api/v1/search"), c.answer);
        const auto found = awaitTask(s.searchStocks(c.query));
        ASSERT_TRUE(found.has_value()) << c.name;
        QStringList symbols;
        for (const StockSuggestion& x : *found)
            symbols.append(x.symbol);
        EXPECT_EQ(symbols, c.expected) << c.name;
        EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/search")), c.requests) << c.name;
        if (c.requests) {
            EXPECT_EQ(server.requests().first().query.queryItemValue(QStringLiteral("q")),
                      cleanedQuery(c.query)) << c.name;
        }
        expectKeyOnlyInHeaders();
    }
    secrets.remove(Keychain::kService, Keychain::kFinnhubAccount);
    server.clearRequests();
    EXPECT_TRUE(awaitTask(s.searchStocks(QStringLiteral("aapl")))->isEmpty());
    EXPECT_EQ(server.requestCount(), 0) << "no key, no request";
}

class CoinGeckoTest : public MarketsFixture {
protected:
    static constexpr const char* kPricePath = "/api/v3/simple/price";
    static constexpr const char* kSearchPath = "/api/v3/search";

    QString pricePath() const { return QString::fromLatin1(kPricePath); }
    QString searchPath() const { return QString::fromLatin1(kSearchPath); }
};

TEST_F(CoinGeckoTest, PricesFollowTheWatchlistAfterOtherQuotes)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({coin("BTC", "bitcoin"), stock("AAPL"), coin("ETH", "ethereum")});
    serveQuotes({});
    server.route(pricePath(), Response::json(
        R"({"bitcoin":{"usd":100,"usd_24h_change":25,"last_updated_at":1715976000}})"));
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    awaitTask(s.refreshCoins());
    EXPECT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "BTC", "ETH"}));
    EXPECT_EQ(s.watchQuotes()[1], MarketQuote::fromCoinGecko("BTC", "BTC coin", {100.0, 25.0, 1715976000.0}));
    EXPECT_EQ(s.watchQuotes()[2], MarketQuote::fromCoinGecko("ETH", "ETH coin", {})) << "a coin without a price";

    const auto requests = server.requestsFor(pricePath());
    ASSERT_EQ(requests.size(), 1);
    const QUrlQuery& q = requests[0].query;
    EXPECT_EQ(q.queryItemValue(QStringLiteral("ids"), QUrl::FullyDecoded), QStringLiteral("bitcoin,ethereum"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("vs_currencies")), QStringLiteral("usd"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("include_24hr_change")), QStringLiteral("true"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("include_last_updated_at")), QStringLiteral("true"));
    EXPECT_TRUE(requests[0].header("X-Finnhub-Token").isEmpty()) << "the key never goes to CoinGecko";

    // The own-key pass replaces only stock quotes: coins keep their place.
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"BTC", "ETH", "AAPL"}));
}

TEST_F(CoinGeckoTest, WithoutCoinsNothingIsAskedAndNothingNotified)
{
    storeWatchlist({stock("AAPL")});
    MarketsStore& s = makeStore();
    QSignalSpy watch(&s, &MarketsStore::watchQuotesChanged);
    awaitTask(s.refreshCoins());
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(watch.count(), 0);
}

TEST_F(CoinGeckoTest, FailuresKeepThePreviousQuotesAndLog)
{
    struct Case {
        const char* name;
        Response answer;
        QString logLine;  // exact, or a prefix when it ends with ": "
    };
    const Case cases[] = {
        {"server error", Response::withStatus(500), QStringLiteral("coingecko price HTTP 500")},
        {"rate limit", Response::withStatus(429), QStringLiteral("coingecko price HTTP 429")},
        {"undecodable", Response::json(R"({"bitcoin":"lots"})"), QStringLiteral("coingecko price failed: ")},
        {"not JSON", Response::text("<html>", "text/html"), QStringLiteral("coingecko price failed: ")},
    };
    for (const Case& c : cases) {
        storeWatchlist({coin("BTC", "bitcoin")});
        server.route(pricePath(), Response::json(R"({"bitcoin":{"usd":5}})"));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshCoins());
        const QList<MarketQuote> before = s.watchQuotes();
        ASSERT_EQ(before.size(), 1) << c.name;
        server.route(pricePath(), c.answer);
        MarketsLog log;
        QSignalSpy watch(&s, &MarketsStore::watchQuotesChanged);
        awaitTask(s.refreshCoins());
        EXPECT_EQ(s.watchQuotes(), before) << c.name;
        EXPECT_EQ(watch.count(), 0) << c.name;
        ASSERT_EQ(log.lines().size(), 1) << c.name;
        if (c.logLine.endsWith(QStringLiteral(": ")))
            EXPECT_TRUE(log.lines()[0].startsWith(c.logLine)) << c.name << log.lines()[0].toStdString();
        else
            EXPECT_EQ(log.lines()[0], c.logLine) << c.name;
        EXPECT_EQ(s.keyStatus().kind, MarketsStore::KeyStatus::Kind::None) << c.name;
    }
}

TEST_F(CoinGeckoTest, TransportFailureIsLogged)
{
    storeWatchlist({coin("BTC", "bitcoin")});
    LoopbackServer closed;
    Endpoints e = endpoints();
    e.coingeckoBase = closed.baseUrl();
    closed.stop();
    MarketsStore s(*defaults, secrets, time, time, e);
    MarketsLog log;
    awaitTask(s.refreshCoins());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith(QStringLiteral("coingecko price failed: "))) << log.lines()[0].toStdString();
    EXPECT_TRUE(s.watchQuotes().isEmpty());
}

TEST_F(CoinGeckoTest, AddCoinOutcomes)
{
    const QByteArray coins = R"({"coins":[)"
                             R"({"id":"bitcoin-cash","name":"Bitcoin Cash","symbol":"BCH","market_cap_rank":20},)"
                             R"({"id":"wrapped-btc","name":"Wrapped BTC","symbol":"btc"},)"
                             R"({"id":"bitcoin","name":"Bitcoin","symbol":"BTC","market_cap_rank":1}],"exchanges":[]})";
    const QByteArray price = R"({"bitcoin":{"usd":50000,"usd_24h_change":2}})";
    struct Case {
        const char* name;
        QString input;
        Response search;
        Response price;
        AddKind expected;
        QString message;  // exact, or a prefix when it ends with ": "
        int searches;
        QString sentQuery;
    };
    const Case cases[] = {
        {"best-ranked symbol match", QStringLiteral(" $btc "), Response::json(coins), Response::json(price), AddKind::Added,
         {}, 1, QStringLiteral("btc")},
        {"added even when pricing fails", QStringLiteral("btc"), Response::json(coins), Response::withStatus(500),
         AddKind::Added, {}, 1, QStringLiteral("btc")},
        {"41 characters", QString(41, QLatin1Char('x')), Response::json(coins), Response::json(price),
         AddKind::UnknownSymbol, {}, 0, {}},
        {"blank", QStringLiteral(" $ "), Response::json(coins), Response::json(price), AddKind::UnknownSymbol, {}, 0, {}},
        {"no coins found", QStringLiteral("zzz"), Response::json(R"({"coins":[]})"), Response::json(price),
         AddKind::UnknownSymbol, {}, 1, QStringLiteral("zzz")},
        {"rate limit", QStringLiteral("btc"), Response::withStatus(429), Response::json(price), AddKind::Unreachable,
         QStringLiteral("CoinGecko rate limit hit, try again in a minute"), 1, QStringLiteral("btc")},
        {"server error", QStringLiteral("btc"), Response::withStatus(503), Response::json(price), AddKind::Unreachable,
         QStringLiteral("CoinGecko returned HTTP 503"), 1, QStringLiteral("btc")},
        {"undecodable", QStringLiteral("btc"), Response::json(R"({"coins":[{"id":1}]})"), Response::json(price),
         AddKind::Unreachable, QStringLiteral("Could not reach CoinGecko: "), 1, QStringLiteral("btc")},
        {"same symbol as a watched stock", QStringLiteral("AAPL"),
         Response::json(R"({"coins":[{"id":"apple-token","name":"Apple Token","symbol":"aapl"}]})"),
         Response::json(price), AddKind::Duplicate, {}, 1, QStringLiteral("AAPL")},
    };
    for (const Case& c : cases) {
        storeWatchlist({stock("AAPL")});
        server.clearRequests();
        server.route(searchPath(), c.search);
        server.route(pricePath(), c.price);
        MarketsStore& s = makeStore();
        const QJsonValue storedBefore = defaults->value(MarketsStore::kWatchlistKey);
        const auto result = awaitTask(s.addCoin(c.input));
        ASSERT_TRUE(result.has_value()) << c.name;
        EXPECT_EQ(result->kind, c.expected) << c.name;
        if (c.message.endsWith(QStringLiteral(": ")))
            EXPECT_TRUE(result->message.startsWith(c.message)) << c.name << result->message.toStdString();
        else
            EXPECT_EQ(result->message, c.message) << c.name;
        const auto searches = server.requestsFor(searchPath());
        ASSERT_EQ(searches.size(), c.searches) << c.name;
        if (!searches.isEmpty()) {
            EXPECT_EQ(searches[0].query.queryItemValue(QStringLiteral("query")), c.sentQuery) << c.name;
        }
        if (c.expected != AddKind::Added) {
            EXPECT_EQ(s.watchlist(), QList<WatchSymbol>{stock("AAPL")}) << c.name;
            EXPECT_EQ(defaults->value(MarketsStore::kWatchlistKey), storedBefore) << c.name;
            EXPECT_EQ(server.requestCount(pricePath()), 0) << c.name;
            continue;
        }
        const WatchSymbol expected{QStringLiteral("BTC"), WatchSymbol::Kind::Coin, QStringLiteral("Bitcoin"),
                                   QStringLiteral("bitcoin"), {}, {}};
        EXPECT_EQ(result->added, expected) << c.name;
        EXPECT_EQ(s.watchlist(), (QList<WatchSymbol>{stock("AAPL"), expected})) << c.name;
        EXPECT_EQ(WatchSymbol::decodeList(defaults->value(MarketsStore::kWatchlistKey)).value_or(QList<WatchSymbol>()),
                  s.watchlist()) << c.name;
        EXPECT_EQ(server.requestCount(pricePath()), 1) << c.name;
        const bool priced = c.price.status == 200;
        ASSERT_EQ(s.watchQuotes().size(), priced ? 1 : 0) << c.name << ": priced before the result comes back";
        if (priced) {
            EXPECT_EQ(s.watchQuotes()[0].price, 50000.0) << c.name;
        }
    }
}

TEST_F(CoinGeckoTest, AFullListRefusesBeforeSearching)
{
    QList<WatchSymbol> full;
    for (int i = 0; i < 10; ++i)
        full.append(coin(QStringLiteral("C%1").arg(i).toUtf8().constData(), "id"));
    storeWatchlist(full);
    MarketsStore& s = makeStore();
    EXPECT_EQ(awaitTask(s.addCoin(QStringLiteral("C1")))->kind, AddKind::Full) << "full even when it would be a duplicate";
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(CoinGeckoTest, RemoveDropsEveryEntryAndQuoteOfTheSymbol)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({stock("ABC"), coin("XRP", "ripple"), coin("ABC", "abc-coin")});
    serveQuotes({});
    server.route(pricePath(), Response::json(R"({"ripple":{"usd":1},"abc-coin":{"usd":2}})"));
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    awaitTask(s.refreshCoins());
    ASSERT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"XRP", "ABC"}));
    s.remove(QStringLiteral("ABC"));
    EXPECT_EQ(symbolsOf(s.watchlist()), QStringList{"XRP"});
    EXPECT_EQ(symbolsOf(s.watchQuotes()), QStringList{"XRP"});
    EXPECT_EQ(WatchSymbol::decodeList(defaults->value(MarketsStore::kWatchlistKey))->size(), 1);
}

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
    const std::pair<const char*, Response> cases[] = {
        {"undecodable 2xx", Response::json(R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":[{"symbol":"A"}]})")},
        {"not JSON", Response::text("<html>", "text/html")},
        {"server error after retries", Response::withStatus(500)},
    };
    for (const auto& [name, answer] : cases) {
        server.route(QStringLiteral("/v1_markets"), Response::json(kHouse));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshHouse());
        ASSERT_EQ(s.house().size(), 3) << name;
        server.route(QStringLiteral("/v1_markets"), answer);
        MarketsLog log;
        runAdvancing(s.refreshHouse());
        EXPECT_EQ(s.house().size(), 3) << name;
        EXPECT_EQ(s.attribution().size(), 1) << name;
        ASSERT_EQ(log.lines().size(), 1) << name;
        EXPECT_TRUE(log.lines()[0].startsWith(QStringLiteral("house set failed: "))) << name << log.lines()[0].toStdString();
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
