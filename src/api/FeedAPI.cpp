#include "api/FeedAPI.h"

#include "platform/net/Endpoints.h"
#include "platform/net/Http.h"
#include "platform/base/Logging.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>

namespace {

// Unreserved characters pass anyway; these sub-delimiters are safe in a
// query value. "&", "=", "+" and "#" are not among them.
constexpr char kValueSafe[] = "!$'()*,/:;?@";
constexpr char kIdSafe[] = "!$'()*/:;?@";  // a comma inside an id is escaped

QString trimmedText(const QString& text)
{
    return text.trimmed();
}

Error cancelled()
{
    return Error::make(ErrorKind::Cancelled, QStringLiteral("cancelled"));
}

} // namespace

const QString FeedAPI::rateLimitedMessage = QStringLiteral("You've suggested a few already \u2014 try again later.");
const QString FeedAPI::submitFailedMessage = QStringLiteral("Could not submit that feed.");

FeedAPIConfig FeedAPIConfig::standard()
{
    FeedAPIConfig config;
    config.baseURL = Endpoints::current().apiBase;
    return config;
}

FeedAPI::FeedAPI(QObject* parent) : FeedAPI(Scheduler::system(), FeedAPIConfig::standard(), parent) {}

FeedAPI::FeedAPI(Scheduler& scheduler, FeedAPIConfig config, QObject* parent)
    : QObject(parent),
      m_scheduler(scheduler),
      m_config(std::move(config)),
      m_network(new QNetworkAccessManager(this)),
      m_etags(m_config.rememberedPaths, m_config.rememberedBytes)
{
    // Revalidation rests on our own ETag memory: no HTTP cache is attached,
    // so nothing answers a conditional request on the server's behalf.
    m_network->setCache(nullptr);
}

FeedAPI::~FeedAPI()
{
    // Calls still in flight end as cancelled; they must not touch this object.
    *m_alive = false;
    const auto replies = m_network->findChildren<QNetworkReply*>();
    if (replies.isEmpty())
        return;
    // Calls resume from the event loop, never inside this destructor, and
    // the manager outlives its aborted replies so they still report finishing.
    m_network->setParent(nullptr);
    for (QNetworkReply* reply : replies) {
        QMetaObject::invokeMethod(reply, [reply = QPointer<QNetworkReply>(reply)] {
            if (reply)
                reply->abort();
        }, Qt::QueuedConnection);
    }
    m_network->deleteLater();
}

std::optional<QUrl> FeedAPI::resolve(const QString& path) const
{
    const QUrl relative(path, QUrl::StrictMode);
    // Only a path (and query) below the base: no scheme, no host of its own.
    if (path.isEmpty() || !relative.isValid() || !relative.isRelative() || !relative.authority().isEmpty()
        || path.startsWith(u'/'))
        return std::nullopt;
    // The base is a folder: without its final "/", resolving would put the
    // path beside the base's last segment instead of below it.
    QUrl folder = m_config.baseURL;
    if (!folder.path().endsWith(u'/'))
        folder.setPath(folder.path() + u'/');
    const QUrl url = folder.resolved(relative);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

void FeedAPI::remember(const QString& path, ETagMemory::Entry entry)
{
    m_etags.store(path, std::move(entry));
}

QCoro::Task<Result<FeedAPI::RawReply>> FeedAPI::fetch(QString path, std::stop_token stop)
{
    const std::optional<QUrl> url = resolve(path);
    if (!url)
        co_return fail(ErrorKind::BadURL, QStringLiteral("Cannot form a request address for \"%1\".").arg(path));

    const std::shared_ptr<bool> alive = m_alive;
    for (int attempt = 1;; ++attempt) {
        HttpRequest request(*url);
        request.timeout = m_config.timeout;
        request.idleTimeout = m_config.idleTimeout;
        request.maxBytes = m_config.maxBytes;
        request.cacheLoad = QNetworkRequest::AlwaysNetwork;
        // The entry sent is the one a 304 refers to, whatever other calls
        // store for this path meanwhile.
        const std::optional<ETagMemory::Entry> sent = m_etags.find(path);
        if (sent)
            request.header("If-None-Match", sent->etag);

        Result<HttpResponse> reply = co_await httpSend(m_network, request, stop);
        if (!*alive)
            co_return std::unexpected(cancelled());
        if (!reply)
            co_return std::unexpected(reply.error());

        const int status = reply->status;
        if (status == 304) {
            if (!sent)
                co_return fail(ErrorKind::NotModified, QStringLiteral("Not modified, and nothing remembered."), 304);
            co_return RawReply{sent->body, {}, true, sent->decoded, sent->decodedType};
        }
        if (reply->isSuccess())
            co_return RawReply{std::move(reply->body), reply->header("etag"), false};
        if (status >= 500 && attempt <= 2) {
            const auto pause = std::chrono::milliseconds(attempt * 300 + QRandomGenerator::global()->bounded(201));
            const bool elapsed = co_await m_scheduler.sleep(pause, stop);
            if (!*alive || !elapsed)
                co_return std::unexpected(cancelled());
            continue;
        }
        qCCritical(lcFeedAPI, "server error %d for %s (after retries)", status, qUtf8Printable(path));
        co_return fail(ErrorKind::BadServerResponse, QStringLiteral("The server answered HTTP %1.").arg(status),
                       status);
    }
}

QByteArray FeedAPI::encodeQueryValue(QStringView value)
{
    return value.toString().toUtf8().toPercentEncoding(kValueSafe);
}

QString FeedAPI::weatherPath(const QString& city)
{
    QString name = trimmedText(city);
    if (name.isEmpty())
        name = QStringLiteral("Dublin");
    return QStringLiteral("v1_weather?city=") + QString::fromLatin1(encodeQueryValue(name));
}

QString FeedAPI::itemsBatchPath(const QStringList& feedIds, int limitPerFeed, std::optional<int> sinceMinutes)
{
    QByteArrayList encoded;
    encoded.reserve(feedIds.size());
    for (const QString& id : feedIds)
        encoded.append(id.toUtf8().toPercentEncoding(kIdSafe));
    QString path = QStringLiteral("v1_items_batch?feed_ids=") + QString::fromLatin1(encoded.join(','))
        + QStringLiteral("&limit_per_feed=") + QString::number(limitPerFeed);
    if (sinceMinutes && *sinceMinutes >= 1)
        path += QStringLiteral("&since_minutes=") + QString::number(*sinceMinutes);
    return path;
}

std::optional<QString> FeedAPI::nowPlayingPath(const QString& artist, const std::optional<QString>& track)
{
    const QString name = trimmedText(artist);
    if (name.isEmpty())
        return std::nullopt;
    QString path = QStringLiteral("v1_nowplaying?artist=") + QString::fromLatin1(encodeQueryValue(name));
    if (track) {
        const QString title = trimmedText(*track);
        if (!title.isEmpty())
            path += QStringLiteral("&track=") + QString::fromLatin1(encodeQueryValue(title));
    }
    return path;
}

QCoro::Task<Result<Fetched<WeatherResponse>>> FeedAPI::weather(QString city, std::stop_token stop)
{
    return get<WeatherResponse>(weatherPath(city), std::move(stop));
}

QCoro::Task<Result<Fetched<ItemsBatchResponse>>> FeedAPI::itemsBatch(QStringList feedIds, int limitPerFeed,
                                                                     std::optional<int> sinceMinutes,
                                                                     std::stop_token stop)
{
    return get<ItemsBatchResponse>(itemsBatchPath(feedIds, limitPerFeed, sinceMinutes), std::move(stop));
}

QCoro::Task<Result<Fetched<NowPlayingResponse>>> FeedAPI::nowPlaying(QString artist, std::optional<QString> track,
                                                                     std::stop_token stop)
{
    const std::optional<QString> path = nowPlayingPath(artist, track);
    if (!path)
        co_return fail(ErrorKind::BadURL, QStringLiteral("No artist to ask for."));
    co_return co_await get<NowPlayingResponse>(*path, std::move(stop));
}

// Sends `object` as a compact JSON POST; returns the status and fills `body`.
QCoro::Task<Result<int>> FeedAPI::postJson(QString path, QJsonObject object, QByteArray* body, std::stop_token stop)
{
    const std::optional<QUrl> url = resolve(path);
    if (!url)
        co_return fail(ErrorKind::BadURL, QStringLiteral("Cannot form a request address for \"%1\".").arg(path));
    HttpRequest request(*url);
    request.method = "POST";
    request.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    request.header("Content-Type", "application/json");
    request.timeout = m_config.timeout;
    request.idleTimeout = m_config.idleTimeout;
    request.maxBytes = m_config.maxBytes;
    request.cacheLoad = QNetworkRequest::AlwaysNetwork;

    const std::shared_ptr<bool> alive = m_alive;
    Result<HttpResponse> reply = co_await httpSend(m_network, request, stop);
    if (!*alive || stop.stop_requested())
        co_return std::unexpected(cancelled());
    if (!reply)
        co_return std::unexpected(reply.error());
    if (body)
        *body = reply->body;
    co_return reply->status;
}

QCoro::Task<Result<void>> FeedAPI::sendFeedback(int rating, QString comment, std::optional<QString> email,
                                                std::optional<QString> appVersion, std::optional<QString> macOS,
                                                std::stop_token stop)
{
    QJsonObject object{{QStringLiteral("rating"), rating}, {QStringLiteral("comment"), comment}};
    if (email && !email->isEmpty())
        object.insert(QStringLiteral("email"), *email);
    if (appVersion)
        object.insert(QStringLiteral("app_version"), *appVersion);
    if (macOS)
        object.insert(QStringLiteral("macos"), *macOS);

    const Result<int> status = co_await postJson(QStringLiteral("feedback"), object, nullptr, std::move(stop));
    if (!status)
        co_return std::unexpected(status.error());
    if (*status < 200 || *status > 299)
        co_return fail(ErrorKind::BadServerResponse, QStringLiteral("The server answered HTTP %1.").arg(*status),
                       *status);
    co_return Result<void>{};
}

namespace {

FeedAPI::SuggestionOutcome outcomeFrom(const QJsonObject& reply)
{
    using Kind = FeedAPI::SuggestionOutcome::Kind;
    const QJsonValue title = reply.value(QStringLiteral("title"));
    const QString name = title.isString() ? title.toString() : QStringLiteral("That feed");
    const QJsonValue status = reply.value(QStringLiteral("status"));
    const QString word = status.isString() ? status.toString() : QString();
    if (word == QLatin1String("added")) {
        const QJsonValue category = reply.value(QStringLiteral("category"));
        return {Kind::Added, name, category.isString() ? std::optional<QString>(category.toString()) : std::nullopt};
    }
    if (word == QLatin1String("already_carried"))
        return {Kind::AlreadyCarried, {}, std::nullopt};
    if (word == QLatin1String("already_suggested"))
        return {Kind::AlreadySuggested, {}, std::nullopt};
    return {Kind::Received, name, std::nullopt};
}

QString refusalMessage(const QJsonObject& reply)
{
    const QJsonValue error = reply.value(QStringLiteral("error"));
    if (error.isObject()) {
        const QJsonValue message = error.toObject().value(QStringLiteral("message"));
        if (message.isString())
            return message.toString();
    }
    return FeedAPI::submitFailedMessage;
}

} // namespace

QCoro::Task<Result<FeedAPI::SuggestionOutcome>> FeedAPI::suggestFeed(QString url, std::optional<QString> note,
                                                                     std::stop_token stop)
{
    QJsonObject object{{QStringLiteral("url"), url}};
    if (note && !note->isEmpty())
        object.insert(QStringLiteral("note"), *note);

    QByteArray body;
    const Result<int> status = co_await postJson(QStringLiteral("v1_suggest_feed"), object, &body, std::move(stop));
    if (!status)
        co_return std::unexpected(status.error());
    // A body that is not a JSON object reads as an empty object.
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    if (*status >= 200 && *status <= 299)
        co_return outcomeFrom(reply);
    if (*status == 429)
        co_return fail(ErrorKind::BadServerResponse, rateLimitedMessage, 429);
    co_return fail(ErrorKind::BadServerResponse, refusalMessage(reply), *status);
}
