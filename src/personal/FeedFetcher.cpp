#include "personal/FeedFetcher.h"

#include "personal/FeedParser.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QtConcurrent>

#include <qcoro/qcorofuture.h>

namespace {

const QByteArray kSite = "https://tidewire.invalid";

QString hostOf(const QUrl& url)
{
    const QString host = url.host();
    return host.isEmpty() ? QStringLiteral("the site") : host;
}

QString tooLargeText(qint64 maxBytes)
{
    return QStringLiteral("The feed is larger than %1 MB").arg(maxBytes / (1024 * 1024));
}

QString statusText(int status)
{
    return QStringLiteral("The site answered HTTP %1").arg(status);
}

} // namespace

FeedFetcher::FeedFetcher(QNetworkAccessManager* manager, Limits limits) : m_manager(manager), m_limits(limits) {}

QByteArray FeedFetcher::userAgent()
{
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral("0");
    return "Tidewire/" + version.toUtf8() + " (+" + kSite + ")";
}

QByteArray FeedFetcher::acceptHeader()
{
    return "application/rss+xml, application/atom+xml, application/xml, text/xml;q=0.9, */*;q=0.5";
}

QString FeedFetcher::messageFor(const Error& error, const QUrl& url)
{
    if (error.is(ErrorKind::TimedOut))
        return QStringLiteral("Timed out reaching ") + hostOf(url);
    return QStringLiteral("Could not reach ") + hostOf(url);
}

std::optional<QString> FeedFetcher::validate(int status, qint64 size, qint64 maxBytes)
{
    if (status < 200 || status > 299)
        return statusText(status);
    if (size > maxBytes)
        return tooLargeText(maxBytes);
    return std::nullopt;
}

QCoro::Task<FetchOutcome> FeedFetcher::fetch(QUrl url, std::stop_token stop) const
{
    return run(m_manager, m_limits, std::move(url), std::move(stop));
}

QCoro::Task<FetchOutcome> FeedFetcher::run(QPointer<QNetworkAccessManager> manager, Limits limits, QUrl url,
                                           std::stop_token stop)
{
    if (!manager)
        co_return FetchOutcome::failed(QStringLiteral("Could not reach ") + hostOf(url));
    HttpRequest request(url);
    request.header("User-Agent", userAgent()).header("Accept", acceptHeader());
    request.timeout = limits.totalTimeout;
    request.idleTimeout = limits.idleTimeout;
    // The cap applies while the body arrives, so a huge or endless feed never
    // sits whole in memory.
    request.maxBytes = limits.maxBytes;

    Result<HttpResponse> reply = co_await httpSend(manager, std::move(request), stop);
    if (!reply) {
        const Error& error = reply.error();
        if (error.is(ErrorKind::TooLarge)) {
            // The status is judged before the size, as for a whole body.
            if (error.httpStatus != 0 && (error.httpStatus < 200 || error.httpStatus > 299))
                co_return FetchOutcome::failed(statusText(error.httpStatus));
            co_return FetchOutcome::failed(tooLargeText(limits.maxBytes));
        }
        co_return FetchOutcome::failed(messageFor(error, url));
    }
    if (std::optional<QString> refusal = validate(reply->status, reply->body.size(), limits.maxBytes))
        co_return FetchOutcome::failed(*refusal);

    const bool wholeKnown = reply->wholeKnown;
    QFuture<FeedParser::Reading> parsing =
        QtConcurrent::run([body = std::move(reply->body)] { return FeedParser::read(body); });
    FeedParser::Reading reading = co_await qCoro(parsing).waitForFinished();
    // A document that stops inside its root, in a body nothing shows to be
    // whole, is what a connection closed part way through leaves behind: a
    // failed transfer, not a shorter feed.
    if (reading.endedInsideRoot && !wholeKnown)
        co_return FetchOutcome::failed(messageFor(Error::make(ErrorKind::Transport), url));
    co_return FetchOutcome::parsed(std::move(reading.feed));
}
