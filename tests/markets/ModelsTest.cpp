#include "markets/MarketModels.h"
#include "markets/MoneyFormat.h"
#include "markets/ProviderRecords.h"
#include "markets/WatchModels.h"
#include "markets/MarketsStore.h"
#include "markets/SymbolRanking.h"
#include "markets/QuoteRow.h"

#include <QFontMetricsF>
#include <QImage>
#include <QJsonDocument>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QLocale kEnUS(QLocale::English, QLocale::UnitedStates);

Result<MarketsResponse> decodeResponse(const QByteArray& json)
{
    return decodeJson<MarketsResponse>(json);
}

QByteArray responseWithQuote(const QByteArray& quote)
{
    return R"({"api_version":"1","as_of":"2026-01-15T12:00:00Z","delayed":true,"attribution":[],"quotes":[)" + quote
        + "]}";
}

const QByteArray kFullQuote = R"({"symbol":"EURUSD","name":"Euro","kind":"fx","currency":"USD","cadence":"daily",)"
                              R"("price":1.0842,"change":-0.0012,"source":"frankfurter","ok":true,"change_pct":-0.11,)"
                              R"("as_of":"2026-01-15"})";

TEST(MarketsResponseDecoding, ReadsEveryFieldOfAFullReply)
{
    const QByteArray json = R"({"api_version":"2","as_of":"2026-01-15T12:00:00Z","delayed":false,)"
                            R"("attribution":[{"name":"ECB","url":"https://ecb.example","credit":"Rates"},)"
                            R"({"name":"Other","url":"https://o.example"}],"quotes":[)"
        + kFullQuote + "]}";
    auto r = decodeResponse(json);
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    EXPECT_EQ(r->apiVersion, QStringLiteral("2"));
    EXPECT_FALSE(r->delayed);
    ASSERT_EQ(r->attribution.size(), 2);
    EXPECT_EQ(r->attribution[0].credit, QStringLiteral("Rates"));
    EXPECT_FALSE(r->attribution[1].credit.has_value());
    ASSERT_EQ(r->quotes.size(), 1);
    const MarketQuote& q = r->quotes[0];
    EXPECT_EQ(q.symbol, QStringLiteral("EURUSD"));
    EXPECT_EQ(q.kind, QStringLiteral("fx"));
    EXPECT_EQ(q.cadence, QuoteCadence::Daily);
    EXPECT_EQ(q.price, 1.0842);
    EXPECT_EQ(q.change, -0.0012);
    EXPECT_EQ(q.changePct, -0.11);
    EXPECT_EQ(q.asOf, QStringLiteral("2026-01-15"));
    EXPECT_EQ(q.source, QStringLiteral("frankfurter"));
    EXPECT_TRUE(q.ok);
    EXPECT_FALSE(q.holding.has_value());
}

TEST(MarketsResponseDecoding, OptionalQuoteFieldsMayBeMissingOrNull)
{
    auto r = decodeResponse(responseWithQuote(
        R"({"symbol":"X","name":"X","kind":"equity","currency":"USD","cadence":"live","source":"s","ok":false,)"
        R"("price":null,"change_pct":null})"));
    ASSERT_TRUE(r.has_value()) << r.error().description.toStdString();
    const MarketQuote& q = r->quotes[0];
    EXPECT_FALSE(q.price || q.change || q.changePct || q.asOf);
    EXPECT_EQ(q.changeText(), QStringLiteral("\u2014"));
    MarketQuote held = q;
    held.holding = Holding{1, 1};
    EXPECT_FALSE(held.holdingText(kEnUS).has_value());
}

TEST(MarketsResponseDecoding, CadenceMapping)
{
    struct Case {
        const char* cadence;
        QuoteCadence expected;
    };
    for (const Case& c : {Case{"\"live\"", QuoteCadence::Live}, Case{"\"daily\"", QuoteCadence::Daily},
                          Case{"\"delayed\"", QuoteCadence::Delayed}, Case{"\"weekly\"", QuoteCadence::Delayed},
                          Case{"\"LIVE\"", QuoteCadence::Delayed}, Case{"\"\"", QuoteCadence::Delayed}}) {
        auto r = decodeResponse(responseWithQuote(
            QByteArray(R"({"symbol":"X","name":"X","kind":"equity","currency":"USD","cadence":)") + c.cadence
            + R"(,"source":"s","ok":true})"));
        ASSERT_TRUE(r.has_value()) << c.cadence;
        EXPECT_EQ(r->quotes[0].cadence, c.expected) << c.cadence;
    }
}

TEST(MarketsResponseDecoding, StrictFailuresRejectTheWholeReply)
{
    const QByteArray good = R"("symbol":"X","name":"X","kind":"equity","currency":"USD","cadence":"live","source":"s")";
    const QList<std::pair<const char*, QByteArray>> cases = {
        {"missing ok", responseWithQuote("{" + good + "}")},
        {"cadence not a string", responseWithQuote(R"({"symbol":"X","name":"X","kind":"equity","currency":"USD",)"
                                                   R"("cadence":1,"source":"s","ok":true})")},
        {"kind not a string", responseWithQuote(R"({"symbol":"X","name":"X","kind":5,"currency":"USD",)"
                                                R"("cadence":"live","source":"s","ok":true})")},
        {"price a string", responseWithQuote("{" + good + R"(,"ok":true,"price":"1"})")},
        {"ok a number", responseWithQuote("{" + good + R"(,"ok":1})")},
        {"missing symbol", responseWithQuote(R"({"name":"X","kind":"equity","currency":"USD","cadence":"live",)"
                                             R"("source":"s","ok":true})")},
        {"missing attribution", R"({"api_version":"1","as_of":"t","delayed":true,"quotes":[]})"},
        {"attribution without url", R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[{"name":"n"}],"quotes":[]})"},
        {"delayed a string", R"({"api_version":"1","as_of":"t","delayed":"yes","attribution":[],"quotes":[]})"},
        {"quotes not an array", R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":{}})"},
        {"not JSON", "{"},
    };
    for (const auto& [name, json] : cases)
        EXPECT_FALSE(decodeResponse(json).has_value()) << name;
    EXPECT_TRUE(decodeResponse(R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":[]})"));
}

TEST(MarketQuoteCoding, WritingLeavesOutAbsentFieldsAndTheHoldingAndReadsBack)
{
    MarketQuote q;
    q.symbol = QStringLiteral("AAPL");
    q.name = QStringLiteral("Apple");
    q.kind = QStringLiteral("equity");
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.price = 190.5;
    q.source = QStringLiteral("finnhub");
    q.ok = true;
    q.holding = Holding{3, 150};
    const QJsonObject json = q.toJson(JsonOptions{});
    EXPECT_FALSE(json.contains(QStringLiteral("change")));
    EXPECT_FALSE(json.contains(QStringLiteral("change_pct")));
    EXPECT_FALSE(json.contains(QStringLiteral("as_of")));
    EXPECT_FALSE(json.contains(QStringLiteral("holding")));
    EXPECT_EQ(json.value(QStringLiteral("cadence")).toString(), QStringLiteral("live"));
    auto back = MarketQuote::fromJson(json, JsonOptions{});
    ASSERT_TRUE(back.has_value());
    MarketQuote expected = q;
    expected.holding.reset();
    EXPECT_EQ(*back, expected);
}

TEST(FinnhubConversion, OkExactlyWhenCurrentPriceIsAboveZero)
{
    struct Case {
        const char* json;
        bool ok;
        std::optional<double> price, change, pct;
        std::optional<QString> asOf;
    };
    const Case cases[] = {
        {R"({"c":512.3,"d":-2.1,"dp":-0.41,"pc":514.4,"t":1715976000})", true, 512.3, -2.1, -0.41,
         QStringLiteral("2024-05-17T20:00:00Z")},
        {R"({"c":0,"d":null,"dp":null,"pc":0,"t":0})", false, {}, {}, {}, QStringLiteral("1970-01-01T00:00:00Z")},
        {R"({"c":0,"d":1,"dp":2})", false, {}, {}, {}, {}},
        {R"({"c":-1,"t":1715976000})", false, {}, {}, {}, QStringLiteral("2024-05-17T20:00:00Z")},
        {R"({})", false, {}, {}, {}, {}},
        {R"({"c":10})", true, 10.0, {}, {}, {}},
    };
    for (const Case& c : cases) {
        auto record = decodeJson<FinnhubQuote>(c.json);
        ASSERT_TRUE(record.has_value()) << c.json;
        const MarketQuote q = MarketQuote::fromFinnhub(QStringLiteral("SPY"), QStringLiteral("S&P"),
                                                       QStringLiteral("equity"), *record);
        EXPECT_EQ(q.ok, c.ok) << c.json;
        EXPECT_EQ(q.price, c.price) << c.json;
        EXPECT_EQ(q.change, c.change) << c.json;
        EXPECT_EQ(q.changePct, c.pct) << c.json;
        EXPECT_EQ(q.asOf, c.asOf) << c.json;
        EXPECT_EQ(q.currency, QStringLiteral("USD"));
        EXPECT_EQ(q.cadence, QuoteCadence::Live);
        EXPECT_EQ(q.source, QStringLiteral("finnhub"));
        EXPECT_EQ(q.kind, QStringLiteral("equity"));
        EXPECT_FALSE(q.holding.has_value());
    }
}

TEST(CoinGeckoConversion, PriceChangeAndTime)
{
    struct Case {
        const char* name;
        CoinGeckoPrice price;
        bool ok;
        std::optional<double> usd, change, pct;
        std::optional<QString> asOf;
    };
    const Case cases[] = {
        {"price and change", {100.0, 25.0, 1715976000.0}, true, 100.0, 20.0, 25.0, QStringLiteral("2024-05-17T20:00:00Z")},
        {"zero price", {0.0, 5.0, 1715976000.0}, false, {}, {}, {}, QStringLiteral("2024-05-17T20:00:00Z")},
        {"no price, time only", {{}, {}, 0.0}, false, {}, {}, {}, QStringLiteral("1970-01-01T00:00:00Z")},
        {"price without change", {42.0, {}, {}}, true, 42.0, {}, {}, {}},
        {"a fall of 100 % has no finite change", {5.0, -100.0, {}}, true, 5.0, {}, -100.0, {}},
    };
    for (const Case& c : cases) {
        const MarketQuote q = MarketQuote::fromCoinGecko(QStringLiteral("BTC"), QStringLiteral("Bitcoin"), c.price);
        EXPECT_EQ(q.ok, c.ok) << c.name;
        EXPECT_EQ(q.price, c.usd) << c.name;
        ASSERT_EQ(q.change.has_value(), c.change.has_value()) << c.name;
        if (c.change) {
            EXPECT_DOUBLE_EQ(*q.change, *c.change) << c.name;
        }
        EXPECT_EQ(q.changePct, c.pct) << c.name;
        EXPECT_EQ(q.asOf, c.asOf) << c.name;
        EXPECT_EQ(q.kind, QStringLiteral("crypto"));
        EXPECT_EQ(q.source, QStringLiteral("coingecko"));
        EXPECT_EQ(q.cadence, QuoteCadence::Live);
    }
}

TEST(MoneyText, EnglishTable)
{
    struct Case {
        double value;
        bool fx;
        const char* expected;
    };
    const Case cases[] = {
        {999.5, false, "999.50"},     {1000, false, "1,000"},       {1234.567, false, "1,235"},
        {1.2, true, "1.2000"},        {1500, true, "1,500.0000"},   {0, false, "0.00"},
        {0.125, false, "0.12"},       {0.375, false, "0.38"},       {1234.5, false, "1,234"},
        {1235.5, false, "1,236"},     {999.994, false, "999.99"},   {1234567.89, false, "1,234,568"},
        {0.00005, true, "0.0000"},    {12.34565, true, "12.3456"}, {12.34575, true, "12.3458"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatMoney(c.value, c.fx, kEnUS), QString::fromUtf8(c.expected)) << c.value << " fx=" << c.fx;
}

TEST(MoneyText, FollowsTheLocaleGiven)
{
    EXPECT_EQ(formatMoney(1234.5, true, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("1.234,5000"));
    EXPECT_EQ(formatMoney(12.5, false, QLocale(QLocale::French, QLocale::France)), QStringLiteral("12,50"));
}

TEST(ChangeText, ArrowFollowsTheSignAndDigitsAreLocaleFree)
{
    struct Case {
        std::optional<double> pct;
        const char* expected;
    };
    const Case cases[] = {
        {1.234, "▲ 1.23%"}, {-0.4, "▼ 0.40%"}, {0.0, "● 0.00%"}, {-0.004, "▼ 0.00%"},
        {0.005, "▲ 0.01%"}, {1234.5, "▲ 1234.50%"}, {std::nullopt, "—"},
    };
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const Case& c : cases) {
        MarketQuote q;
        q.changePct = c.pct;
        EXPECT_EQ(q.changeText(), QString::fromUtf8(c.expected)) << c.expected;
    }
    QLocale::setDefault(previous);
}

TEST(HoldingText, GainTable)
{
    struct Case {
        const char* name;
        double price;
        Holding holding;
        const char* kind;
        bool ok;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"gain with percent", 112.34, {100, 100}, "equity", true, QStringLiteral("▲ 1,234 (12.3%)")},
        {"loss with percent", 90, {10, 100}, "equity", true, QStringLiteral("▼ 100.00 (10.0%)")},
        {"cost zero: no percent", 12.34, {100, 0}, "equity", true, QStringLiteral("▲ 1,234")},
        {"no gain", 50, {2, 50}, "equity", true, QStringLiteral("● 0.00 (0.0%)")},
        {"fx digits", 1.1, {1000, 1.0}, "fx", true, QStringLiteral("▲ 100.0000 (10.0%)")},
        {"not ok", 112.34, {100, 100}, "equity", false, std::nullopt},
    };
    for (const Case& c : cases) {
        MarketQuote q;
        q.kind = QString::fromUtf8(c.kind);
        q.price = c.price;
        q.ok = c.ok;
        q.holding = c.holding;
        EXPECT_EQ(q.holdingText(kEnUS), c.expected) << c.name;
    }
    MarketQuote noHolding;
    noHolding.price = 1;
    noHolding.ok = true;
    EXPECT_FALSE(noHolding.holdingText(kEnUS).has_value());
}

TEST(WatchSymbolCoding, OptionalKeysAreLeftOutAndReadBackAsAbsent)
{
    const WatchSymbol plain{QStringLiteral("AAPL"), WatchSymbol::Kind::Stock, QStringLiteral("Apple"), {}, {}, {}};
    const QJsonObject json = plain.toJson(JsonOptions{});
    EXPECT_EQ(json.keys(), (QStringList{QStringLiteral("kind"), QStringLiteral("name"), QStringLiteral("symbol")}));
    EXPECT_EQ(json.value(QStringLiteral("kind")).toString(), QStringLiteral("stock"));
    const WatchSymbol coin{QStringLiteral("BTC"), WatchSymbol::Kind::Coin, QStringLiteral("Bitcoin"),
                           QStringLiteral("bitcoin"), 0.5, 30000.0};
    auto list = WatchSymbol::decodeList(*WatchSymbol::encodeList({plain, coin}));
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(*list, (QList<WatchSymbol>{plain, coin}));
}

TEST(WatchSymbolCoding, ABadEntryMakesTheWholeListUnreadable)
{
    const QList<std::pair<const char*, QByteArray>> cases = {
        {"unknown kind", R"([{"symbol":"A","kind":"stock","name":"A"},{"symbol":"B","kind":"bond","name":"B"}])"},
        {"missing name", R"([{"symbol":"A","kind":"stock"}])"},
        {"units a string", R"([{"symbol":"A","kind":"stock","name":"A","units":"2"}])"},
        {"not an array", R"({"symbol":"A","kind":"stock","name":"A"})"},
    };
    for (const auto& [name, json] : cases) {
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        const QJsonValue value = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        EXPECT_FALSE(WatchSymbol::decodeList(value).has_value()) << name;
    }
}

TEST(WatchSymbolCoding, ValidHoldings)
{
    WatchSymbol a{QStringLiteral("A"), WatchSymbol::Kind::Stock, QStringLiteral("A"), {}, 2.0, 10.0};
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::optional<double> units, cost;
        bool valid;
    };
    for (const Case& c : {Case{2.0, 0.0, true}, Case{2.0, 10.0, true}, Case{0.0, 10.0, false}, Case{-1.0, 1.0, false},
                          Case{2.0, -0.01, false}, Case{2.0, {}, false}, Case{{}, 1.0, false}, Case{inf, 1.0, false},
                          Case{1.0, inf, false}, Case{nan, 1.0, false}, Case{1.0, nan, false}})
        EXPECT_EQ(isValidHolding(c.units, c.cost), c.valid);
    a.units = inf;
    EXPECT_FALSE(WatchSymbol::encodeList({a}).has_value()) << "infinity cannot be stored";
}

TEST(ProviderRecords, DecodingTable)
{
    EXPECT_TRUE(decodeJson<FinnhubQuote>("{}").has_value());
    EXPECT_FALSE(decodeJson<FinnhubQuote>(R"({"c":"1"})").has_value());
    EXPECT_FALSE(decodeJson<FinnhubSearch>(R"({"count":0})").has_value());
    auto empty = decodeJson<FinnhubSearch>(R"({"result":[]})");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->result.isEmpty());
    EXPECT_FALSE(decodeJson<FinnhubSearch>(R"({"result":[{"symbol":"A","type":"x"}]})").has_value());
    auto coins = decodeJson<CoinGeckoSearch>(
        R"({"coins":[{"id":"bitcoin","name":"Bitcoin","symbol":"BTC","market_cap_rank":null,"thumb":"x"}],"exchanges":[]})");
    ASSERT_TRUE(coins.has_value());
    EXPECT_EQ(coins->coins.value(0).marketCapRank, std::nullopt);
    EXPECT_FALSE(decodeJson<CoinGeckoSearch>(R"({"coins":[{"id":"x","name":"y"}]})").has_value());
    EXPECT_FALSE(decodeJson<CoinGeckoSearch>(R"({"coins":[{"id":"x","name":"y","symbol":"z","market_cap_rank":1.5}]})"));

    auto prices = CoinGeckoPrice::mapFromJson(
        R"({"bitcoin":{"usd":50000,"usd_24h_change":-1.5,"last_updated_at":1715976000},"eth":{}})");
    ASSERT_TRUE(prices.has_value());
    EXPECT_EQ(prices->value(QStringLiteral("bitcoin")), (CoinGeckoPrice{50000.0, -1.5, 1715976000.0}));
    EXPECT_EQ(prices->value(QStringLiteral("eth")), CoinGeckoPrice{});
    EXPECT_FALSE(CoinGeckoPrice::mapFromJson(R"({"bitcoin":5})").has_value());
    EXPECT_FALSE(CoinGeckoPrice::mapFromJson(R"([])").has_value());
}

MarketQuote quote(const char* symbol, const char* source = "house", bool ok = true)
{
    MarketQuote q;
    q.symbol = QString::fromUtf8(symbol);
    q.name = q.symbol;
    q.kind = QStringLiteral("equity");
    q.currency = QStringLiteral("USD");
    q.source = QString::fromUtf8(source);
    q.ok = ok;
    if (ok)
        q.price = 1;
    return q;
}

QList<MarketQuote> quotes(std::initializer_list<const char*> symbols, const char* source)
{
    QList<MarketQuote> out;
    for (const char* s : symbols)
        out.append(quote(s, source));
    return out;
}

QString describe(const QList<MarketQuote>& list)
{
    QStringList parts;
    for (const MarketQuote& q : list)
        parts.append(q.symbol + QLatin1Char('/') + q.source);
    return parts.join(QLatin1Char(' '));
}

TEST(MergeQuotes, OrderAndWinners)
{
    struct Case {
        const char* name;
        QList<MarketQuote> house;
        QList<MarketQuote> own;
        const char* expected;
    };
    const Case cases[] = {
        {"nothing at all", {}, {}, ""},
        {"own beats house, others keep house order", quotes({"SPY", "EURUSD", "XYZ"}, "house"), quotes({"SPY"}, "own"),
         "SPY/own EURUSD/house XYZ/house"},
        {"leading symbols first", quotes({"AAA", "GLD", "BTC"}, "house"), quotes({"ZZZ"}, "own"),
         "BTC/house GLD/house AAA/house ZZZ/own"},
        {"the whole leading order", quotes({"OIL", "GLD", "GBPUSD", "EURUSD", "ETH", "BTC", "DIA", "QQQ", "SPY"}, "house"),
         {}, "SPY/house QQQ/house DIA/house BTC/house ETH/house EURUSD/house GBPUSD/house GLD/house OIL/house"},
        {"a later own quote beats an earlier one", {}, QList<MarketQuote>{quote("AAA", "byok"), quote("BBB", "byok"),
                                                                           quote("AAA", "watch")},
         "AAA/watch BBB/byok"},
        {"symbols compare case-sensitively", quotes({"spy"}, "house"), quotes({"SPY"}, "own"), "SPY/own spy/house"},
        {"a remaining symbol keeps its first position, house first", quotes({"AAA", "BBB"}, "house"),
         quotes({"CCC", "AAA"}, "own"), "AAA/own BBB/house CCC/own"},
        {"an unusable own placeholder still wins", quotes({"GLD"}, "house"), {quote("GLD", "finnhub", false)},
         "GLD/finnhub"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(MarketsStore::mergeQuotes(c.house, c.own)), QString::fromUtf8(c.expected)) << c.name;
}


TEST(ApplyHoldings, OnlyValidPairsAttach)
{
    auto entry = [](const char* symbol, std::optional<double> units, std::optional<double> cost) {
        return WatchSymbol{QString::fromUtf8(symbol), WatchSymbol::Kind::Stock, QString(), {}, units, cost};
    };
    struct Case {
        const char* name;
        WatchSymbol entry;
        std::optional<Holding> expected;
    };
    const Case cases[] = {
        {"units and cost", entry("A", 2, 10), Holding{2, 10}},
        {"units zero", entry("A", 0, 10), std::nullopt},
        {"units only", entry("A", 2, std::nullopt), std::nullopt},
    };
    for (const Case& c : cases) {
        const auto out = MarketsStore::applyHoldings({c.entry}, {quote("A"), quote("B")});
        ASSERT_EQ(out.size(), 2) << c.name;
        EXPECT_EQ(out[0].holding, c.expected) << c.name;
        EXPECT_FALSE(out[1].holding.has_value()) << c.name;
    }
    const auto later = MarketsStore::applyHoldings({entry("A", 1, 1), entry("A", 5, 5)}, {quote("A")});
    EXPECT_EQ(later[0].holding, (Holding{5, 5})) << "a later entry of the same symbol wins";
    EXPECT_EQ(MarketsStore::applyHoldings({entry("Z", 1, 1)}, {quote("A")}).size(), 1)
        << "a held symbol without a quote adds nothing";
}

TEST(StockSuggestions, RankingAndDeduplication)
{
    auto results = [](std::initializer_list<const char*> symbols) {
        QList<FinnhubSearch::Result> out;
        for (const char* s : symbols)
            out.append({QStringLiteral("name of ") + QString::fromUtf8(s), QString::fromUtf8(s), QStringLiteral("Common Stock")});
        return out;
    };
    auto symbols = [](const QList<StockSuggestion>& list) {
        QStringList out;
        for (const auto& s : list)
            out.append(s.symbol);
        return out.join(QLatin1Char(' '));
    };
    struct Case {
        const char* name;
        QList<FinnhubSearch::Result> results;
        const char* query;
        const char* expected;
    };
    const Case cases[] = {
        {"exact, plain, then suffixed", results({"AAPL.MX", "APLE", "AAPL"}), "aapl", "AAPL APLE AAPL.MX"},
        {"case and dollar duplicates keep the first", results({"aapl", "$AAPL", "AAPL"}), "x", "AAPL"},
        {"at most six", results({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9"}), "zz", "A1 A2 A3 A4 A5 A6"},
        {"empty symbols are skipped", results({"", "$", "B"}), "b", "B"},
        {"query normalised like symbols", results({"X.L", "BRK.B"}), " $brk.b ", "BRK.B X.L"},
        {"exact match beyond six still leads", results({"A1", "A2", "A3", "A4", "A5", "A6", "Q"}), "q", "Q A1 A2 A3 A4 A5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(symbols(stockSuggestions(c.results, QString::fromUtf8(c.query))), QString::fromUtf8(c.expected)) << c.name;
    const auto one = stockSuggestions(results({"$msft"}), QStringLiteral("msft"));
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0], (StockSuggestion{QStringLiteral("MSFT"), QStringLiteral("name of $msft"), QStringLiteral("Common Stock")}));
}

TEST(PickCoin, Table)
{
    using Coin = CoinGeckoSearch::Coin;
    auto coin = [](const char* id, const char* name, const char* symbol, std::optional<qint64> rank) {
        return Coin{QString::fromUtf8(id), QString::fromUtf8(name), QString::fromUtf8(symbol), rank};
    };
    struct Case {
        const char* name;
        QList<Coin> coins;
        const char* query;
        const char* expectedId;  // nullptr: nothing
    };
    const Case cases[] = {
        {"no coins", {}, "btc", nullptr},
        {"rank beats a missing rank", {coin("a", "A", "BTC", std::nullopt), coin("b", "B", "btc", 2)}, "Btc", "b"},
        {"equal ranks keep answer order", {coin("a", "A", "ETH", 5), coin("b", "B", "ETH", 5)}, "eth", "a"},
        {"lower rank wins", {coin("a", "A", "X", 9), coin("b", "B", "X", 3), coin("c", "C", "X", 4)}, "x", "b"},
        {"name match when no symbol matches", {coin("a", "Alpha", "ALP", 1), coin("b", "Bitcoin", "XBT", 2)}, "bitcoin", "b"},
        {"symbol match beats an earlier name match", {coin("a", "sol", "AAA", 1), coin("b", "Solana", "SOL", 9)}, "SOL", "b"},
        {"otherwise the first coin", {coin("a", "Alpha", "ALP", 7), coin("b", "Beta", "BET", 1)}, "zzz", "a"},
    };
    for (const Case& c : cases) {
        const auto picked = pickCoin(c.coins, QString::fromUtf8(c.query));
        if (!c.expectedId) {
            EXPECT_FALSE(picked.has_value()) << c.name;
            continue;
        }
        ASSERT_TRUE(picked.has_value()) << c.name;
        EXPECT_EQ(picked->id, QString::fromUtf8(c.expectedId)) << c.name;
    }
}

TEST(InputCleaning, SymbolsAndQueries)
{
    EXPECT_EQ(normalizedStockSymbol(QStringLiteral("  $aapl\n")), QStringLiteral("AAPL"));
    EXPECT_EQ(normalizedStockSymbol(QStringLiteral("vod.l")), QStringLiteral("VOD.L"));
    EXPECT_EQ(normalizedStockSymbol(QStringLiteral("brk b")), QStringLiteral("BRK B"));
    EXPECT_EQ(normalizedStockSymbol(QStringLiteral(" $ $ ")), QString());
    EXPECT_EQ(cleanedQuery(QStringLiteral(" $Bit$coin ")), QStringLiteral("Bitcoin"));
    EXPECT_EQ(perceivedLength(QStringLiteral("e\u0301")), 1) << "a combining accent is one character";
    EXPECT_EQ(perceivedLength(QStringLiteral("\U0001F600")), 1) << "a surrogate pair is one character";
}

MarketQuote liveQuote()
{
    MarketQuote q;
    q.symbol = QStringLiteral("SPY");
    q.name = QStringLiteral("S&P 500 ETF");
    q.kind = QStringLiteral("equity");
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.price = 512.3;
    q.change = 2.1;
    q.changePct = 0.41;
    q.source = QStringLiteral("finnhub");
    q.ok = true;
    return q;
}

TEST(QuoteRowLayout, IdealSizesAreFiniteAndGrowWithTheSizeCode)
{
    for (const MarketQuote& q : {liveQuote(), [] { MarketQuote u = liveQuote(); u.ok = false; u.price.reset(); return u; }()}) {
        QSizeF previous;
        for (int size : {1, 2, 4}) {
            const QSizeF ideal = QuoteRowLayout::make(q, size, kEnUS).idealSize;
            EXPECT_TRUE(std::isfinite(ideal.width()) && std::isfinite(ideal.height())) << size;
            EXPECT_GT(ideal.width(), 0) << size;
            EXPECT_GT(ideal.height(), 0) << size;
            if (previous.isValid()) {
                EXPECT_GT(ideal.width(), previous.width()) << size;
                EXPECT_GT(ideal.height(), previous.height()) << size;
            }
            previous = ideal;
        }
        EXPECT_EQ(QuoteRowLayout::make(q, 3, kEnUS).idealSize, QuoteRowLayout::make(q, 2, kEnUS).idealSize);
        EXPECT_EQ(QuoteRowLayout::make(q, 0, kEnUS).idealSize, QuoteRowLayout::make(q, 2, kEnUS).idealSize);
    }
}

TEST(QuoteRowLayout, TextsBadgesAndColoursPerQuoteState)
{
    const QColor white = Qt::white;
    QColor dim = Qt::white;
    dim.setAlphaF(0.45f);
    struct Case {
        const char* name;
        std::function<void(MarketQuote&)> edit;
        QString price;
        QString change;
        QColor changeColor;
        QColor strong;  // symbol and price
        std::optional<QString> badge;
        bool unavailable;
        std::optional<QString> holding;
        QColor holdingColor;
    };
    const Case cases[] = {
        {"live and up", [](MarketQuote&) {}, QStringLiteral("512.30"), QStringLiteral("▲ 0.41%"),
         QuoteRowLayout::quoteUp(), white, std::nullopt, false, std::nullopt, {}},
        {"down", [](MarketQuote& q) { q.changePct = -1.5; }, QStringLiteral("512.30"), QStringLiteral("▼ 1.50%"),
         QuoteRowLayout::quoteDown(), white, std::nullopt, false, std::nullopt, {}},
        {"exactly flat", [](MarketQuote& q) { q.changePct = 0.0; }, QStringLiteral("512.30"), QStringLiteral("● 0.00%"),
         QuoteRowLayout::quoteFlat(), white, std::nullopt, false, std::nullopt, {}},
        {"no change percentage", [](MarketQuote& q) { q.changePct.reset(); }, QStringLiteral("512.30"),
         QStringLiteral("—"), QuoteRowLayout::quoteFlat(), white, std::nullopt, false, std::nullopt, {}},
        {"unavailable, no price",
         [](MarketQuote& q) { q.ok = false; q.price.reset(); q.holding = Holding{1, 1}; },
         QStringLiteral("—"), QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteFlat(), dim, std::nullopt, true,
         std::nullopt, {}},
        {"delayed", [](MarketQuote& q) { q.cadence = QuoteCadence::Delayed; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, QStringLiteral("DELAYED"), false, std::nullopt, {}},
        {"daily ECB fix",
         [](MarketQuote& q) { q.cadence = QuoteCadence::Daily; q.source = QStringLiteral("frankfurter"); q.kind = QStringLiteral("fx"); q.price = 1.0842; },
         QStringLiteral("1.0842"), QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, QStringLiteral("ECB FIX"),
         false, std::nullopt, {}},
        {"daily elsewhere", [](MarketQuote& q) { q.cadence = QuoteCadence::Daily; q.price = 1.0842; },
         QStringLiteral("1.08"), QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, QStringLiteral("DAILY"),
         false, std::nullopt, {}},
        {"thousands without digits", [](MarketQuote& q) { q.price = 43210.7; }, QStringLiteral("43,211"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false, std::nullopt, {}},
        {"holding in profit", [](MarketQuote& q) { q.holding = Holding{10, 500}; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false,
         QStringLiteral("▲ 123.00 (2.5%)"), QuoteRowLayout::quoteUp()},
        {"holding at a loss", [](MarketQuote& q) { q.holding = Holding{1, 600}; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false,
         QStringLiteral("▼ 87.70 (14.6%)"), QuoteRowLayout::quoteDown()},
        {"holding at cost", [](MarketQuote& q) { q.holding = Holding{3, 512.3}; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false,
         QStringLiteral("● 0.00 (0.0%)"), QuoteRowLayout::quoteFlat()},
    };
    for (const Case& c : cases) {
        MarketQuote q = liveQuote();
        c.edit(q);
        const auto l = QuoteRowLayout::make(q, 2, kEnUS);
        EXPECT_EQ(l.symbol.text, QStringLiteral("SPY")) << c.name;
        EXPECT_EQ(l.price.text, c.price) << c.name;
        EXPECT_EQ(l.change.text, c.change) << c.name;
        EXPECT_EQ(l.change.color, c.changeColor) << c.name;
        EXPECT_EQ(l.symbol.color, c.strong) << c.name;
        EXPECT_EQ(l.price.color, c.strong) << c.name;
        EXPECT_EQ(l.name.text, q.name) << c.name;
        EXPECT_EQ(l.badge ? std::optional<QString>(l.badge->text) : std::nullopt, c.badge) << c.name;
        EXPECT_EQ(l.unavailable.has_value(), c.unavailable) << c.name;
        if (l.unavailable) {
            EXPECT_EQ(l.unavailable->text, QStringLiteral("UNAVAILABLE")) << c.name;
        }
        EXPECT_EQ(l.holding ? std::optional<QString>(l.holding->text) : std::nullopt, c.holding) << c.name;
        if (l.holding) {
            EXPECT_EQ(l.holding->color, c.holdingColor) << c.name;
        }
    }
}

TEST(QuoteRowLayout, AccessibleLabel)
{
    MarketQuote q = liveQuote();
    EXPECT_EQ(QuoteRowLayout::make(q, 2, kEnUS).accessibleLabel, QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41%"));
    q.holding = Holding{10, 500};
    EXPECT_EQ(QuoteRowLayout::make(q, 2, kEnUS).accessibleLabel,
              QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41% holding ▲ 123.00 (2.5%)"));
    q.price.reset();
    q.holding.reset();
    EXPECT_EQ(QuoteRowLayout::make(q, 2, kEnUS).accessibleLabel, QStringLiteral("S&P 500 ETF — ▲ 0.41%"));
}

TEST(QuoteRowLayout, PartsStayInsideTheCellWithoutOverlapping)
{
    MarketQuote q = liveQuote();
    q.cadence = QuoteCadence::Delayed;
    q.holding = Holding{1, 1};
    for (int size : {1, 2, 4}) {
        const auto l = QuoteRowLayout::make(q, size, kEnUS);
        const QRectF cell(QPointF(), l.idealSize);
        QList<QRectF> rects{l.chip, l.price.rect, l.change.rect, l.name.rect, l.holding->rect, l.badge->rect};
        for (const QRectF& r : rects)
            EXPECT_TRUE(cell.contains(r)) << size;
        EXPECT_TRUE(l.chip.contains(l.symbol.rect)) << size;
        for (int i = 0; i < rects.size(); ++i) {
            for (int j = i + 1; j < rects.size(); ++j)
                EXPECT_FALSE(rects[i].intersects(rects[j])) << size << " parts " << i << "," << j;
        }
        EXPECT_LT(l.price.rect.bottom(), l.name.rect.top() + 0.001) << "line 1 above line 2";
    }
}

QImage paint(const MarketQuote& q, int size)
{
    const auto l = QuoteRowLayout::make(q, size, kEnUS);
    QImage image(l.idealSize.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    l.paint(painter);
    painter.end();
    return image;
}

int countPixels(const QImage& image, const std::function<bool(QColor)>& match)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixelColor(x, y)) ? 1 : 0;
    }
    return n;
}

TEST(QuoteRowLayout, PaintsTextInTheChangeColour)
{
    auto greenish = [](QColor c) { return c.alpha() > 200 && c.green() > 180 && c.red() < 140; };
    auto reddish = [](QColor c) { return c.alpha() > 200 && c.red() > 200 && c.green() < 150; };
    MarketQuote up = liveQuote();
    MarketQuote down = liveQuote();
    down.changePct = -2;
    const QImage upImage = paint(up, 2);
    const QImage downImage = paint(down, 2);
    EXPECT_GT(countPixels(upImage, [](QColor c) { return c.alpha() > 0; }), 100) << "painted output not empty";
    EXPECT_GT(countPixels(upImage, greenish), 10);
    EXPECT_EQ(countPixels(upImage, reddish), 0);
    EXPECT_GT(countPixels(downImage, reddish), 10);
    EXPECT_EQ(countPixels(downImage, greenish), 0);
}

// A font whose digit characters differ in width: the URW dingbats font
// maps them to symbols of their own sizes.
QFont unevenDigits()
{
    QFont font(QStringLiteral("D050000L"));
    font.setPixelSize(22);
    return font;
}

TEST(QuoteRowLayout, FiguresKeepTheirWidthAsValuesChange)
{
    const QFont uneven = unevenDigits();
    const QFontMetricsF metrics(uneven);
    ASSERT_NE(metrics.horizontalAdvance(u'1'), metrics.horizontalAdvance(u'8')) << "needs fonts-urw-base35";
    for (const char* text : {"$8,808.80", "$4,567.89", "$1,111.11"})
        EXPECT_DOUBLE_EQ(QuoteRowLayout::tabularWidth(text, uneven), QuoteRowLayout::tabularWidth("$0,000.00", uneven))
            << text;
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
    const qreal cell = QuoteRowLayout::tabularWidth(QStringLiteral("0"), uneven);
    EXPECT_EQ(drawn({{"81", 0}}), drawn({{"8", 0}, {"1", cell}}));

    // The row's figures: price, change and holding.
    MarketQuote low = liveQuote();
    low.price = 1111.11;
    low.changePct = 1.11;
    low.holding = Holding{1, 0};
    MarketQuote high = low;
    high.price = 8888.88;
    high.changePct = 8.88;
    high.holding = Holding{1, 0};
    for (int size : {1, 2, 4}) {
        SCOPED_TRACE(size);
        const auto a = QuoteRowLayout::make(low, size, kEnUS);
        const auto b = QuoteRowLayout::make(high, size, kEnUS);
        ASSERT_EQ(a.price.text.size(), b.price.text.size());
        ASSERT_EQ(a.holding->text.size(), b.holding->text.size());
        EXPECT_EQ(a.price.rect.width(), b.price.rect.width());
        EXPECT_EQ(a.change.rect.width(), b.change.rect.width());
        EXPECT_EQ(a.holding->rect.width(), b.holding->rect.width());
        EXPECT_EQ(a.idealSize, b.idealSize) << "the row does not jitter";
    }
}

TEST(QuoteRowWidget, IsAPlainWidgetAtItsIdealSize)
{
    MarketQuote q = liveQuote();
    QuoteRow row(q, 4);
    row.setLocale(kEnUS);
    const QSizeF ideal = QuoteRowLayout::make(q, 4, kEnUS).idealSize;
    EXPECT_EQ(row.sizeHint(), ideal.toSize());
    EXPECT_EQ(row.accessibleName(), QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41%"));
    row.resize(row.sizeHint());
    const QImage grabbed = row.grab().toImage();
    EXPECT_GT(countPixels(grabbed, [](QColor c) { return c.lightness() > 200; }), 50);
    q.symbol = QStringLiteral("A");
    q.name = QStringLiteral("A");
    row.setQuote(q, 1);
    EXPECT_LT(row.sizeHint().width(), ideal.width());
    EXPECT_EQ(row.sizeCode(), 1);
}

} // namespace
