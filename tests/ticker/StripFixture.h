#pragma once

#include "RowFixture.h"
#include "markets/MarketsStore.h"
#include "platform/net/PathMonitor.h"
#include "platform/session/SecretStore.h"
#include "store/CachedSnapshot.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "ticker/MarqueeClock.h"
#include "ticker/StripServices.h"
#include "ticker/TickerView.h"

#include <QRandomGenerator>
#include <memory>

// Records every call the strip makes into the application.
class RecordingStripServices final : public StripServices {
public:
    void reposition() override { record(QStringLiteral("reposition")); }
    void setInputRegion(const std::optional<QRect>& r) override
    {
        record(r ? QStringLiteral("inputRegion:%1,%2 %3x%4").arg(r->x()).arg(r->y()).arg(r->width()).arg(r->height())
                 : QStringLiteral("inputRegion:none"));
    }
    void showSettings(FeedStore&, const std::optional<QString>& tab) override
    {
        record(QStringLiteral("showSettings:") + tab.value_or(QStringLiteral("<none>")));
    }
    void showSearch(FeedStore&) override { record(QStringLiteral("showSearch")); }
    void showFullScreen(FeedStore&) override { record(QStringLiteral("showFullScreen")); }
    void presentUpdatePrompt(const QString& version, const QUrl& url) override
    {
        record("update:" + version + ' ' + url.toString());
    }
    void quit() override { record(QStringLiteral("quit")); }
    void startNowPlaying(FeedStore&) override { record(QStringLiteral("startNowPlaying")); }
    void startRoomListener(FeedStore&) override { record(QStringLiteral("startRoomListener")); }
    bool canListenToRoom() const override { return roomListenerAvailable; }

    bool roomListenerAvailable = true;

    // Called with each call's name before it is recorded.
    std::function<void(const QString&)> onCall;
    QStringList calls;
    int count(const QString& call) const { return int(calls.count(call)); }

private:
    void record(const QString& call)
    {
        if (onCall)
            onCall(call);
        calls.append(call);
    }
};

// A feed store, market store and filters over in-memory settings. The server
// API and the market services point at a closed loopback port, so every
// request fails at once and nothing is left waiting when a test ends.
// Curated items and orbs reach the store through its snapshot.
struct StripFixture {
    RowFixture rows;
    QUrl serverBase{QStringLiteral("http://127.0.0.1:9/")};
    FilterStore filters{*rows.defaults};
    ClockMarqueeClock clock{rows.time};
    QRandomGenerator random{5};
    MemorySecretStore secrets;
    FakePathMonitor* monitor = nullptr;
    RecordingStripServices services;
    std::unique_ptr<MarketsStore> markets;
    std::unique_ptr<FeedStore> store;

    // `base`: where the server API and market services are; none: nowhere.
    explicit StripFixture(std::optional<QUrl> base = std::nullopt)
    {
        if (base)
            serverBase = *base;
        Endpoints endpoints = Endpoints::builtIn();
        endpoints.apiBase = serverBase;
        endpoints.finnhubBase = serverBase;
        endpoints.coingeckoBase = serverBase;
        markets = std::make_unique<MarketsStore>(*rows.defaults, secrets, rows.time, rows.time, endpoints);
        store = std::make_unique<FeedStore>(FeedStore::Services{
            *rows.defaults, rows.time, rows.time, &rows.nam, nullptr,
            [this] {
                auto m = std::make_unique<FakePathMonitor>();
                monitor = m.get();
                return m;
            },
            serverBase, std::nullopt, serverBase, QStringLiteral("1.0")});
    }
    ~StripFixture()
    {
        // Stopped sleeps resume from the event loop: let them run while the
        // fake scheduler still exists.
        store->stop();
        store.reset();
        markets.reset();
        FakeTime::settle();
        // Let the favicon loads' short pauses end too: a sleep stopped while
        // the row fixture goes would resume after its scheduler is gone.
        rows.time.advance(std::chrono::seconds(1));
    }

    Defaults& defaults() { return *rows.defaults; }

    // The strip on this fixture's stores and services, sized and placed away
    // from the pointer (which rests at the origin), not yet shown.
    std::unique_ptr<TickerView> makeView(int width = 1400)
    {
        auto view = std::make_unique<TickerView>(
            *store, TickerView::Services{*rows.defaults, filters, services, *markets, rows.time, clock,
                                         rows.context(), &random});
        view->resize(width, view->height());
        view->move(3000, 3000);
        return view;
    }

    // Restarts the store on a snapshot holding these items and orbs.
    void load(const QList<FeedItem>& items, const QList<Orb>& orbs = {}, const QList<Topic>& topics = {})
    {
        store->stop();
        CachedSnapshot snapshot{topics, {}, orbs, items, rows.time.now()};
        rows.defaults->caches().set(FeedStore::SnapshotKey, snapshot.toJson(CachedSnapshot::options()));
        store->start();
    }
};

inline FeedItem categorised(const QString& id, const QString& title, const QString& slug,
                            std::optional<QString> name = std::nullopt)
{
    FeedItem item = makeItem(id, title, QStringLiteral("https://example.com/") + id, QStringLiteral("Wire"));
    FeedCategory category;
    category.slug = slug;
    category.name = std::move(name);
    item.source->category = category;
    return item;
}

inline Orb makeOrb(const QString& id, const QString& label, std::optional<QStringList> keywords = std::nullopt,
                   std::optional<QList<std::optional<QString>>> urls = std::nullopt)
{
    Orb orb;
    orb.id = id;
    orb.topicLabel = label;
    orb.keywords = std::move(keywords);
    orb.keywordUrls = std::move(urls);
    return orb;
}

inline QString idsOf(const QList<FeedItem>& items)
{
    QStringList out;
    for (const FeedItem& item : items)
        out << item.stableId;
    return out.join(u' ');
}
