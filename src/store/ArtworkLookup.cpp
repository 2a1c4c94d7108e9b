#include "store/ArtworkLookup.h"

#include "platform/net/Endpoints.h"
#include "platform/net/Http.h"
#include "platform/session/UrlOpener.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace ArtworkLookup {

QUrl searchUrl(const QUrl& base, const QString& artist, const QString& track)
{
    QUrl url = Endpoints::join(base, QStringLiteral("search"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("term"), artist + QLatin1Char(' ') + track);
    query.addQueryItem(QStringLiteral("entity"), QStringLiteral("song"));
    query.addQueryItem(QStringLiteral("limit"), QStringLiteral("1"));
    url.setQuery(query);
    return url;
}

std::optional<QUrl> artworkFromReply(const QByteArray& body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonValue results = doc.object().value(QStringLiteral("results"));
    if (!results.isArray() || results.toArray().isEmpty())
        return std::nullopt;
    const QJsonValue first = results.toArray().first();
    const QJsonValue art = first.toObject().value(QStringLiteral("artworkUrl100"));
    if (!first.isObject() || !art.isString())
        return std::nullopt;
    QString text = art.toString();
    text.replace(QStringLiteral("100x100"), QStringLiteral("600x600"));
    return webUrl(text);
}

QCoro::Task<std::optional<QUrl>> lookUp(QNetworkAccessManager* network, QUrl base, QString artist,
                                        QString track, std::stop_token stop)
{
    HttpRequest request(searchUrl(base, artist, track));
    request.timeout = std::chrono::seconds(5);
    request.maxBytes = 1024 * 1024;
    request.cacheLoad = QNetworkRequest::PreferNetwork;
    const Result<HttpResponse> reply = co_await httpSend(network, std::move(request), stop);
    if (!reply)
        co_return std::nullopt;
    co_return artworkFromReply(reply->body);  // the status is not consulted
}

} // namespace ArtworkLookup
