#pragma once

#include "FakeTime.h"
#include "LoopbackServer.h"
#include "platform/Defaults.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <condition_variable>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

// Holds a server answer back until the test opens it, so replies can be
// released in any order.
class Gate {
public:
    ~Gate() { open(); }
    void open();
    // Called on the server thread; false when nobody opened it in time.
    bool wait();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// A personal-feed source that records what the store asks of it.
class RecordingPersonalSource final : public PersonalItemsSource {
public:
    void setOnItemsChanged(ItemsHandler handler) override
    {
        this->handler = std::move(handler);
        ++installs;
    }
    void start() override
    {
        ++starts;
        if (onStart)
            onStart();
        if (handler)
            handler(items);
    }
    void stopPolling() override { ++stops; }

    ItemsHandler handler;
    std::function<void()> onStart;
    QList<FeedItem> items;
    int installs = 0;
    int starts = 0;
    int stops = 0;
};

namespace catalogue {

struct Feed {
    QString id;
    std::optional<bool> active;
    std::optional<double> rank;
    std::optional<qint64> items30d;
    std::optional<QString> categorySlug;
};

QJsonObject feed(const Feed& f);
QJsonObject feed(const QString& id);
QJsonObject manifest(const QList<QJsonObject>& feeds, const QJsonValue& release = QJsonValue());
QJsonObject release(const QString& version, const QString& url = QStringLiteral("https://example.com/get"));
// "id@minutes" items (minutes after 2026-01-15 12:00 UTC; no "@": undated).
QJsonObject item(const QString& pattern, const QString& feedId = QStringLiteral("f"));
QJsonObject items(const QString& patterns);
QJsonObject orbs(const QList<QJsonObject>& orbs);
QJsonObject orb(const QString& id, const QStringList& categorySlugs = {});
QJsonObject weather(const QString& city);
QByteArray bytes(const QJsonObject& object);

// Space-separated stable ids of a list.
QString ids(const QList<FeedItem>& list);

} // namespace catalogue

// A store on a real settings file, fake time, a fake path monitor and a
// loopback server standing in for the server API and the artwork search.
class StoreTest : public ::testing::Test {
protected:
    StoreTest();
    ~StoreTest() override;

    void makeStore(std::optional<FeedAPIConfig> api = std::nullopt);
    // Drops the store, writes the settings file and opens both again.
    void restart();
    // Runs the event loop until `done` holds (real time, for network replies).
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
    // Lets replies that should change nothing arrive before a test checks
    // that nothing changed.
    static void drain(int ms = 300) { waitUntil([] { return false; }, ms); }
    // Stores a snapshot as a previous run would have left it.
    void storeSnapshot(const QList<QJsonObject>& feeds, const QString& itemPatterns,
                       const QString& cachedAt = QStringLiteral("2026-01-10T08:00:00Z"));

    // Standard answers: a catalogue of `feeds`, items, orbs and weather.
    void serveCatalogue(const QList<QJsonObject>& feeds, const QJsonObject& items,
                        const QJsonObject& orbs = catalogue::orbs({}),
                        const QJsonObject& weather = catalogue::weather(QStringLiteral("Dublin")));
    // Answers `path` with `body` and an ETag, and 304 to a request carrying
    // it; an empty body answers 404.
    void serveWithETag(const QString& path, const std::function<QByteArray(const LoopbackServer::Request&)>& body);
    // A gate that stays valid until the server has stopped.
    Gate& gate() { return m_gates.emplace_back(); }
    // Answers `path` only once `gate` is opened.
    void serveGated(const QString& path, Gate& gate, LoopbackServer::Response response);

    int requests(const QString& path) const { return server.requestCount(QStringLiteral("/") + path); }
    QList<LoopbackServer::Request> requestsFor(const QString& path) const
    {
        return server.requestsFor(QStringLiteral("/") + path);
    }
    // Starts the store and waits for the first refresh to end.
    void startAndSettle();
    // Waits until `count` refreshes since the store was made reached their
    // weather step (the last one before the snapshot is saved).
    bool waitForRefreshes(int count);

    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults;
    FakeTime time;
    LoopbackServer server;
    QNetworkAccessManager network;
    RecordingPersonalSource personal;
    bool monitorStartsOnline = true;
    FakePathMonitor* monitor = nullptr;
    int monitorsMade = 0;
    std::unique_ptr<FeedStore> store;
    int weatherWrites = 0;

private:
    std::deque<Gate> m_gates;
};
