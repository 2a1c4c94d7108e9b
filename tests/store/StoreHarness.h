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
#include <QTemporaryDir>
#include <condition_variable>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

inline QString S(const char* text) { return QString::fromUtf8(text); }

// Holds a server answer back until the test opens it, so replies can be
// released in any order.
class Gate {
public:
    ~Gate() { open(); }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    // Called on the server thread; false when nobody opened it in time.
    bool wait()
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// A personal-feed source that records what the store asks of it.
class RecordingPersonalSource final : public PersonalItemsSource {
public:
    void setOnItemsChanged(ItemsHandler h) override { handler = std::move(h), ++installs; }
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
    int installs = 0, starts = 0, stops = 0;
};

namespace catalogue {

// A catalogue feed; `extra` adds fields such as "is_active", "rank_score" or "items_30d".
inline QJsonObject feed(const QString& id, QJsonObject extra = {})
{
    extra.insert(S("feed_id"), id);
    extra.insert(S("title"), S("Feed ") + id);
    return extra;
}
inline QJsonObject category(const QString& slug) { return {{S("slug"), slug}}; }
inline QJsonArray array(const QList<QJsonObject>& list)
{
    QJsonArray out;
    for (const auto& o : list)
        out.append(o);
    return out;
}
inline QJsonObject manifest(const QList<QJsonObject>& feeds, const QJsonValue& release = QJsonValue())
{
    QJsonObject o{{S("topics"), QJsonArray{QJsonObject{{S("topic_id"), S("t1")}, {S("label"), S("Topic")}, {S("slug"), S("topic")}}}},
                  {S("feed_index"), array(feeds)}};
    if (!release.isNull())
        o.insert(S("client_release"), release);
    return o;
}
inline QJsonObject release(const QString& version, const QString& url = S("https://example.com/get"))
{
    return {{S("version"), version}, {S("download_url"), url}};
}
// "id@minutes" items (minutes after 2026-01-15 12:00 UTC; no "@": undated).
inline QJsonObject item(const QString& pattern)
{
    const QStringList parts = pattern.split(QLatin1Char('@'));
    QJsonObject o{{S("item_id"), parts.at(0)}, {S("title"), S("Headline ") + parts.at(0)},
                  {S("source"), QJsonObject{{S("feed_id"), S("f")}}}};
    if (parts.size() > 1)
        o.insert(S("published_at"), QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * parts.at(1).toInt()).toString(Qt::ISODate));
    return o;
}
inline QJsonObject items(const QString& patterns)
{
    QJsonArray list;
    for (const QString& s : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        list.append(item(s));
    return {{S("items"), list}};
}
inline QJsonObject orbs(const QList<QJsonObject>& list) { return {{S("orbs"), array(list)}}; }
inline QJsonObject orb(const QString& id, const QStringList& categorySlugs = {})
{
    QJsonObject o{{S("topic_id"), id}, {S("topic_label"), S("Orb ") + id}};
    if (!categorySlugs.isEmpty())
        o.insert(S("category_slugs"), QJsonArray::fromStringList(categorySlugs));
    return o;
}
inline QJsonObject weather(const QString& city)
{
    return {{S("city"), city}, {S("temp"), S("7°")}, {S("condition"), S("Rain")}, {S("icon"), S("cloud.rain")}};
}
inline QByteArray bytes(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }
// Space-separated stable ids of a list.
inline QString ids(const QList<FeedItem>& list)
{
    QStringList out;
    for (const auto& it : list)
        out.append(it.stableId);
    return out.join(QLatin1Char(' '));
}

} // namespace catalogue

// A store on a real settings file, fake time, a fake path monitor and a
// loopback server standing in for the server API and the artwork search.
class StoreTest : public ::testing::Test {
protected:
    using R = LoopbackServer::Response;
    StoreTest() { server.fallback([](const LoopbackServer::Request&) { return R::withStatus(404); }); }
    ~StoreTest() override
    {
        store.reset();
        for (Gate& g : m_gates)
            g.open();
        // Idle keep-alive connections would hold the server's stop back.
        network.clearConnectionCache();
        FakeTime::settle();
        server.stop();
    }

    std::unique_ptr<Defaults> openDefaults() { return Defaults::openFile(dir.path() + S("/defaults.json"), dir.path() + S("/cache")); }
    FeedStore::Services services(const QUrl& base, std::optional<FeedAPIConfig> api = std::nullopt, const char* version = "1.4")
    {
        return FeedStore::Services{
            .defaults = *defaults, .clock = time, .scheduler = time, .network = &network, .personal = &personal,
            .makePathMonitor = [this] {
                auto m = std::make_unique<FakePathMonitor>();
                m->setOnline(monitorStartsOnline);
                monitor = m.get();
                ++monitorsMade;
                return std::unique_ptr<PathMonitor>(std::move(m));
            },
            .apiBase = base, .api = api, .itunesBase = base, .runningVersion = S(version)};
    }
    void makeStore(std::optional<FeedAPIConfig> api = std::nullopt)
    {
        store = std::make_unique<FeedStore>(services(server.baseUrl(), api));
        weatherWrites = 0;
        QObject::connect(store.get(), &FeedStore::currentWeatherChanged, [this] { ++weatherWrites; });
    }
    // Drops the store, writes the settings file and opens both again.
    void restart()
    {
        store.reset();
        monitor = nullptr;
        ASSERT_TRUE(defaults->flush());
        defaults = openDefaults();
        makeStore();
    }
    // Runs the event loop until `done` holds (real time, for network replies).
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 30000)
    {
        return ::waitUntil(done, timeoutMs);
    }
    // Lets replies that should change nothing arrive before a test checks
    // that nothing changed.
    static void drain(int ms = 300) { waitUntil([] { return false; }, ms); }
    // Stores a snapshot as a previous run would have left it.
    void storeSnapshot(const QList<QJsonObject>& feeds, const QString& itemPatterns, const QString& cachedAt = S("2026-01-10T08:00:00Z"))
    {
        defaults->caches().set(FeedStore::SnapshotKey,
                               QJsonObject{{S("topics"), catalogue::manifest(feeds).value(S("topics"))}, {S("feeds"), catalogue::array(feeds)},
                                           {S("orbs"), QJsonArray{catalogue::orb(S("o1"))}},
                                           {S("items"), catalogue::items(itemPatterns).value(S("items"))}, {S("cachedAt"), cachedAt}});
    }
    QJsonObject snapshot() const { return defaults->caches().value(FeedStore::SnapshotKey).toObject(); }
    // Standard answers: a catalogue of `feeds`, items, orbs and weather.
    void serveCatalogue(const QList<QJsonObject>& feeds, const QJsonObject& items, const QJsonObject& orbs = catalogue::orbs({}),
                        const QJsonValue& release = QJsonValue())
    {
        server.route(S("/v1_manifest"), R::json(catalogue::bytes(catalogue::manifest(feeds, release))));
        server.route(S("/v1_items_batch"), R::json(catalogue::bytes(items)));
        server.route(S("/v1_orbs"), R::json(catalogue::bytes(orbs)));
        server.route(S("/v1_weather"), R::json(catalogue::bytes(catalogue::weather(S("Dublin")))));
    }
    // The standard answers with items of `itemPatterns`, a store, and its first refresh.
    void startWith(const QList<QJsonObject>& feeds, const QString& itemPatterns = S("a1@5"), const QList<QJsonObject>& orbList = {},
                   const QJsonValue& release = QJsonValue())
    {
        serveCatalogue(feeds, catalogue::items(itemPatterns), catalogue::orbs(orbList), release);
        makeStore();
        startAndSettle();
    }
    // Answers `path` with `body` and an ETag, and 304 to a request carrying
    // it; an empty body answers 404.
    void serveWithETag(const QString& path, const std::function<QByteArray(const LoopbackServer::Request&)>& body)
    {
        server.handle(S("/") + path, [body](const LoopbackServer::Request& request) {
            const QByteArray content = body(request);
            if (content.isEmpty())
                return R::withStatus(404);
            const QByteArray etag = '"' + QByteArray::number(qHash(request.rawTarget + QString::fromUtf8(content)), 16) + '"';
            return request.header("If-None-Match") == etag ? R::withStatus(304) : R::json(content).header("ETag", etag);
        });
    }
    // A gate that stays valid until the server has stopped.
    Gate& gate() { return m_gates.emplace_back(); }
    // Answers `path` only once `gate` is opened.
    void serveGated(const QString& path, Gate& gate, R response)
    {
        server.handle(S("/") + path, [&gate, response](const LoopbackServer::Request&) { gate.wait(); return response; });
    }
    // The requests for `path` once replies that should change nothing had time to arrive.
    int settled(const char* path, int ms = 300) const { drain(ms); return requests(path); }
    int requests(const char* path) const { return server.requestCount(S("/") + S(path)); }
    QList<LoopbackServer::Request> requestsFor(const char* path) const { return server.requestsFor(S("/") + S(path)); }
    bool revalidated(const char* path) const { return !requestsFor(path).last().header("If-None-Match").isEmpty(); }
    // Starts the store and waits for the first refresh to end.
    void startAndSettle()
    {
        store->start();
        ASSERT_TRUE(waitForRefreshes(1));
    }
    // Waits until `count` refreshes since the store was made reached their
    // weather step (the last one before the snapshot is saved).
    bool waitForRefreshes(int count) { return waitUntil([&] { return weatherWrites >= count; }); }
    // Phase (with the error text), status and the items shown, in one line.
    QString state() const
    {
        static const char* kinds[] = {"Error: ", "Booting", "Running"};
        return S(kinds[int(store->phase().kind)]) + store->phase().message + S(" | ") + store->statusMessage() + S(" | ") + catalogue::ids(store->items());
    }

    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults = openDefaults();
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
