#include "MarketReplies.h"

#include "SampleRandom.h"

#include <QList>
#include <algorithm>
#include <limits>
#include <cmath>
#include <optional>

namespace {

struct HouseQuote {
    const char* symbol;
    const char* name;
    const char* kind;
    const char* currency;
    const char* cadence;
    const char* source;
    double base;  // 0: the source has no price
};

const HouseQuote kHouse[] = {
    {"NDX", "Nasdaq-100", "equity", "USD", "delayed", "exchange", 18250.0},
    {"UKX", "FTSE 100", "equity", "GBP", "delayed", "exchange", 7690.0},
    {"EURUSD", "Euro / US Dollar", "fx", "USD", "daily", "frankfurter", 1.0842},
    {"GBPUSD", "Pound / US Dollar", "fx", "USD", "daily", "frankfurter", 1.2711},
    {"USDJPY", "US Dollar / Yen", "fx", "JPY", "daily", "frankfurter", 148.62},
    {"BTC", "Bitcoin", "crypto", "USD", "live", "coingecko", 67250.0},
    {"ETH", "Ether", "crypto", "USD", "live", "coingecko", 3420.0},
    {"BRENT", "Brent crude", "commodity", "USD", "delayed", "exchange", 82.4},
    {"N225", "Nikkei 225", "equity", "JPY", "delayed", "exchange", 0.0},
};

struct Stock {
    const char* symbol;
    const char* description;
    const char* type;
    double base;
    bool onPlan;
};

const Stock kStocks[] = {
    {"SPY", "SPDR S&P 500 ETF TRUST", "ETP", 521.4, true},
    {"QQQ", "INVESCO QQQ TRUST SERIES 1", "ETP", 447.9, true},
    {"DIA", "SPDR DOW JONES INDUSTRIAL AVERAGE ETF", "ETP", 391.2, true},
    {"GLD", "SPDR GOLD SHARES", "ETP", 214.6, true},
    {"NWND", "NORTHWIND SYSTEMS INC", "Common Stock", 184.3, true},
    {"HLCN", "HALCYON MOTORS CO", "Common Stock", 42.7, true},
    {"BWTR", "BRIGHTWATER BANK CORP", "Common Stock", 61.2, true},
    {"KSTL", "KESTREL AEROSPACE INC", "Common Stock", 233.9, true},
    {"QUIL", "QUILLON LABS INC", "Common Stock", 12.85, true},
    {"TSRA", "TESSERA ENERGY CORP", "Common Stock", 77.1, true},
    {"NWND.L", "NORTHWIND SYSTEMS INC (LONDON)", "Common Stock", 145.0, false},
    {"MRDN.L", "MERIDIAN TELECOM PLC", "Common Stock", 1.92, false},
};

struct Coin {
    const char* id;
    const char* name;
    const char* symbol;
    std::optional<int> rank;
    double usd;
};

const QList<Coin>& coins()
{
    static const QList<Coin> list = {
        {"bitcoin", "Bitcoin", "btc", 1, 67250.0},
        {"ethereum", "Ethereum", "eth", 2, 3420.0},
        {"solana", "Solana", "sol", 5, 152.3},
        {"wrapped-solana", "Wrapped SOL", "sol", std::nullopt, 151.9},
        {"dogecoin", "Dogecoin", "doge", 9, 0.1642},
        {"cardano", "Cardano", "ada", 11, 0.4581},
        {"wrapped-bitcoin", "Wrapped Bitcoin", "wbtc", 16, 67190.0},
        {"tidecoin", "Tidecoin", "tide", std::nullopt, 0.0031},
    };
    return list;
}

const Stock* findStock(const QString& symbol)
{
    for (const Stock& s : kStocks)
        if (symbol.compare(QString::fromUtf8(s.symbol), Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

double rounded(double value, int digits)
{
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

std::optional<JsonReply> missingKey(const QString& token)
{
    if (token.trimmed().isEmpty())
        return JsonReply{401, QJsonDocument(QJsonObject{{"error", "Please use an API key."}})};
    return std::nullopt;
}

} // namespace

std::pair<double, double> MarketReplies::price(const QString& key, double base, const QDateTime& now) const
{
    const qint64 secs = now.toSecsSinceEpoch();
    SampleRandom day(m_seed, key, secs / 86400);
    const double close = base * (1.0 + day.between(-0.03, 0.03));
    SampleRandom minute(m_seed, key, secs / 60);
    const double current = close * (1.0 + day.between(-0.025, 0.025) + minute.between(-0.002, 0.002));
    return {current, close};
}

QJsonObject MarketReplies::houseSet(const QDateTime& now) const
{
    const QDateTime minute = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch() / 60 * 60, Qt::UTC);
    const QDateTime fixing = QDateTime(now.date(), QTime(14, 15), Qt::UTC);
    QJsonArray quotes;
    for (const HouseQuote& h : kHouse) {
        const QString symbol = QString::fromUtf8(h.symbol);
        const bool daily = QLatin1String(h.cadence) == QLatin1String("daily");
        QJsonObject q{{"symbol", symbol},
                      {"name", QString::fromUtf8(h.name)},
                      {"kind", QString::fromUtf8(h.kind)},
                      {"currency", QString::fromUtf8(h.currency)},
                      {"cadence", QString::fromUtf8(h.cadence)},
                      {"source", QString::fromUtf8(h.source)},
                      {"ok", h.base > 0}};
        if (h.base > 0) {
            // Daily reference rates hold still until the next fixing.
            const auto [current, close] = price(symbol, h.base, daily ? fixing : now);
            const int digits = QLatin1String(h.kind) == QLatin1String("fx") ? 4 : 2;
            q.insert("price", rounded(current, digits));
            q.insert("change", rounded(current - close, digits));
            q.insert("change_pct", rounded((current - close) / close * 100.0, 2));
            q.insert("as_of", (daily ? fixing : minute).toString(Qt::ISODate));
        }
        quotes.append(q);
    }
    const QJsonArray attribution{
        QJsonObject{{"name", "Frankfurter"}, {"url", "https://rates.example/"},
                    {"credit", "Reference rates of the European Central Bank"}},
        QJsonObject{{"name", "CoinGecko"}, {"url", "https://coins.example/"}},
    };
    return QJsonObject{{"api_version", "1"},
                       {"as_of", minute.toString(Qt::ISODate)},
                       {"delayed", true},
                       {"attribution", attribution},
                       {"quotes", quotes}};
}

JsonReply MarketReplies::stockQuote(const QString& symbol, const QString& token, const QDateTime& now) const
{
    if (auto refusal = missingKey(token))
        return *refusal;
    const Stock* stock = findStock(symbol.trimmed());
    if (stock && !stock->onPlan)
        return {403, QJsonDocument(QJsonObject{{"error", "You don't have access to this resource."}})};
    if (!stock) {
        // What the service answers for a symbol it does not know.
        return JsonReply::ok(QJsonObject{{"c", 0}, {"d", QJsonValue::Null}, {"dp", QJsonValue::Null},
                                         {"h", 0}, {"l", 0}, {"o", 0}, {"pc", 0}, {"t", 0}});
    }
    const auto [current, close] = price(QString::fromUtf8(stock->symbol), stock->base, now);
    return JsonReply::ok(QJsonObject{{"c", rounded(current, 2)},
                                     {"d", rounded(current - close, 2)},
                                     {"dp", rounded((current - close) / close * 100.0, 4)},
                                     {"h", rounded(std::max(current, close) * 1.004, 2)},
                                     {"l", rounded(std::min(current, close) * 0.996, 2)},
                                     {"o", rounded(close * 1.001, 2)},
                                     {"pc", rounded(close, 2)},
                                     {"t", now.toSecsSinceEpoch() / 60 * 60}});
}

JsonReply MarketReplies::stockSearch(const QString& query, const QString& token) const
{
    if (auto refusal = missingKey(token))
        return *refusal;
    const QString q = query.trimmed();
    QJsonArray result;
    for (const Stock& s : kStocks) {
        const QString symbol = QString::fromUtf8(s.symbol);
        const QString description = QString::fromUtf8(s.description);
        if (q.isEmpty() || !(symbol.startsWith(q, Qt::CaseInsensitive) || description.contains(q, Qt::CaseInsensitive)))
            continue;
        result.append(QJsonObject{{"description", description},
                                  {"displaySymbol", symbol},
                                  {"symbol", symbol},
                                  {"type", QString::fromUtf8(s.type)}});
    }
    return JsonReply::ok(QJsonObject{{"count", result.size()}, {"result", result}});
}

JsonReply MarketReplies::stockProfile(const QString& symbol, const QString& token) const
{
    if (auto refusal = missingKey(token))
        return *refusal;
    const Stock* stock = findStock(symbol.trimmed());
    // Funds and unknown symbols have no company profile: an empty object.
    if (!stock || QLatin1String(stock->type) == QLatin1String("ETP"))
        return JsonReply::ok(QJsonObject{});
    QString name = QString::fromUtf8(stock->description).toLower();
    for (qsizetype i = 0; i < name.size(); ++i)
        if (i == 0 || name.at(i - 1) == QLatin1Char(' ') || name.at(i - 1) == QLatin1Char('('))
            name[i] = name.at(i).toUpper();
    return JsonReply::ok(QJsonObject{{"country", "US"},
                                     {"currency", "USD"},
                                     {"exchange", "NASDAQ NMS - GLOBAL MARKET"},
                                     {"name", name},
                                     {"ticker", QString::fromUtf8(stock->symbol)},
                                     {"weburl", QStringLiteral("https://%1.example/")
                                                    .arg(QString::fromUtf8(stock->symbol).toLower())}});
}

JsonReply MarketReplies::coinSearch(const QString& query) const
{
    const QString q = query.trimmed();
    QList<Coin> hits;
    for (const Coin& c : coins())
        if (!q.isEmpty() && (QString::fromUtf8(c.id).contains(q, Qt::CaseInsensitive)
                             || QString::fromUtf8(c.name).contains(q, Qt::CaseInsensitive)
                             || QString::fromUtf8(c.symbol).contains(q, Qt::CaseInsensitive)))
            hits.append(c);
    std::stable_sort(hits.begin(), hits.end(), [](const Coin& a, const Coin& b) {
        return a.rank.value_or(std::numeric_limits<int>::max()) < b.rank.value_or(std::numeric_limits<int>::max());
    });
    QJsonArray out;
    for (const Coin& c : hits) {
        const QString id = QString::fromUtf8(c.id);
        out.append(QJsonObject{{"id", id},
                               {"name", QString::fromUtf8(c.name)},
                               {"api_symbol", id},
                               {"symbol", QString::fromUtf8(c.symbol).toUpper()},
                               {"market_cap_rank", c.rank ? QJsonValue(*c.rank) : QJsonValue(QJsonValue::Null)},
                               {"thumb", QStringLiteral("https://coins.example/thumb/%1.png").arg(id)},
                               {"large", QStringLiteral("https://coins.example/large/%1.png").arg(id)}});
    }
    return JsonReply::ok(QJsonObject{{"coins", out}, {"exchanges", QJsonArray()}, {"icos", QJsonArray()},
                                     {"categories", QJsonArray()}, {"nfts", QJsonArray()}});
}

JsonReply MarketReplies::coinPrices(const QStringList& ids, const QStringList& currencies, bool withChange,
                                    bool withTime, const QDateTime& now) const
{
    if (currencies.isEmpty())
        return {400, QJsonDocument(QJsonObject{{"error", "Missing parameter vs_currencies"}})};
    static const QList<std::pair<QString, double>> rates = {{"usd", 1.0}, {"eur", 0.92}, {"gbp", 0.79}};
    QJsonObject out;
    for (const QString& id : ids) {
        const auto coin = std::find_if(coins().begin(), coins().end(),
                                       [&](const Coin& c) { return id.trimmed() == QLatin1String(c.id); });
        if (coin == coins().end())
            continue;
        const auto [current, close] = price(id.trimmed(), coin->usd, now);
        QJsonObject entry;
        for (const auto& [code, rate] : rates) {
            if (!currencies.contains(code, Qt::CaseInsensitive))
                continue;
            const int digits = current < 1.0 ? 6 : 2;
            entry.insert(code, rounded(current * rate, digits));
            if (withChange)
                entry.insert(code + "_24h_change", rounded((current - close) / close * 100.0, 6));
        }
        if (withTime)
            entry.insert("last_updated_at", now.toSecsSinceEpoch() / 60 * 60);
        out.insert(id.trimmed(), entry);
    }
    return JsonReply::ok(out);
}
