#include "markets/ProviderRecords.h"

Result<FinnhubQuote> FinnhubQuote::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("FinnhubQuote"));
    FinnhubQuote q;
    q.c = in.optional<double>(QStringLiteral("c"));
    q.d = in.optional<double>(QStringLiteral("d"));
    q.dp = in.optional<double>(QStringLiteral("dp"));
    q.pc = in.optional<double>(QStringLiteral("pc"));
    q.t = in.optional<double>(QStringLiteral("t"));
    if (!in.ok())
        return std::unexpected(in.error());
    return q;
}

Result<FinnhubSearch::Result> FinnhubSearch::Result::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("FinnhubSearch.Result"));
    Result r;
    r.description = in.required<QString>(QStringLiteral("description"));
    r.symbol = in.required<QString>(QStringLiteral("symbol"));
    r.type = in.required<QString>(QStringLiteral("type"));
    if (!in.ok())
        return std::unexpected(in.error());
    return r;
}

Result<FinnhubSearch> FinnhubSearch::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("FinnhubSearch"));
    FinnhubSearch s;
    s.result = in.required<QList<Result>>(QStringLiteral("result"));
    if (!in.ok())
        return std::unexpected(in.error());
    return s;
}

Result<CoinGeckoSearch::Coin> CoinGeckoSearch::Coin::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("CoinGeckoSearch.Coin"));
    Coin c;
    c.id = in.required<QString>(QStringLiteral("id"));
    c.name = in.required<QString>(QStringLiteral("name"));
    c.symbol = in.required<QString>(QStringLiteral("symbol"));
    c.marketCapRank = in.optional<qint64>(QStringLiteral("market_cap_rank"));
    if (!in.ok())
        return std::unexpected(in.error());
    return c;
}

Result<CoinGeckoSearch> CoinGeckoSearch::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("CoinGeckoSearch"));
    CoinGeckoSearch s;
    s.coins = in.required<QList<Coin>>(QStringLiteral("coins"));
    if (!in.ok())
        return std::unexpected(in.error());
    return s;
}

Result<CoinGeckoPrice> CoinGeckoPrice::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("CoinGeckoPrice"));
    CoinGeckoPrice p;
    p.usd = in.optional<double>(QStringLiteral("usd"));
    p.usd24hChange = in.optional<double>(QStringLiteral("usd_24h_change"));
    p.lastUpdatedAt = in.optional<double>(QStringLiteral("last_updated_at"));
    if (!in.ok())
        return std::unexpected(in.error());
    return p;
}

Result<QHash<QString, CoinGeckoPrice>> CoinGeckoPrice::mapFromJson(const QByteArray& body)
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &pe);
    if (pe.error != QJsonParseError::NoError)
        return fail(ErrorKind::Decoding, QStringLiteral("invalid JSON: %1").arg(pe.errorString()));
    if (!doc.isObject())
        return fail(ErrorKind::Decoding, QStringLiteral("CoinGeckoPrice map: expected an object"));
    const QJsonObject object = doc.object();
    const JsonOptions options;
    QHash<QString, CoinGeckoPrice> out;
    for (auto it = object.begin(); it != object.end(); ++it) {
        Result<CoinGeckoPrice> entry = fromJson(it.value(), options);
        if (!entry)
            return fail(ErrorKind::Decoding, QStringLiteral("\"%1\": %2").arg(it.key(), entry.error().description));
        out.insert(it.key(), *entry);
    }
    return out;
}
