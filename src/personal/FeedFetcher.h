#pragma once

#include "personal/ParsedFeed.h"
#include "platform/net/Http.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// What one fetch of a feed address gave: the parser's answer for a reply that
// passed the status and size checks (nothing when the body is not a feed), or
// the failure text shown to the user.
struct FetchOutcome {
    enum class Kind { Parsed, Failed };

    Kind kind = Kind::Failed;
    std::optional<ParsedFeed> feed;  // Parsed only
    QString message;                 // Failed only

    static FetchOutcome parsed(std::optional<ParsedFeed> feed) { return {Kind::Parsed, std::move(feed), {}}; }
    static FetchOutcome failed(QString message) { return {Kind::Failed, std::nullopt, std::move(message)}; }
    bool isFailed() const { return kind == Kind::Failed; }
};

// How long a feed request may take and how large its body may be.
struct FeedFetchLimits {
    std::chrono::milliseconds idleTimeout{12000};   // without any data
    std::chrono::milliseconds totalTimeout{20000};  // the whole transfer
    qint64 maxBytes = 3 * 1024 * 1024;
};

// Downloads personal feeds and hands the bodies to the parser off the main
// thread. Every request carries the User-Agent and Accept headers, gives up
// after `idleTimeout` without data or `totalTimeout` in all, and is aborted as
// soon as the body passes `maxBytes`. A feed document that stops inside its
// root element fails as an unreachable site when nothing showed its body to
// be whole (no length, no coding): that is what a connection closed part way
// through a chunked reply leaves. Main thread only.
class FeedFetcher {
public:
    using Limits = FeedFetchLimits;

    // `manager` is not owned and must outlive the fetches.
    explicit FeedFetcher(QNetworkAccessManager* manager, Limits limits = {});

    // Never fails: a failure is an outcome with its text. A stop ends the
    // fetch as a failure too; callers that stopped it ignore the outcome.
    QCoro::Task<FetchOutcome> fetch(QUrl url, std::stop_token stop = {}) const;

    // "Tidewire/<version> (+<site>)"; the version is the application's, "0"
    // when it has none.
    static QByteArray userAgent();
    static QByteArray acceptHeader();

    // The failure texts.
    static QString messageFor(const Error& error, const QUrl& url);
    // The status and size step; nothing when the reply may be parsed.
    static std::optional<QString> validate(int status, qint64 size, qint64 maxBytes);

    const Limits& limits() const { return m_limits; }
    void setLimits(Limits limits) { m_limits = limits; }

private:
    static QCoro::Task<FetchOutcome> run(QPointer<QNetworkAccessManager> manager, Limits limits, QUrl url,
                                         std::stop_token stop);

    QPointer<QNetworkAccessManager> m_manager;
    Limits m_limits;
};
