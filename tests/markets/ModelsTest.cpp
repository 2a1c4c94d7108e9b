#include "markets/MarketModels.h"
#include "markets/MarketsStore.h"
#include "markets/MoneyFormat.h"
#include "markets/ProviderRecords.h"
#include "markets/QuoteRow.h"
#include "markets/SymbolRanking.h"
#include "markets/WatchModels.h"

#include <QFontMetricsF>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QLocale kEnUS(QLocale::English, QLocale::UnitedStates);
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const QString kTime = QStringLiteral("2024-05-17T20:00:00Z");
const QString kEpoch = QStringLiteral("1970-01-01T00:00:00Z");

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

Result<MarketsResponse> decodeResponse(const QByteArray& json)
{
    return decodeJson<MarketsResponse>(json);
}

QByteArray withQuote(const QByteArray& quote)
{
    return R"({"api_version":"1","as_of":"2026-01-15T12:00:00Z","delayed":true,"attribution":[],"quotes":[)" + quote + "]}";
}

// A quote with the fields every reply must carry, and `rest` after them.
QByteArray quoteJson(const QByteArray& rest, const QByteArray& cadence = R"("live")", const QByteArray& kind = R"("equity")")
{
    return withQuote(R"({"symbol":"X","name":"X","kind":)" + kind + R"(,"currency":"USD","cadence":)" + cadence
                     + R"(,"source":"s")" + rest + "}");
}

MarketQuote quote(const char* symbol, const char* source = "house", bool ok = true)
{
    MarketQuote q;
    q.symbol = q.name = u8(symbol);
    q.kind = QStringLiteral("equity");
    q.currency = QStringLiteral("USD");
    q.source = u8(source);
    q.ok = ok;
    if (ok)
        q.price = 1;
    return q;
}

MarketQuote liveQuote()
{
    MarketQuote q = quote("SPY", "finnhub");
    q.name = QStringLiteral("S&P 500 ETF");
    q.cadence = QuoteCadence::Live;
    q.price = 512.3;
    q.change = 2.1;
    q.changePct = 0.41;
    return q;
}

TEST(MarketsResponseDecoding, ReadsEveryFieldAndLeavesOptionalOnesOut)
{
    auto r = decodeResponse(R"({"api_version":"2","as_of":"2026-01-15T12:00:00Z","delayed":false,)"
                            R"("attribution":[{"name":"ECB","url":"https://ecb.example","credit":"Rates"},{"name":"O","url":"u"}],)"
                            R"("quotes":[{"symbol":"EURUSD","name":"Euro","kind":"fx","currency":"USD","cadence":"daily",)"
                            R"("price":1.0842,"change":-0.0012,"source":"frankfurter","ok":true,"change_pct":-0.11,"as_of":"2026-01-15"},)"
                            R"({"symbol":"X","name":"X","kind":"equity","currency":"USD","cadence":"live","source":"s","ok":false,)"
                            R"("price":null,"change_pct":null}]})");
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->apiVersion, QStringLiteral("2"));
    EXPECT_EQ(r->asOf, QStringLiteral("2026-01-15T12:00:00Z"));
    EXPECT_FALSE(r->delayed);
    EXPECT_EQ(r->attribution, (QList<MarketAttribution>{{"ECB", "https://ecb.example", QStringLiteral("Rates")}, {"O", "u", {}}}));
    ASSERT_EQ(r->quotes.size(), 2);
    EXPECT_EQ(r->quotes[0], (MarketQuote{"EURUSD", "Euro", "fx", "USD", QuoteCadence::Daily, 1.0842, -0.0012, -0.11,
                                         QStringLiteral("2026-01-15"), "frankfurter", true, {}}));
    EXPECT_EQ(r->quotes[1], (MarketQuote{"X", "X", "equity", "USD", QuoteCadence::Live, {}, {}, {}, {}, "s", false, {}}));

    // Writing leaves absent fields and the holding out, and reads back.
    MarketQuote q = liveQuote();
    q.change.reset();
    q.holding = Holding{3, 150};
    const QJsonObject json = q.toJson(JsonOptions{});
    for (const char* key : {"change", "as_of", "holding"})
        EXPECT_FALSE(json.contains(QLatin1String(key))) << key;
    EXPECT_EQ(json.value(QStringLiteral("cadence")).toString(), QStringLiteral("live"));
    q.holding.reset();
    EXPECT_EQ(MarketQuote::fromJson(json, JsonOptions{}), q);
}

TEST(MarketsResponseDecoding, CadencesAndStrictFailures)
{
    const std::pair<const char*, QuoteCadence> cadences[] = {
        {R"("live")", QuoteCadence::Live}, {R"("daily")", QuoteCadence::Daily}, {R"("delayed")", QuoteCadence::Delayed},
        {R"("weekly")", QuoteCadence::Delayed}, {R"("LIVE")", QuoteCadence::Delayed}, {R"("")", QuoteCadence::Delayed}};
    for (const auto& [cadence, expected] : cadences) {
        auto r = decodeResponse(quoteJson(R"(,"ok":true)", cadence));
        ASSERT_TRUE(r.has_value()) << cadence;
        EXPECT_EQ(r->quotes[0].cadence, expected) << cadence;
    }
    const std::pair<const char*, QByteArray> bad[] = {
        {"missing ok", quoteJson("")},
        {"cadence not a string", quoteJson(R"(,"ok":true)", "1")},
        {"kind not a string", quoteJson(R"(,"ok":true)", R"("live")", "5")},
        {"price a string", quoteJson(R"(,"ok":true,"price":"1")")},
        {"ok a number", quoteJson(R"(,"ok":1)")},
        {"missing symbol", withQuote(R"({"name":"X","kind":"equity","currency":"USD","cadence":"live","source":"s","ok":true})")},
        {"missing attribution", R"({"api_version":"1","as_of":"t","delayed":true,"quotes":[]})"},
        {"attribution without url", R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[{"name":"n"}],"quotes":[]})"},
        {"delayed a string", R"({"api_version":"1","as_of":"t","delayed":"yes","attribution":[],"quotes":[]})"},
        {"quotes not an array", R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":{}})"},
        {"not JSON", "{"},
    };
    for (const auto& [name, json] : bad)
        EXPECT_FALSE(decodeResponse(json).has_value()) << name;
}

TEST(ProviderConversion, FinnhubAndCoinGecko)
{
    struct Case {
        const char* json;
        bool ok;
        std::optional<double> price, change, pct;
        std::optional<QString> asOf;
    };
    const Case finnhub[] = {
        {R"({"c":512.3,"d":-2.1,"dp":-0.41,"pc":514.4,"t":1715976000})", true, 512.3, -2.1, -0.41, kTime},
        {R"({"c":0,"d":null,"dp":null,"pc":0,"t":0})", false, {}, {}, {}, kEpoch},
        {R"({"c":0,"d":1,"dp":2})", false, {}, {}, {}, {}},
        {R"({"c":-1,"t":1715976000})", false, {}, {}, {}, kTime},
        {R"({})", false, {}, {}, {}, {}},
        {R"({"c":10})", true, 10.0, {}, {}, {}},
    };
    for (const Case& c : finnhub) {
        auto record = decodeJson<FinnhubQuote>(c.json);
        ASSERT_TRUE(record.has_value()) << c.json;
        EXPECT_EQ(MarketQuote::fromFinnhub("SPY", "S&P", "equity", *record),
                  (MarketQuote{"SPY", "S&P", "equity", "USD", QuoteCadence::Live, c.price, c.change, c.pct, c.asOf, "finnhub", c.ok, {}}))
            << c.json;
    }
    struct CoinCase {
        const char* name;
        CoinGeckoPrice price;
        bool ok;
        std::optional<double> usd, change, pct;
        std::optional<QString> asOf;
    };
    const CoinCase coins[] = {
        {"price and change", {100.0, 25.0, 1715976000.0}, true, 100.0, 20.0, 25.0, kTime},
        {"zero price", {0.0, 5.0, 1715976000.0}, false, {}, {}, {}, kTime},
        {"no price, time only", {{}, {}, 0.0}, false, {}, {}, {}, kEpoch},
        {"price without change", {42.0, {}, {}}, true, 42.0, {}, {}, {}},
        {"a fall of 100 % has no finite change", {5.0, -100.0, {}}, true, 5.0, {}, -100.0, {}},
    };
    for (const CoinCase& c : coins) {
        const MarketQuote q = MarketQuote::fromCoinGecko("BTC", "Bitcoin", c.price);
        EXPECT_EQ(q, (MarketQuote{"BTC", "Bitcoin", "crypto", "USD", QuoteCadence::Live, c.usd, q.change, c.pct, c.asOf,
                                  "coingecko", c.ok, {}})) << c.name;
        ASSERT_EQ(q.change.has_value(), c.change.has_value()) << c.name;
        if (c.change) { EXPECT_DOUBLE_EQ(*q.change, *c.change) << c.name; }
    }
}

TEST(ProviderRecords, DecodingTable)
{
    EXPECT_TRUE(decodeJson<FinnhubQuote>("{}").has_value());
    EXPECT_FALSE(decodeJson<FinnhubQuote>(R"({"c":"1"})").has_value());
    EXPECT_FALSE(decodeJson<FinnhubSearch>(R"({"count":0})").has_value());
    EXPECT_TRUE(decodeJson<FinnhubSearch>(R"({"result":[]})").value_or(FinnhubSearch{{{"n", "s", "t"}}}).result.isEmpty());
    EXPECT_FALSE(decodeJson<FinnhubSearch>(R"({"result":[{"symbol":"A","type":"x"}]})").has_value());
    auto coins = decodeJson<CoinGeckoSearch>(
        R"({"coins":[{"id":"bitcoin","name":"Bitcoin","symbol":"BTC","market_cap_rank":null,"thumb":"x"}],"exchanges":[]})");
    ASSERT_TRUE(coins.has_value());
    EXPECT_EQ(coins->coins, (QList<CoinGeckoSearch::Coin>{{"bitcoin", "Bitcoin", "BTC", std::nullopt}}));
    EXPECT_FALSE(decodeJson<CoinGeckoSearch>(R"({"coins":[{"id":"x","name":"y"}]})").has_value());
    EXPECT_FALSE(decodeJson<CoinGeckoSearch>(R"({"coins":[{"id":"x","name":"y","symbol":"z","market_cap_rank":1.5}]})"));
    auto prices = CoinGeckoPrice::mapFromJson(R"({"bitcoin":{"usd":50000,"usd_24h_change":-1.5,"last_updated_at":1715976000},"eth":{}})");
    ASSERT_TRUE(prices.has_value());
    EXPECT_EQ(prices->value(QStringLiteral("bitcoin")), (CoinGeckoPrice{50000.0, -1.5, 1715976000.0}));
    EXPECT_EQ(prices->value(QStringLiteral("eth")), CoinGeckoPrice{});
    EXPECT_FALSE(CoinGeckoPrice::mapFromJson(R"({"bitcoin":5})").has_value());
    EXPECT_FALSE(CoinGeckoPrice::mapFromJson(R"([])").has_value());
}

TEST(QuoteTexts, MoneyChangeAndHolding)
{
    const QLocale de(QLocale::German, QLocale::Germany);
    const struct { double value; bool fx; QLocale locale; const char* expected; } money[] = {
        {999.5, false, kEnUS, "999.50"}, {1000, false, kEnUS, "1,000"}, {1234.567, false, kEnUS, "1,235"},
        {1.2, true, kEnUS, "1.2000"}, {1500, true, kEnUS, "1,500.0000"}, {0, false, kEnUS, "0.00"},
        {0.125, false, kEnUS, "0.12"}, {0.375, false, kEnUS, "0.38"}, {1234.5, false, kEnUS, "1,234"},
        {1235.5, false, kEnUS, "1,236"}, {999.994, false, kEnUS, "999.99"}, {1234567.89, false, kEnUS, "1,234,568"},
        {0.00005, true, kEnUS, "0.0000"}, {12.34565, true, kEnUS, "12.3456"}, {12.34575, true, kEnUS, "12.3458"},
        {1234.5, true, de, "1.234,5000"}, {12.5, false, QLocale(QLocale::French, QLocale::France), "12,50"},
    };
    for (const auto& c : money)
        EXPECT_EQ(formatMoney(c.value, c.fx, c.locale), u8(c.expected)) << c.value << " fx=" << c.fx;

    // The change text keeps its digits whatever the default locale.
    const std::pair<std::optional<double>, const char*> changes[] = {
        {1.234, "▲ 1.23%"}, {-0.4, "▼ 0.40%"}, {0.0, "● 0.00%"}, {-0.004, "▼ 0.00%"}, {0.005, "▲ 0.01%"},
        {1234.5, "▲ 1234.50%"}, {std::nullopt, "—"}};
    const QLocale previous;
    QLocale::setDefault(de);
    for (const auto& [pct, expected] : changes) {
        MarketQuote q;
        q.changePct = pct;
        EXPECT_EQ(q.changeText(), u8(expected)) << expected;
    }
    QLocale::setDefault(previous);

    const struct { double price; std::optional<Holding> holding; const char* kind; bool ok; const char* expected; } holdings[] = {
        {112.34, Holding{100, 100}, "equity", true, "▲ 1,234 (12.3%)"}, {90, Holding{10, 100}, "equity", true, "▼ 100.00 (10.0%)"},
        {12.34, Holding{100, 0}, "equity", true, "▲ 1,234"}, {50, Holding{2, 50}, "equity", true, "● 0.00 (0.0%)"},
        {1.1, Holding{1000, 1.0}, "fx", true, "▲ 100.0000 (10.0%)"}, {112.34, Holding{100, 100}, "equity", false, nullptr},
        {1, std::nullopt, "equity", true, nullptr},
    };
    for (const auto& c : holdings) {
        MarketQuote q;
        q.kind = u8(c.kind);
        q.price = c.price;
        q.ok = c.ok;
        q.holding = c.holding;
        EXPECT_EQ(q.holdingText(kEnUS), c.expected ? std::optional(u8(c.expected)) : std::nullopt) << c.price;
    }
    MarketQuote noPrice = quote("X");
    noPrice.price.reset();
    noPrice.holding = Holding{1, 1};
    EXPECT_FALSE(noPrice.holdingText(kEnUS).has_value());
}

TEST(WatchSymbolCoding, RoundTripValidityAndAllOrNothingLists)
{
    const WatchSymbol plain{"AAPL", WatchSymbol::Kind::Stock, "Apple", {}, {}, {}};
    EXPECT_EQ(plain.toJson(JsonOptions{}), (QJsonObject{{"kind", "stock"}, {"name", "Apple"}, {"symbol", "AAPL"}}));
    const WatchSymbol coin{"BTC", WatchSymbol::Kind::Coin, "Bitcoin", QStringLiteral("bitcoin"), 0.5, 30000.0};
    EXPECT_EQ(WatchSymbol::decodeList(*WatchSymbol::encodeList({plain, coin})), (QList<WatchSymbol>{plain, coin}));
    WatchSymbol infinite = coin;
    infinite.units = kInf;
    EXPECT_FALSE(WatchSymbol::encodeList({infinite}).has_value()) << "infinity cannot be stored";

    const std::pair<const char*, QByteArray> bad[] = {
        {"unknown kind", R"([{"symbol":"A","kind":"stock","name":"A"},{"symbol":"B","kind":"bond","name":"B"}])"},
        {"missing name", R"([{"symbol":"A","kind":"stock"}])"},
        {"units a string", R"([{"symbol":"A","kind":"stock","name":"A","units":"2"}])"},
        {"not an array", R"({"symbol":"A","kind":"stock","name":"A"})"},
    };
    for (const auto& [name, json] : bad) {
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        EXPECT_FALSE(WatchSymbol::decodeList(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()))) << name;
    }
    const struct { std::optional<double> units, cost; bool valid; } holdings[] = {
        {2.0, 0.0, true}, {2.0, 10.0, true}, {0.0, 10.0, false}, {-1.0, 1.0, false}, {2.0, -0.01, false}, {2.0, {}, false},
        {{}, 1.0, false}, {kInf, 1.0, false}, {1.0, kInf, false}, {kNaN, 1.0, false}, {1.0, kNaN, false}};
    for (const auto& c : holdings)
        EXPECT_EQ(isValidHolding(c.units, c.cost), c.valid) << c.units.value_or(-9) << " " << c.cost.value_or(-9);
}

QString describe(const QList<MarketQuote>& list)
{
    QStringList parts;
    for (const MarketQuote& q : list)
        parts.append(q.symbol + QLatin1Char('/') + q.source);
    return parts.join(QLatin1Char(' '));
}

QList<MarketQuote> quotes(std::initializer_list<const char*> symbols, const char* source)
{
    QList<MarketQuote> out;
    for (const char* s : symbols)
        out.append(quote(s, source));
    return out;
}

TEST(MergeQuotes, OrderAndWinners)
{
    const struct { const char* name; QList<MarketQuote> house, own; const char* expected; } cases[] = {
        {"nothing at all", {}, {}, ""},
        {"own beats house, others keep house order", quotes({"SPY", "EURUSD", "XYZ"}, "house"), quotes({"SPY"}, "own"),
         "SPY/own EURUSD/house XYZ/house"},
        {"leading symbols first", quotes({"AAA", "GLD", "BTC"}, "house"), quotes({"ZZZ"}, "own"), "BTC/house GLD/house AAA/house ZZZ/own"},
        {"the whole leading order", quotes({"OIL", "GLD", "GBPUSD", "EURUSD", "ETH", "BTC", "DIA", "QQQ", "SPY"}, "house"), {},
         "SPY/house QQQ/house DIA/house BTC/house ETH/house EURUSD/house GBPUSD/house GLD/house OIL/house"},
        {"a later own quote beats an earlier one", {}, {quote("AAA", "byok"), quote("BBB", "byok"), quote("AAA", "watch")},
         "AAA/watch BBB/byok"},
        {"symbols compare case-sensitively", quotes({"spy"}, "house"), quotes({"SPY"}, "own"), "SPY/own spy/house"},
        {"a remaining symbol keeps its first position, house first", quotes({"AAA", "BBB"}, "house"), quotes({"CCC", "AAA"}, "own"),
         "AAA/own BBB/house CCC/own"},
        {"an unusable own placeholder still wins", quotes({"GLD"}, "house"), {quote("GLD", "finnhub", false)}, "GLD/finnhub"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(MarketsStore::mergeQuotes(c.house, c.own)), u8(c.expected)) << c.name;
}

TEST(ApplyHoldings, OnlyValidPairsAttachAndALaterEntryWins)
{
    auto entry = [](const char* symbol, std::optional<double> units, std::optional<double> cost) {
        return WatchSymbol{u8(symbol), WatchSymbol::Kind::Stock, QString(), {}, units, cost};
    };
    const struct { QList<WatchSymbol> entries; std::optional<Holding> expected; } cases[] = {
        {{entry("A", 2, 10)}, Holding{2, 10}}, {{entry("A", 0, 10)}, std::nullopt}, {{entry("A", 2, std::nullopt)}, std::nullopt},
        {{entry("A", 1, 1), entry("A", 5, 5)}, Holding{5, 5}}, {{entry("Z", 1, 1)}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto out = MarketsStore::applyHoldings(c.entries, {quote("A"), quote("B")});
        ASSERT_EQ(out.size(), 2);
        EXPECT_EQ(out[0].holding, c.expected) << c.entries.size();
        EXPECT_FALSE(out[1].holding.has_value());
    }
}

TEST(SymbolRanking, StockSuggestionsCoinPicksAndInputCleaning)
{
    auto results = [](std::initializer_list<const char*> symbols) {
        QList<FinnhubSearch::Result> out;
        for (const char* s : symbols)
            out.append({QStringLiteral("name of ") + u8(s), u8(s), QStringLiteral("Common Stock")});
        return out;
    };
    const struct { const char* name; QList<FinnhubSearch::Result> results; const char* query; const char* expected; } stocks[] = {
        {"exact, plain, then suffixed", results({"AAPL.MX", "APLE", "AAPL"}), "aapl", "AAPL APLE AAPL.MX"},
        {"case and dollar duplicates keep the first", results({"aapl", "$AAPL", "AAPL"}), "x", "AAPL"},
        {"at most six", results({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9"}), "zz", "A1 A2 A3 A4 A5 A6"},
        {"empty symbols are skipped", results({"", "$", "B"}), "b", "B"},
        {"query normalised like symbols", results({"X.L", "BRK.B"}), " $brk.b ", "BRK.B X.L"},
        {"exact match beyond six still leads", results({"A1", "A2", "A3", "A4", "A5", "A6", "Q"}), "q", "Q A1 A2 A3 A4 A5"},
    };
    for (const auto& c : stocks) {
        QStringList symbols;
        for (const auto& s : stockSuggestions(c.results, u8(c.query)))
            symbols.append(s.symbol);
        EXPECT_EQ(symbols.join(QLatin1Char(' ')), u8(c.expected)) << c.name;
    }
    EXPECT_EQ(stockSuggestions(results({"$msft"}), QStringLiteral("msft")),
              (QList<StockSuggestion>{{"MSFT", "name of $msft", "Common Stock"}}));

    using Coin = CoinGeckoSearch::Coin;
    auto coin = [](const char* id, const char* name, const char* symbol, std::optional<qint64> rank) {
        return Coin{u8(id), u8(name), u8(symbol), rank};
    };
    const struct { const char* name; QList<Coin> coins; const char* query; const char* expectedId; } picks[] = {
        {"no coins", {}, "btc", nullptr},
        {"rank beats a missing rank", {coin("a", "A", "BTC", std::nullopt), coin("b", "B", "btc", 2)}, "Btc", "b"},
        {"equal ranks keep answer order", {coin("a", "A", "ETH", 5), coin("b", "B", "ETH", 5)}, "eth", "a"},
        {"lower rank wins", {coin("a", "A", "X", 9), coin("b", "B", "X", 3), coin("c", "C", "X", 4)}, "x", "b"},
        {"name match when no symbol matches", {coin("a", "Alpha", "ALP", 1), coin("b", "Bitcoin", "XBT", 2)}, "bitcoin", "b"},
        {"symbol match beats an earlier name match", {coin("a", "sol", "AAA", 1), coin("b", "Solana", "SOL", 9)}, "SOL", "b"},
        {"otherwise the first coin", {coin("a", "Alpha", "ALP", 7), coin("b", "Beta", "BET", 1)}, "zzz", "a"},
    };
    for (const auto& c : picks) {
        const auto picked = pickCoin(c.coins, u8(c.query));
        EXPECT_EQ(picked ? std::optional(picked->id) : std::nullopt, c.expectedId ? std::optional(u8(c.expectedId)) : std::nullopt)
            << c.name;
    }

    const std::pair<const char*, const char*> symbols[] = {{"  $aapl\n", "AAPL"}, {"vod.l", "VOD.L"}, {"brk b", "BRK B"}, {" $ $ ", ""}};
    for (const auto& [text, expected] : symbols)
        EXPECT_EQ(normalizedStockSymbol(u8(text)), u8(expected)) << text;
    EXPECT_EQ(cleanedQuery(QStringLiteral(" $Bit$coin ")), QStringLiteral("Bitcoin"));
    EXPECT_EQ(perceivedLength(QStringLiteral("e\u0301")), 1) << "a combining accent is one character";
    EXPECT_EQ(perceivedLength(QStringLiteral("\U0001F600")), 1) << "a surrogate pair is one character";
}

TEST(QuoteRowLayout, TextsBadgesColoursAndLabelPerQuoteState)
{
    const QColor white = Qt::white, up = QuoteRowLayout::quoteUp(), down = QuoteRowLayout::quoteDown(), flat = QuoteRowLayout::quoteFlat();
    QColor dim = Qt::white;
    dim.setAlphaF(0.45f);
    struct Case {
        const char* name;
        std::function<void(MarketQuote&)> edit;
        const char *price, *change;
        QColor changeColor, strong;  // strong: symbol and price
        const char* badge;
        bool unavailable;
        const char* holding;
        QColor holdingColor;
        const char* label;
    };
    const Case cases[] = {
        {"live and up", [](MarketQuote&) {}, "512.30", "▲ 0.41%", up, white, nullptr, false, nullptr, {}, "S&P 500 ETF 512.30 ▲ 0.41%"},
        {"down", [](MarketQuote& q) { q.changePct = -1.5; }, "512.30", "▼ 1.50%", down, white, nullptr, false, nullptr, {}, nullptr},
        {"exactly flat", [](MarketQuote& q) { q.changePct = 0.0; }, "512.30", "● 0.00%", flat, white, nullptr, false, nullptr, {}, nullptr},
        {"no change percentage", [](MarketQuote& q) { q.changePct.reset(); }, "512.30", "—", flat, white, nullptr, false, nullptr, {}, nullptr},
        {"unavailable, no price", [](MarketQuote& q) { q.ok = false; q.price.reset(); q.holding = Holding{1, 1}; }, "—", "▲ 0.41%",
         flat, dim, nullptr, true, nullptr, {}, "S&P 500 ETF — ▲ 0.41%"},
        {"delayed", [](MarketQuote& q) { q.cadence = QuoteCadence::Delayed; }, "512.30", "▲ 0.41%", up, white, "DELAYED", false, nullptr, {}, nullptr},
        {"daily ECB fix", [](MarketQuote& q) { q.cadence = QuoteCadence::Daily; q.source = "frankfurter"; q.kind = "fx"; q.price = 1.0842; },
         "1.0842", "▲ 0.41%", up, white, "ECB FIX", false, nullptr, {}, nullptr},
        {"daily elsewhere", [](MarketQuote& q) { q.cadence = QuoteCadence::Daily; q.price = 1.0842; }, "1.08", "▲ 0.41%", up, white, "DAILY",
         false, nullptr, {}, nullptr},
        {"thousands without digits", [](MarketQuote& q) { q.price = 43210.7; }, "43,211", "▲ 0.41%", up, white, nullptr, false, nullptr, {}, nullptr},
        {"holding in profit", [](MarketQuote& q) { q.holding = Holding{10, 500}; }, "512.30", "▲ 0.41%", up, white, nullptr, false,
         "▲ 123.00 (2.5%)", up, "S&P 500 ETF 512.30 ▲ 0.41% holding ▲ 123.00 (2.5%)"},
        {"holding at a loss", [](MarketQuote& q) { q.holding = Holding{1, 600}; }, "512.30", "▲ 0.41%", up, white, nullptr, false,
         "▼ 87.70 (14.6%)", down, nullptr},
        {"holding at cost", [](MarketQuote& q) { q.holding = Holding{3, 512.3}; }, "512.30", "▲ 0.41%", up, white, nullptr, false,
         "● 0.00 (0.0%)", flat, nullptr},
    };
    auto opt = [](const char* text) { return text ? std::optional(u8(text)) : std::nullopt; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MarketQuote q = liveQuote();
        c.edit(q);
        const auto l = QuoteRowLayout::make(q, 2, kEnUS);
        EXPECT_EQ(std::tuple(l.symbol.text, l.price.text, l.change.text, l.name.text), std::tuple("SPY", u8(c.price), u8(c.change), q.name));
        EXPECT_EQ(std::tuple(l.change.color, l.symbol.color, l.price.color), std::tuple(c.changeColor, c.strong, c.strong));
        EXPECT_EQ(l.badge ? std::optional(l.badge->text) : std::nullopt, opt(c.badge));
        EXPECT_EQ(l.unavailable ? std::optional(l.unavailable->text) : std::nullopt, c.unavailable ? opt("UNAVAILABLE") : std::nullopt);
        EXPECT_EQ(l.holding ? std::optional(l.holding->text) : std::nullopt, opt(c.holding));
        if (l.holding) { EXPECT_EQ(l.holding->color, c.holdingColor); }
        if (c.label) { EXPECT_EQ(l.accessibleLabel, u8(c.label)); }
    }
}

// A provider's name of any length makes a cell of the same size as a
// readable one; the name is cut at a word, with an ellipsis.
TEST(QuoteRowLayout, AHugeNameIsCutAndTheCellStaysSmall)
{
    MarketQuote q = liveQuote();
    const QSizeF readable = QuoteRowLayout::make(q, 4, kEnUS).idealSize;
    while (q.name.size() < 2'500'000)
        q.name += QStringLiteral(" S&P 500 ETF");
    const auto l = QuoteRowLayout::make(q, 4, kEnUS);
    EXPECT_LT(l.idealSize.width(), readable.width() + 1000);
    EXPECT_TRUE(l.name.text.endsWith(QChar(0x2026)));
    EXPECT_TRUE(q.name.startsWith(l.name.text.chopped(1) + u' '));
    EXPECT_TRUE(l.accessibleLabel.startsWith(l.name.text + QStringLiteral(" 512.30")));
}

TEST(QuoteRowLayout, GeometryGrowsWithTheSizeCodeAndPartsStayApart)
{
    MarketQuote full = liveQuote();
    full.cadence = QuoteCadence::Delayed;
    full.holding = Holding{1, 1};
    MarketQuote unusable = liveQuote();
    unusable.ok = false;
    unusable.price.reset();
    for (const MarketQuote& q : {full, unusable}) {
        QSizeF previous;
        for (int size : {1, 2, 4}) {
            const auto l = QuoteRowLayout::make(q, size, kEnUS);
            const QSizeF ideal = l.idealSize;
            EXPECT_TRUE(std::isfinite(ideal.width()) && std::isfinite(ideal.height()) && !ideal.isEmpty()) << size;
            if (previous.isValid()) { EXPECT_TRUE(ideal.width() > previous.width() && ideal.height() > previous.height()) << size; }
            previous = ideal;
            if (!q.ok)
                continue;
            const QRectF cell(QPointF(), ideal);
            const QList<QRectF> rects{l.chip, l.price.rect, l.change.rect, l.name.rect, l.holding->rect, l.badge->rect};
            for (int i = 0; i < rects.size(); ++i) {
                EXPECT_TRUE(cell.contains(rects[i])) << size << " part " << i;
                for (int j = i + 1; j < rects.size(); ++j)
                    EXPECT_FALSE(rects[i].intersects(rects[j])) << size << " parts " << i << "," << j;
            }
            EXPECT_TRUE(l.chip.contains(l.symbol.rect)) << size;
            EXPECT_LT(l.price.rect.bottom(), l.name.rect.top() + 0.001) << "line 1 above line 2";
            EXPECT_TRUE(l.price.rect.left() == l.name.rect.left() && l.change.rect.left() > l.price.rect.right()
                        && l.holding->rect.left() > l.name.rect.right()) << "the lines start together, their parts apart, at " << size;
        }
        EXPECT_EQ(QuoteRowLayout::make(q, 3, kEnUS).idealSize, QuoteRowLayout::make(q, 2, kEnUS).idealSize);
        EXPECT_EQ(QuoteRowLayout::make(q, 0, kEnUS).idealSize, QuoteRowLayout::make(q, 2, kEnUS).idealSize);
    }
}

int countPixels(const QImage& image, const std::function<bool(QColor)>& match)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

// The row as a widget paints its change in the change colour.
TEST(QuoteRowWidget, PaintsAtItsIdealSizeInTheChangeColour)
{
    using Match = std::function<bool(QColor)>;
    const Match greenish = [](QColor c) { return c.alpha() > 200 && c.green() > 180 && c.red() < 140; };
    const Match reddish = [](QColor c) { return c.alpha() > 200 && c.red() > 200 && c.green() < 150; };
    MarketQuote q = liveQuote();
    QuoteRow row(q, 4);
    row.setLocale(kEnUS);
    const QSizeF ideal = QuoteRowLayout::make(q, 4, kEnUS).idealSize;
    EXPECT_EQ(row.sizeHint(), ideal.toSize());
    EXPECT_EQ(row.accessibleName(), QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41%"));
    for (const auto& [pct, colour, other] : {std::tuple(0.41, greenish, reddish), std::tuple(-2.0, reddish, greenish)}) {
        q.changePct = pct;
        row.setQuote(q, 2);
        row.resize(row.sizeHint());
        QImage image(row.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        row.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_GT(countPixels(image, [](QColor c) { return c.alpha() > 0; }), 100) << pct;
        EXPECT_GT(countPixels(image, colour), 10) << pct;
        EXPECT_EQ(countPixels(image, other), 0) << pct;
    }
    q.symbol = q.name = QStringLiteral("A");
    row.setQuote(q, 1);
    EXPECT_LT(row.sizeHint().width(), ideal.width());
    EXPECT_EQ(row.sizeCode(), 1);
}

// A font whose digit characters differ in width: the URW dingbats font maps
// them to symbols of their own sizes.
TEST(QuoteRowLayout, FiguresKeepTheirWidthAsValuesChange)
{
    QFont uneven(QStringLiteral("D050000L"));
    uneven.setPixelSize(22);
    ASSERT_NE(QFontMetricsF(uneven).horizontalAdvance(u'1'), QFontMetricsF(uneven).horizontalAdvance(u'8')) << "needs fonts-urw-base35";
    for (const char* text : {"$8,808.80", "$4,567.89", "$1,111.11"})
        EXPECT_DOUBLE_EQ(QuoteRowLayout::tabularWidth(text, uneven), QuoteRowLayout::tabularWidth("$0,000.00", uneven)) << text;
    // Each digit sits in a cell of its own: "81" is "8" with "1" one cell on.
    auto drawn = [&](const QList<std::pair<QString, qreal>>& pieces) {
        QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setPen(Qt::white);
        for (const auto& [text, x] : pieces)
            QuoteRowLayout::drawTabular(painter, QRectF(x, 0, 100, 40), text, uneven);
        return image;
    };
    EXPECT_EQ(drawn({{"81", 0}}), drawn({{"8", 0}, {"1", QuoteRowLayout::tabularWidth(QStringLiteral("0"), uneven)}}));

    MarketQuote low = liveQuote();
    low.price = 1111.11;
    low.changePct = 1.11;
    low.holding = Holding{1, 0};
    MarketQuote high = low;
    high.price = 8888.88;
    high.changePct = 8.88;
    for (int size : {1, 2, 4}) {
        const auto a = QuoteRowLayout::make(low, size, kEnUS);
        const auto b = QuoteRowLayout::make(high, size, kEnUS);
        ASSERT_EQ(a.price.text.size(), b.price.text.size());
        ASSERT_EQ(a.holding->text.size(), b.holding->text.size());
        EXPECT_EQ(a.price.rect.width(), b.price.rect.width()) << size;
        EXPECT_EQ(a.change.rect.width(), b.change.rect.width()) << size;
        EXPECT_EQ(a.holding->rect.width(), b.holding->rect.width()) << size;
        EXPECT_EQ(a.idealSize, b.idealSize) << "the row does not jitter at size " << size;
    }
}

} // namespace
