#include "markets/CoinGeckoClient.h"

#include "markets/MarketHttp.h"

namespace {
QString unreachable(const QString& description)
{
    return QStringLiteral("Could not reach CoinGecko: ") + description;
}
} // namespace

QCoro::Task<Result<QList<CoinGeckoSearch::Coin>>> CoinGeckoClient::search(QString query, std::stop_token stop) const
{
    const QUrl address = MarketHttp::url(m_base, QStringLiteral("api/v3/search"), {{QStringLiteral("query"), query}});
    const Result<HttpResponse> reply = co_await MarketHttp::get(m_manager, address, {}, stop);
    if (!reply)
        co_return fail(reply.error().kind, unreachable(reply.error().description));
    if (reply->status == 429)
        co_return fail(ErrorKind::BadServerResponse, QStringLiteral("CoinGecko rate limit hit, try again in a minute"),
                       429);
    if (!reply->isSuccess())
        co_return fail(ErrorKind::BadServerResponse, QStringLiteral("CoinGecko returned HTTP %1").arg(reply->status),
                       reply->status);
    const Result<CoinGeckoSearch> decoded = decodeJson<CoinGeckoSearch>(reply->body);
    if (!decoded)
        co_return fail(ErrorKind::Decoding, unreachable(decoded.error().description));
    co_return decoded->coins;
}

QCoro::Task<Result<QHash<QString, CoinGeckoPrice>>> CoinGeckoClient::prices(QStringList ids, std::stop_token stop) const
{
    const QUrl address = MarketHttp::url(m_base, QStringLiteral("api/v3/simple/price"),
                                         {{QStringLiteral("ids"), ids.join(QLatin1Char(','))},
                                          {QStringLiteral("vs_currencies"), QStringLiteral("usd")},
                                          {QStringLiteral("include_24hr_change"), QStringLiteral("true")},
                                          {QStringLiteral("include_last_updated_at"), QStringLiteral("true")}});
    const Result<HttpResponse> reply = co_await MarketHttp::get(m_manager, address, {}, stop);
    if (!reply)
        co_return std::unexpected(reply.error());
    if (!reply->isSuccess())
        co_return fail(ErrorKind::BadServerResponse, QStringLiteral("HTTP %1").arg(reply->status), reply->status);
    co_return CoinGeckoPrice::mapFromJson(reply->body);
}
