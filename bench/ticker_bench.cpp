// The main strip's hot paths: painting one frame of a scrolling 300-headline
// strip (1,920 × 72 at size 2, raster engine, favicons shown, every other
// headline with a picture frame) and rebuilding
// the row when its content changes (the same headlines in a new order, as a
// re-composition brings them, and headlines never shown before); and the
// memory and longest frame of a strip whose headlines are 100 KB long.
#include "FakeTime.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/session/UrlOpener.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/MarqueeClock.h"
#include "ticker/CategoryMixOptions.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/StripConfig.h"
#include "ticker/ThumbnailStore.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <functional>
#include <unistd.h>

namespace {

class ManualClock final : public MarqueeClock {
public:
    double seconds() const override { return now; }
    double now = 0;
};

QByteArray png(QColor color)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QList<FeedItem> headlines(const QString& prefix, int count)
{
    QList<FeedItem> items;
    for (int i = 0; i < count; ++i) {
        FeedItem item;
        item.stableId = prefix + QString::number(i);
        item.title = QStringLiteral("Headline number %1 about markets, weather and the long road ahead").arg(i);
        item.url = QStringLiteral("https://site%1.example.com/story/%2").arg(i % 40).arg(i);
        item.publishedAt = QDateTime(QDate(2026, 1, 15), QTime(9, 30), Qt::UTC).addSecs(60 * i);
        FeedSource source;
        source.id = QStringLiteral("feed%1").arg(i % 40);
        source.title = QStringLiteral("Site %1").arg(i % 40);
        item.source = source;
        if (i % 2 == 0)
            item.imageUrl = QStringLiteral("http://127.0.0.1:9/img/%1.png").arg(i);
        items.append(item);
    }
    return items;
}

// Everything a strip needs, on in-memory settings and a disk cache that
// already holds every site's icon.
struct Rig {
    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    ReadStore reads{*defaults};
    FakeTime time;
    ImageFetchGate gate;
    QNetworkAccessManager nam;
    std::unique_ptr<FaviconStore> favicons;
    ThumbnailStore thumbnails{&nam, gate};
    FakeUrlOpener opener;
    FakeClipboard clipboard;
    ManualClock clock;
    std::unique_ptr<MarqueeTickerView> view;

    Rig()
    {
        const QString cache = dir.path() + QStringLiteral("/favicons");
        QDir().mkpath(cache);
        for (int i = 0; i < 40; ++i) {
            QFile file(cache + QLatin1Char('/')
                       + FaviconStore::fileName(QStringLiteral("site%1.example.com_128").arg(i)));
            file.open(QIODevice::WriteOnly);
            file.write(png(QColor::fromHsv(i * 9, 200, 220)));
        }
        favicons = std::make_unique<FaviconStore>(cache, &nam, QUrl(QStringLiteral("http://127.0.0.1:9/")), gate,
                                                  time);
        view = std::make_unique<MarqueeTickerView>(
            TickerRowContext{&reads, defaults.get(), favicons.get(), &thumbnails, &opener, &clipboard}, clock);
        view->resize(1920, 72);
    }

    // Paints once so that the cells ask for their icons, waits for them to
    // come from the disk cache, and has the cells drawn again with them.
    void showIcons()
    {
        QImage frame(1920, 72, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&frame);
        view->paintStrip(painter);
        for (int i = 0; i < 40; ++i) {
            const QString key = QStringLiteral("site%1.example.com_128").arg(i);
            while (favicons->isLoading(key))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        view->cellsChanged();
    }
};

// Where a paint asks for icons that are on disk but not in memory (after a
// restart, or after the memory cache let them go): the time the asking
// thread spends in request() for 40 icons; the reads and decodes happen on
// the thread pool.
void BM_FaviconRequestFromDisk(benchmark::State& state)
{
    Rig rig;
    const QString cache = rig.dir.path() + QStringLiteral("/favicons");
    for (auto _ : state) {
        state.PauseTiming();
        FaviconStore store(cache, &rig.nam, QUrl(QStringLiteral("http://127.0.0.1:9/")), rig.gate, rig.time);
        state.ResumeTiming();
        for (int i = 0; i < 40; ++i)
            store.request(QStringLiteral("site%1.example.com").arg(i), std::nullopt, 128);
        state.PauseTiming();
        for (int i = 0; i < 40; ++i) {
            while (store.isLoading(QStringLiteral("site%1.example.com_128").arg(i)))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (!store.contains(QStringLiteral("site39.example.com_128")))
            state.SkipWithError("the icons did not load from disk");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(BM_FaviconRequestFromDisk)->Unit(benchmark::kMicrosecond);

// What a request for such an icon cost the asking thread when the file was
// read and decoded there: the same 40 icons, read and decoded in turn.
void BM_FaviconReadAndDecodeInPlace(benchmark::State& state)
{
    Rig rig;
    const QString cache = rig.dir.path() + QStringLiteral("/favicons");
    for (auto _ : state) {
        for (int i = 0; i < 40; ++i) {
            QFile file(cache + QLatin1Char('/')
                       + FaviconStore::fileName(QStringLiteral("site%1.example.com_128").arg(i)));
            file.open(QIODevice::ReadOnly);
            benchmark::DoNotOptimize(decodeImageBytes(file.readAll(), FaviconStore::maxDecodedSide));
        }
    }
    state.SetItemsProcessed(state.iterations() * 40);
}
BENCHMARK(BM_FaviconReadAndDecodeInPlace)->Unit(benchmark::kMicrosecond);

void BM_ScrollFrame(benchmark::State& state)
{
    Rig rig;
    rig.view->updateContent(headlines(QStringLiteral("a"), 300), std::nullopt, 2, false, 1.0);
    rig.showIcons();
    QImage frame(1920, 72, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        rig.clock.now += 1.0 / 60.0;
        frame.fill(Qt::black);
        QPainter painter(&frame);
        rig.view->paintStrip(painter);
    }
    state.counters["cells_cached"] = rig.view->pixmapCache().count();
    state.counters["cache_MiB"] = double(rig.view->pixmapCache().bytes()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ScrollFrame)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_Rebuild(benchmark::State& state)
{
    Rig rig;
    const QList<FeedItem> first = headlines(QStringLiteral("a"), 300);
    const QList<FeedItem> second = headlines(QStringLiteral("b"), 300);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        rig.view->updateContent(flip ? first : second, std::nullopt, 2, false, 1.0);
    }
    state.counters["rebuilds"] = rig.view->rebuildCount();
}
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond);

// Every rebuild brings 300 headlines never seen before (their meta lines
// are formatted afresh).
void BM_RebuildUnseenItems(benchmark::State& state)
{
    Rig rig;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QList<FeedItem> items = headlines(QStringLiteral("r%1-").arg(++round), 300);
        for (FeedItem& item : items)
            item.publishedAt = item.publishedAt->addSecs(round);
        state.ResumeTiming();
        rig.view->updateContent(items, std::nullopt, 2, false, 1.0);
    }
}
BENCHMARK(BM_RebuildUnseenItems)->Unit(benchmark::kMillisecond);


// Resident memory of this process now, in bytes.
double residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) : 0;
}

// A title of `length` characters made of words, or an ordinary one for 0.
QString titleOfLength(int index, int length)
{
    static const QStringList words{"rates", "hold", "as", "markets", "weigh", "the", "long", "road", "ahead",
                                   "council", "votes", "on", "harbour", "plan", "after", "storm"};
    QString title = QStringLiteral("Story %1:").arg(index);
    if (length == 0)
        return title + QStringLiteral(" council votes on the harbour plan after the storm");
    for (qsizetype w = index; title.size() < length; ++w)
        title += u' ' + words.at(w % words.size());
    title.truncate(length);
    return title;
}

// Twenty headlines whose titles are far longer than anyone reads on a strip
// (argument: characters per title, 102,400 being a feed just under the 3 MB
// cap; 0: ordinary titles), at size 2 and speed 1 on a 1,920 px strip that
// showed ordinary headlines before. The row is built, then every cell scrolls
// onto the screen once: the frame where its left edge enters and the three
// after it.
// Counters: rss_growth_MiB, the highest resident memory during the run less
// the memory before the headlines existed; longest_step_ms, the longest
// single stretch of main-thread work (the rebuild or one frame). Run each
// argument in a process of its own and compare the two:
//   ticker_bench --benchmark_filter='BM_LongTitles/0/'
//   ticker_bench --benchmark_filter='BM_LongTitles/102400/'
void BM_LongTitles(benchmark::State& state)
{
    const int length = int(state.range(0));
    Rig rig;
    rig.view->setPointerSource([] { return QPoint(-5000, -5000); });
    rig.view->show();
    // Fonts, icons and the first pictures are loaded once per process, not
    // per headline: a strip of ordinary headlines shows first.
    rig.view->updateContent(headlines(QStringLiteral("warm"), 20), std::nullopt, 2, false, 1.0);
    rig.showIcons();
    const double before = residentBytes();
    double peak = before;
    qint64 longest = 0;
    const auto step = [&](const std::function<void()>& work) {
        QElapsedTimer timer;
        timer.start();
        work();
        longest = std::max(longest, timer.nsecsElapsed());
        peak = std::max(peak, residentBytes());
    };
    QImage frame(1920, 72, QImage::Format_ARGB32_Premultiplied);
    const auto paintFrame = [&] {
        frame.fill(Qt::black);
        QPainter painter(&frame);
        rig.view->paintStrip(painter);
    };
    for (auto _ : state) {
        QList<FeedItem> items = headlines(QStringLiteral("long"), 20);
        for (int i = 0; i < items.size(); ++i)
            items[i].title = titleOfLength(i, length);
        peak = std::max(peak, residentBytes());
        step([&] { rig.view->updateContent(items, std::nullopt, 2, false, 1.0); });
        for (int i = 0; i < rig.view->cellCount(); ++i) {
            double distance = rig.view->cellRect(0, i).left() - (1920 - 40);
            if (distance < 0)
                distance += rig.view->period();
            rig.clock.now += distance / rig.view->pointsPerSecond();
            for (int f = 0; f < 4; ++f) {
                step(paintFrame);
                rig.clock.now += 1.0 / 60.0;
            }
        }
        state.counters["strip_px"] = rig.view->stripWidth();
    }
    state.counters["rss_growth_MiB"] = (peak - before) / (1024.0 * 1024.0);
    state.counters["longest_step_ms"] = double(longest) / 1e6;
}
BENCHMARK(BM_LongTitles)->Arg(0)->Arg(102400)->Iterations(1)->Unit(benchmark::kMillisecond);


// The stacked strip's stored configuration is read afresh on every menu
// opening and every window placement.
void BM_StripConfigLoad(benchmark::State& state)
{
    auto defaults = Defaults::inMemory();
    StripConfig::save({StripConfig{QStringLiteral("cat:technology"), 2.0, 4, QStringLiteral("Teal")}}, *defaults);
    for (auto _ : state)
        benchmark::DoNotOptimize(StripConfig::load(*defaults));
}
BENCHMARK(BM_StripConfigLoad)->Unit(benchmark::kMicrosecond);

// The second strip's category choices over the loaded headlines, built at
// every menu opening.
void BM_CategoryMixOptions(benchmark::State& state)
{
    QList<FeedItem> items = headlines(QStringLiteral("c"), 300);
    for (qsizetype i = 0; i < items.size(); ++i) {
        FeedCategory category;
        category.slug = QStringLiteral("category-%1").arg(i % 25);
        category.name = QStringLiteral("Category %1").arg(i % 25);
        items[i].source->category = category;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(categoryMixOptions(items));
}
BENCHMARK(BM_CategoryMixOptions)->Unit(benchmark::kMicrosecond);

} // namespace
