#include "MarketsFixture.h"

#include "Await.h"

#include <QSignalSpy>

namespace {

using AddKind = WatchAddResult::Kind;

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
    const MarketQuote& btc = s.watchQuotes()[1];
    EXPECT_TRUE(btc.ok);
    EXPECT_EQ(btc.name, QStringLiteral("BTC coin"));
    EXPECT_EQ(btc.price, 100.0);
    EXPECT_DOUBLE_EQ(btc.change.value_or(0), 20.0);
    EXPECT_EQ(btc.changePct, 25.0);
    EXPECT_EQ(btc.asOf, QStringLiteral("2024-05-17T20:00:00Z"));
    const MarketQuote& eth = s.watchQuotes()[2];
    EXPECT_FALSE(eth.ok);
    EXPECT_FALSE(eth.price || eth.change || eth.changePct || eth.asOf);
    EXPECT_EQ(eth.kind, QStringLiteral("crypto"));
    EXPECT_EQ(eth.source, QStringLiteral("coingecko"));

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

} // namespace
