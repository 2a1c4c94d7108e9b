#include "markets/SymbolRanking.h"

#include <QSet>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <limits>

QString cleanedQuery(const QString& input)
{
    QString text = input.trimmed();
    text.remove(QLatin1Char('$'));
    // Again, so "$ AAPL" or "$ $" leave no white space at the ends either.
    return text.trimmed();
}

QString normalizedStockSymbol(const QString& input)
{
    return cleanedQuery(input).toUpper();
}

int perceivedLength(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QList<StockSuggestion> stockSuggestions(const QList<FinnhubSearch::Result>& results, const QString& query)
{
    const QString wanted = normalizedStockSymbol(query);
    QSet<QString> seen;
    QList<std::pair<int, StockSuggestion>> kept;
    for (const FinnhubSearch::Result& r : results) {
        const QString symbol = normalizedStockSymbol(r.symbol);
        if (symbol.isEmpty() || seen.contains(symbol))
            continue;
        seen.insert(symbol);
        const int tier = symbol == wanted ? 0 : (symbol.contains(QLatin1Char('.')) ? 2 : 1);
        kept.append({tier, StockSuggestion{symbol, r.description, r.type}});
    }
    std::stable_sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<StockSuggestion> out;
    for (qsizetype i = 0; i < kept.size() && i < 6; ++i)
        out.append(kept.at(i).second);
    return out;
}

std::optional<CoinGeckoSearch::Coin> pickCoin(const QList<CoinGeckoSearch::Coin>& coins, const QString& query)
{
    if (coins.isEmpty())
        return std::nullopt;
    const QString q = query.toLower();
    const CoinGeckoSearch::Coin* best = nullptr;
    qint64 bestRank = 0;
    for (const CoinGeckoSearch::Coin& coin : coins) {
        if (coin.symbol.toLower() != q)
            continue;
        const qint64 rank = coin.marketCapRank.value_or(std::numeric_limits<qint64>::max());
        if (!best || rank < bestRank) {
            best = &coin;
            bestRank = rank;
        }
    }
    if (best)
        return *best;
    for (const CoinGeckoSearch::Coin& coin : coins) {
        if (coin.name.toLower() == q)
            return coin;
    }
    return coins.first();
}
