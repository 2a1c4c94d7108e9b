#pragma once

#include "api/ApiJson.h"
#include "api/ETagMemory.h"
#include "api/ItemModels.h"
#include "api/NowPlayingModels.h"
#include "platform/base/Clock.h"
#include "platform/base/Error.h"
#include "platform/storage/Json.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>

#include <QtConcurrent>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <typeinfo>

class QNetworkAccessManager;

// A decoded GET reply. notModified: the server answered 304 and `value` is
// the body remembered with the ETag that was sent for this very path.
// Callers treat such an answer as "nothing new" (no log, no timestamps
// advanced) and may still use the value.
template <class T>
struct Fetched {
    T value;
    bool notModified = false;
};

struct FeedAPIConfig {
    QUrl baseURL;  // absolute; a folder: paths go below it, with or without its final "/"
    std::chrono::milliseconds timeout{60000};      // whole request
    std::chrono::milliseconds idleTimeout{15000};  // no data for this long
    qint64 maxBytes = 32 * 1024 * 1024;            // reply body cap
    int rememberedPaths = 256;                     // ETag memory: paths
    qint64 rememberedBytes = 32 * 1024 * 1024;     // ETag memory: body bytes

    // The server API base of Endpoints::current() and the standard timeouts.
    static FeedAPIConfig standard();
};

// Client of the server API: one generic GET with ETag revalidation and
// retries on 5xx, the query-carrying reads, and the two JSON forms. Every
// owner makes its own instance; instances share nothing. Main thread only;
// several calls may be in flight at once on one instance.
class FeedAPI : public QObject {
    Q_OBJECT
public:
    struct SuggestionOutcome {
        enum class Kind { Added, Received, AlreadyCarried, AlreadySuggested };
        Kind kind = Kind::Received;
        QString title;                    // Added and Received
        std::optional<QString> category;  // Added only
        friend bool operator==(const SuggestionOutcome&, const SuggestionOutcome&) = default;
    };

    explicit FeedAPI(QObject* parent = nullptr);
    FeedAPI(Scheduler& scheduler, FeedAPIConfig config, QObject* parent = nullptr);
    ~FeedAPI() override;

    // GET `path` (relative to the base, query already percent-encoded) and
    // decode it as T (any type with T::fromJson(QJsonValue, JsonOptions)).
    // Errors: BadURL (no request address), NotModified (304 to a request that
    // carried no ETag), BadServerResponse (failed status, after up to two
    // retries on 5xx), Cancelled, TimedOut, TooLarge, Transport, Decoding.
    template <class T>
    QCoro::Task<Result<Fetched<T>>> get(QString path, std::stop_token stop = {});

    QCoro::Task<Result<Fetched<WeatherResponse>>> weather(QString city, std::stop_token stop = {});
    QCoro::Task<Result<Fetched<ItemsBatchResponse>>> itemsBatch(QStringList feedIds, int limitPerFeed,
                                                                std::optional<int> sinceMinutes,
                                                                std::stop_token stop = {});
    QCoro::Task<Result<Fetched<NowPlayingResponse>>> nowPlaying(QString artist, std::optional<QString> track,
                                                                std::stop_token stop = {});

    // POST "feedback": success for any 2xx; BadServerResponse otherwise.
    QCoro::Task<Result<void>> sendFeedback(int rating, QString comment, std::optional<QString> email,
                                           std::optional<QString> appVersion, std::optional<QString> macOS,
                                           std::stop_token stop = {});
    // POST "v1_suggest_feed". A refused suggestion is a BadServerResponse
    // error whose description is the text to show the user (httpStatus set).
    QCoro::Task<Result<SuggestionOutcome>> suggestFeed(QString url, std::optional<QString> note,
                                                       std::stop_token stop = {});

    // The relative paths the reads ask for (pure; exposed for callers' tests).
    static QString weatherPath(const QString& city);
    static QString itemsBatchPath(const QStringList& feedIds, int limitPerFeed, std::optional<int> sinceMinutes);
    static std::optional<QString> nowPlayingPath(const QString& artist, const std::optional<QString>& track);
    // Percent-encodes a query value: everything but the unreserved
    // characters and !$'()*,/:;?@ is escaped, so "&", "=", "+" and "#" are.
    static QByteArray encodeQueryValue(QStringView value);

    static const QString rateLimitedMessage;  // the fixed text of a 429 suggestion
    static const QString submitFailedMessage;

    const QUrl& baseURL() const { return m_config.baseURL; }

private:
    struct RawReply {
        QByteArray body;
        QByteArray etag;  // of a fresh reply; empty when none
        bool notModified = false;
        std::shared_ptr<const void> decoded = {};  // a 304's remembered decoding
        const std::type_info* decodedType = nullptr;
    };

    // Bodies from this size on are decoded on a worker thread, so a large
    // catalogue never holds up the strip's frames.
    static constexpr qsizetype kDecodeOffThreadBytes = 32 * 1024;

    template <class T>
    static QCoro::Task<Result<T>> decode(QByteArray body, JsonOptions options);

    QCoro::Task<Result<RawReply>> fetch(QString path, std::stop_token stop);
    QCoro::Task<Result<int>> postJson(QString path, QJsonObject object, QByteArray* body, std::stop_token stop);
    std::optional<QUrl> resolve(const QString& path) const;
    void remember(const QString& path, ETagMemory::Entry entry);

    Scheduler& m_scheduler;
    FeedAPIConfig m_config;
    QNetworkAccessManager* m_network;  // child
    ETagMemory m_etags;
    JsonOptions m_json = ApiJson::serverOptions();
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

template <class T>
QCoro::Task<Result<T>> FeedAPI::decode(QByteArray body, JsonOptions options)
{
    if (body.size() < kDecodeOffThreadBytes)
        co_return decodeJson<T>(body, options);
    QFuture<std::optional<Result<T>>> decoding = QtConcurrent::run([body = std::move(body), options] {
        return std::optional<Result<T>>(decodeJson<T>(body, options));
    });
    co_return *co_await decoding;
}

template <class T>
QCoro::Task<Result<Fetched<T>>> FeedAPI::get(QString path, std::stop_token stop)
{
    const std::shared_ptr<bool> alive = m_alive;
    Result<RawReply> raw = co_await fetch(path, stop);
    if (!*alive || stop.stop_requested())
        co_return std::unexpected(Error::make(ErrorKind::Cancelled, QStringLiteral("cancelled")));
    if (!raw)
        co_return std::unexpected(raw.error());
    if (raw->notModified && raw->decoded && raw->decodedType && *raw->decodedType == typeid(T))
        co_return Fetched<T>{*static_cast<const T*>(raw->decoded.get()), true};
    Result<T> value = co_await decode<T>(raw->body, m_json);
    if (!*alive || stop.stop_requested())
        co_return std::unexpected(Error::make(ErrorKind::Cancelled, QStringLiteral("cancelled")));
    if (!value)
        co_return std::unexpected(value.error());
    if (!raw->notModified && !raw->etag.isEmpty())
        remember(path, ETagMemory::Entry{raw->etag, raw->body, std::make_shared<const T>(*value), &typeid(T)});
    co_return Fetched<T>{std::move(*value), raw->notModified};
}
