#include "markets/MarketsStore.h"
#include "markets/SymbolRanking.h"

#include <gtest/gtest.h>

namespace {

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
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(MarketsStore::mergeQuotes(c.house, c.own)), QString::fromUtf8(c.expected)) << c.name;
}

TEST(MergeQuotes, AnUnusablePlaceholderStillWins)
{
    const auto merged = MarketsStore::mergeQuotes({quote("GLD", "house")}, {quote("GLD", "finnhub", false)});
    ASSERT_EQ(merged.size(), 1);
    EXPECT_FALSE(merged[0].ok);
    EXPECT_EQ(merged[0].source, QStringLiteral("finnhub"));
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
        {"cost zero", entry("A", 2, 0), Holding{2, 0}},
        {"units zero", entry("A", 0, 10), std::nullopt},
        {"negative cost", entry("A", 2, -1), std::nullopt},
        {"units only", entry("A", 2, std::nullopt), std::nullopt},
        {"cost only", entry("A", std::nullopt, 3), std::nullopt},
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

} // namespace
