#include "markets/WatchModels.h"

#include <cmath>

namespace {
bool isFinite(const std::optional<double>& v)
{
    return !v || std::isfinite(*v);
}
} // namespace

QString watchKindRawValue(WatchSymbol::Kind kind)
{
    return kind == WatchSymbol::Kind::Coin ? QStringLiteral("coin") : QStringLiteral("stock");
}

bool isValidHolding(std::optional<double> units, std::optional<double> cost)
{
    return units && cost && std::isfinite(*units) && std::isfinite(*cost) && *units > 0 && *cost >= 0;
}

bool WatchSymbol::hasValidHolding() const
{
    return isValidHolding(units, cost);
}

Result<WatchSymbol> WatchSymbol::fromJson(const QJsonValue& value, const JsonOptions& options)
{
    JsonIn in(value, options, QStringLiteral("WatchSymbol"));
    WatchSymbol w;
    w.symbol = in.required<QString>(QStringLiteral("symbol"));
    const QString kind = in.required<QString>(QStringLiteral("kind"));
    w.name = in.required<QString>(QStringLiteral("name"));
    w.coinId = in.optional<QString>(QStringLiteral("coinId"));
    w.units = in.optional<double>(QStringLiteral("units"));
    w.cost = in.optional<double>(QStringLiteral("cost"));
    if (in.ok()) {
        if (kind == QLatin1String("stock"))
            w.kind = Kind::Stock;
        else if (kind == QLatin1String("coin"))
            w.kind = Kind::Coin;
        else
            in.fail(QStringLiteral("unknown kind \"%1\"").arg(kind));
    }
    if (!in.ok())
        return std::unexpected(in.error());
    return w;
}

QJsonObject WatchSymbol::toJson(const JsonOptions& options) const
{
    JsonOut out(options);
    out.put(QStringLiteral("symbol"), symbol);
    out.put(QStringLiteral("kind"), watchKindRawValue(kind));
    out.put(QStringLiteral("name"), name);
    out.put(QStringLiteral("coinId"), coinId);
    out.put(QStringLiteral("units"), units);
    out.put(QStringLiteral("cost"), cost);
    return out.object();
}

std::optional<QJsonArray> WatchSymbol::encodeList(const QList<WatchSymbol>& list)
{
    const JsonOptions options;
    QJsonArray array;
    for (const WatchSymbol& entry : list) {
        if (!isFinite(entry.units) || !isFinite(entry.cost))
            return std::nullopt;
        array.append(entry.toJson(options));
    }
    return array;
}

Result<QList<WatchSymbol>> WatchSymbol::decodeList(const QJsonValue& value)
{
    JsonIn in(QJsonObject{{QStringLiteral("watchlist"), value}}, JsonOptions{}, QStringLiteral("stored watchlist"));
    QList<WatchSymbol> list = in.required<QList<WatchSymbol>>(QStringLiteral("watchlist"));
    if (!in.ok())
        return std::unexpected(in.error());
    return list;
}
