#include "markets/FinnhubClient.h"

#include "markets/MarketHttp.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QList<std::pair<QByteArray, QByteArray>> tokenHeader(const QString& key)
{
    return {{QByteArrayLiteral("X-Finnhub-Token"), key.toUtf8()}};
}

QString unreachable(const QString& description)
{
    return QStringLiteral("Could not reach Finnhub: ") + description;
}

} // namespace

bool isNotOnPlanError(const QByteArray& body)
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonValue error = doc.object().value(QStringLiteral("error"));
    return error.isString() && error.toString().toLower().contains(QStringLiteral("have access"));
}

QString FinnhubClient::rateLimitText()
{
    return QStringLiteral("Finnhub rate limit hit, retrying next minute");
}

MarketQuote FinnhubClient::placeholder(const FinnhubRow& row)
{
    MarketQuote q;
    q.symbol = row.symbol;
    q.name = row.name;
    q.kind = row.kind;
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.source = QStringLiteral("finnhub");
    q.ok = false;
    return q;
}

QCoro::Task<FinnhubOutcome> FinnhubClient::quote(FinnhubRow row, QString key, std::stop_token stop) const
{
    const QUrl address = MarketHttp::url(m_base, QStringLiteral("api/v1/quote"),
                                         {{QStringLiteral("symbol"), row.finnhub}});
    const Result<HttpResponse> reply = co_await MarketHttp::get(m_manager, address, tokenHeader(key), stop);
    FinnhubOutcome outcome;
    if (!reply) {
        outcome.failure = unreachable(reply.error().description);
        co_return outcome;
    }
    const int status = reply->status;
    if (status == 401) {
        outcome.kind = isNotOnPlanError(reply->body) ? FinnhubOutcome::Kind::NotOnPlan : FinnhubOutcome::Kind::Rejected;
    } else if (status == 429) {
        outcome.failure = rateLimitText();
        outcome.rateLimited = true;
    } else if (status == 403) {
        outcome.kind = FinnhubOutcome::Kind::NotOnPlan;
    } else if (reply->isSuccess()) {
        const Result<FinnhubQuote> record = decodeJson<FinnhubQuote>(reply->body);
        if (record) {
            outcome.kind = FinnhubOutcome::Kind::Quote;
            outcome.quote = MarketQuote::fromFinnhub(row.symbol, row.name, row.kind, *record);
        } else {
            outcome.failure = unreachable(record.error().description);
        }
    } else {
        outcome.failure = QStringLiteral("Finnhub returned HTTP %1 for %2").arg(QString::number(status), row.symbol);
    }
    co_return outcome;
}

QCoro::Task<std::optional<QString>> FinnhubClient::companyName(QString symbol, QString key, std::stop_token stop) const
{
    const QUrl address = MarketHttp::url(m_base, QStringLiteral("api/v1/stock/profile2"),
                                         {{QStringLiteral("symbol"), symbol}});
    const Result<HttpResponse> reply = co_await MarketHttp::get(m_manager, address, tokenHeader(key), stop);
    if (!reply || reply->status != 200)
        co_return std::nullopt;
    co_return companyNameFromProfile(reply->body);
}

std::optional<QString> companyNameFromProfile(const QByteArray& body)
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonValue name = doc.object().value(QStringLiteral("name"));
    if (!name.isString() || name.toString().isEmpty())
        return std::nullopt;
    return name.toString();
}

QCoro::Task<Result<FinnhubSearch>> FinnhubClient::search(QString query, QString key, std::stop_token stop) const
{
    const QUrl address = MarketHttp::url(m_base, QStringLiteral("api/v1/search"), {{QStringLiteral("q"), query}});
    const Result<HttpResponse> reply = co_await MarketHttp::get(m_manager, address, tokenHeader(key), stop);
    if (!reply)
        co_return std::unexpected(reply.error());
    if (reply->status != 200)
        co_return fail(ErrorKind::BadServerResponse, QStringLiteral("Finnhub returned HTTP %1").arg(reply->status),
                       reply->status);
    co_return decodeJson<FinnhubSearch>(reply->body);
}
