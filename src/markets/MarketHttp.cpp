#include "markets/MarketHttp.h"

#include "platform/net/Endpoints.h"

namespace MarketHttp {

QUrl url(const QUrl& base, const QString& path, const QueryItems& items)
{
    QUrl address = Endpoints::join(base, path);
    QByteArray query;
    for (const auto& [key, value] : items) {
        if (!query.isEmpty())
            query.append('&');
        query.append(QUrl::toPercentEncoding(key));
        query.append('=');
        query.append(QUrl::toPercentEncoding(value));
    }
    if (!items.isEmpty())
        address.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return address;
}

QCoro::Task<Result<HttpResponse>> get(QNetworkAccessManager* manager, QUrl url,
                                      QList<std::pair<QByteArray, QByteArray>> headers, std::stop_token stop)
{
    HttpRequest request(std::move(url));
    request.headers = std::move(headers);
    request.timeout = kRequestTimeout;
    request.maxBytes = kMaxBodyBytes;
    co_return co_await httpSend(manager, std::move(request), stop);
}

} // namespace MarketHttp
