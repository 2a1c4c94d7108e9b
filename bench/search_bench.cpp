// The search window's keystroke: with 10,000 loaded headlines and 2,000
// catalogue feeds, the time from a changed query to the results laid out
// (matching, sorting, capping and the rows' text layout), as typing it.
// Also what the store's lists changing costs the open window.
#include "app/SearchPanel.h"
#include "app/SearchResultsView.h"
#include "platform/session/Clipboard.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/net/PathMonitor.h"
#include "platform/session/UrlOpener.h"
#include "store/CachedSnapshot.h"
#include "store/FeedStore.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/ThumbnailStore.h"

#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace {

const QStringList words{
    QStringLiteral("market"),   QStringLiteral("rally"),    QStringLiteral("storm"),   QStringLiteral("election"),
    QStringLiteral("Café"),     QStringLiteral("science"),  QStringLiteral("Berlin"),  QStringLiteral("energy"),
    QStringLiteral("&amp;"),    QStringLiteral("launch"),   QStringLiteral("Zürich"),  QStringLiteral("players"),
    QStringLiteral("vote"),     QStringLiteral("climate"),  QStringLiteral("İstanbul"), QStringLiteral("startup"),
    QStringLiteral("record"),   QStringLiteral("series"),   QStringLiteral("report"),  QStringLiteral("health"),
    QStringLiteral("<b>new</b>"), QStringLiteral("policy"), QStringLiteral("chips"),   QStringLiteral("airline"),
};

QString sentence(QRandomGenerator& random, int length)
{
    QStringList out;
    for (int i = 0; i < length; ++i)
        out.append(words[random.bounded(int(words.size()))]);
    return out.join(u' ');
}

CachedSnapshot catalogue(int itemCount, int feedCount)
{
    QRandomGenerator random(7);
    CachedSnapshot snapshot;
    snapshot.cachedAt = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);
    for (int i = 0; i < feedCount; ++i) {
        FeedIndexItem feed;
        feed.id = QStringLiteral("feed%1").arg(i);
        feed.title = sentence(random, 2) + QStringLiteral(" %1").arg(i);
        FeedCategory category;
        category.name = words[i % words.size()] + QStringLiteral(" news");
        feed.category = category;
        snapshot.feeds.append(feed);
    }
    for (int i = 0; i < itemCount; ++i) {
        FeedItem item;
        item.stableId = QStringLiteral("item%1").arg(i);
        item.title = sentence(random, 9);
        item.url = QStringLiteral("https://site%1.example.com/story/%2").arg(i % 300).arg(i);
        if (i % 17 != 0)
            item.publishedAt = snapshot.cachedAt.addSecs(-60 * random.bounded(5000));
        FeedSource source;
        source.id = snapshot.feeds[i % feedCount].id;
        source.title = snapshot.feeds[i % feedCount].title;
        source.sourceType = SourceType::Rss;
        item.source = source;
        snapshot.items.append(item);
    }
    return snapshot;
}

struct Fixture {
    Fixture()
    {
        defaults->set(FeedStore::SnapshotKey, catalogue(10000, 2000).toJson(CachedSnapshot::options()));
        FeedStore::Services services{*defaults, Clock::system(), Scheduler::system(), &network, nullptr,
                                     [] { return std::make_unique<FakePathMonitor>(); },
                                     QUrl(QStringLiteral("http://127.0.0.1:9/")), std::nullopt,
                                     QUrl(QStringLiteral("http://127.0.0.1:9/")), QStringLiteral("1.0")};
        store = std::make_unique<FeedStore>(services);
        store->start();  // restores the snapshot
        store->stop();
        panel = std::make_unique<SearchPanel>(
            *store, [] {}, TickerRowContext{&reads, defaults.get(), &favicons, &thumbnails, &opener, &clipboard});
        panel->show();
    }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    ReadStore reads{*defaults};
    ImageFetchGate gate;
    FaviconStore favicons{QString(), &network, QUrl(QStringLiteral("http://127.0.0.1:9/")), gate, Scheduler::system()};
    ThumbnailStore thumbnails{&network, gate};
    FakeUrlOpener opener;
    FakeClipboard clipboard;
    std::unique_ptr<FeedStore> store;
    std::unique_ptr<SearchPanel> panel;
};

Fixture& fixture()
{
    static Fixture* f = new Fixture;
    return *f;
}

// Typing words letter by letter, and back to a fresh word.
const QStringList typed{
    QStringLiteral("ma"), QStringLiteral("mar"), QStringLiteral("mark"), QStringLiteral("marke"),
    QStringLiteral("market"), QStringLiteral("market r"), QStringLiteral("market ra"), QStringLiteral("st"),
    QStringLiteral("sto"), QStringLiteral("stor"), QStringLiteral("storm"), QStringLiteral("ca"),
    QStringLiteral("caf"), QStringLiteral("café"), QStringLiteral("zz"), QStringLiteral("ne"),
};

void keystroke(QLineEdit* field, const QString& text)
{
    field->setText(text);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void BM_Keystroke(benchmark::State& state)
{
    Fixture& f = fixture();
    QLineEdit* field = f.panel->queryField();
    keystroke(field, QStringLiteral("warm"));
    qsizetype next = 0;
    qsizetype shown = 0;
    for (auto _ : state) {
        keystroke(field, typed[next]);
        shown += f.panel->resultsView()->headlineRowCount();
        next = (next + 1) % typed.size();
    }
    benchmark::DoNotOptimize(shown);
    state.counters["headlines"] = double(f.store->items().size());
    state.counters["feeds"] = double(f.store->feeds().size());
}
BENCHMARK(BM_Keystroke)->Unit(benchmark::kMillisecond);

// The store's lists changing under an open search: folding every text anew
// (the first search), or a refresh that brings 300 new headlines.
void BM_IndexFirstBuild(benchmark::State& state)
{
    const CachedSnapshot data = catalogue(10000, 2000);
    for (auto _ : state) {
        SearchIndex index;
        index.setItems(data.items);
        index.setFeeds(data.feeds);
        benchmark::DoNotOptimize(index.itemCount());
    }
}
BENCHMARK(BM_IndexFirstBuild)->Unit(benchmark::kMillisecond);

void BM_IndexAfterRefresh(benchmark::State& state)
{
    const CachedSnapshot data = catalogue(10000, 2000);
    QList<FeedItem> refreshed = data.items.mid(300);
    const CachedSnapshot fresh = catalogue(300, 2000);
    for (FeedItem item : fresh.items) {
        item.stableId += QStringLiteral("-new");
        refreshed.prepend(item);
    }
    SearchIndex index(data.items, data.feeds);
    bool flip = false;
    for (auto _ : state) {
        index.setItems(flip ? data.items : refreshed);
        flip = !flip;
        benchmark::DoNotOptimize(index.itemCount());
    }
}
BENCHMARK(BM_IndexAfterRefresh)->Unit(benchmark::kMillisecond);

} // namespace
