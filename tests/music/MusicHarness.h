#pragma once

#include "FakeTime.h"
#include "LoopbackServer.h"
#include "platform/Defaults.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"

#include <QNetworkAccessManager>
#include <functional>
#include <memory>

// A feed store on in-memory settings and fake time, with a loopback server
// standing in for the server API (now-playing bundles) and the artwork
// search. Bundles hold "<artist>-1" and "<artist>-2".
class MusicStore {
public:
    MusicStore();
    ~MusicStore();

    // The lane's stable ids, space-separated.
    QString laneIds() const;
    // Runs the event loop until `done` holds (real time, for replies).
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
    // "artist|track", or "none".
    QString playing() const;

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    LoopbackServer server;
    QNetworkAccessManager network;
    std::unique_ptr<FeedStore> store;
};
