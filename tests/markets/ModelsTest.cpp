#include "markets/MarketModels.h"
#include "markets/MoneyFormat.h"
#include "markets/ProviderRecords.h"
#include "markets/WatchModels.h"

#include <QJsonDocument>
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

TEST(MarketQuoteEquality, ComparesEveryFieldIncludingTheHolding)
{
    MarketQuote a;
    a.symbol = QStringLiteral("SPY");
    a.price = 500;
    a.ok = true;
    MarketQuote b = a;
    EXPECT_EQ(a, b);
    b.holding = Holding{1, 2};
    EXPECT_NE(a, b) << "a holding against none";
    a.holding = Holding{1, 2};
    EXPECT_EQ(a, b);
    a.holding = Holding{1, 3};
    EXPECT_NE(a, b) << "holdings that differ in cost";
    MarketQuote n = b;
    n.price = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(n, n) << "a NaN price never compares equal";
    MarketQuote c = b;
    c.asOf = QStringLiteral("t");
    EXPECT_NE(c, b);
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

TEST(WatchSymbolCoding, EqualityAndValidHoldings)
{
    WatchSymbol a{QStringLiteral("A"), WatchSymbol::Kind::Stock, QStringLiteral("A"), {}, 2.0, 10.0};
    WatchSymbol b = a;
    b.cost = 11.0;
    EXPECT_NE(a, b);
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

} // namespace
