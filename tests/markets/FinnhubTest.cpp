#include "MarketsFixture.h"

#include "Await.h"

#include "markets/SymbolRanking.h"

#include <QSignalSpy>

namespace {

using KeyKind = MarketsStore::KeyStatus::Kind;
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
    storeWatchlist({stock("AAPL"), coin("BTC", "bitcoin"), stock("MSFT")});
    serveQuotes({{QStringLiteral("AAPL"), Response::json(finnhubQuote(190.5, 1.25))}});
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(quotedSymbols(), (QStringList{"SPY", "QQQ", "DIA", "GLD", "AAPL", "MSFT"}));
    EXPECT_EQ(symbolsOf(s.byok()), (QStringList{"SPY", "QQQ", "DIA", "GLD"}));
    EXPECT_EQ(s.byok()[0].name, QStringLiteral("S&P 500 ETF"));
    EXPECT_EQ(s.byok()[3].name, QStringLiteral("Gold ETF"));
    EXPECT_EQ(symbolsOf(s.watchQuotes()), (QStringList{"AAPL", "MSFT"}));
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

TEST_F(FinnhubTest, SymbolsTravelIntactInTheAddress)
{
    storeWatchlist({stock("A&B+C D"), stock("VOD.L")});
    serveQuotes({});
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(quotedSymbols().mid(4), (QStringList{"A&B+C D", "VOD.L"}));
}

TEST_F(FinnhubTest, RejectionKeepsWatchQuotesAndFailedPassesNeverClearTheHouseSet)
{
    storeWatchlist({stock("AAPL")});
    serveQuotes({});
    MarketsStore& s = makeStore();
    awaitTask(s.refreshOwnKeyQuotes());
    const QList<MarketQuote> before = s.watchQuotes();
    serveQuotes({{QStringLiteral("SPY"), Response::json(R"({"error":"Invalid API key"})", 401)}});
    QSignalSpy watch(&s, &MarketsStore::watchQuotesChanged);
    awaitTask(s.refreshOwnKeyQuotes());
    EXPECT_EQ(s.keyStatus(), MarketsStore::KeyStatus::rejected());
    EXPECT_TRUE(s.byok().isEmpty());
    EXPECT_EQ(s.watchQuotes(), before);
    EXPECT_EQ(watch.count(), 0);
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

} // namespace
