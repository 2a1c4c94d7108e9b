#pragma once

#include "markets/ProviderRecords.h"
#include "markets/WatchModels.h"

#include <optional>

// Pure choices over search answers.

// A stock input as stored: trimmed, every "$" removed, upper-cased.
QString normalizedStockSymbol(const QString& input);
// A coin or search input: trimmed, every "$" removed; letter case kept.
QString cleanedQuery(const QString& input);
// Length in user-perceived characters (grapheme clusters).
int perceivedLength(const QString& text);

// Finnhub search results as suggestions: de-duplicated by normalised symbol,
// the exact match first, then plain symbols, then symbols with an exchange
// suffix ("VOD.L"), each group in answer order; at most 6.
QList<StockSuggestion> stockSuggestions(const QList<FinnhubSearch::Result>& results, const QString& query);

// The coin a query means: among coins whose symbol equals the query (case
// aside) the best-ranked (no rank counts as last; ties keep answer order),
// else the first whose name equals it, else the first coin; nothing when
// there are no coins.
std::optional<CoinGeckoSearch::Coin> pickCoin(const QList<CoinGeckoSearch::Coin>& coins, const QString& query);
