#pragma once

#include "platform/base/Error.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QUrl>
#include <chrono>
#include <stop_token>
#include <utility>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

struct HttpRequest {
    HttpRequest() = default;
    explicit HttpRequest(QUrl address) : url(std::move(address)) {}
    HttpRequest& header(const QByteArray& name, const QByteArray& value)
    {
        headers.append(std::pair<QByteArray, QByteArray>(name, value));
        return *this;
    }

    QUrl url;
    QByteArray method = "GET";
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;  // sent for POST/PUT
    std::chrono::milliseconds timeout{60000};  // whole transfer, our own timer
    std::chrono::milliseconds idleTimeout{0};  // no data for this long; 0 = none
    qint64 maxBytes = -1;                      // body cap while it arrives; -1 = none
    QNetworkRequest::CacheLoadControl cacheLoad = QNetworkRequest::AlwaysNetwork;
};

struct HttpResponse {
    int status = 0;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QUrl url;  // after redirects
    // Whether the body is known to be all the server sent: its announced
    // Content-Length arrived in full, its content coding reached the end of
    // its stream, or the response carries no body at all. False for an
    // uncoded body without a length (chunked, or ended by closing the
    // connection): Qt can finish such a reply as complete when the connection
    // closed part way, so its body may be only the front of what was sent.
    bool wholeKnown = false;

    bool isSuccess() const { return status >= 200 && status < 300; }
    // First header of that name, compared without regard to case.
    QByteArray header(QByteArrayView name) const;
};

// One HTTP exchange as a coroutine. Accepts only http and https addresses
// (BadURL otherwise). Any HTTP status is a response: the caller decides what
// a status means. Failures: Cancelled when `stop` was requested (the reply is
// aborted), TimedOut when `timeout` or `idleTimeout` passed, TooLarge as soon
// as the body passes `maxBytes` (httpStatus set when known), Transport for
// everything the network stack reports. The body arrives with its content
// coding undone (ContentDecoder) and only when it is whole. A body from the
// manager's cache that does not decode or stops short is dropped from the
// cache, and fetched once from the network unless `request.cacheLoad` asked
// for the cache alone. Main thread only; stops must be requested on the
// main thread.
QCoro::Task<Result<HttpResponse>> httpSend(QNetworkAccessManager* manager, HttpRequest request,
                                           std::stop_token stop = {});

bool isHttpUrl(const QUrl& url);
