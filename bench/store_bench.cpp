// The feed store's hot paths: composing the ticker list from large inputs,
// and one full refresh of 100 feeds with 3 items each.
#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"
#include "platform/storage/Defaults.h"
#include "platform/net/PathMonitor.h"
#include "api/ApiJson.h"
#include "store/CachedSnapshot.h"
#include "store/FeedStore.h"
#include "store/ItemComposition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

const QDateTime kBase(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);

// `count` items, newest first, one minute apart, every `step`-th undated.
QList<FeedItem> makeItems(const QString& prefix, int count, int step = 0)
{
    QList<FeedItem> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        FeedSource source{prefix + QStringLiteral("-feed-%1").arg(i % 100), QStringLiteral("Source"), {}, {}, {}, {}, {}};
        std::optional<QDateTime> at;
        if (step == 0 || i % step != 0)
            at = kBase.addSecs(-60 * i);
        out.append(FeedItem{prefix + QString::number(i), QStringLiteral("A headline of ordinary length %1").arg(i),
                            QStringLiteral("https://example.com/story/%1").arg(i), at, source, {}});
    }
    return out;
}

// What tickerItems() computes after an input changed, with 10,000 curated
// and 1,000 personal items and a music lane blended in.
void BM_ComposeTickerItems(benchmark::State& state)
{
    const QList<FeedItem> curated = makeItems(QStringLiteral("c"), 10000);
    const QList<FeedItem> personal = makeItems(QStringLiteral("p"), 1000, 50);
    const QList<FeedItem> lane = ItemComposition::interleaveBundles(
        {makeItems(QStringLiteral("np-a"), 40), makeItems(QStringLiteral("np-b"), 40), makeItems(QStringLiteral("np-c"), 40)});
    for (auto _ : state) {
        QList<FeedItem> result = ItemComposition::mergeAndBlend(curated, personal, lane);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * (curated.size() + personal.size() + lane.size()));
}
BENCHMARK(BM_ComposeTickerItems)->Unit(benchmark::kMicrosecond);

// The server side of a refresh: a catalogue of `feedCount` feeds, and 300
// items from the first 100 of them.
struct SampleServer {
    LoopbackServer server;
    explicit SampleServer(int feedCount = 100)
    {
        QJsonArray feeds;
        QJsonArray items;
        for (int f = 0; f < feedCount; ++f) {
            const QString id = QStringLiteral("feed-%1").arg(f);
            feeds.append(QJsonObject{{QStringLiteral("feed_id"), id}, {QStringLiteral("title"), QStringLiteral("Feed")},
                                     {QStringLiteral("rank_score"), f / 100.0},
                                     {QStringLiteral("category"), QJsonObject{{QStringLiteral("slug"), QStringLiteral("tech")}}}});
            for (int i = 0; i < (f < 100 ? 3 : 0); ++i)
                items.append(QJsonObject{
                    {QStringLiteral("item_id"), id + QStringLiteral("-%1").arg(i)},
                    {QStringLiteral("title"), QStringLiteral("A headline of ordinary length")},
                    {QStringLiteral("url"), QStringLiteral("https://example.com/%1/%2").arg(f).arg(i)},
                    {QStringLiteral("published_at"), kBase.addSecs(-60 * (f * 3 + i)).toString(Qt::ISODate)},
                    {QStringLiteral("source"), QJsonObject{{QStringLiteral("feed_id"), id}, {QStringLiteral("title"), QStringLiteral("Feed")}}}});
        }
        const auto json = [](const QJsonObject& o) {
            return LoopbackServer::Response::json(QJsonDocument(o).toJson(QJsonDocument::Compact));
        };
        server.route(QStringLiteral("/v1_manifest"), json({{QStringLiteral("topics"), QJsonArray{}}, {QStringLiteral("feed_index"), feeds}}));
        server.route(QStringLiteral("/v1_items_batch"), json({{QStringLiteral("items"), items}}));
        server.route(QStringLiteral("/v1_orbs"), json({{QStringLiteral("orbs"), QJsonArray{}}}));
        server.route(QStringLiteral("/v1_weather"),
                     json({{QStringLiteral("city"), QStringLiteral("Dublin")}, {QStringLiteral("temp"), QStringLiteral("7")},
                           {QStringLiteral("condition"), QStringLiteral("Rain")}, {QStringLiteral("icon"), QStringLiteral("r")}}));
    }
};

// A feed store on fake time over `sample`, settings in memory.
struct StoreOn {
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    QNetworkAccessManager network;
    FeedStore store;
    explicit StoreOn(SampleServer& sample)
        : store(FeedStore::Services{
              .defaults = *defaults,
              .clock = time,
              .scheduler = time,
              .network = &network,
              .personal = nullptr,
              .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
              .apiBase = sample.server.baseUrl(),
              .api = std::nullopt,
              .itunesBase = {},
              .runningVersion = QStringLiteral("1.0"),
          })
    {
    }
};

// One full refresh over loopback HTTP: three reads, the items batch, the
// decode and apply of 100 feeds and 300 items, and the snapshot save.
void BM_FullRefresh100Feeds(benchmark::State& state)
{
    SampleServer sample;
    StoreOn on(sample);
    auto& [defaults, time, network, store] = on;
    for (auto _ : state) {
        awaitTask(store.refresh());
        time.advanceSeconds(1);  // each refresh fetches fresh data at a new time
    }
    if (store.items().size() != 300)
        state.SkipWithError("the refresh did not load 300 items");
}
BENCHMARK(BM_FullRefresh100Feeds)->Unit(benchmark::kMicrosecond);

// The CPU side of applying such a refresh without the transport: decoding
// the manifest and the batch, and encoding the snapshot that is saved.
void BM_DecodeAndSnapshot100Feeds(benchmark::State& state)
{
    SampleServer sample;
    QNetworkAccessManager network;
    const auto fetch = [&](const QString& path) {
        QNetworkReply* reply = network.get(QNetworkRequest(sample.server.url(path)));
        while (!reply->isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return body;
    };
    const QByteArray manifestBody = fetch(QStringLiteral("v1_manifest"));
    const QByteArray itemsBody = fetch(QStringLiteral("v1_items_batch"));
    auto defaults = Defaults::inMemory();
    const JsonOptions server = ApiJson::serverOptions();
    for (auto _ : state) {
        const auto manifest = decodeJson<ManifestResponse>(manifestBody, server);
        const auto batch = decodeJson<ItemsBatchResponse>(itemsBody, server);
        const CachedSnapshot snapshot{manifest->topics, manifest->feedIndex, {}, batch->items, kBase};
        defaults->caches().set(FeedStore::SnapshotKey, snapshot.toJson(CachedSnapshot::options()));
        benchmark::DoNotOptimize(batch);
    }
}
BENCHMARK(BM_DecodeAndSnapshot100Feeds)->Unit(benchmark::kMicrosecond);

// The main thread's CPU time since it started (preemption on a loaded
// machine is not work).
qint64 mainThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The longest stretch the main thread is busy in one go during a full
// refresh of a 2,000-feed catalogue with 300 items: a 1 ms timer notes the
// main thread's CPU time between its ticks, so the strip's frames would wait
// as long.
void BM_LongestMainThreadBusyDuringRefresh2000Feeds(benchmark::State& state)
{
    SampleServer sample(2000);
    StoreOn on(sample);
    auto& [defaults, time, network, store] = on;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = mainThreadCpuNs();
        longest = std::max(longest, now - last);
        last = now;
    });
    double worstMs = 0;
    for (auto _ : state) {
        longest = 0;
        last = mainThreadCpuNs();
        ticker.start();
        awaitTask(store.refresh());
        defaults->caches().flush();
        ticker.stop();
        worstMs = std::max(worstMs, longest / 1e6);
        time.advanceSeconds(1);
    }
    state.counters["longest_busy_ms"] = worstMs;
    if (store.feeds().size() != 2000)
        state.SkipWithError("the refresh did not load 2,000 feeds");
}
BENCHMARK(BM_LongestMainThreadBusyDuringRefresh2000Feeds)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
