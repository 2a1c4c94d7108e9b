#pragma once

#include "platform/storage/Json.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <optional>

struct FinnhubQuote;
struct CoinGeckoPrice;

// How fresh a quote's price is.
enum class QuoteCadence { Live, Delayed, Daily };

QString quoteCadenceRawValue(QuoteCadence cadence);
// "live" and "daily" name their cadence; every other text reads as delayed.
QuoteCadence quoteCadenceFromRawValue(const QString& raw);

// The user's position in one symbol: units held and buy price per unit.
struct Holding {
    double units = 0;
    double cost = 0;

    friend bool operator==(const Holding&, const Holding&) = default;

    static Result<Holding> fromJson(const QJsonValue& value, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};

// A data credit that comes with the server's quote set.
struct MarketAttribution {
    QString name;
    QString url;
    std::optional<QString> credit;

    friend bool operator==(const MarketAttribution&, const MarketAttribution&) = default;

    static Result<MarketAttribution> fromJson(const QJsonValue& value, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};

// One market quote. `symbol` is also its identity. `holding` is attached by
// the market store and never read from or written to JSON.
struct MarketQuote {
    QString symbol;
    QString name;
    QString kind;      // "equity", "crypto", "fx", or a server's own kind
    QString currency;  // e.g. "USD"
    QuoteCadence cadence = QuoteCadence::Delayed;
    std::optional<double> price;
    std::optional<double> change;
    std::optional<double> changePct;  // percent points: 1.5 means 1.5 %
    std::optional<QString> asOf;      // as received, never parsed
    QString source;                   // "finnhub", "coingecko", "frankfurter", ...
    bool ok = false;
    std::optional<Holding> holding;

    // All twelve fields, holding included; a NaN never equals itself.
    friend bool operator==(const MarketQuote&, const MarketQuote&) = default;

    const QString& id() const { return symbol; }
    bool isFx() const { return kind == QLatin1String("fx"); }

    static Result<MarketQuote> fromJson(const QJsonValue& value, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;

    // A stock quote from Finnhub's quote record: usable exactly when c > 0.
    static MarketQuote fromFinnhub(const QString& symbol, const QString& name, const QString& kind,
                                   const FinnhubQuote& record);
    // A coin quote from one CoinGecko simple-price entry: usable exactly when usd > 0.
    static MarketQuote fromCoinGecko(const QString& symbol, const QString& name, const CoinGeckoPrice& price);

    // The same quote with another name and no holding.
    MarketQuote withName(const QString& newName) const;

    // "▲ 1.23%", "▼ 0.40%", "● 0.00%", or "—" without a change percentage.
    QString changeText() const;
    // The gain on the user's position ("▲ 1,234 (12.3%)"), or nothing without
    // a holding, a price or a usable quote.
    std::optional<QString> holdingText(const QLocale& locale = QLocale()) const;
    // units × (price − cost) when the quote is usable and has both.
    std::optional<double> holdingGain() const;
};

// The reply of the server's "v1_markets": the house quote set.
struct MarketsResponse {
    QString apiVersion;
    QString asOf;
    bool delayed = false;
    QList<MarketAttribution> attribution;
    QList<MarketQuote> quotes;

    friend bool operator==(const MarketsResponse&, const MarketsResponse&) = default;

    static Result<MarketsResponse> fromJson(const QJsonValue& value, const JsonOptions& options);
    QJsonObject toJson(const JsonOptions& options) const;
};

// ISO 8601 text (UTC, whole seconds, "Z") of a Unix time, or nothing when
// the number is not a representable instant.
std::optional<QString> isoTextFromUnixSeconds(double seconds);
