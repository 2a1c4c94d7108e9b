#include "markets/MarketsStore.h"

#include "api/FeedAPI.h"

#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "platform/session/SecretStore.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSet>

namespace {

// Symbols that lead the strip, in this order.
const QStringList kLeadingOrder = {
    QStringLiteral("SPY"), QStringLiteral("QQQ"), QStringLiteral("DIA"),
    QStringLiteral("BTC"), QStringLiteral("ETH"), QStringLiteral("EURUSD"),
    QStringLiteral("GBPUSD"), QStringLiteral("GLD"), QStringLiteral("OIL"),
};

FeedAPIConfig apiConfig(const Endpoints& endpoints)
{
    FeedAPIConfig config = FeedAPIConfig::standard();
    config.baseURL = endpoints.apiBase;
    return config;
}

} // namespace

MarketsStore::MarketsStore(Defaults& defaults, SecretStore& secrets, Clock& clock, Scheduler& scheduler,
                           const Endpoints& endpoints, QObject* parent)
    : QObject(parent),
      m_defaults(defaults),
      m_storedWatchlist(defaults, kWatchlistKey, lcMarkets, kWatchlistLimit),
      m_keychain(secrets),
      m_clock(clock),
      m_scheduler(scheduler),
      m_endpoints(endpoints),
      m_network(new QNetworkAccessManager(this)),
      m_api(new FeedAPI(scheduler, apiConfig(endpoints), this)),
      m_finnhub(m_network, endpoints.finnhubBase),
      m_coinGecko(m_network, endpoints.coingeckoBase),
      m_keyReadBound(scheduler),
      m_keyWriteBound(scheduler)
{
    for (auto signal : {&MarketsStore::houseChanged, &MarketsStore::byokChanged, &MarketsStore::watchQuotesChanged,
                        &MarketsStore::watchlistChanged})
        connect(this, signal, this, &MarketsStore::stripQuotesChanged);

    m_watchlist = loadWatchlist();
    m_keyStatus = KeyStatus::checking();
    startKeyRead();
}

MarketsStore::~MarketsStore()
{
    // Suspended work resumes after this and must find its stop requested
    // before it could touch the store. The network manager outlives the store
    // until the event loop has delivered the aborted replies to their
    // coroutines, which still read them.
    m_lifetime.request_stop();
    if (m_poll)
        m_poll->request_stop();
    resumeKeyWaiters();
    const auto replies = m_network->findChildren<QNetworkReply*>();
    if (replies.isEmpty())
        return;
    m_network->setParent(nullptr);
    for (QNetworkReply* reply : replies)
        reply->abort();
    m_network->deleteLater();
}

MarketsStore& MarketsStore::shared()
{
    // Never destroyed: it must outlive every view that reads it.
    static MarketsStore* store = new MarketsStore(Defaults::standard(), SecretStore::system(), Clock::system(),
                                                  Scheduler::system());
    return *store;
}

QUrl MarketsStore::finnhubRegisterURL()
{
    return QUrl(QStringLiteral("https://finnhub.io/register"));
}

template <class T>
void MarketsStore::assign(T& field, const T& value, void (MarketsStore::*signal)())
{
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*signal)();
}

void MarketsStore::setHouse(const QList<MarketQuote>& quotes) { assign(m_house, quotes, &MarketsStore::houseChanged); }
void MarketsStore::setByok(const QList<MarketQuote>& quotes) { assign(m_byok, quotes, &MarketsStore::byokChanged); }
void MarketsStore::setAttribution(const QList<MarketAttribution>& list)
{
    assign(m_attribution, list, &MarketsStore::attributionChanged);
}
void MarketsStore::setWatchQuotes(const QList<MarketQuote>& quotes)
{
    assign(m_watchQuotes, quotes, &MarketsStore::watchQuotesChanged);
}
void MarketsStore::setLastUpdated(const QDateTime& when)
{
    assign(m_lastUpdated, std::optional<QDateTime>(when), &MarketsStore::lastUpdatedChanged);
}
void MarketsStore::setWatchlist(const QList<WatchSymbol>& list)
{
    assign(m_watchlist, list, &MarketsStore::watchlistChanged);
}
void MarketsStore::setKeyStatus(const KeyStatus& status)
{
    assign(m_keyStatus, status, &MarketsStore::keyStatusChanged);
}

QList<WatchSymbol> MarketsStore::loadWatchlist()
{
    // An entry that cannot be read costs that entry only; the stored list is
    // set aside before the first edit replaces it.
    return m_storedWatchlist.read<WatchSymbol>(
        [](const QJsonValue& value) { return WatchSymbol::fromJson(value, JsonOptions{}); });
}

bool MarketsStore::saveWatchlist()
{
    const std::optional<QJsonArray> encoded = WatchSymbol::encodeList(m_watchlist);
    if (!encoded)
        return false;
    m_storedWatchlist.aboutToReplace();
    // Written through at once: an edit of the list must survive a crash
    // right after it. A failed write is kept as the settings' save error,
    // which the settings window shows.
    return m_defaults.setAndSave(kWatchlistKey, *encoded).has_value();
}

QList<WatchSymbol> MarketsStore::stockSymbols() const
{
    QList<WatchSymbol> out;
    for (const WatchSymbol& w : m_watchlist) {
        if (w.kind == WatchSymbol::Kind::Stock)
            out.append(w);
    }
    return out;
}

QList<WatchSymbol> MarketsStore::coinSymbols() const
{
    QList<WatchSymbol> out;
    for (const WatchSymbol& w : m_watchlist) {
        if (w.kind == WatchSymbol::Kind::Coin)
            out.append(w);
    }
    return out;
}

QList<MarketQuote> MarketsStore::stripQuotes() const
{
    return applyHoldings(m_watchlist, mergeQuotes(m_house, m_byok + m_watchQuotes));
}

QList<MarketQuote> MarketsStore::mergeQuotes(const QList<MarketQuote>& house, const QList<MarketQuote>& own)
{
    QHash<QString, MarketQuote> winners;
    for (const MarketQuote& q : house)
        winners.insert(q.symbol, q);
    for (const MarketQuote& q : own)
        winners.insert(q.symbol, q);

    QList<MarketQuote> result;
    result.reserve(winners.size());
    for (const QString& symbol : kLeadingOrder) {
        auto it = winners.find(symbol);
        if (it != winners.end()) {
            result.append(*it);
            winners.erase(it);
        }
    }
    auto appendRest = [&](const QList<MarketQuote>& list) {
        for (const MarketQuote& q : list) {
            auto it = winners.find(q.symbol);
            if (it != winners.end()) {
                result.append(*it);
                winners.erase(it);
            }
        }
    };
    appendRest(house);
    appendRest(own);
    return result;
}

QList<MarketQuote> MarketsStore::applyHoldings(const QList<WatchSymbol>& watchlist, QList<MarketQuote> quotes)
{
    QHash<QString, Holding> held;
    for (const WatchSymbol& w : watchlist) {
        if (w.hasValidHolding())
            held.insert(w.symbol, Holding{*w.units, *w.cost});
    }
    if (held.isEmpty())
        return quotes;
    for (MarketQuote& q : quotes) {
        auto it = held.constFind(q.symbol);
        if (it != held.constEnd())
            q.holding = *it;
    }
    return quotes;
}

void MarketsStore::stripAppeared()
{
    assign(m_activeStrips, m_activeStrips + 1, &MarketsStore::activeStripsChanged);
    if (m_poll)
        return;
    m_poll.emplace();
    auto loop = pollLoop(m_poll->get_token());  // runs on by itself
    Q_EMIT pollingChanged();
}

void MarketsStore::stripDisappeared()
{
    assign(m_activeStrips, std::max(0, m_activeStrips - 1), &MarketsStore::activeStripsChanged);
    if (m_activeStrips > 0 || !m_poll)
        return;
    m_poll->request_stop();
    m_poll.reset();
    Q_EMIT pollingChanged();
}

QCoro::Task<void> MarketsStore::pollLoop(std::stop_token stop)
{
    QPointer<MarketsStore> self(this);
    Scheduler& scheduler = m_scheduler;
    while (!stop.stop_requested()) {
        if (self)
            co_await self->refresh(stop);
        if (stop.stop_requested())
            break;
        co_await scheduler.sleep(kPollInterval, stop);
    }
}

QCoro::Task<void> MarketsStore::refresh(std::stop_token stop)
{
    QPointer<MarketsStore> self(this);
    auto house = refreshHouse(stop);
    auto own = refreshOwnKeyQuotes(stop);
    auto coins = refreshCoins(stop);
    co_await std::move(house);
    co_await std::move(own);
    co_await std::move(coins);
    if (!self || stop.stop_requested())
        co_return;
    setLastUpdated(m_clock.now());
}
