#include "StoreHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

void Gate::open()
{
    std::lock_guard lock(m_mutex);
    m_open = true;
    m_cv.notify_all();
}

bool Gate::wait()
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
}

namespace catalogue {

QJsonObject feed(const Feed& f)
{
    QJsonObject o{{QStringLiteral("feed_id"), f.id}, {QStringLiteral("title"), QStringLiteral("Feed ") + f.id}};
    if (f.active)
        o.insert(QStringLiteral("is_active"), *f.active);
    if (f.rank)
        o.insert(QStringLiteral("rank_score"), *f.rank);
    if (f.items30d)
        o.insert(QStringLiteral("items_30d"), *f.items30d);
    if (f.categorySlug)
        o.insert(QStringLiteral("category"), QJsonObject{{QStringLiteral("slug"), *f.categorySlug}});
    return o;
}

QJsonObject feed(const QString& id)
{
    return feed(Feed{id, {}, {}, {}, {}});
}

QJsonObject manifest(const QList<QJsonObject>& feeds, const QJsonValue& release)
{
    QJsonArray index;
    for (const auto& f : feeds)
        index.append(f);
    QJsonObject o{
        {QStringLiteral("topics"), QJsonArray{QJsonObject{{QStringLiteral("topic_id"), QStringLiteral("t1")},
                                                          {QStringLiteral("label"), QStringLiteral("Topic")},
                                                          {QStringLiteral("slug"), QStringLiteral("topic")}}}},
        {QStringLiteral("feed_index"), index},
    };
    if (!release.isNull())
        o.insert(QStringLiteral("client_release"), release);
    return o;
}

QJsonObject release(const QString& version, const QString& url)
{
    return {{QStringLiteral("version"), version}, {QStringLiteral("download_url"), url}};
}

QJsonObject item(const QString& pattern, const QString& feedId)
{
    const QStringList parts = pattern.split(QLatin1Char('@'));
    QJsonObject o{{QStringLiteral("item_id"), parts.at(0)},
                  {QStringLiteral("title"), QStringLiteral("Headline ") + parts.at(0)},
                  {QStringLiteral("source"), QJsonObject{{QStringLiteral("feed_id"), feedId}}}};
    if (parts.size() > 1) {
        const QDateTime at = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * parts.at(1).toInt());
        o.insert(QStringLiteral("published_at"), at.toString(Qt::ISODate));
    }
    return o;
}

QJsonObject items(const QString& patterns)
{
    QJsonArray list;
    for (const QString& s : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        list.append(item(s));
    return {{QStringLiteral("items"), list}};
}

QJsonObject orbs(const QList<QJsonObject>& orbs)
{
    QJsonArray list;
    for (const auto& o : orbs)
        list.append(o);
    return {{QStringLiteral("orbs"), list}};
}

QJsonObject orb(const QString& id, const QStringList& categorySlugs)
{
    QJsonObject o{{QStringLiteral("topic_id"), id}, {QStringLiteral("topic_label"), QStringLiteral("Orb ") + id}};
    if (!categorySlugs.isEmpty())
        o.insert(QStringLiteral("category_slugs"), QJsonArray::fromStringList(categorySlugs));
    return o;
}

QJsonObject weather(const QString& city)
{
    return {{QStringLiteral("city"), city},
            {QStringLiteral("temp"), QStringLiteral("7°")},
            {QStringLiteral("condition"), QStringLiteral("Rain")},
            {QStringLiteral("icon"), QStringLiteral("cloud.rain")}};
}

QByteArray bytes(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString ids(const QList<FeedItem>& list)
{
    QStringList out;
    for (const auto& it : list)
        out.append(it.stableId);
    return out.join(QLatin1Char(' '));
}

} // namespace catalogue

StoreTest::StoreTest()
{
    defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"), dir.path() + QStringLiteral("/cache"));
    server.fallback([](const LoopbackServer::Request&) { return LoopbackServer::Response::withStatus(404); });
}

StoreTest::~StoreTest()
{
    store.reset();
    for (Gate& g : m_gates)
        g.open();
    // Idle keep-alive connections would hold the server's stop back.
    network.clearConnectionCache();
    FakeTime::settle();
    server.stop();
}

void StoreTest::makeStore(std::optional<FeedAPIConfig> api)
{
    FeedStore::Services services{
        .defaults = *defaults,
        .clock = time,
        .scheduler = time,
        .network = &network,
        .personal = &personal,
        .makePathMonitor =
            [this] {
                auto m = std::make_unique<FakePathMonitor>();
                m->setOnline(monitorStartsOnline);
                monitor = m.get();
                ++monitorsMade;
                return std::unique_ptr<PathMonitor>(std::move(m));
            },
        .apiBase = server.baseUrl(),
        .api = api,
        .itunesBase = server.baseUrl(),
        .runningVersion = QStringLiteral("1.4"),
    };
    store = std::make_unique<FeedStore>(std::move(services));
    weatherWrites = 0;
    QObject::connect(store.get(), &FeedStore::currentWeatherChanged, [this] { ++weatherWrites; });
}

void StoreTest::restart()
{
    store.reset();
    monitor = nullptr;
    ASSERT_TRUE(defaults->flush());
    defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"), dir.path() + QStringLiteral("/cache"));
    makeStore();
}

bool StoreTest::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

void StoreTest::serveCatalogue(const QList<QJsonObject>& feeds, const QJsonObject& items, const QJsonObject& orbs,
                               const QJsonObject& weather)
{
    using R = LoopbackServer::Response;
    server.route(QStringLiteral("/v1_manifest"), R::json(catalogue::bytes(catalogue::manifest(feeds))));
    server.route(QStringLiteral("/v1_items_batch"), R::json(catalogue::bytes(items)));
    server.route(QStringLiteral("/v1_orbs"), R::json(catalogue::bytes(orbs)));
    server.route(QStringLiteral("/v1_weather"), R::json(catalogue::bytes(weather)));
}

void StoreTest::serveWithETag(const QString& path,
                              const std::function<QByteArray(const LoopbackServer::Request&)>& body)
{
    server.handle(QStringLiteral("/") + path, [body](const LoopbackServer::Request& request) {
        const QByteArray content = body(request);
        if (content.isEmpty())
            return LoopbackServer::Response::withStatus(404);
        const QByteArray etag = '"' + QByteArray::number(qHash(request.rawTarget + QString::fromUtf8(content)), 16) + '"';
        if (request.header("If-None-Match") == etag)
            return LoopbackServer::Response::withStatus(304);
        return LoopbackServer::Response::json(content).header("ETag", etag);
    });
}

void StoreTest::serveGated(const QString& path, Gate& gate, LoopbackServer::Response response)
{
    server.handle(QStringLiteral("/") + path, [&gate, response](const LoopbackServer::Request&) {
        gate.wait();
        return response;
    });
}

void StoreTest::startAndSettle()
{
    store->start();
    ASSERT_TRUE(waitForRefreshes(1));
}

bool StoreTest::waitForRefreshes(int count)
{
    return waitUntil([&] { return weatherWrites >= count; });
}

void StoreTest::storeSnapshot(const QList<QJsonObject>& feeds, const QString& itemPatterns, const QString& cachedAt)
{
    QJsonArray feedArray;
    for (const auto& f : feeds)
        feedArray.append(f);
    const QJsonObject manifest = catalogue::manifest(feeds);
    defaults->caches().set(FeedStore::SnapshotKey,
                  QJsonObject{{QStringLiteral("topics"), manifest.value(QStringLiteral("topics"))},
                              {QStringLiteral("feeds"), feedArray},
                              {QStringLiteral("orbs"), QJsonArray{catalogue::orb(QStringLiteral("o1"))}},
                              {QStringLiteral("items"), catalogue::items(itemPatterns).value(QStringLiteral("items"))},
                              {QStringLiteral("cachedAt"), cachedAt}});
}
