#pragma once

#include "platform/storage/Json.h"

#include <QList>
#include <QString>
#include <optional>

// One entry of the user's watchlist. `symbol` is its identity.
struct WatchSymbol {
    enum class Kind { Stock, Coin };

    QString symbol;
    Kind kind = Kind::Stock;
    QString name;
    std::optional<QString> coinId;  // CoinGecko id; coins only
    std::optional<double> units;    // units held; with `cost` when a holding is recorded
    std::optional<double> cost;     // buy price per unit

    friend bool operator==(const WatchSymbol&, const WatchSymbol&) = default;

    const QString& id() const { return symbol; }
    // units > 0 and cost >= 0, both present and finite.
    bool hasValidHolding() const;

    static Result<WatchSymbol> fromJson(const QJsonValue& value, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;

    // The stored form: a JSON array of entries. Nothing when an entry holds a
    // number JSON cannot carry (NaN or infinity).
    static std::optional<QJsonArray> encodeList(const QList<WatchSymbol>& list);
    // All or nothing: any bad entry makes the whole array unreadable.
    static Result<QList<WatchSymbol>> decodeList(const QJsonValue& value);
};

QString watchKindRawValue(WatchSymbol::Kind kind);

// True when units > 0 and cost >= 0 are both finite numbers.
bool isValidHolding(std::optional<double> units, std::optional<double> cost);

// One row of the stock symbol suggestions.
struct StockSuggestion {
    QString symbol;
    QString name;
    QString type;

    friend bool operator==(const StockSuggestion&, const StockSuggestion&) = default;
    const QString& id() const { return symbol; }
};

// The outcome of adding a stock or a coin to the watchlist.
struct WatchAddResult {
    enum class Kind { Added, Unreachable, Duplicate, Full, NeedsKey, UnknownSymbol, NotOnPlan, RejectedKey };

    Kind kind = Kind::UnknownSymbol;
    std::optional<WatchSymbol> added;  // with Added
    QString message;                   // with Unreachable: shown to the user unchanged

    friend bool operator==(const WatchAddResult&, const WatchAddResult&) = default;

    static WatchAddResult makeAdded(WatchSymbol entry) { return {Kind::Added, std::move(entry), {}}; }
    static WatchAddResult makeUnreachable(QString text) { return {Kind::Unreachable, std::nullopt, std::move(text)}; }
    static WatchAddResult make(Kind kind) { return {kind, std::nullopt, {}}; }
};
