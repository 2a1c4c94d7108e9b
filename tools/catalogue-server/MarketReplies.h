#pragma once

#include "JsonReply.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The house quote set of the server API and stand-ins for the two public
// market services (stock quotes, search and profiles with a key; coin search
// and prices without), all priced from the seed with a small drift per minute.
class MarketReplies {
public:
    explicit MarketReplies(quint64 seed) : m_seed(seed) {}

    QJsonObject houseSet(const QDateTime& now) const;

    // Stock service; `token` is the caller's key (empty: 401).
    JsonReply stockQuote(const QString& symbol, const QString& token, const QDateTime& now) const;
    JsonReply stockSearch(const QString& query, const QString& token) const;
    JsonReply stockProfile(const QString& symbol, const QString& token) const;

    // Coin service.
    JsonReply coinSearch(const QString& query) const;
    JsonReply coinPrices(const QStringList& ids, const QStringList& currencies, bool withChange, bool withTime,
                         const QDateTime& now) const;

private:
    // Price now and the previous close for a base price, drifting each minute.
    std::pair<double, double> price(const QString& key, double base, const QDateTime& now) const;

    quint64 m_seed;
};
