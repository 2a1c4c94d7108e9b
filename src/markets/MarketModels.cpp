#include "markets/MarketModels.h"

#include "markets/MoneyFormat.h"
#include "markets/ProviderRecords.h"

#include <cmath>

namespace {

const QString kUp = QStringLiteral("\u25B2");    // ▲
const QString kDown = QStringLiteral("\u25BC");  // ▼
const QString kFlat = QStringLiteral("\u25CF");  // ●
const QString kDash = QStringLiteral("\u2014");  // —

const QString& arrowFor(double value)
{
    if (value > 0)
        return kUp;
    if (value < 0)
        return kDown;
    return kFlat;
}

// Every second of 0001-01-01 .. 9999-12-31, the years ISO 8601 writes plainly.
constexpr double kEarliestSeconds = -62135596800.0;
constexpr double kLatestSeconds = 253402300799.0;

} // namespace

QString quoteCadenceRawValue(QuoteCadence cadence)
{
    switch (cadence) {
    case QuoteCadence::Live:
        return QStringLiteral("live");
    case QuoteCadence::Delayed:
        return QStringLiteral("delayed");
    case QuoteCadence::Daily:
        return QStringLiteral("daily");
    }
    return QStringLiteral("delayed");
}

QuoteCadence quoteCadenceFromRawValue(const QString& raw)
{
    if (raw == QLatin1String("live"))
        return QuoteCadence::Live;
    if (raw == QLatin1String("daily"))
        return QuoteCadence::Daily;
    return QuoteCadence::Delayed;
}

std::optional<QString> isoTextFromUnixSeconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds < kEarliestSeconds || seconds > kLatestSeconds)
        return std::nullopt;
    const auto whole = static_cast<qint64>(std::floor(seconds));
    return QDateTime::fromSecsSinceEpoch(whole, Qt::UTC).toString(Qt::ISODate);
}

Result<Holding> Holding::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("Holding"));
    Holding h;
    h.units = in.required<double>(QStringLiteral("units"));
    h.cost = in.required<double>(QStringLiteral("cost"));
    if (!in.ok())
        return std::unexpected(in.error());
    return h;
}

QJsonObject Holding::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("units"), units);
    out.put(QStringLiteral("cost"), cost);
    return out.object();
}

Result<MarketAttribution> MarketAttribution::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("MarketAttribution"));
    MarketAttribution a;
    a.name = in.required<QString>(QStringLiteral("name"));
    a.url = in.required<QString>(QStringLiteral("url"));
    a.credit = in.optional<QString>(QStringLiteral("credit"));
    if (!in.ok())
        return std::unexpected(in.error());
    return a;
}

QJsonObject MarketAttribution::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("name"), name);
    out.put(QStringLiteral("url"), url);
    out.put(QStringLiteral("credit"), credit);
    return out.object();
}

Result<MarketQuote> MarketQuote::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("MarketQuote"));
    MarketQuote q;
    q.symbol = in.required<QString>(QStringLiteral("symbol"));
    q.name = in.required<QString>(QStringLiteral("name"));
    q.kind = in.required<QString>(QStringLiteral("kind"));
    q.currency = in.required<QString>(QStringLiteral("currency"));
    q.cadence = quoteCadenceFromRawValue(in.required<QString>(QStringLiteral("cadence")));
    q.price = in.optional<double>(QStringLiteral("price"));
    q.change = in.optional<double>(QStringLiteral("change"));
    q.source = in.required<QString>(QStringLiteral("source"));
    q.ok = in.required<bool>(QStringLiteral("ok"));
    q.changePct = in.optional<double>(QStringLiteral("change_pct"));
    q.asOf = in.optional<QString>(QStringLiteral("as_of"));
    if (!in.ok())
        return std::unexpected(in.error());
    return q;
}

QJsonObject MarketQuote::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("symbol"), symbol);
    out.put(QStringLiteral("name"), name);
    out.put(QStringLiteral("kind"), kind);
    out.put(QStringLiteral("currency"), currency);
    out.put(QStringLiteral("cadence"), quoteCadenceRawValue(cadence));
    out.put(QStringLiteral("price"), price);
    out.put(QStringLiteral("change"), change);
    out.put(QStringLiteral("source"), source);
    out.put(QStringLiteral("ok"), ok);
    out.put(QStringLiteral("change_pct"), changePct);
    out.put(QStringLiteral("as_of"), asOf);
    return out.object();
}

MarketQuote MarketQuote::fromFinnhub(const QString& symbol, const QString& name, const QString& kind,
                                     const FinnhubQuote& record)
{
    MarketQuote q;
    q.symbol = symbol;
    q.name = name;
    q.kind = kind;
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.source = QStringLiteral("finnhub");
    q.ok = record.c.has_value() && *record.c > 0;
    if (q.ok) {
        q.price = record.c;
        q.change = record.d;
        q.changePct = record.dp;
    }
    if (record.t)
        q.asOf = isoTextFromUnixSeconds(*record.t);
    return q;
}

MarketQuote MarketQuote::fromCoinGecko(const QString& symbol, const QString& name, const CoinGeckoPrice& price)
{
    MarketQuote q;
    q.symbol = symbol;
    q.name = name;
    q.kind = QStringLiteral("crypto");
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.source = QStringLiteral("coingecko");
    if (price.usd && *price.usd > 0) {
        q.price = price.usd;
        q.changePct = price.usd24hChange;
        if (price.usd24hChange) {
            // The change implied by the percentage; a fall of 100 % or more
            // implies no finite previous price, so there is no change then.
            const double factor = 1.0 + *price.usd24hChange / 100.0;
            if (factor > 0)
                q.change = *price.usd - *price.usd / factor;
        }
    }
    q.ok = q.price.has_value();
    if (price.lastUpdatedAt)
        q.asOf = isoTextFromUnixSeconds(*price.lastUpdatedAt);
    return q;
}

MarketQuote MarketQuote::withName(const QString& newName) const
{
    MarketQuote q = *this;
    q.name = newName;
    q.holding.reset();
    return q;
}

QString MarketQuote::changeText() const
{
    if (!changePct)
        return kDash;
    return arrowFor(*changePct) + QLatin1Char(' ') + fixedText(std::fabs(*changePct), 2) + QLatin1Char('%');
}

std::optional<double> MarketQuote::holdingGain() const
{
    if (!holding || !ok || !price)
        return std::nullopt;
    return holding->units * (*price - holding->cost);
}

std::optional<QString> MarketQuote::holdingText(const QLocale& locale) const
{
    const std::optional<double> gain = holdingGain();
    if (!gain)
        return std::nullopt;
    const QString money = formatMoney(std::fabs(*gain), isFx(), locale);
    const QString& arrow = arrowFor(*gain);
    if (holding->cost > 0) {
        const double percent = (*price - holding->cost) / holding->cost * 100.0;
        return arrow + QLatin1Char(' ') + money + QStringLiteral(" (") + fixedText(std::fabs(percent), 1)
            + QStringLiteral("%)");
    }
    return arrow + QLatin1Char(' ') + money;
}

Result<MarketsResponse> MarketsResponse::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("MarketsResponse"));
    MarketsResponse r;
    r.apiVersion = in.required<QString>(QStringLiteral("api_version"));
    r.asOf = in.required<QString>(QStringLiteral("as_of"));
    r.delayed = in.required<bool>(QStringLiteral("delayed"));
    r.attribution = in.required<QList<MarketAttribution>>(QStringLiteral("attribution"));
    r.quotes = in.required<QList<MarketQuote>>(QStringLiteral("quotes"));
    if (!in.ok())
        return std::unexpected(in.error());
    return r;
}

QJsonObject MarketsResponse::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("api_version"), apiVersion);
    out.put(QStringLiteral("as_of"), asOf);
    out.put(QStringLiteral("delayed"), delayed);
    out.put(QStringLiteral("attribution"), attribution);
    out.put(QStringLiteral("quotes"), quotes);
    return out.object();
}
