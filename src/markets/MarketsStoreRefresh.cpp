// The three children of a refresh cycle: house set, own-key quotes, coins.
#include "markets/MarketsStore.h"

#include "api/FeedAPI.h"

#include "platform/base/Logging.h"

#include <QPointer>
#include <QSet>

namespace {

// Always priced with the user's own key, in this order.
const QList<FinnhubRow> kFixedRows = {
    {QStringLiteral("SPY"), QStringLiteral("S&P 500 ETF"), QStringLiteral("equity"), QStringLiteral("SPY")},
    {QStringLiteral("QQQ"), QStringLiteral("Nasdaq-100 ETF"), QStringLiteral("equity"), QStringLiteral("QQQ")},
    {QStringLiteral("DIA"), QStringLiteral("Dow ETF"), QStringLiteral("equity"), QStringLiteral("DIA")},
    {QStringLiteral("GLD"), QStringLiteral("Gold ETF"), QStringLiteral("equity"), QStringLiteral("GLD")},
};

QSet<QString> symbolsOf(const QList<WatchSymbol>& entries)
{
    QSet<QString> out;
    for (const WatchSymbol& w : entries)
        out.insert(w.symbol);
    return out;
}

QList<MarketQuote> without(const QList<MarketQuote>& quotes, const QSet<QString>& symbols)
{
    QList<MarketQuote> out;
    for (const MarketQuote& q : quotes) {
        if (!symbols.contains(q.symbol))
            out.append(q);
    }
    return out;
}

MarketQuote coinPlaceholder(const WatchSymbol& entry)
{
    MarketQuote q;
    q.symbol = entry.symbol;
    q.name = entry.name;
    q.kind = QStringLiteral("crypto");
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.source = QStringLiteral("coingecko");
    q.ok = false;
    return q;
}

} // namespace

bool MarketsStore::isOwnKeyEtf(const QString& symbol)
{
    for (const FinnhubRow& row : kFixedRows) {
        if (row.symbol == symbol)
            return true;
    }
    return false;
}

QCoro::Task<void> MarketsStore::refreshHouse(std::stop_token stop)
{
    QPointer<MarketsStore> self(this);
    const Result<Fetched<MarketsResponse>> reply = co_await m_api->get<MarketsResponse>(QStringLiteral("v1_markets"), stop);
    if (!self || stop.stop_requested())
        co_return;
    if (!reply) {
        // Not modified is nothing new, not a failure.
        if (!reply.error().is(ErrorKind::NotModified) && !reply.error().is(ErrorKind::Cancelled))
            qCCritical(lcMarkets, "house set failed: %s", qUtf8Printable(reply.error().description));
        co_return;
    }
    // A 304 comes with the body remembered for this path: the set already
    // applied, so applying it again changes nothing and tells nobody.
    setHouse(reply->value.quotes);
    setAttribution(reply->value.attribution);
}

void MarketsStore::dropStockQuotes()
{
    setWatchQuotes(without(m_watchQuotes, symbolsOf(stockSymbols())));
}

QCoro::Task<void> MarketsStore::refreshOwnKeyQuotes(std::stop_token stop)
{
    QPointer<MarketsStore> self(this);
    // Each pass asks the keyring, so a key added, changed or removed with
    // another keyring tool is used from the next pass on. A read already on
    // its way answers for this pass too.
    if (!m_keyReadPending)
        startKeyRead();
    co_await keyRead();
    if (!self || stop.stop_requested())
        co_return;
    // The key is not known: nothing to price with and nothing to clear; the
    // status already tells why.
    if (m_keyReadError && m_cachedKey.isEmpty())
        co_return;
    const QString key = m_cachedKey;
    if (key.isEmpty()) {
        setByok({});
        setKeyStatus(KeyStatus::none());
        dropStockQuotes();
        co_return;
    }

    QList<FinnhubRow> rows = kFixedRows;
    const QList<WatchSymbol> stocks = stockSymbols();
    for (const WatchSymbol& stock : stocks)
        rows.append(FinnhubRow{stock.symbol, stock.name, QStringLiteral("equity"), stock.symbol});

    QList<MarketQuote> collected;
    QStringList notOnPlan;
    std::optional<QString> failure;
    for (const FinnhubRow& row : rows) {
        const FinnhubOutcome outcome = co_await m_finnhub.quote(row, key, stop);
        // A stopped cycle, a gone store or a key replaced meanwhile: the
        // answers are not this store's current business.
        if (!self || stop.stop_requested() || m_cachedKey != key)
            co_return;
        if (outcome.kind == FinnhubOutcome::Kind::Rejected) {
            setKeyStatus(KeyStatus::rejected());
            setByok({});
            co_return;
        }
        if (outcome.kind == FinnhubOutcome::Kind::Quote) {
            collected.append(outcome.quote);
            continue;
        }
        if (outcome.kind == FinnhubOutcome::Kind::NotOnPlan) {
            notOnPlan.append(row.symbol);
        } else {
            failure = outcome.failure;
            if (outcome.rateLimited)
                break;
        }
        collected.append(FinnhubClient::placeholder(row));
    }
    publishOwnKeyQuotes(symbolsOf(stocks), collected, notOnPlan, failure);
}

void MarketsStore::publishOwnKeyQuotes(const QSet<QString>& requested, const QList<MarketQuote>& collected,
                                       const QStringList& notOnPlan, const std::optional<QString>& failure)
{
    // The watchlist may have changed while the answers were on their way: a
    // stock removed meanwhile gets no quote back on the strip, and one added
    // meanwhile keeps the quote its add brought.
    const QSet<QString> watched = symbolsOf(stockSymbols());
    QList<MarketQuote> etfs;
    QList<MarketQuote> fresh;
    for (const MarketQuote& q : collected) {
        if (isOwnKeyEtf(q.symbol))
            etfs.append(q);
        else if (watched.contains(q.symbol))
            fresh.append(q);
    }
    setByok(etfs);
    setWatchQuotes(without(m_watchQuotes, requested) + fresh);

    if (failure)
        setKeyStatus(KeyStatus::error(*failure));
    else if (!notOnPlan.isEmpty())
        setKeyStatus(KeyStatus::error(QStringLiteral("Key accepted; ") + notOnPlan.join(QStringLiteral(", "))
                                      + QStringLiteral(" not on your Finnhub plan")));
    else
        setKeyStatus(KeyStatus::ok());
}

QCoro::Task<void> MarketsStore::refreshCoins(std::stop_token stop)
{
    QPointer<MarketsStore> self(this);
    const QList<WatchSymbol> coins = coinSymbols();
    const QSet<QString> coinSet = symbolsOf(coins);
    if (coins.isEmpty()) {
        setWatchQuotes(without(m_watchQuotes, coinSet));
        co_return;
    }
    QStringList ids;
    for (const WatchSymbol& coin : coins) {
        if (coin.coinId)
            ids.append(*coin.coinId);
    }
    const auto answer = co_await m_coinGecko.prices(ids, stop);
    if (!self || stop.stop_requested())
        co_return;
    if (!answer) {
        if (answer.error().is(ErrorKind::BadServerResponse))
            qCCritical(lcMarkets, "coingecko price HTTP %ld", long(answer.error().httpStatus));
        else
            qCCritical(lcMarkets, "coingecko price failed: %s", qUtf8Printable(answer.error().description));
        co_return;
    }
    // Only coins still watched now: one removed while the prices were on
    // their way stays off the strip.
    const QSet<QString> stillWatched = symbolsOf(coinSymbols());
    QList<MarketQuote> quotes;
    for (const WatchSymbol& coin : coins) {
        if (!stillWatched.contains(coin.symbol))
            continue;
        const auto price = coin.coinId ? answer->constFind(*coin.coinId) : answer->constEnd();
        quotes.append(price != answer->constEnd() ? MarketQuote::fromCoinGecko(coin.symbol, coin.name, *price)
                                                  : coinPlaceholder(coin));
    }
    // Taken now rather than at the start, so quotes that others wrote while
    // the prices were on their way stay.
    setWatchQuotes(without(m_watchQuotes, coinSet) + quotes);
}
