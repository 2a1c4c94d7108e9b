#pragma once

#include "platform/net/Http.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <utility>

class QNetworkAccessManager;

// What the Finnhub and CoinGecko requests share.
namespace MarketHttp {

inline constexpr std::chrono::milliseconds kRequestTimeout{8000};
inline constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024;

using QueryItems = QList<std::pair<QString, QString>>;

// `base` joined with `path`, with the query items in order. Every key and
// value is percent-encoded whole, so "&", "=", "+" and spaces in a symbol
// arrive as sent.
QUrl url(const QUrl& base, const QString& path, const QueryItems& items);

// A GET with the market services' timeout and size cap. `headers` go along
// unchanged (the Finnhub key travels as a header, never in the address).
QCoro::Task<Result<HttpResponse>> get(QNetworkAccessManager* manager, QUrl url,
                                      QList<std::pair<QByteArray, QByteArray>> headers, std::stop_token stop);

} // namespace MarketHttp
