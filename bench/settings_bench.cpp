// What a long stored list costs the views that show it: the Filters tab with
// its phrase rows, the General tab with its hidden applications, and the
// strip's filtering of a pass of headlines by the muted and followed
// phrases. The lists' read limits (FilterStore::kMaxPhrases,
// HiddenAppsController::kMaxApps) are chosen from these numbers.
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/FrontAppMonitor.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/net/PathMonitor.h"
#include "settings/FiltersTab.h"
#include "settings/GeneralTab.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/TickerAnimationLayer.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace {

QStringList phrases(qsizetype count)
{
    QStringList out;
    out.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        out.append(QStringLiteral("phrase number %1").arg(i));
    return out;
}

class NoFront final : public FrontAppMonitor {
public:
    std::optional<QString> frontApp() const override { return QString(); }
    QList<RunningApp> runningApps() const override { return {}; }
};

struct World {
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    std::unique_ptr<FeedStore> store;

    World()
    {
        FeedStore::Services services{*defaults, Clock::system(), Scheduler::system(), &network, nullptr,
                                     [] { return std::make_unique<FakePathMonitor>(); },
                                     QUrl(QStringLiteral("http://127.0.0.1:9/")), std::nullopt,
                                     QUrl(QStringLiteral("http://127.0.0.1:9/")), QStringLiteral("1.0")};
        store = std::make_unique<FeedStore>(services);
    }
};

// Reading the stored phrases and showing the tab, as opening it does.
void BM_FiltersTabShowsStoredPhrases(benchmark::State& state)
{
    World world;
    world.defaults->set(FilterStore::MutedKey, phrases(state.range(0)));
    world.defaults->set(FilterStore::FollowedKey, phrases(state.range(0) / 10));
    ReadStore reads(*world.defaults);
    for (auto _ : state) {
        FilterStore filters(*world.defaults);
        FiltersTab tab(*world.store, nullptr, &filters, &reads, world.defaults.get());
        tab.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(tab.shownMuted().size());
    }
}
BENCHMARK(BM_FiltersTabShowsStoredPhrases)->Arg(100)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_GeneralTabShowsStoredApps(benchmark::State& state)
{
    World world;
    world.defaults->set(QStringLiteral("hiddenForBundleIDs"), phrases(state.range(0)));
    NoFront monitor;
    for (auto _ : state) {
        HiddenAppsController hidden(*world.defaults, monitor);
        GeneralTab tab(*world.store, nullptr, world.defaults.get(), &hidden);
        tab.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(hidden.bundleIDs().size());
    }
}
BENCHMARK(BM_GeneralTabShowsStoredApps)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One pass of 600 headlines through the muted and followed phrases (a tenth
// as many followed), as the strip composes it on every change.
void BM_StripFiltersByPhrases(benchmark::State& state)
{
    QList<FeedItem> items;
    for (int i = 0; i < 600; ++i)
        items.append(FeedItem{QString::number(i), QStringLiteral("A headline of ordinary length about topic %1").arg(i),
                              std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    const QStringList muted = phrases(state.range(0));
    const QStringList followed = phrases(state.range(0) / 10);
    QRandomGenerator random(1);
    for (auto _ : state) {
        QList<FeedItem> shown =
            TickerAnimationLayer::filteredAndMixed(items, std::nullopt, muted, followed, QStringLiteral("latest"), random);
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_StripFiltersByPhrases)->Arg(100)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
