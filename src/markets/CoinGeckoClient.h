#pragma once

#include "markets/ProviderRecords.h"

#include <QHash>
#include <QStringList>
#include <QUrl>
#include <stop_token>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// CoinGecko's public API; no key.
class CoinGeckoClient {
public:
    CoinGeckoClient(QNetworkAccessManager* manager, QUrl base) : m_manager(manager), m_base(std::move(base)) {}

    // "/api/v3/search": the coins of the answer. On failure the error's
    // description is the text shown to the user ("Could not reach CoinGecko: …",
    // the rate-limit text, or "CoinGecko returned HTTP <code>").
    QCoro::Task<Result<QList<CoinGeckoSearch::Coin>>> search(QString query, std::stop_token stop) const;

    // "/api/v3/simple/price" in US dollars with the 24-hour change and the
    // time of each price. Failures: the transport error as it came,
    // BadServerResponse with `httpStatus` for a status outside 2xx, or
    // Decoding.
    QCoro::Task<Result<QHash<QString, CoinGeckoPrice>>> prices(QStringList ids, std::stop_token stop) const;

private:
    QNetworkAccessManager* m_manager;
    QUrl m_base;
};
