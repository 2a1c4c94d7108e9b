#pragma once

#include "platform/storage/Json.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// Answers of the two outside market-data services, decoded only.

// Finnhub "/api/v1/quote": every field optional.
struct FinnhubQuote {
    std::optional<double> c;   // current price
    std::optional<double> d;   // change against the previous close
    std::optional<double> dp;  // change in percent
    std::optional<double> pc;  // previous close
    std::optional<double> t;   // time of the price, Unix seconds

    friend bool operator==(const FinnhubQuote&, const FinnhubQuote&) = default;
    static Result<FinnhubQuote> fromJson(const QJsonValue& value, const JsonOptions& options);
};

// Finnhub "/api/v1/search".
struct FinnhubSearch {
    struct Result {
        QString description;
        QString symbol;
        QString type;

        friend bool operator==(const Result&, const Result&) = default;
        static ::Result<Result> fromJson(const QJsonValue& value, const JsonOptions& options);
    };

    QList<Result> result;

    static ::Result<FinnhubSearch> fromJson(const QJsonValue& value, const JsonOptions& options);
};

// CoinGecko "/api/v3/search"; only the coins are read.
struct CoinGeckoSearch {
    struct Coin {
        QString id;
        QString name;
        QString symbol;
        std::optional<qint64> marketCapRank;

        friend bool operator==(const Coin&, const Coin&) = default;
        static Result<Coin> fromJson(const QJsonValue& value, const JsonOptions& options);
    };

    QList<Coin> coins;

    static Result<CoinGeckoSearch> fromJson(const QJsonValue& value, const JsonOptions& options);
};

// One entry of CoinGecko "/api/v3/simple/price", whose answer maps coin ids
// to entries.
struct CoinGeckoPrice {
    std::optional<double> usd;
    std::optional<double> usd24hChange;   // percent over 24 hours
    std::optional<double> lastUpdatedAt;  // Unix seconds

    friend bool operator==(const CoinGeckoPrice&, const CoinGeckoPrice&) = default;
    static Result<CoinGeckoPrice> fromJson(const QJsonValue& value, const JsonOptions& options);
    // The whole answer: an object of coin id -> entry; all or nothing.
    static Result<QHash<QString, CoinGeckoPrice>> mapFromJson(const QByteArray& body);
};
