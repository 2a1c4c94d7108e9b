// Decoding speed of the two largest server replies: an items batch of
// 100 feeds x 3 items and a manifest of 2,000 feeds.
#include "api/ApiJson.h"
#include "api/ItemModels.h"
#include "api/ManifestModels.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <benchmark/benchmark.h>

namespace {

QString stamp(int i)
{
    return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(-i * 97).toString(Qt::ISODateWithMs);
}

QByteArray itemsBatch(int feeds, int perFeed)
{
    QJsonArray items;
    for (int f = 0; f < feeds; ++f) {
        const QJsonObject source{
            {"feed_id", QStringLiteral("feed-%1").arg(f)},
            {"title", QStringLiteral("Example Source %1").arg(f)},
            {"slug", QStringLiteral("example-source-%1").arg(f)},
            {"icon_url", QStringLiteral("https://icons.example.com/%1.png").arg(f)},
            {"domain", QStringLiteral("source%1.example.com").arg(f)},
            {"source_type", f % 3 == 0 ? "substack" : "rss"},
            {"category", QJsonObject{{"category_id", "c1"}, {"name", "Business"}, {"slug", "business"}, {"sort_order", 2}}},
        };
        for (int i = 0; i < perFeed; ++i) {
            const int n = f * perFeed + i;
            items.append(QJsonObject{
                {"item_id", QStringLiteral("item-%1-%2").arg(f).arg(i)},
                {"title", QStringLiteral("Headline number %1 about markets, rates &amp; the economy").arg(n)},
                {"url", QStringLiteral("https://source%1.example.com/articles/%2").arg(f).arg(n)},
                {"published_at", stamp(n)},
                {"source", source},
                {"image_url", QStringLiteral("https://cdn.example.com/img/%1.jpg").arg(n)},
            });
        }
    }
    return QJsonDocument(QJsonObject{{"items", items}}).toJson(QJsonDocument::Compact);
}

QByteArray manifest(int feeds)
{
    QJsonArray topics;
    for (int t = 0; t < 40; ++t)
        topics.append(QJsonObject{{"topic_id", QStringLiteral("t%1").arg(t)}, {"label", QStringLiteral("Topic %1").arg(t)},
                                  {"slug", QStringLiteral("topic-%1").arg(t)}, {"orb_color", "#6699FF"}});
    QJsonArray index;
    for (int f = 0; f < feeds; ++f) {
        index.append(QJsonObject{
            {"feed_id", QStringLiteral("feed-%1").arg(f)},
            {"title", QStringLiteral("Example Feed %1").arg(f)},
            {"url", QStringLiteral("https://feed%1.example.com/rss").arg(f)},
            {"icon_url", QStringLiteral("https://icons.example.com/%1.png").arg(f)},
            {"is_active", f % 7 != 0},
            {"source_type", f % 5 == 0 ? "youtube" : "rss"},
            {"items_30d", 300 + f},
            {"items_1h", f % 4},
            {"last_item_at", stamp(f)},
            {"status", "ok"},
            {"category", QJsonObject{{"category_id", "c2"}, {"name", "Tech"}, {"slug", "tech"}, {"sort_order", 1}}},
            {"pillar", "tech-ai"},
            {"rank_score", 0.5 + f * 0.001},
        });
    }
    return QJsonDocument(QJsonObject{{"topics", topics}, {"feed_index", index},
                                     {"client_release", QJsonObject{{"version", "1.4.0"}, {"download_url", "https://x.test/a"}}}})
        .toJson(QJsonDocument::Compact);
}

template <class T>
void decodeBench(benchmark::State& state, const QByteArray& body)
{
    const JsonOptions options = ApiJson::serverOptions();
    for (auto _ : state) {
        Result<T> r = decodeJson<T>(body, options);
        if (!r) {
            state.SkipWithError(r.error().description.toStdString().c_str());
            break;
        }
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
    state.counters["body_bytes"] = double(body.size());
}

void BM_DecodeItemsBatch100x3(benchmark::State& state)
{
    static const QByteArray body = itemsBatch(100, 3);
    decodeBench<ItemsBatchResponse>(state, body);
}
BENCHMARK(BM_DecodeItemsBatch100x3)->Unit(benchmark::kMillisecond);

void BM_DecodeManifest2000(benchmark::State& state)
{
    static const QByteArray body = manifest(2000);
    decodeBench<ManifestResponse>(state, body);
}
BENCHMARK(BM_DecodeManifest2000)->Unit(benchmark::kMillisecond);

} // namespace
