#include "platform/net/Http.h"

#include "platform/net/ContentDecoder.h"

#include <QAbstractNetworkCache>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>

#include <coroutine>
#include <utility>

bool isHttpUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QByteArray HttpResponse::header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

namespace {

enum class Abort { None, Stopped, TimedOut, TooLarge, Undecodable };

// Resumes when the reply finishes, and also when it is destroyed unfinished
// (its network manager went away with it). Waiting on `finished` alone, the
// awaiting coroutine and every one awaiting it would stay suspended for ever
// and their frames would never be freed.
class FinishedOrGone {
public:
    explicit FinishedOrGone(QNetworkReply* reply) : m_reply(reply) {}

    bool await_ready() const { return !m_reply->isRunning(); }

    void await_suspend(std::coroutine_handle<> waiter)
    {
        auto resumed = std::make_shared<bool>(false);
        auto resume = [waiter, resumed] {
            if (!std::exchange(*resumed, true))
                waiter.resume();
        };
        m_finished = QObject::connect(m_reply, &QNetworkReply::finished, m_reply, resume);
        m_destroyed = QObject::connect(m_reply, &QObject::destroyed, resume);
    }

    void await_resume()
    {
        QObject::disconnect(m_finished);
        QObject::disconnect(m_destroyed);
    }

private:
    QNetworkReply* m_reply;
    QMetaObject::Connection m_finished;
    QMetaObject::Connection m_destroyed;
};

// HEAD replies and these statuses never carry a body.
bool carriesNoBody(const QByteArray& method, int status)
{
    return method == "HEAD" || status < 200 || status == 204 || status == 304;
}

std::optional<qint64> announcedLength(const QByteArray& contentLength)
{
    bool ok = false;
    const qlonglong announced = contentLength.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(announced) : std::nullopt;
}

// Whether Qt's error only restates the HTTP status. Qt files error statuses
// under its content (2xx) and server (4xx) ranges, HTTP 400 and 418 under
// ProtocolInvalidOperationError and 407 under
// ProxyAuthenticationRequiredError. Those errors come with a status of 400 or
// above; with any other status they mean something else (a copy the cache
// cannot give, answered 203 with the cached status 200), and the body is not
// the status's.
bool restatesStatus(QNetworkReply::NetworkError error, int status)
{
    if (error == QNetworkReply::NoError)
        return true;
    const int code = int(error);
    return status >= 400
        && ((code >= 201 && code <= 299) || (code >= 401 && code <= 499)
            || error == QNetworkReply::ProtocolInvalidOperationError
            || error == QNetworkReply::ProxyAuthenticationRequiredError);
}

// Ends a reply whose body did not decode or stopped short of its end. Such
// a body can never be used: it is dropped from the manager's cache (which
// may just have kept it) so that no later request is answered with it. When
// it came from the cache, the request goes once to the network, unless the
// caller asked for the cache alone.
QCoro::Task<Result<HttpResponse>> unusableBody(QNetworkAccessManager* manager, HttpRequest request, QNetworkReply* reply,
                                               Error why, std::stop_token stop)
{
    const bool fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    if (QAbstractNetworkCache* cache = manager->cache())
        cache->remove(reply->url());
    reply->deleteLater();
    const bool mayAskTheNetwork = request.cacheLoad == QNetworkRequest::PreferNetwork
        || request.cacheLoad == QNetworkRequest::PreferCache;
    if (!fromCache || !mayAskTheNetwork)
        co_return std::unexpected(std::move(why));
    request.cacheLoad = QNetworkRequest::AlwaysNetwork;
    co_return co_await httpSend(manager, std::move(request), std::move(stop));
}

} // namespace

QCoro::Task<Result<HttpResponse>> httpSend(QNetworkAccessManager* manager, HttpRequest request,
                                           std::stop_token stop)
{
    if (!isHttpUrl(request.url))
        co_return fail(ErrorKind::BadURL, QStringLiteral("Not an http or https address: %1")
                                              .arg(request.url.toString(QUrl::RemoveUserInfo)));
    if (stop.stop_requested())
        co_return fail(ErrorKind::Cancelled, QStringLiteral("cancelled"));

    QNetworkRequest req(request.url);
    // Offering the codings ourselves turns Qt's own decoding off: the coded
    // body arrives as sent, with its Content-Length, and ContentDecoder
    // undoes the coding below.
    req.setRawHeader("Accept-Encoding", ContentDecoder::acceptEncoding());
    for (const auto& [key, value] : request.headers)
        req.setRawHeader(key, value);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, request.cacheLoad);
    if (request.idleTimeout.count() > 0)
        req.setTransferTimeout(int(request.idleTimeout.count()));

    QPointer<QNetworkReply> reply;
    if (request.method == "GET")
        reply = manager->get(req);
    else if (request.method == "POST")
        reply = manager->post(req, request.body);
    else if (request.method == "HEAD")
        reply = manager->head(req);
    else
        reply = manager->sendCustomRequest(req, request.method, request.body);
    // Without a read buffer limit Qt's network thread keeps downloading into
    // memory far past the cap before the abort below gets a chance to run.
    if (request.maxBytes >= 0)
        reply->setReadBufferSize(64 * 1024);

    auto abortState = std::make_shared<Abort>(Abort::None);
    Abort& abort = *abortState;
    QByteArray body;
    qint64 received = 0;  // as sent, before decoding
    std::unique_ptr<ContentDecoder> decoder;  // made with the first bytes, when the headers are final
    // Decodes what arrived into `body`; false when it does not decode.
    auto take = [&](const QByteArray& coded) {
        if (coded.isEmpty())
            return true;
        if (!decoder)
            decoder = std::make_unique<ContentDecoder>(reply->rawHeader("Content-Encoding"));
        received += coded.size();
        return decoder->decode(coded, body, request.maxBytes);
    };
    auto abortWith = [abortState, reply](Abort why) {
        if (*abortState == Abort::None)
            *abortState = why;
        if (reply)
            reply->abort();
    };

    QTimer total;
    total.setSingleShot(true);
    QObject::connect(&total, &QTimer::timeout, reply, [&abortWith] { abortWith(Abort::TimedOut); });
    total.start(int(std::max<qint64>(1, request.timeout.count())));

    if (request.maxBytes >= 0) {
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&, reply] {
            // A coded body's length says little about its decoded size.
            if (ContentDecoder::isCoded(reply->rawHeader("Content-Encoding")))
                return;
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > request.maxBytes)
                abortWith(Abort::TooLarge);
        });
    }
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&, reply] {
        if (!take(reply->readAll())) {
            abortWith(Abort::Undecodable);
        } else if (request.maxBytes >= 0 && body.size() > request.maxBytes) {
            body.clear();
            abortWith(Abort::TooLarge);
        }
    });

    // A stop resumes through the event loop: never abort inside request_stop().
    std::stop_callback onStop(stop, [reply, abortState] {
        if (!reply)
            return;
        QMetaObject::invokeMethod(reply, [reply, abortState] {
            if (reply && reply->isRunning()) {
                if (*abortState == Abort::None)
                    *abortState = Abort::Stopped;
                reply->abort();
            }
        }, Qt::QueuedConnection);
    });

    co_await FinishedOrGone(reply.data());
    total.stop();
    if (!reply)
        co_return fail(ErrorKind::Transport, QStringLiteral("The request ended unfinished: its connection was closed."));
    // The lambdas above refer to this frame: cut them before the frame goes.
    QObject::disconnect(reply, &QNetworkReply::readyRead, nullptr, nullptr);
    QObject::disconnect(reply, &QNetworkReply::metaDataChanged, nullptr, nullptr);

    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttr.isValid() ? statusAttr.toInt() : 0;

    if (abort == Abort::None && stop.stop_requested())
        abort = Abort::Stopped;
    switch (abort) {
    case Abort::Stopped:
        reply->deleteLater();
        co_return fail(ErrorKind::Cancelled, QStringLiteral("cancelled"));
    case Abort::TimedOut:
        reply->deleteLater();
        co_return fail(ErrorKind::TimedOut, QStringLiteral("The request timed out."));
    case Abort::TooLarge:
        reply->deleteLater();
        co_return fail(ErrorKind::TooLarge, QStringLiteral("The response is too large."), status);
    case Abort::Undecodable:
        co_return co_await unusableBody(manager, std::move(request), reply,
                                        Error::make(ErrorKind::Transport, decoder->errorString(), status), stop);
    case Abort::None:
        break;
    }

    if (!statusAttr.isValid()) {
        const auto error = reply->error();
        const QString text = reply->errorString();
        reply->deleteLater();
        // Qt reports its own transfer (idle) timeout as a cancellation.
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            co_return fail(ErrorKind::TimedOut, QStringLiteral("The request timed out."));
        co_return fail(ErrorKind::Transport, text);
    }

    // Any other error (a cut body, a reset, a protocol failure, a copy the
    // cache does not have) means the response is not whole.
    if (!restatesStatus(reply->error(), status)) {
        const QString text = reply->errorString();
        const bool timedOut = reply->error() == QNetworkReply::OperationCanceledError
            || reply->error() == QNetworkReply::TimeoutError;
        reply->deleteLater();
        if (timedOut)
            co_return fail(ErrorKind::TimedOut, QStringLiteral("The request timed out."), status);
        co_return fail(ErrorKind::Transport, text, status);
    }
    if (reply->isOpen() && !take(reply->readAll()))
        co_return co_await unusableBody(manager, std::move(request), reply,
                                        Error::make(ErrorKind::Transport, decoder->errorString(), status), stop);
    if (request.maxBytes >= 0 && body.size() > request.maxBytes) {
        reply->deleteLater();
        co_return fail(ErrorKind::TooLarge, QStringLiteral("The response is too large."), status);
    }
    // When the server closes the connection right after a part of the body,
    // Qt can finish the reply without an error. The announced length tells a
    // cut body from a whole one; a coded stream that stops short of its own
    // end is cut too, whatever the length said (or when none was given).
    const bool noBody = carriesNoBody(request.method, status);
    const std::optional<qint64> announced = announcedLength(reply->rawHeader("Content-Length"));
    if ((!noBody && announced && received < *announced) || (decoder && !decoder->finished())) {
        const QString why = QStringLiteral("The response ended before its whole body arrived.");
        co_return co_await unusableBody(manager, std::move(request), reply,
                                        Error::make(ErrorKind::Transport, why, status), stop);
    }

    HttpResponse response;
    response.status = status;
    response.url = reply->url();
    response.body = std::move(body);
    // A coded stream that got here reached its own end.
    response.wholeKnown = noBody || announced || (decoder && !decoder->isIdentity());
    for (const auto& pair : reply->rawHeaderPairs())
        response.headers.append({pair.first, pair.second});
    reply->deleteLater();
    co_return response;
}
