#pragma once

#include "Await.h"

#include "FakeTime.h"
#include "LoopbackServer.h"
#include "platform/storage/Defaults.h"
#include "platform/net/PathMonitor.h"
#include "store/FeedStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <functional>
#include <memory>

inline QString S(const char* text) { return QString::fromUtf8(text); }

// A feed store on in-memory settings and fake time, with a loopback server
// standing in for the server API (now-playing bundles) and the artwork
// search. Bundles hold "<artist>-1" and "<artist>-2".
class MusicStore {
public:
    MusicStore()
    {
        server.handle(S("/v1_nowplaying"), [](const LoopbackServer::Request& request) {
            const QString artist = request.query.queryItemValue(S("artist"), QUrl::FullyDecoded);
            QJsonArray corpus;
            for (const char* n : {"-1", "-2"})
                corpus.append(QJsonObject{{S("title"), artist + S(" story")}, {S("url"), S("https://news.example/") + artist + S(n)}});
            const QJsonObject streams{{S("corpus"), corpus}, {S("news"), QJsonArray{}}, {S("videos"), QJsonArray{}}};
            return LoopbackServer::Response::json(QJsonDocument(QJsonObject{{S("artist"), QJsonObject{{S("name"), artist}}},
                                                                            {S("links"), QJsonArray{}}, {S("streams"), streams}})
                                                      .toJson(QJsonDocument::Compact));
        });
        server.route(S("/search"), LoopbackServer::Response::json(R"({"results":[]})"));
        store = std::make_unique<FeedStore>(FeedStore::Services{*defaults, time, time, &network, nullptr,
                                                                [] { return std::make_unique<FakePathMonitor>(); }, server.baseUrl(),
                                                                std::nullopt, server.baseUrl(), S("1.0")});
    }
    ~MusicStore()
    {
        // A stopped sleep resumes from the event loop and still needs the fake
        // time then: let it run before the time goes.
        store.reset();
        network.clearConnectionCache();
        FakeTime::settle();
        server.stop();
    }

    // The lane's stable ids, space-separated.
    QString laneIds() const
    {
        QStringList ids;
        for (const auto& item : store->nowPlayingItems())
            ids.append(item.stableId.mid(S("np-https://news.example/").size()));
        return ids.join(QLatin1Char(' '));
    }
    // Runs the event loop until `done` holds (real time, for replies).
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
    {
        return ::waitUntil(done, timeoutMs);
    }
    // "artist|track", or "none".
    QString playing() const
    {
        const auto& track = store->nowPlaying();
        return track ? track->artist + QLatin1Char('|') + track->track : S("none");
    }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    LoopbackServer server;
    QNetworkAccessManager network;
    std::unique_ptr<FeedStore> store;
};
