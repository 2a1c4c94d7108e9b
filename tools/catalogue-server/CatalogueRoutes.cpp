#include "CatalogueRoutes.h"

#include "ImagePainter.h"
#include "WeatherReplies.h"

#include <QRegularExpression>
#include <optional>

namespace {

using Reply = CatalogueRoutes::Reply;

Reply json(const JsonReply& reply)
{
    return Reply{reply.status, "application/json; charset=utf-8", reply.body.toJson(QJsonDocument::Compact), {}};
}

Reply json(const QJsonObject& object)
{
    return json(JsonReply::ok(object));
}

Reply failure(int status, const QString& message)
{
    return json(JsonReply::error(status, message));
}

Reply png(QByteArray bytes)
{
    return Reply{200, "image/png", std::move(bytes), {}};
}

std::optional<QString> value(const QUrlQuery& query, const QString& key)
{
    if (!query.hasQueryItem(key))
        return std::nullopt;
    return query.queryItemValue(key, QUrl::FullyDecoded);
}

// The whole text as a decimal integer.
std::optional<int> integer(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

QStringList commaList(const QString& text)
{
    QStringList out;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            out.append(part.trimmed());
    return out;
}

const QStringList& getPaths()
{
    static const QStringList paths = {
        "v1_manifest", "v1_orbs", "v1_markets", "v1_weather", "v1_items_batch", "v1_nowplaying",
        "api/v1/quote", "api/v1/search", "api/v1/stock/profile2", "api/v3/search", "api/v3/simple/price", "search",
    };
    return paths;
}

const QStringList& postPaths()
{
    static const QStringList paths = {"feedback", "v1_suggest_feed"};
    return paths;
}

Reply notAllowed(const QByteArray& allow)
{
    Reply r = failure(405, QStringLiteral("Method not allowed."));
    r.headers.append({"Allow", allow});
    return r;
}

} // namespace

CatalogueRoutes::CatalogueRoutes(const SampleCatalogue& catalogue, SuggestionDesk& desk, QUrl base,
                                 std::function<QDateTime()> now)
    : m_catalogue(catalogue),
      m_desk(desk),
      m_base(base),
      m_now(std::move(now)),
      m_replies(catalogue, base),
      m_music(catalogue.seed(), base),
      m_markets(catalogue.seed()),
      m_documents(catalogue.seed(), base)
{
}

CatalogueRoutes::Reply CatalogueRoutes::answer(const Request& request) const
{
    const QDateTime now = m_now().toUTC();
    if (request.method == "GET" || request.method == "HEAD")
        return get(request, now);
    if (request.method == "POST")
        return post(request, now);
    if (postPaths().contains(request.path))
        return notAllowed("POST");
    return notAllowed("GET, HEAD");
}

CatalogueRoutes::Reply CatalogueRoutes::get(const Request& request, const QDateTime& now) const
{
    const QString& path = request.path;
    if (path == QLatin1String("v1_manifest"))
        return json(m_replies.manifest(now));
    if (path == QLatin1String("v1_orbs"))
        return json(m_replies.orbs(now));
    if (path == QLatin1String("v1_markets"))
        return json(m_markets.houseSet(now));
    if (path == QLatin1String("v1_items_batch"))
        return itemsBatch(request.query, now);
    if (path == QLatin1String("v1_weather"))
        return weather(request.query, now);
    if (path == QLatin1String("v1_nowplaying"))
        return nowPlaying(request.query, now);
    if (path.startsWith(QLatin1String("api/v1/")))
        return stockService(request, now);
    if (path.startsWith(QLatin1String("api/v3/")))
        return coinService(request, now);
    if (path == QLatin1String("search"))
        return json(m_music.artworkSearch(value(request.query, "term").value_or(QString())));
    if (path == QLatin1String("feeds") || path.startsWith(QLatin1String("feeds/")))
        return feedDocument(path, now);
    if (path.startsWith(QLatin1String("ip3/")) || path.startsWith(QLatin1String("img/"))
        || path.startsWith(QLatin1String("art/")))
        return image(path);
    if (path.isEmpty())
        return Reply{200, "text/plain; charset=utf-8", "Tidewire sample catalogue\n", {}};
    if (postPaths().contains(path))
        return notAllowed("POST");
    return failure(404, QStringLiteral("Not found."));
}

CatalogueRoutes::Reply CatalogueRoutes::post(const Request& request, const QDateTime& now) const
{
    if (request.path == QLatin1String("feedback"))
        return json(m_desk.feedback(request.body));
    if (request.path == QLatin1String("v1_suggest_feed"))
        return json(m_desk.suggest(request.body, request.client, now));
    if (getPaths().contains(request.path))
        return notAllowed("GET, HEAD");
    return failure(404, QStringLiteral("Not found."));
}

CatalogueRoutes::Reply CatalogueRoutes::itemsBatch(const QUrlQuery& query, const QDateTime& now) const
{
    const auto ids = value(query, "feed_ids");
    if (!ids)
        return failure(400, QStringLiteral("feed_ids is required."));
    const auto limitText = value(query, "limit_per_feed");
    const auto limit = limitText ? integer(*limitText) : std::optional<int>(3);
    if (!limit || *limit < 1)
        return failure(400, QStringLiteral("limit_per_feed must be a whole number of at least 1."));
    std::optional<int> since;
    if (const auto sinceText = value(query, "since_minutes")) {
        since = integer(*sinceText);
        if (!since)
            return failure(400, QStringLiteral("since_minutes must be a whole number."));
    }
    return json(m_replies.itemsBatch(commaList(*ids), std::min(*limit, 50), since, now));
}

CatalogueRoutes::Reply CatalogueRoutes::weather(const QUrlQuery& query, const QDateTime& now) const
{
    const QString city = value(query, "city").value_or(QString()).trimmed();
    if (city.isEmpty())
        return failure(400, QStringLiteral("city is required."));
    return json(WeatherReplies::reading(m_catalogue.seed(), city, now));
}

CatalogueRoutes::Reply CatalogueRoutes::nowPlaying(const QUrlQuery& query, const QDateTime& now) const
{
    const QString artist = value(query, "artist").value_or(QString()).trimmed();
    if (artist.isEmpty())
        return failure(400, QStringLiteral("artist is required."));
    return json(m_music.bundle(artist, value(query, "track"), now));
}

CatalogueRoutes::Reply CatalogueRoutes::stockService(const Request& request, const QDateTime& now) const
{
    // The key comes as a header; the query form is accepted too.
    QString token = QString::fromUtf8(request.headers.value("x-finnhub-token"));
    if (token.isEmpty())
        token = value(request.query, "token").value_or(QString());
    const QString symbol = value(request.query, "symbol").value_or(QString());
    const QString& path = request.path;
    if (path == QLatin1String("api/v1/search"))
        return json(m_markets.stockSearch(value(request.query, "q").value_or(QString()), token));
    if (path != QLatin1String("api/v1/quote") && path != QLatin1String("api/v1/stock/profile2"))
        return failure(404, QStringLiteral("Not found."));
    if (!token.trimmed().isEmpty() && symbol.trimmed().isEmpty())
        return json(JsonReply{400, QJsonDocument(QJsonObject{{"error", "Symbol is required."}})});
    return json(path == QLatin1String("api/v1/quote") ? m_markets.stockQuote(symbol, token, now)
                                                      : m_markets.stockProfile(symbol, token));
}

CatalogueRoutes::Reply CatalogueRoutes::coinService(const Request& request, const QDateTime& now) const
{
    const QUrlQuery& query = request.query;
    if (request.path == QLatin1String("api/v3/search"))
        return json(m_markets.coinSearch(value(query, "query").value_or(QString())));
    if (request.path == QLatin1String("api/v3/simple/price"))
        return json(m_markets.coinPrices(commaList(value(query, "ids").value_or(QString())),
                                         commaList(value(query, "vs_currencies").value_or(QString())),
                                         value(query, "include_24hr_change") == QStringLiteral("true"),
                                         value(query, "include_last_updated_at") == QStringLiteral("true"), now));
    return failure(404, QStringLiteral("Not found."));
}

CatalogueRoutes::Reply CatalogueRoutes::image(const QString& path) const
{
    thread_local const QRegularExpression icon(QStringLiteral("^ip3/([A-Za-z0-9.:-]{1,253})\\.ico$"));
    thread_local const QRegularExpression picture(QStringLiteral("^img/([A-Za-z0-9._-]{1,160})\\.png$"));
    thread_local const QRegularExpression art(QStringLiteral("^art/([a-z0-9-]{1,80})/(\\d{2,4})x(\\d{2,4})(?:bb)?\\.(?:png|jpg)$"));
    if (const auto m = icon.match(path); m.hasMatch())
        return png(ImagePainter::favicon(m.captured(1)));
    if (const auto m = picture.match(path); m.hasMatch())
        return png(ImagePainter::picture(m.captured(1)));
    if (const auto m = art.match(path); m.hasMatch())
        return png(ImagePainter::picture(QStringLiteral("art-") + m.captured(1), m.captured(2).toInt(),
                                         m.captured(3).toInt()));
    return failure(404, QStringLiteral("Not found."));
}

CatalogueRoutes::Reply CatalogueRoutes::feedDocument(const QString& path, const QDateTime& now) const
{
    if (path == QLatin1String("feeds") || path == QLatin1String("feeds/"))
        return Reply{200, "text/html; charset=utf-8", m_documents.index(), {}};
    if (const auto document = m_documents.document(path.mid(6), now))
        return Reply{200, document->contentType, document->body, {}};
    return failure(404, QStringLiteral("Not found."));
}
