// Watchlist editing and the symbol search behind the editor.
#include "markets/MarketsStore.h"

#include "markets/SymbolRanking.h"

#include <QPointer>

namespace {

constexpr int kMaxStockSymbolLength = 12;
constexpr int kMaxQueryLength = 40;
constexpr int kMinSearchLength = 2;

bool listHolds(const QList<WatchSymbol>& list, const QString& symbol)
{
    return std::any_of(list.begin(), list.end(), [&](const WatchSymbol& w) { return w.symbol == symbol; });
}

} // namespace

QCoro::Task<WatchAddResult> MarketsStore::addStock(QString input, std::optional<QString> name)
{
    using Kind = WatchAddResult::Kind;
    const QString symbol = normalizedStockSymbol(input);
    if (symbol.isEmpty() || perceivedLength(symbol) > kMaxStockSymbolLength)
        co_return WatchAddResult::make(Kind::UnknownSymbol);
    QPointer<MarketsStore> self(this);
    const std::stop_token stop = m_lifetime.get_token();
    // Asks the keyring, as each poll does; a read already on its way answers.
    if (!m_keyReadPending)
        startKeyRead();
    co_await keyRead();
    if (!self || stop.stop_requested())
        co_return WatchAddResult::makeUnreachable(QStringLiteral("Could not reach Finnhub: cancelled"));
    const QString key = m_cachedKey;
    if (key.isEmpty() && m_keyReadError)
        co_return WatchAddResult::makeUnreachable(*m_keyReadError);
    if (key.isEmpty())
        co_return WatchAddResult::make(Kind::NeedsKey);
    if (listHolds(m_watchlist, symbol) || isOwnKeyEtf(symbol))
        co_return WatchAddResult::make(Kind::Duplicate);
    if (m_watchlist.size() >= kWatchlistLimit)
        co_return WatchAddResult::make(Kind::Full);

    const FinnhubRow row{symbol, symbol, QStringLiteral("equity"), symbol};
    const FinnhubOutcome outcome = co_await m_finnhub.quote(row, key, stop);
    if (!self || stop.stop_requested())
        co_return WatchAddResult::makeUnreachable(outcome.failure);
    switch (outcome.kind) {
    case FinnhubOutcome::Kind::Failed:
        co_return WatchAddResult::makeUnreachable(outcome.failure);
    case FinnhubOutcome::Kind::NotOnPlan:
        co_return WatchAddResult::make(Kind::NotOnPlan);
    case FinnhubOutcome::Kind::Rejected:
        co_return WatchAddResult::make(Kind::RejectedKey);
    case FinnhubOutcome::Kind::Quote:
        break;
    }
    if (!outcome.quote.ok)
        co_return WatchAddResult::make(Kind::UnknownSymbol);

    QString displayName = name.value_or(QString());
    if (!name) {
        const std::optional<QString> company = co_await m_finnhub.companyName(symbol, key, stop);
        if (!self || stop.stop_requested())
            co_return WatchAddResult::makeUnreachable(QStringLiteral("Could not reach Finnhub: cancelled"));
        displayName = company.value_or(symbol);
    }
    // Another add may have finished while this one waited.
    if (listHolds(m_watchlist, symbol))
        co_return WatchAddResult::make(Kind::Duplicate);
    if (m_watchlist.size() >= kWatchlistLimit)
        co_return WatchAddResult::make(Kind::Full);

    const WatchSymbol entry{symbol, WatchSymbol::Kind::Stock, displayName, std::nullopt, std::nullopt, std::nullopt};
    setWatchlist(m_watchlist + QList<WatchSymbol>{entry});
    saveWatchlist();
    setWatchQuotes(m_watchQuotes + QList<MarketQuote>{outcome.quote.withName(displayName)});
    co_return WatchAddResult::makeAdded(entry);
}

QCoro::Task<WatchAddResult> MarketsStore::addCoin(QString input)
{
    using Kind = WatchAddResult::Kind;
    const QString query = cleanedQuery(input);
    if (query.isEmpty() || perceivedLength(query) > kMaxQueryLength)
        co_return WatchAddResult::make(Kind::UnknownSymbol);
    if (m_watchlist.size() >= kWatchlistLimit)
        co_return WatchAddResult::make(Kind::Full);

    QPointer<MarketsStore> self(this);
    const std::stop_token stop = m_lifetime.get_token();
    const auto coins = co_await m_coinGecko.search(query, stop);
    if (!coins)
        co_return WatchAddResult::makeUnreachable(coins.error().description);
    if (!self || stop.stop_requested())
        co_return WatchAddResult::makeUnreachable(QStringLiteral("Could not reach CoinGecko: cancelled"));
    const std::optional<CoinGeckoSearch::Coin> coin = pickCoin(*coins, query);
    if (!coin)
        co_return WatchAddResult::make(Kind::UnknownSymbol);
    const QString symbol = coin->symbol.toUpper();
    if (listHolds(m_watchlist, symbol))
        co_return WatchAddResult::make(Kind::Duplicate);
    if (m_watchlist.size() >= kWatchlistLimit)
        co_return WatchAddResult::make(Kind::Full);

    const WatchSymbol entry{symbol, WatchSymbol::Kind::Coin, coin->name, coin->id, std::nullopt, std::nullopt};
    setWatchlist(m_watchlist + QList<WatchSymbol>{entry});
    saveWatchlist();
    co_await refreshCoins(stop);
    co_return WatchAddResult::makeAdded(entry);
}

void MarketsStore::remove(const QString& symbol)
{
    QList<WatchSymbol> list = m_watchlist;
    list.removeIf([&](const WatchSymbol& w) { return w.symbol == symbol; });
    setWatchlist(list);
    QList<MarketQuote> quotes = m_watchQuotes;
    quotes.removeIf([&](const MarketQuote& q) { return q.symbol == symbol; });
    setWatchQuotes(quotes);
    saveWatchlist();
}

void MarketsStore::setHolding(const QString& symbol, std::optional<double> units, std::optional<double> cost)
{
    QList<WatchSymbol> list = m_watchlist;
    auto it = std::find_if(list.begin(), list.end(), [&](const WatchSymbol& w) { return w.symbol == symbol; });
    if (it == list.end())
        return;
    // One value is never stored without the other, and never a number the
    // stored list could not carry.
    if (isValidHolding(units, cost)) {
        it->units = units;
        it->cost = cost;
    } else {
        it->units.reset();
        it->cost.reset();
    }
    setWatchlist(list);
    saveWatchlist();
}

QCoro::Task<QList<StockSuggestion>> MarketsStore::searchStocks(QString input, std::stop_token stop)
{
    const QString query = cleanedQuery(input);
    const int length = perceivedLength(query);
    if (length < kMinSearchLength || length > kMaxQueryLength)
        co_return QList<StockSuggestion>();
    QPointer<MarketsStore> self(this);
    co_await keyRead();
    if (!self || stop.stop_requested())
        co_return QList<StockSuggestion>();
    const QString key = m_cachedKey;
    if (key.isEmpty())
        co_return QList<StockSuggestion>();
    const Result<FinnhubSearch> answer = co_await m_finnhub.search(query, key, stop);
    if (!answer || stop.stop_requested())
        co_return QList<StockSuggestion>();
    co_return stockSuggestions(answer->result, query);
}
