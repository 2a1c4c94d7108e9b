#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QUrlQuery>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

// An HTTP server on 127.0.0.1 (ephemeral port) running on its own thread,
// answering from scripts set per path. Every request is recorded.
class LoopbackServer {
public:
    struct Response {
        int status = 200;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QByteArray contentType = "application/json";
        std::chrono::milliseconds delay{0};  // before answering
        qint64 cutAfter = -1;  // announce the full length, send this many bytes, close
        std::chrono::milliseconds cutPause{0};  // between the last byte sent and the close
        bool chunked = false;  // in chunks; with cutAfter the close comes instead of the last one
        bool stall = false;    // send headers and part of the body, then nothing until stop()

        static Response json(const QByteArray& body, int status = 200);
        static Response text(const QByteArray& body, const QByteArray& contentType, int status = 200);
        static Response withStatus(int status);
        Response& header(const QByteArray& name, const QByteArray& value);
    };

    struct Request {
        QByteArray method;
        QString path;         // decoded path without the query
        QString rawTarget;    // path and query exactly as sent
        QUrlQuery query;
        QMap<QByteArray, QByteArray> headers;  // names lower-cased
        QByteArray body;
        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    };

    using Handler = std::function<Response(const Request&)>;

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const;
    QUrl baseUrl() const;              // "http://127.0.0.1:<port>/"
    QUrl url(const QString& path) const;  // baseUrl() + path

    // The same answer to every request for `path` (any method).
    void route(const QString& path, Response response);
    // Answers in turn; the last one repeats.
    void script(const QString& path, QList<Response> responses);
    // Computes each answer; runs on the server thread.
    void handle(const QString& path, Handler handler);
    // Used for any path without a route (default: 404).
    void fallback(Handler handler);

    QList<Request> requests() const;
    QList<Request> requestsFor(const QString& path) const;
    int requestCount(const QString& path = {}) const;
    void clearRequests();

    // Stops the server; stalled answers end. Called by the destructor.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
