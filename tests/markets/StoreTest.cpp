#include "markets/MarketsStore.h"
#include "markets/SymbolRanking.h"
#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"

#include "Await.h"
#include "CatalogueServer.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "LoopbackServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Response = LoopbackServer::Response;
using KeyKind = MarketsStore::KeyStatus::Kind;
using AddKind = WatchAddResult::Kind;
const QString kQuotePath = QStringLiteral("/api/v1/quote");
const QString kPricePath = QStringLiteral("/api/v3/simple/price");
const QString kCoinSearchPath = QStringLiteral("/api/v3/search");
const QString kHousePath = QStringLiteral("/v1_markets");

// A text checked exactly, or by its beginning when the expected one ends with ": ".
void expectText(const QString& actual, const QString& expected, const char* name)
{
    if (expected.endsWith(QStringLiteral(": "))) { EXPECT_TRUE(actual.startsWith(expected)) << name << ": " << actual.toStdString(); }
    else { EXPECT_EQ(actual, expected) << name; }
}

QStringList symbolsOf(const auto& list)
{
    QStringList out;
    for (const auto& x : list)
        out.append(x.symbol);
    return out;
}

WatchSymbol stock(const char* symbol)
{
    return {QString::fromUtf8(symbol), WatchSymbol::Kind::Stock, QString::fromUtf8(symbol) + QStringLiteral(" Inc"), {}, {}, {}};
}

WatchSymbol coin(const char* symbol, const char* id)
{
    return {QString::fromUtf8(symbol), WatchSymbol::Kind::Coin, QString::fromUtf8(symbol) + QStringLiteral(" coin"), QString::fromUtf8(id), {}, {}};
}

QByteArray finnhubQuote(double c, double dp = 0.5)
{
    return QStringLiteral(R"({"c":%1,"d":1.0,"dp":%2,"pc":1.0,"t":1715976000})").arg(c).arg(dp).toUtf8();
}

Response slow(const QByteArray& body, int ms)
{
    Response r = Response::json(body);
    r.delay = std::chrono::milliseconds(ms);
    return r;
}

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

// A market store on in-memory settings and secrets, fake time, and one
// loopback server standing in for the server API, Finnhub and CoinGecko.
class StoreTest : public ::testing::Test {
protected:
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

    Endpoints endpoints(const QUrl& finnhub = {}, const QUrl& coingecko = {}) const
    {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = server.baseUrl();
        e.finnhubBase = finnhub.isEmpty() ? server.baseUrl() : finnhub;
        e.coingeckoBase = coingecko.isEmpty() ? server.baseUrl() : coingecko;
        return e;
    }

    MarketsStore& makeStore(const Endpoints& e)
    {
        store.reset();
        store = std::make_unique<MarketsStore>(*defaults, secrets, time, time, e);
        return *store;
    }
    MarketsStore& makeStore() { return makeStore(endpoints()); }

    void storeKey(const std::optional<QString>& key)
    {
        secrets.remove(Keychain::kService, Keychain::kFinnhubAccount);
        if (key) { ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, *key).has_value()); }
    }

    // Finnhub quotes by symbol; any symbol not listed answers with price 100.
    void serveQuotes(QHash<QString, Response> bySymbol)
    {
        server.handle(kQuotePath, [bySymbol](const LoopbackServer::Request& r) {
            return bySymbol.value(r.query.queryItemValue(QStringLiteral("symbol"), QUrl::FullyDecoded), Response::json(finnhubQuote(100)));
        });
    }

    QStringList quotedSymbols() const
    {
        QStringList out;
        for (const auto& r : server.requestsFor(kQuotePath))
            out.append(r.query.queryItemValue(QStringLiteral("symbol"), QUrl::FullyDecoded));
        return out;
    }

    void storeWatchlist(const QList<WatchSymbol>& list) { defaults->set(MarketsStore::kWatchlistKey, *WatchSymbol::encodeList(list)); }
    QList<WatchSymbol> savedWatchlist() const
    {
        return WatchSymbol::decodeList(defaults->value(MarketsStore::kWatchlistKey)).value_or(QList<WatchSymbol>{stock("UNREADABLE")});
    }

    // After an add: a refused one leaves the watchlist and its stored form as
    // they were; an added entry is appended and saved.
    void expectAddOutcome(MarketsStore& s, const WatchAddResult& result, const QList<WatchSymbol>& before, const QJsonValue& storedBefore,
                          const std::optional<WatchSymbol>& added, const char* name)
    {
        EXPECT_EQ(result.added, added) << name;
        EXPECT_EQ(s.watchlist(), added ? before + QList<WatchSymbol>{*added} : before) << name;
        if (added) {
            EXPECT_EQ(savedWatchlist(), s.watchlist()) << name;
        } else {
            EXPECT_EQ(defaults->value(MarketsStore::kWatchlistKey), storedBefore) << name;
        }
    }

    // The key goes to Finnhub in a header only, never in the address.
    void expectKeyOnlyInHeaders(const QByteArray& key = "sekrit-key-123")
    {
        for (const auto& r : server.requests()) {
            if (!r.path.startsWith(QStringLiteral("/api/v1/")))
                continue;
            EXPECT_EQ(r.header("X-Finnhub-Token"), key) << r.rawTarget.toStdString();
            EXPECT_FALSE(r.rawTarget.contains(QString::fromUtf8(key)) || r.query.hasQueryItem(QStringLiteral("token")))
                << r.rawTarget.toStdString();
        }
    }

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

TEST_F(StoreTest, ConstructionReadsTheKeyAndTheWatchlistAndSendsNothing)
{
    const struct { const char* name; std::optional<QString> key; KeyKind status; } cases[] = {
        {"no key", std::nullopt, KeyKind::None}, {"a key", QStringLiteral("abc"), KeyKind::Checking}, {"an empty key", QString(), KeyKind::None}};
    for (const auto& c : cases) {
        storeKey(c.key);
        storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
        MarketsStore& s = makeStore();
        EXPECT_EQ(s.keyStatus().kind, c.status) << c.name;
        EXPECT_EQ(s.hasFinnhubKey(), c.status == KeyKind::Checking) << c.name;
        EXPECT_EQ(symbolsOf(s.watchlist()), (QStringList{"AAPL", "BTC"})) << c.name;
        EXPECT_TRUE(s.house().isEmpty() && s.byok().isEmpty() && s.watchQuotes().isEmpty() && !s.lastUpdated() && !s.isPolling()) << c.name;
        const int reads = secrets.readCount;
        EXPECT_EQ(s.hasFinnhubKey(), c.status == KeyKind::Checking) << c.name;
        EXPECT_EQ(secrets.readCount, reads) << c.name << ": answered from memory";
    }
    // Unreadable stored watchlists start empty and stay stored for the next edit.
    const std::pair<const char*, QJsonValue> unreadable[] = {
        {"a string", QJsonValue(QStringLiteral("[{not json"))},
        {"an object", QJsonObject{{"symbol", "A"}}},
        {"a bad kind", QJsonArray{QJsonObject{{"symbol", "A"}, {"kind", "bond"}, {"name", "A"}}}},
    };
    for (const auto& [name, value] : unreadable) {
        defaults->set(MarketsStore::kWatchlistKey, value);
        EXPECT_TRUE(makeStore().watchlist().isEmpty()) << name;
        EXPECT_EQ(defaults->value(MarketsStore::kWatchlistKey), value) << name;
    }
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
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
    WatchSymbol held = stock("AAPL");
    held.units = 2.5;
    held.cost = 150.0;
    EXPECT_EQ(s.watchlist(), (QList<WatchSymbol>{held, coin("BTC", "bitcoin")}));
    EXPECT_EQ(symbolsOf(s.stockSymbols()), QStringList{"AAPL"});
    EXPECT_EQ(symbolsOf(s.coinSymbols()), QStringList{"BTC"});
}

// One watchlist entry that cannot be read costs that entry only: the others
// load, the next edit stores them, and the stored list as it was is kept
// beside the settings file.
TEST_F(StoreTest, AnUnreadableWatchlistEntryCostsOnlyItselfAndTheStoredListIsKeptAside)
{
    const QJsonObject msft = stock("MSFT").toJson(JsonOptions{});
    // MSFT with `key` set to `value`, or taken out when `value` is undefined.
    const auto msftWith = [&](const char* key, const QJsonValue& value) {
        QJsonObject e = msft;
        if (value.isUndefined())
            e.remove(QString::fromUtf8(key));
        else
            e.insert(QString::fromUtf8(key), value);
        return QJsonValue(e);
    };
    const struct { const char* name; QJsonValue entry; } cases[] = {
        {"units as text", msftWith("units", QStringLiteral("2"))},
        {"a kind of its own", msftWith("kind", QStringLiteral("bond"))},
        {"no name", msftWith("name", QJsonValue(QJsonValue::Undefined))},
        {"no entry at all", QJsonValue(QStringLiteral("MSFT"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        QJsonArray stored = *WatchSymbol::encodeList({stock("AAPL"), stock("NVDA"), coin("BTC", "bitcoin"), stock("TSLA")});
        stored.insert(2, c.entry);
        {
            auto file = Defaults::openFile(path);
            file->set(MarketsStore::kWatchlistKey, stored);
            MarketsLog log;
            MarketsStore s(*file, secrets, time, time, endpoints());
            EXPECT_EQ(symbolsOf(s.watchlist()), (QStringList{"AAPL", "NVDA", "BTC", "TSLA"}));
            EXPECT_TRUE(std::ranges::any_of(log.lines(), [](const QString& l) { return l.contains(MarketsStore::kWatchlistKey); }))
                << "the entry left out is logged";
            s.remove(QStringLiteral("NVDA"));
            s.remove(QStringLiteral("TSLA"));
            ASSERT_TRUE(file->flush());
        }
        auto file = Defaults::openFile(path);
        EXPECT_EQ(symbolsOf(MarketsStore(*file, secrets, time, time, endpoints()).watchlist()), (QStringList{"AAPL", "BTC"}));
        const QStringList aside = QDir(dir.path()).entryList({MarketsStore::kWatchlistKey + QStringLiteral(".unreadable-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.filePath(aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(kept.readAll()).object(), (QJsonObject{{MarketsStore::kWatchlistKey, stored}}));
    }
}

TEST_F(StoreTest, SetHoldingStoresAValidPairAndClearsOnAnInvalidOne)
{
    for (const auto& [units, cost, stored] : {std::tuple(2.0, 10.0, true), std::tuple(2.0, -1.0, false)}) {
        WatchSymbol held = stock("AAPL");
        held.units = held.cost = 9.0;
        storeWatchlist({held, stock("MSFT")});
        MarketsStore& s = makeStore();
        s.setHolding(QStringLiteral("AAPL"), units, cost);
        held.units = stored ? std::optional(units) : std::nullopt;
        held.cost = stored ? std::optional(cost) : std::nullopt;
        EXPECT_EQ(s.watchlist(), (QList<WatchSymbol>{held, stock("MSFT")})) << cost;
        EXPECT_EQ(savedWatchlist(), s.watchlist()) << cost;
    }
}

// A list with a holding that is no finite number (assigned through the
// binding, which validates nothing) cannot be encoded: the save says so and
// the stored list stays as it was.
TEST_F(StoreTest, AWatchlistThatCannotBeEncodedIsReportedAndNotStored)
{
    const struct { const char* name; double units, cost; } cases[] = {
        {"units not a number", qQNaN(), 1.0}, {"infinite units", qInf(), 1.0}, {"cost below any number", 1.0, -qInf()}};
    for (const auto& c : cases) {
        storeWatchlist({stock("AAPL")});
        const QJsonValue before = defaults->value(MarketsStore::kWatchlistKey);
        MarketsStore& s = makeStore();
        WatchSymbol held = stock("MSFT");
        held.units = c.units;
        held.cost = c.cost;
        s.setWatchlist({stock("AAPL"), held});
        QSignalSpy saves(defaults.get(), &Defaults::changed);
        EXPECT_FALSE(s.saveWatchlist()) << c.name;
        EXPECT_EQ(saves.count(), 0) << c.name;
        EXPECT_EQ(defaults->value(MarketsStore::kWatchlistKey), before) << c.name;
        s.setWatchlist({stock("MSFT")});
        EXPECT_TRUE(s.saveWatchlist()) << c.name;
        EXPECT_EQ(savedWatchlist(), QList<WatchSymbol>{stock("MSFT")}) << c.name;
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
    EXPECT_EQ(watch.count() + key.count(), 0);
    for (const char* message : {"a", "a", "b"})
        s.setKeyStatus(MarketsStore::KeyStatus::error(QString::fromUtf8(message)));
    EXPECT_EQ(key.count(), 2);
    s.setWatchlist({stock("MSFT")});
    EXPECT_EQ(watch.count(), 1);
    EXPECT_EQ(strip.count(), 1) << "the strip list follows the watchlist";
}

// The count never goes below 0, one poll loop runs while it is above 0, and a
// second strip starts no second loop.
TEST_F(StoreTest, VisibleStripCounter)
{
    struct Step { bool appear; int count; };
    const QList<Step> cases[] = {
        {{true, 1}, {true, 2}, {false, 1}, {false, 0}}, {{false, 0}, {false, 0}, {true, 1}, {false, 0}}, {{true, 1}, {false, 0}, {true, 1}, {false, 0}}};
    for (const auto& steps : cases) {
        MarketsStore& s = makeStore();
        QSignalSpy polling(&s, &MarketsStore::pollingChanged);
        int starts = 0;
        bool was = false;
        for (const Step& step : steps) {
            step.appear ? s.stripAppeared() : s.stripDisappeared();
            EXPECT_EQ(s.activeStrips(), step.count);
            EXPECT_EQ(s.isPolling(), step.count > 0);
            starts += (step.count > 0 && !was) ? 1 : 0;
            was = step.count > 0;
            FakeTime::settle();
        }
        EXPECT_EQ(time.pendingCount(), 0) << "the sleeping loop ended with the last strip";
        EXPECT_EQ(polling.count(), 2 * starts);
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
    EXPECT_EQ(server.requestCount(kQuotePath), 4) << "one cycle for two strips";
    EXPECT_EQ(time.pendingCount(), 1);
    EXPECT_EQ(time.nextDueInMs(), 60000);
    time.advanceSeconds(59);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(kQuotePath), 4);
    time.advanceSeconds(1);
    const QDateTime second = time.now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.lastUpdated() == second; }, 5000));
    EXPECT_EQ(server.requestCount(kQuotePath), 8);
    s.stripDisappeared();
    s.stripDisappeared();
    FakeTime::settle();
    EXPECT_EQ(time.pendingCount(), 0);
    time.advanceSeconds(120);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(kQuotePath), 8) << "no polling without a strip";
}

// The last strip leaving stops the running cycle, which publishes nothing at
// all: no placeholders, no failure text, no log line, no time stamp, and the
// loop never reaches its sleep.
TEST_F(StoreTest, AStoppedCycleIsDropped)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
    serveQuotes({{QStringLiteral("SPY"), slow(finnhubQuote(100), 3000)}});
    // Every read of the cycle is still under way at the stop.
    server.route(kPricePath, slow(finnhubQuote(100), 3000));
    server.route(kHousePath, slow(finnhubQuote(100), 3000));
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
    EXPECT_TRUE(s.byok().isEmpty() && s.watchQuotes().isEmpty() && !s.lastUpdated());
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(server.requestCount(kQuotePath), 1) << "no request after the stop";
}

TEST_F(StoreTest, SetFinnhubKeyPaths)
{
    serveQuotes({});
    const struct { const char* name; QString typed; bool failWrites; std::optional<QString> storedAfter; KeyKind statusAfter; int quotes; } cases[] = {
        {"trimmed and stored, then checked", QStringLiteral("  new-key \n"), false, QStringLiteral("new-key"), KeyKind::Ok, 4},
        {"blank removes", QStringLiteral(" \t\n "), false, std::nullopt, KeyKind::None, 0},
        {"failed save keeps the old key", QStringLiteral("new-key"), true, QStringLiteral("old"), KeyKind::Error, 0},
        {"failed removal keeps the old key", QString(), true, QStringLiteral("old"), KeyKind::Error, 0},
    };
    for (const auto& c : cases) {
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
        EXPECT_EQ(server.requestCount(kQuotePath), c.quotes) << c.name;
        EXPECT_EQ(s.hasFinnhubKey(), c.storedAfter.has_value()) << c.name;
        EXPECT_EQ(s.byok().size(), c.statusAfter == KeyKind::None ? 0 : 4) << c.name << ": nothing pretends the key changed";
        if (c.failWrites) { EXPECT_TRUE(!s.keyStatus().message.contains(QStringLiteral("new-key")) && !s.keyStatus().message.isEmpty()) << c.name; }
        expectKeyOnlyInHeaders("new-key");
    }
}

TEST_F(StoreTest, ARefreshUnderAReplacedKeyPublishesNothing)
{
    serveQuotes({{QStringLiteral("SPY"), slow(finnhubQuote(100), 300)}});
    storeKey(QStringLiteral("first"));
    MarketsStore& s = makeStore();
    auto refresh = s.refreshOwnKeyQuotes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 1; }, 5000));
    s.setFinnhubKey(QString());
    awaitTask(std::move(refresh));
    EXPECT_EQ(s.keyStatus().kind, KeyKind::None);
    EXPECT_TRUE(s.byok().isEmpty());
    EXPECT_EQ(server.requestCount(kQuotePath), 1);
}

// Another keyring tool adds, changes or removes the key while the app runs:
// each poll reads the keyring and prices with what it finds there.
TEST_F(StoreTest, EachPollUsesTheKeyTheKeyringHoldsThen)
{
    storeWatchlist({stock("AAPL")});
    serveQuotes({});
    storeKey(QStringLiteral("first-key"));
    MarketsStore& s = makeStore();
    s.stripAppeared();
    const struct { const char* name; std::optional<QString> key; } polls[] = {
        {"the key stored at start", QStringLiteral("first-key")},
        {"changed behind the store's back", QStringLiteral("second-key")},
        {"removed", std::nullopt},
        {"added again", QStringLiteral("third-key")},
        {"an empty item", QString()},
    };
    bool first = true;
    for (const auto& poll : polls) {
        if (!first) {
            storeKey(poll.key);
            server.clearRequests();
            time.advanceSeconds(MarketsStore::kPollInterval.count());
        }
        first = false;
        const QDateTime due = time.now();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.lastUpdated() == due; }, 5000)) << poll.name;
        const bool priced = poll.key && !poll.key->isEmpty();
        EXPECT_EQ(server.requestCount(kQuotePath), priced ? 5 : 0) << poll.name;
        if (priced) expectKeyOnlyInHeaders(poll.key->toUtf8());
        EXPECT_EQ(s.hasFinnhubKey(), priced) << poll.name;
        EXPECT_EQ(s.keyStatus().kind, priced ? KeyKind::Ok : KeyKind::None) << poll.name;
        EXPECT_EQ(s.byok().size(), priced ? 4 : 0) << poll.name;
        EXPECT_EQ(symbolsOf(s.watchQuotes()), priced ? QStringList{"AAPL"} : QStringList{}) << poll.name;
    }
    // Keystrokes in the suggestion field read nothing: they use what the last read found.
    storeKey(QStringLiteral("fourth-key"));
    server.route(QStringLiteral("/api/v1/search"), Response::json(R"({"count":0,"result":[]})"));
    const int reads = secrets.readCount;
    for (const char* typed : {"a", "aa", "aap"})
        awaitTask(s.searchStocks(QString::fromUtf8(typed)));
    EXPECT_EQ(secrets.readCount, reads);
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/search")), 0) << "the last poll found no key";
    // Adding a stock asks the keyring, as a poll does: it prices with the key stored now.
    server.clearRequests();
    const auto added = awaitTask(s.addStock(QStringLiteral("MSFT"), QStringLiteral("Microsoft")));
    EXPECT_EQ(added->kind, AddKind::Added);
    EXPECT_EQ(secrets.readCount, reads + 1);
    EXPECT_EQ(quotedSymbols(), QStringList{"MSFT"});
    expectKeyOnlyInHeaders("fourth-key");
    s.stripDisappeared();
}

// Saving and removing the key wait for the keyring in the background: the
// store answers at once and shows the outcome when it comes.
TEST_F(StoreTest, SavingAndRemovingTheKeyNeverWaitForTheKeyring)
{
    serveQuotes({});
    const struct {
        const char* name;
        QString typed;
        bool failWrites;
        KeyKind whileWaiting, after;
        QString message;  // with an error: its beginning
        std::optional<QString> storedAfter;
    } cases[] = {
        {"a save", QStringLiteral("new-key"), false, KeyKind::Checking, KeyKind::Ok, {}, QStringLiteral("new-key")},
        {"a removal", QStringLiteral(" "), false, KeyKind::Ok, KeyKind::None, {}, std::nullopt},
        {"a failed save", QStringLiteral("new-key"), true, KeyKind::Checking, KeyKind::Error,
         QStringLiteral("Could not save the Finnhub key: "), QStringLiteral("old")},
        {"a failed removal", QString(), true, KeyKind::Ok, KeyKind::Error,
         QStringLiteral("Could not remove the Finnhub key: "), QStringLiteral("old")},
    };
    for (const auto& c : cases) {
        secrets.failWrites = false;
        storeKey(QStringLiteral("old"));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshOwnKeyQuotes());
        ASSERT_EQ(s.keyStatus().kind, KeyKind::Ok) << c.name;
        server.clearRequests();
        secrets.failWrites = c.failWrites;
        secrets.holdWrites = true;
        QSignalSpy status(&s, &MarketsStore::keyStatusChanged);
        s.setFinnhubKey(c.typed);
        FakeTime::settle();
        EXPECT_EQ(secrets.heldCount(), 1) << c.name;
        EXPECT_EQ(s.keyStatus().kind, c.whileWaiting) << c.name;
        EXPECT_TRUE(s.hasFinnhubKey()) << c.name << ": the old key until the keyring answers";
        EXPECT_EQ(server.requestCount(), 0) << c.name;
        secrets.holdWrites = false;
        secrets.release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind == c.after; }, 5000)) << c.name;
        FakeTime::settle();
        EXPECT_EQ(s.keyStatus().kind, c.after) << c.name;
        expectText(s.keyStatus().message, c.message, c.name);
        EXPECT_GE(status.count(), 1) << c.name;
        EXPECT_EQ(secrets.read(Keychain::kService, Keychain::kFinnhubAccount), c.storedAfter) << c.name;
        EXPECT_EQ(s.hasFinnhubKey(), c.storedAfter.has_value()) << c.name;
        EXPECT_EQ(server.requestCount(kQuotePath), c.after == KeyKind::Ok ? 4 : 0) << c.name;
        expectKeyOnlyInHeaders("new-key");
    }
}

// Keys saved in quick succession: the keyring takes them in order, and only
// the last one is checked and used.
TEST_F(StoreTest, QuickSavesEndWithTheLastOne)
{
    serveQuotes({});
    const struct { const char* name; QStringList typed; std::optional<QString> storedAfter; } cases[] = {
        {"two saves", {"first-key", "second-key"}, QStringLiteral("second-key")},
        {"a save, then a removal", {"first-key", ""}, std::nullopt},
        {"a removal, then a save", {"", "second-key"}, QStringLiteral("second-key")},
        {"three saves", {"first-key", "second-key", "third-key"}, QStringLiteral("third-key")},
    };
    for (const auto& c : cases) {
        storeKey(QStringLiteral("old"));
        MarketsStore& s = makeStore();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.hasFinnhubKey(); }, 5000)) << c.name;
        server.clearRequests();
        secrets.holdWrites = true;
        for (const QString& typed : c.typed)
            s.setFinnhubKey(typed);
        secrets.holdWrites = false;
        secrets.release();
        const KeyKind final = c.storedAfter ? KeyKind::Ok : KeyKind::None;
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind == final; }, 5000)) << c.name;
        FakeTime::settle();
        EXPECT_EQ(secrets.read(Keychain::kService, Keychain::kFinnhubAccount), c.storedAfter) << c.name;
        EXPECT_EQ(s.hasFinnhubKey(), c.storedAfter.has_value()) << c.name;
        EXPECT_EQ(server.requestCount(kQuotePath), c.storedAfter ? 4 : 0) << c.name << ": one check, of the last key";
        expectKeyOnlyInHeaders(c.storedAfter.value_or(QString()).toUtf8());
    }
}

TEST_F(StoreTest, DestroyingTheStoreWithWorkInFlightIsSafe)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({coin("BTC", "bitcoin")});
    serveQuotes({{QStringLiteral("SPY"), slow(finnhubQuote(100), 3000)}, {QStringLiteral("AAPL"), slow(finnhubQuote(100), 3000)}});
    for (const QString& path : {kPricePath, kCoinSearchPath, kHousePath})
        server.route(path, slow("{}", 3000));
    MarketsStore& s = makeStore();
    s.stripAppeared();
    auto stockAdd = s.addStock(QStringLiteral("AAPL"));
    auto coinAdd = s.addCoin(QStringLiteral("eth"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 5; }, 5000));
    store.reset();
    const auto stockResult = awaitTask(std::move(stockAdd), 2000);
    const auto coinResult = awaitTask(std::move(coinAdd), 2000);
    ASSERT_TRUE(stockResult && coinResult);
    EXPECT_EQ(stockResult->kind, AddKind::Unreachable);
    EXPECT_EQ(coinResult->kind, AddKind::Unreachable);
    for (int i = 0; i < 10; ++i)
        FakeTime::settle();
    EXPECT_EQ(time.pendingCount(), 0);
    EXPECT_EQ(savedWatchlist().size(), 1) << "nothing saved";
}

class FinnhubTest : public StoreTest {
protected:
    void SetUp() override { storeKey(QStringLiteral("sekrit-key-123")); }
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
    EXPECT_EQ(s.watchQuotes()[0], (MarketQuote{"AAPL", "AAPL Inc", "equity", "USD", QuoteCadence::Live, 190.5, 1.0, 1.25,
                                               QStringLiteral("2024-05-17T20:00:00Z"), "finnhub", true, {}}));
    EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::ok());
    expectKeyOnlyInHeaders();
}

TEST_F(FinnhubTest, OutcomesOfOnePass)
{
    const QByteArray haveAccess = R"({"error":"You don't HAVE ACCESS to this resource."})";
    const QByteArray invalid = R"({"error":"Invalid API key"})";
    const QStringList all{"SPY", "QQQ", "DIA", "GLD", "AAPL"}, etfs{"SPY", "QQQ", "DIA", "GLD"}, watched{"OLD", "AAPL"};
    struct Case {
        const char* name;
        QHash<QString, Response> answers;
        KeyKind status;
        QString message;  // exact, or a prefix when it ends with ": "
        QStringList requested, byok, unusable, watch;  // unusable: symbols whose quote is not ok
    };
    const Case cases[] = {
        {"401 without have access: rejected, nothing more", {{"SPY", Response::json(invalid, 401)}}, KeyKind::Rejected, {}, {"SPY"}, {}, {}, {"OLD"}},
        {"401 with an empty body: rejected", {{"QQQ", Response::text("", "text/plain", 401)}}, KeyKind::Rejected, {}, {"SPY", "QQQ"}, {}, {}, {"OLD"}},
        {"401 with have access: off the plan", {{"SPY", Response::json(haveAccess, 401)}}, KeyKind::Error,
         "Key accepted; SPY not on your Finnhub plan", all, etfs, {"SPY"}, watched},
        {"403: off the plan whatever the body says", {{"GLD", Response::json(invalid, 403)}}, KeyKind::Error,
         "Key accepted; GLD not on your Finnhub plan", all, etfs, {"GLD"}, watched},
        {"two off the plan, in request order", {{"DIA", Response::json(haveAccess, 401)}, {"QQQ", Response::withStatus(403)}}, KeyKind::Error,
         "Key accepted; QQQ, DIA not on your Finnhub plan", all, etfs, {"QQQ", "DIA"}, watched},
        {"429 stops the pass and publishes what came before", {{"QQQ", Response::withStatus(429)}}, KeyKind::Error,
         "Finnhub rate limit hit, retrying next minute", {"SPY", "QQQ"}, {"SPY"}, {}, {"OLD"}},
        {"a failure beats off-the-plan", {{"GLD", Response::withStatus(403)}, {"AAPL", Response::withStatus(500)}}, KeyKind::Error,
         "Finnhub returned HTTP 500 for AAPL", all, etfs, {"GLD", "AAPL"}, watched},
        {"an undecodable 2xx is a placeholder and a failure", {{"DIA", Response::text("<html>busy</html>", "text/html", 200)}},
         KeyKind::Error, "Could not reach Finnhub: ", all, etfs, {"DIA"}, watched},
        {"a wrongly typed 2xx body fails too", {{"SPY", Response::json(R"({"c":"12"})")}}, KeyKind::Error, "Could not reach Finnhub: ",
         all, etfs, {"SPY"}, watched},
        {"an unknown symbol (c = 0) is no failure", {{"AAPL", Response::json(finnhubQuote(0))}}, KeyKind::Ok, {}, all, etfs, {"AAPL"}, watched},
        {"a later failure replaces an earlier one", {{"SPY", Response::withStatus(502)}, {"DIA", Response::withStatus(404)}}, KeyKind::Error,
         "Finnhub returned HTTP 404 for DIA", all, etfs, {"SPY", "DIA"}, watched},
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
        expectText(s.keyStatus().message, c.message, c.name);
        QStringList unusable;
        for (const MarketQuote& q : s.byok() + s.watchQuotes())
            if (!q.ok)
                unusable.append(q.symbol);
        EXPECT_EQ(std::tuple(s.keyStatus().kind, quotedSymbols(), symbolsOf(s.byok()), unusable, symbolsOf(s.watchQuotes())),
                  std::tuple(c.status, c.requested, c.byok, c.unusable, c.watch)) << c.name;
        if (c.unusable.contains(QStringLiteral("AAPL")) && c.status == KeyKind::Error) {
            EXPECT_EQ(s.watchQuotes()[1], (MarketQuote{"AAPL", "AAPL Inc", "equity", "USD", QuoteCadence::Live, {}, {}, {}, {}, "finnhub", false, {}}))
                << c.name << ": a placeholder keeps the row and no price";
        }
        EXPECT_FALSE(s.keyStatus().message.contains(QStringLiteral("sekrit"))) << c.name;
        expectKeyOnlyInHeaders();
    }
}

TEST_F(FinnhubTest, TransportFailuresNameTheServiceButNotTheKey)
{
    storeWatchlist({coin("BTC", "bitcoin")});
    LoopbackServer closed;
    const QUrl refused = closed.baseUrl();
    closed.stop();
    MarketsStore& s = makeStore(endpoints(refused, refused));
    awaitTask(s.refreshOwnKeyQuotes());
    MarketsLog log;
    awaitTask(s.refreshCoins());
    EXPECT_EQ(s.keyStatus().kind, KeyKind::Error);
    expectText(s.keyStatus().message, QStringLiteral("Could not reach Finnhub: "), "finnhub");
    EXPECT_FALSE(s.keyStatus().message.contains(QStringLiteral("sekrit")));
    EXPECT_EQ(s.byok().size(), 4);
    ASSERT_EQ(log.lines().size(), 1);
    expectText(log.lines()[0], QStringLiteral("coingecko price failed: "), "coingecko");
    EXPECT_TRUE(s.watchQuotes().isEmpty());
}

TEST_F(FinnhubTest, WithoutAKeyNothingIsSentAndStockQuotesGo)
{
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
    serveQuotes({});
    server.route(kPricePath, Response::json(R"({"bitcoin":{"usd":50000}})"));
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    awaitTask(s.refreshCoins());
    ASSERT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "BTC"}));
    ASSERT_EQ(s.byok().size(), 4);
    // The key is removed through the store, or a restart reads an empty one.
    s.setFinnhubKey(QStringLiteral(" "));
    EXPECT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "BTC"})) << "until the next pass";
    for (const bool restart : {false, true}) {
        if (restart)
            storeKey(QString());
        MarketsStore& current = restart ? makeStore() : s;
        server.clearRequests();
        awaitTask(current.refreshOwnKeyQuotes());
        EXPECT_EQ(server.requestCount(), 0) << restart;
        EXPECT_TRUE(current.byok().isEmpty()) << restart;
        EXPECT_EQ(current.keyStatus(), MarketsStore::KeyStatus::none()) << restart;
        if (!restart) { EXPECT_EQ(symbolsOf(current.watchQuotes()), QStringList{"BTC"}) << "coin quotes stay"; }
        EXPECT_FALSE(current.hasFinnhubKey()) << restart;
    }
}

// The keyring is read at start and by every pass, the check after the key
// was stored included, never by a keystroke: searches use what the last read
// found. A read that fails keeps the key the store knew, so the running pass
// and the check still publish.
TEST_F(FinnhubTest, KeystrokesNeverReadTheKeyringAndAFailedReadKeepsTheKey)
{
    storeWatchlist({stock("AAPL")});
    serveQuotes({{QStringLiteral("SPY"), slow(finnhubQuote(100), 300)}});
    server.route(QStringLiteral("/api/v1/search"), Response::json(R"({"count":0,"result":[]})"));
    MarketsStore& s = makeStore();
    EXPECT_EQ(secrets.readCount, 1) << "read once at start";
    auto pass = s.refreshOwnKeyQuotes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount(kQuotePath) >= 1; }, 5000));
    EXPECT_EQ(secrets.readCount, 2) << "the pass read it";
    secrets.failReads = true;
    for (const char* typed : {"a", "aa", "aap", "aapl"})
        awaitTask(s.searchStocks(QString::fromUtf8(typed)));
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/search")), 3) << "searches use the key in memory";
    EXPECT_EQ(secrets.readCount, 2) << "keystrokes read nothing";
    s.setFinnhubKey(QStringLiteral("sekrit-key-123"));  // stored again; reading it back fails
    awaitTask(std::move(pass));
    EXPECT_EQ(s.byok().size(), 4) << "the running pass was not dropped";
    EXPECT_EQ(symbolsOf(s.watchQuotes()), QStringList{"AAPL"});
    EXPECT_TRUE(s.hasFinnhubKey());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind == KeyKind::Ok; }, 5000)) << "the check of the stored key ends well";
    EXPECT_EQ(secrets.readCount, 3) << "one more read, by the check of the stored key";
    expectKeyOnlyInHeaders();
}

// A read that fails is an error, never "no key": nothing is sent, nothing is
// cleared, and the next pass reads again.
TEST_F(FinnhubTest, AFailedKeyReadIsAnErrorAndTheNextPassReadsAgain)
{
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin")});
    serveQuotes({});
    server.route(kPricePath, Response::json(R"({"bitcoin":{"usd":5}})"));
    secrets.failReads = true;
    MarketsStore& s = makeStore();
    awaitTask(s.refreshCoins());
    QSignalSpy byok(&s, &MarketsStore::byokChanged);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(s.keyStatus().kind, KeyKind::Error) << round;
        EXPECT_TRUE(s.keyStatus().message.startsWith(QStringLiteral("Could not read the Finnhub key: ")))
            << s.keyStatus().message.toStdString();
        EXPECT_FALSE(s.hasFinnhubKey());
        awaitTask(s.refreshOwnKeyQuotes());
        EXPECT_EQ(server.requestCount(kQuotePath), 0);
        EXPECT_EQ(symbolsOf(s.watchQuotes()), QStringList{"BTC"});
        EXPECT_EQ(s.keyStatus().kind, KeyKind::Error) << round << ": not none";
        EXPECT_EQ(secrets.readCount, 2 + 2 * round) << "each pass reads again after a failed read";
        const auto added = awaitTask(s.addStock(QStringLiteral("MSFT"), QStringLiteral("Microsoft")));
        EXPECT_EQ(secrets.readCount, 3 + 2 * round) << "so does each add";
        EXPECT_EQ(added->kind, AddKind::Unreachable) << "not: needs a key";
        EXPECT_TRUE(added->message.startsWith(QStringLiteral("Could not read the Finnhub key: ")));
    }
    EXPECT_EQ(byok.count(), 0);
    secrets.failReads = false;
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::ok());
    EXPECT_EQ(s.byok().size(), 4);
    const int reads = secrets.readCount;
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(secrets.readCount, reads + 1) << "a good read is repeated too: the key may change";
    EXPECT_FALSE(s.keyStatus().message.contains(QStringLiteral("sekrit")));
}

// While the first read is on its way the store says it is checking; passes,
// adds and searches wait for the read, and a store that goes away meanwhile
// leaves nothing behind.
TEST_F(FinnhubTest, WorkWaitsForAPendingKeyRead)
{
    storeWatchlist({stock("AAPL")});
    serveQuotes({});
    server.route(QStringLiteral("/api/v1/search"), Response::json(R"({"count":0,"result":[]})"));
    for (const bool keep : {true, false}) {
        server.clearRequests();
        secrets.holdReads = true;
        MarketsStore& s = makeStore();
        EXPECT_EQ(s.keyStatus().kind, KeyKind::Checking);
        EXPECT_FALSE(s.hasFinnhubKey());
        auto pass = s.refreshOwnKeyQuotes();
        auto search = s.searchStocks(QStringLiteral("aapl"));
        FakeTime::settle();
        EXPECT_EQ(server.requestCount(), 0);
        if (!keep)
            store.reset();
        secrets.holdReads = false;
        secrets.release();
        awaitTask(std::move(pass));
        awaitTask(std::move(search));
        FakeTime::settle();
        if (!keep) {
            EXPECT_EQ(server.requestCount(), 0) << "a gone store sends nothing";
            continue;
        }
        EXPECT_TRUE(s.hasFinnhubKey());
        EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::ok());
        EXPECT_EQ(server.requestCount(kQuotePath), 5);
        EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/search")), 1);
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
        {"normalised and named from the profile", "  $aapl \n", {}, {}, {}, AddKind::Added, {}, {"AAPL"}, "Apple Inc", 1},
        {"given name used unchanged, no profile", "AAPL", QStringLiteral(" My Apple "), {}, {}, AddKind::Added, {}, {"AAPL"}, " My Apple ", 0},
        {"profile without name", "AAPL", {}, {}, Response::json(R"({"ticker":"AAPL"})"), AddKind::Added, {}, {"AAPL"}, "AAPL", 1},
        {"profile with an empty name", "AAPL", {}, {}, Response::json(R"({"name":""})"), AddKind::Added, {}, {"AAPL"}, "AAPL", 1},
        {"profile 404", "AAPL", {}, {}, Response::json(apple, 404), AddKind::Added, {}, {"AAPL"}, "AAPL", 1},
        {"a dot is kept", "vod.l", {}, {}, {}, AddKind::Added, {}, {"VOD.L"}, "Apple Inc", 1},
        {"12 characters", "ABCDEFGHIJKL", {}, {}, {}, AddKind::Added, {}, {"ABCDEFGHIJKL"}, "Apple Inc", 1},
        {"13 characters", "ABCDEFGHIJKLM", {}, {}, {}, AddKind::UnknownSymbol, {}, {}, {}, 0},
        {"only blanks and dollars", " $ $$ ", {}, {}, {}, AddKind::UnknownSymbol, {}, {}, {}, 0},
        {"fixed ETF in any case", "spy", {}, {}, {}, AddKind::Duplicate, {}, {}, {}, 0},
        {"already watched", "msft", {}, {}, {}, AddKind::Duplicate, {}, {}, {}, 0},
        {"have access in any case", "AAPL", {}, {{"AAPL", Response::json(R"({"error":"no Have Access here"})", 401)}}, {}, AddKind::NotOnPlan, {}, {"AAPL"}, {}, 0},
        {"401 otherwise", "AAPL", {}, {{"AAPL", Response::text("nope", "text/plain", 401)}}, {}, AddKind::RejectedKey, {}, {"AAPL"}, {}, 0},
        {"403 always off the plan", "AAPL", {}, {{"AAPL", Response::json(R"({"error":"x"})", 403)}}, {}, AddKind::NotOnPlan, {}, {"AAPL"}, {}, 0},
        {"429", "AAPL", {}, {{"AAPL", Response::withStatus(429)}}, {}, AddKind::Unreachable, "Finnhub rate limit hit, retrying next minute", {"AAPL"}, {}, 0},
        {"502", "AAPL", {}, {{"AAPL", Response::withStatus(502)}}, {}, AddKind::Unreachable, "Finnhub returned HTTP 502 for AAPL", {"AAPL"}, {}, 0},
        {"no price", "AAPL", {}, {{"AAPL", Response::json(finnhubQuote(0))}}, {}, AddKind::UnknownSymbol, {}, {"AAPL"}, {}, 0},
        {"missing price", "AAPL", {}, {{"AAPL", Response::json(R"({"t":1})")}}, {}, AddKind::UnknownSymbol, {}, {"AAPL"}, {}, 0},
        {"undecodable", "AAPL", {}, {{"AAPL", Response::text("x", "text/plain")}}, {}, AddKind::Unreachable, "Could not reach Finnhub: ", {"AAPL"}, {}, 0},
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
        expectText(result->message, c.message, c.name);
        // An add never touches the key status.
        EXPECT_EQ(std::tuple(result->kind, quotedSymbols(), server.requestCount(QStringLiteral("/api/v1/stock/profile2")), s.keyStatus().kind),
                  std::tuple(c.expected, c.requested, c.profileRequests, KeyKind::Checking)) << c.name;
        expectKeyOnlyInHeaders();
        const bool isAdded = c.expected == AddKind::Added;
        expectAddOutcome(s, *result, {stock("MSFT")}, storedBefore,
                         isAdded ? std::optional(WatchSymbol{c.requested[0], WatchSymbol::Kind::Stock, c.storedName, {}, {}, {}}) : std::nullopt, c.name);
        ASSERT_EQ(s.watchQuotes().size(), isAdded ? 1 : 0) << c.name;
        if (isAdded) {
            EXPECT_EQ(std::pair(s.watchQuotes()[0].name, s.watchQuotes()[0].price), std::pair(c.storedName, std::optional(100.0))) << c.name;
        }
    }
}

TEST_F(FinnhubTest, AddChecksRunInOrderBeforeAnyRequest)
{
    QList<WatchSymbol> stocks, coins;
    for (int i = 0; i < 10; ++i) {
        stocks.append(stock(QStringLiteral("S%1").arg(i).toUtf8().constData()));
        coins.append(coin(QStringLiteral("C%1").arg(i).toUtf8().constData(), "id"));
    }
    const struct { const char* name; std::optional<QString> key; QList<WatchSymbol> list; bool isCoin; QString input; AddKind expected; } cases[] = {
        {"no key beats a full list", std::nullopt, stocks, false, "AAPL", AddKind::NeedsKey},
        {"an empty key is no key", QString(), stocks, false, "AAPL", AddKind::NeedsKey},
        {"a bad symbol beats no key", std::nullopt, stocks, false, "ABCDEFGHIJKLMN", AddKind::UnknownSymbol},
        {"duplicate beats full", QStringLiteral("k"), stocks, false, "s3", AddKind::Duplicate},
        {"full", QStringLiteral("k"), stocks, false, "AAPL", AddKind::Full},
        {"a full list refuses a coin even when it would be a duplicate", std::nullopt, coins, true, "C1", AddKind::Full},
    };
    for (const auto& c : cases) {
        storeKey(c.key);
        storeWatchlist(c.list);
        server.clearRequests();
        MarketsStore& s = makeStore();
        EXPECT_EQ(awaitTask(c.isCoin ? s.addCoin(c.input) : s.addStock(c.input))->kind, c.expected) << c.name;
        EXPECT_EQ(server.requestCount(), 0) << c.name;
    }
}

TEST_F(FinnhubTest, SearchStocks)
{
    const QByteArray answer = R"({"count":3,"result":[)"
                              R"({"description":"APPLE INC-MX","displaySymbol":"AAPL.MX","symbol":"AAPL.MX","type":"Common Stock"},)"
                              R"({"description":"APPLE HOSPITALITY","displaySymbol":"APLE","symbol":"APLE","type":"REIT"},)"
                              R"({"description":"APPLE INC","displaySymbol":"AAPL","symbol":"AAPL","type":"Common Stock"}]})";
    const struct { const char* name; QString query; Response answer; QStringList expected; int requests; } cases[] = {
        {"ranked", " aapl ", Response::json(answer), {"AAPL", "APLE", "AAPL.MX"}, 1},
        {"one character", "a", Response::json(answer), {}, 0},
        {"dollar and one letter", "$a", Response::json(answer), {}, 0},
        {"two characters are sent", "aa", Response::json(answer), {"APLE", "AAPL", "AAPL.MX"}, 1},
        {"41 characters", QString(41, QLatin1Char('a')), Response::json(answer), {}, 0},
        {"40 characters are sent", QString(40, QLatin1Char('a')), Response::json(answer), {"APLE", "AAPL", "AAPL.MX"}, 1},
        {"status other than 200", "aapl", Response::json(answer, 201), {}, 1},
        {"server error", "aapl", Response::withStatus(500), {}, 1},
        {"undecodable", "aapl", Response::json(R"({"result":[{"symbol":"A"}]})"), {}, 1},
    };
    MarketsStore& s = makeStore();
    for (const auto& c : cases) {
        server.clearRequests();
        server.route(QStringLiteral("/api/v1/search"), c.answer);
        const auto found = awaitTask(s.searchStocks(c.query));
        ASSERT_TRUE(found.has_value()) << c.name;
        EXPECT_EQ(symbolsOf(*found), c.expected) << c.name;
        ASSERT_EQ(server.requestCount(QStringLiteral("/api/v1/search")), c.requests) << c.name;
        if (c.requests) { EXPECT_EQ(server.requests().first().query.queryItemValue(QStringLiteral("q")), cleanedQuery(c.query)) << c.name; }
        expectKeyOnlyInHeaders();
    }
    s.setFinnhubKey(QString());
    server.clearRequests();
    EXPECT_TRUE(awaitTask(s.searchStocks(QStringLiteral("aapl")))->isEmpty());
    EXPECT_EQ(server.requestCount(), 0) << "no key, no request";
}

TEST_F(StoreTest, CoinPricesFollowTheWatchlistAfterOtherQuotes)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({coin("BTC", "bitcoin"), stock("AAPL"), coin("ETH", "ethereum")});
    serveQuotes({});
    server.route(kPricePath, Response::json(R"({"bitcoin":{"usd":100,"usd_24h_change":25,"last_updated_at":1715976000}})"));
    MarketsStore& s = makeStore();
    QSignalSpy watch(&s, &MarketsStore::watchQuotesChanged);
    awaitTask(s.refreshOwnKeyQuotes());
    awaitTask(s.refreshCoins());
    EXPECT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "BTC", "ETH"}));
    EXPECT_EQ(s.watchQuotes()[1], MarketQuote::fromCoinGecko("BTC", "BTC coin", {100.0, 25.0, 1715976000.0}));
    EXPECT_EQ(s.watchQuotes()[2], MarketQuote::fromCoinGecko("ETH", "ETH coin", {})) << "a coin without a price";
    const auto requests = server.requestsFor(kPricePath);
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

    // Without coins nothing is asked and nothing notified.
    s.remove(QStringLiteral("BTC"));
    s.remove(QStringLiteral("ETH"));
    server.clearRequests();
    const qsizetype notified = watch.count();
    awaitTask(s.refreshCoins());
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(watch.count(), notified);
}

TEST_F(StoreTest, CoinPriceFailuresKeepThePreviousQuotesAndLog)
{
    const struct { const char* name; Response answer; QString logLine; } cases[] = {
        {"server error", Response::withStatus(500), "coingecko price HTTP 500"},
        {"rate limit", Response::withStatus(429), "coingecko price HTTP 429"},
        {"undecodable", Response::json(R"({"bitcoin":"lots"})"), "coingecko price failed: "},
        {"not JSON", Response::text("<html>", "text/html"), "coingecko price failed: "},
    };
    for (const auto& c : cases) {
        storeWatchlist({coin("BTC", "bitcoin")});
        server.route(kPricePath, Response::json(R"({"bitcoin":{"usd":5}})"));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshCoins());
        const QList<MarketQuote> before = s.watchQuotes();
        ASSERT_EQ(before.size(), 1) << c.name;
        server.route(kPricePath, c.answer);
        MarketsLog log;
        QSignalSpy watch(&s, &MarketsStore::watchQuotesChanged);
        awaitTask(s.refreshCoins());
        EXPECT_EQ(s.watchQuotes(), before) << c.name;
        EXPECT_EQ(watch.count(), 0) << c.name;
        ASSERT_EQ(log.lines().size(), 1) << c.name;
        expectText(log.lines()[0], c.logLine, c.name);
        EXPECT_EQ(s.keyStatus().kind, KeyKind::None) << c.name;
    }
}

TEST_F(StoreTest, AddCoinOutcomes)
{
    const QByteArray coins = R"({"coins":[{"id":"bitcoin-cash","name":"Bitcoin Cash","symbol":"BCH","market_cap_rank":20},)"
                             R"({"id":"wrapped-btc","name":"Wrapped BTC","symbol":"btc"},)"
                             R"({"id":"bitcoin","name":"Bitcoin","symbol":"BTC","market_cap_rank":1}],"exchanges":[]})";
    const Response found = Response::json(coins), priced = Response::json(R"({"bitcoin":{"usd":50000,"usd_24h_change":2}})");
    const struct { const char* name; QString input; Response search, price; AddKind expected; QString message; QString sentQuery; } cases[] = {
        {"best-ranked symbol match", " $btc ", found, priced, AddKind::Added, {}, "btc"},
        {"added even when pricing fails", "btc", found, Response::withStatus(500), AddKind::Added, {}, "btc"},
        {"41 characters", QString(41, QLatin1Char('x')), found, priced, AddKind::UnknownSymbol, {}, {}},
        {"blank", " $ ", found, priced, AddKind::UnknownSymbol, {}, {}},
        {"no coins found", "zzz", Response::json(R"({"coins":[]})"), priced, AddKind::UnknownSymbol, {}, "zzz"},
        {"rate limit", "btc", Response::withStatus(429), priced, AddKind::Unreachable, "CoinGecko rate limit hit, try again in a minute", "btc"},
        {"server error", "btc", Response::withStatus(503), priced, AddKind::Unreachable, "CoinGecko returned HTTP 503", "btc"},
        {"undecodable", "btc", Response::json(R"({"coins":[{"id":1}]})"), priced, AddKind::Unreachable, "Could not reach CoinGecko: ", "btc"},
        {"same symbol as a watched stock", "AAPL", Response::json(R"({"coins":[{"id":"apple-token","name":"Apple Token","symbol":"aapl"}]})"),
         priced, AddKind::Duplicate, {}, "AAPL"},
    };
    for (const auto& c : cases) {
        storeWatchlist({stock("AAPL")});
        server.clearRequests();
        server.route(kCoinSearchPath, c.search);
        server.route(kPricePath, c.price);
        MarketsStore& s = makeStore();
        const QJsonValue storedBefore = defaults->value(MarketsStore::kWatchlistKey);
        const auto result = awaitTask(s.addCoin(c.input));
        ASSERT_TRUE(result.has_value()) << c.name;
        expectText(result->message, c.message, c.name);
        QStringList sent;
        for (const auto& r : server.requestsFor(kCoinSearchPath))
            sent.append(r.query.queryItemValue(QStringLiteral("query")));
        const bool isAdded = c.expected == AddKind::Added;
        EXPECT_EQ(std::tuple(result->kind, sent, server.requestCount(kPricePath)),
                  std::tuple(c.expected, c.sentQuery.isEmpty() ? QStringList{} : QStringList{c.sentQuery}, isAdded ? 1 : 0)) << c.name;
        expectAddOutcome(s, *result, {stock("AAPL")}, storedBefore,
                         isAdded ? std::optional(WatchSymbol{"BTC", WatchSymbol::Kind::Coin, "Bitcoin", QStringLiteral("bitcoin"), {}, {}}) : std::nullopt, c.name);
        // Priced before the result comes back.
        const bool isPriced = isAdded && c.price.status == 200;
        ASSERT_EQ(s.watchQuotes().size(), isPriced ? 1 : 0) << c.name;
        if (isPriced) { EXPECT_EQ(s.watchQuotes()[0].price, 50000.0) << c.name; }
    }
}

TEST_F(StoreTest, RemoveDropsEveryEntryAndQuoteOfTheSymbol)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({stock("ABC"), coin("XRP", "ripple"), coin("ABC", "abc-coin")});
    serveQuotes({});
    server.route(kPricePath, Response::json(R"({"ripple":{"usd":1},"abc-coin":{"usd":2}})"));
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    awaitTask(s.refreshCoins());
    ASSERT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"XRP", "ABC"}));
    s.remove(QStringLiteral("ABC"));
    EXPECT_EQ(symbolsOf(s.watchlist()), QStringList{"XRP"});
    EXPECT_EQ(symbolsOf(s.watchQuotes()), QStringList{"XRP"});
    EXPECT_EQ(savedWatchlist(), s.watchlist());
}

// A symbol removed while a pass is pricing it stays off the strip: the pass
// publishes only what is still watched when it ends, and later passes do not
// bring it back.
TEST_F(StoreTest, ASymbolRemovedDuringAPassStaysRemoved)
{
    struct Case {
        const char* name;
        QList<WatchSymbol> watchlist;
        QString removed;
        bool coinPass;  // else the own-key pass
        QString added;  // a stock added meanwhile keeps the quote its add brought
        QStringList remaining;
    };
    const Case cases[] = {
        {"a stock during the own-key pass", {stock("AAPL"), stock("MSFT"), coin("BTC", "bitcoin")}, "AAPL", false, {}, {"MSFT"}},
        {"a stock during the own-key pass, another added", {stock("AAPL"), stock("MSFT")}, "AAPL", false, "NVDA", {"NVDA", "MSFT"}},
        {"a coin during the coin pass", {coin("BTC", "bitcoin"), stock("AAPL"), coin("ETH", "ethereum")}, "BTC", true, {}, {"ETH"}},
    };
    for (const Case& c : cases) {
        storeKey(QStringLiteral("k"));
        storeWatchlist(c.watchlist);
        server.clearRequests();
        // The last request of each pass is still on its way at the removal.
        serveQuotes({{QStringLiteral("MSFT"), slow(finnhubQuote(100), 300)}});
        server.route(kPricePath, slow(R"({"bitcoin":{"usd":5},"ethereum":{"usd":6}})", 300));
        MarketsStore& s = makeStore();
        QCoro::Task<void> pass = c.coinPass ? s.refreshCoins() : s.refreshOwnKeyQuotes();
        const QString lastPath = c.coinPass ? kPricePath : kQuotePath;
        const int lastRequest = c.coinPass ? 1 : 6;
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount(lastPath) >= lastRequest; }, 5000)) << c.name;
        s.remove(c.removed);
        if (!c.added.isEmpty()) { ASSERT_EQ(awaitTask(s.addStock(c.added, c.added))->kind, AddKind::Added) << c.name; }
        awaitTask(std::move(pass));
        EXPECT_FALSE(symbolsOf(s.stripQuotes()).contains(c.removed)) << c.name;
        EXPECT_EQ(symbolsOf(s.watchQuotes()), c.remaining) << c.name;
        server.route(kPricePath, Response::json(R"({"bitcoin":{"usd":5},"ethereum":{"usd":6}})"));
        serveQuotes({});
        for (int round = 0; round < 2; ++round)
            awaitTask(s.refresh());
        EXPECT_FALSE(symbolsOf(s.stripQuotes()).contains(c.removed)) << c.name << ": after the next passes";
        EXPECT_FALSE(symbolsOf(s.watchQuotes()).contains(c.removed)) << c.name;
    }
}

const QByteArray kHouse = R"({"api_version":"1","as_of":"2026-01-15T12:00:00Z","delayed":true,)"
                          R"("attribution":[{"name":"Frankfurter","url":"https://rates.example/","credit":"ECB"}],"quotes":[)"
                          R"({"symbol":"XYZ","name":"Xyz","kind":"equity","currency":"USD","cadence":"delayed","price":5,"source":"exchange","ok":true},)"
                          R"({"symbol":"EURUSD","name":"Euro","kind":"fx","currency":"USD","cadence":"daily","price":1.08,"source":"frankfurter","ok":true},)"
                          R"({"symbol":"SPY","name":"S&P","kind":"equity","currency":"USD","cadence":"delayed","price":500,"source":"exchange","ok":true}]})";

TEST_F(StoreTest, AFreshHouseSetIsTakenAndANotModifiedOneKeptQuietly)
{
    server.script(kHousePath, {Response::json(kHouse).header("ETag", "\"h1\""), Response::withStatus(304).header("ETag", "\"h1\"")});
    MarketsStore& s = makeStore();
    QSignalSpy key(&s, &MarketsStore::keyStatusChanged);
    awaitTask(s.refreshHouse());
    EXPECT_EQ(symbolsOf(s.house()), (QStringList{"XYZ", "EURUSD", "SPY"}));
    EXPECT_EQ(s.attribution(), (QList<MarketAttribution>{{"Frankfurter", "https://rates.example/", QStringLiteral("ECB")}}));
    EXPECT_EQ(symbolsOf(s.stripQuotes()), (QStringList{"SPY", "EURUSD", "XYZ"}));
    const QList<MarketQuote> house = s.house();
    MarketsLog log;
    QSignalSpy houseSpy(&s, &MarketsStore::houseChanged);
    QSignalSpy attribution(&s, &MarketsStore::attributionChanged);
    awaitTask(s.refreshHouse());
    ASSERT_EQ(server.requestCount(kHousePath), 2);
    EXPECT_EQ(server.requests().last().header("If-None-Match"), QByteArray("\"h1\""));
    EXPECT_EQ(s.house(), house);
    EXPECT_EQ(s.attribution().size(), 1);
    EXPECT_EQ(houseSpy.count() + attribution.count(), 0);
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(key.count(), 0) << "the house set never touches the key status";
}

TEST_F(StoreTest, HouseSetFailuresKeepTheLastGoodSetAndLog)
{
    const std::pair<const char*, Response> cases[] = {
        {"undecodable 2xx", Response::json(R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":[{"symbol":"A"}]})")},
        {"not JSON", Response::text("<html>", "text/html")},
        {"server error after retries", Response::withStatus(500)},
    };
    for (const auto& [name, answer] : cases) {
        server.route(kHousePath, Response::json(kHouse));
        MarketsStore& s = makeStore();
        awaitTask(s.refreshHouse());
        ASSERT_EQ(s.house().size(), 3) << name;
        server.route(kHousePath, answer);
        MarketsLog log;
        runAdvancing(s.refreshHouse());
        EXPECT_EQ(s.house().size(), 3) << name;
        EXPECT_EQ(s.attribution().size(), 1) << name;
        ASSERT_EQ(log.lines().size(), 1) << name;
        expectText(log.lines()[0], QStringLiteral("house set failed: "), name);
    }
}

TEST_F(StoreTest, ACycleEndsWithATimeStampWhateverItsChildrenMet)
{
    storeKey(QStringLiteral("k"));
    storeWatchlist({coin("BTC", "bitcoin")});
    server.route(kHousePath, Response::withStatus(404));
    serveQuotes({{QStringLiteral("SPY"), Response::withStatus(429)}});
    server.route(kPricePath, Response::withStatus(500));
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
    e.apiBase = e.finnhubBase = e.coingeckoBase = catalogue.baseUrl();
    auto defaults = Defaults::inMemory();
    MemorySecretStore secrets;
    FakeTime time;
    {
        MarketsStore s(*defaults, secrets, time, time, e);
        s.setFinnhubKey(QStringLiteral("sample-key"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind != KeyKind::Checking; }, 5000));
        EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::ok());
        EXPECT_EQ(awaitTask(s.addStock(QStringLiteral("nwnd"))).value_or(WatchAddResult{}).kind, AddKind::Added);
        auto coin = awaitTask(s.addCoin(QStringLiteral("sol")));
        ASSERT_TRUE(coin.has_value());
        ASSERT_EQ(coin->kind, AddKind::Added);
        EXPECT_EQ(coin->added->coinId, QStringLiteral("solana"));
        s.setHolding(QStringLiteral("NWND"), 10, 100);

        s.stripAppeared();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.lastUpdated().has_value(); }, 10000));
        s.stripDisappeared();
        const QList<MarketQuote> quotes = s.stripQuotes();
        QStringList symbols = symbolsOf(quotes);
        EXPECT_EQ(symbols.mid(0, 3), (QStringList{"SPY", "QQQ", "DIA"})) << symbols.join(' ').toStdString();
        for (const char* expected : {"BTC", "EURUSD", "GLD", "NWND", "SOL"})
            EXPECT_TRUE(symbols.contains(QString::fromLatin1(expected))) << expected;
        EXPECT_EQ(symbols.removeDuplicates(), 0);
        for (const MarketQuote& q : quotes) {
            if (q.symbol == QLatin1String("SPY")) { EXPECT_EQ(q.source, QStringLiteral("finnhub")) << "own quote beats the house quote"; }
            else if (q.symbol == QLatin1String("NWND")) { EXPECT_EQ(q.holding, (Holding{10, 100})); }
            else if (q.symbol == QLatin1String("SOL")) { EXPECT_TRUE(q.ok && q.price.value_or(0) > 0); }
        }
        EXPECT_FALSE(s.attribution().isEmpty());
        FakeTime::settle();
    }
    FakeTime::settle();
}

} // namespace
