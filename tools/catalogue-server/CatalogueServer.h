#pragma once

#include "platform/base/Error.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QUrl>
#include <functional>
#include <memory>

class SampleCatalogue;

// The sample catalogue server: the whole server API, stand-ins for the
// market and artwork services, personal-feed fixtures and site icons, all on
// 127.0.0.1 from data generated from a seed. Answers run on the server's own
// threads. Every GET answer carries a strong ETag; a request whose
// If-None-Match names it gets 304 with no body.
class CatalogueServer {
public:
    struct Options {
        quint64 seed = 1;
        int port = 0;  // 0: any free port
        // The time items and quotes are generated for; called from server threads.
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
        int suggestionLimit = 5;             // per client and window
        qint64 suggestionWindowSeconds = 600;
        bool logRequests = false;            // one line per request on stderr
        // Fault mode: this share of GET answers (0..1) is a fault (see
        // FaultInjector), each logged on stderr as "fault <name> <target>".
        double faultShare = 0;
        quint64 faultSeed = 1;
        int stallSeconds = 40;  // how long a stalled body hangs, at most
    };

    CatalogueServer();
    explicit CatalogueServer(Options options);
    ~CatalogueServer();
    CatalogueServer(const CatalogueServer&) = delete;
    CatalogueServer& operator=(const CatalogueServer&) = delete;

    // Binds 127.0.0.1 and starts answering; fails when the port is taken or
    // the server already runs.
    Result<void> start();
    // Stops answering and waits for the server thread. Safe to call twice.
    void stop();

    bool isRunning() const;
    int port() const;
    QUrl baseUrl() const;  // "http://127.0.0.1:<port>/"
    quint64 seed() const;
    const SampleCatalogue& catalogue() const;

    QList<QJsonObject> feedbackReceived() const;
    QList<QJsonObject> suggestionsReceived() const;

    // The strong validator of a body, quotes included.
    static QByteArray entityTag(const QByteArray& body);
    // Whether an If-None-Match value names `tag` ("*" names any; weak
    // prefixes are ignored, as weak comparison asks).
    static bool matchesAny(const QByteArray& ifNoneMatch, const QByteArray& tag);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
