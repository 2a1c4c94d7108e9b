// The whole road of a personal feed: the sample catalogue server serves the
// feed documents and the server API, the personal-feed store adds and polls
// the feeds, the application's adapter hands the items to the feed store, and
// the feed store merges them into the ticker list by date.

#include "CatalogueServer.h"
#include "SampleFeedDocuments.h"
#include "TestFeeds.h"

#include "Await.h"
#include "FakeTime.h"
#include "app/PersonalFeedItemsSource.h"
#include "personal/PersonalFeedStore.h"
#include "platform/Defaults.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"

#include <QNetworkAccessManager>
#include <QSet>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using TestFeeds::waitUntil;
using Kind = PersonalFeedStore::AddResult::Kind;

QStringList idsOf(const QList<FeedItem>& items)
{
    QStringList ids;
    for (const FeedItem& item : items)
        ids.append(item.stableId);
    return ids;
}

class PersonalFeedsInTicker : public testing::Test {
protected:
    PersonalFeedsInTicker() : catalogue(options()) {}

    CatalogueServer::Options options()
    {
        CatalogueServer::Options o;
        o.seed = 5;
        o.now = [this] { return time.now(); };
        return o;
    }

    void TearDown() override
    {
        if (feedStore)
            feedStore->stop();
        feedStore.reset();
        personal.reset();
        FakeTime::settle();
        catalogue.stop();
    }

    FakeTime time;
    CatalogueServer catalogue;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    std::unique_ptr<PersonalFeedStore> personal;
    std::unique_ptr<PersonalFeedItemsSource> source;
    std::unique_ptr<FeedStore> feedStore;
};

TEST_F(PersonalFeedsInTicker, PersonalItemsReachTheTickerListMergedByDate)
{
    ASSERT_TRUE(catalogue.start().has_value());
    personal = std::make_unique<PersonalFeedStore>(*defaults, time, time, &network);

    // The three sample documents (RSS 2.0, RSS 1.0 and Atom) are all feeds.
    QStringList feedIds;
    for (const QString& name : SampleFeedDocuments::names()) {
        const auto result = awaitTask(personal->add(catalogue.baseUrl().resolved(QUrl(QStringLiteral("feeds/") + name)).toString()));
        ASSERT_TRUE(result.has_value());
        ASSERT_EQ(result->kind, Kind::Added) << name.toStdString() << " " << result->message.toStdString();
        EXPECT_GT(result->itemCount, 0) << name.toStdString();
        feedIds.append(personal->feeds().last().id);
    }
    // One feed switched off: its items stay kept but never reach the ticker.
    personal->setEnabled(feedIds.at(1), false);
    QSet<QString> hiddenIds;
    for (const FeedItem& item : personal->items()) {
        if (item.source->id == feedIds.at(1))
            hiddenIds.insert(item.stableId);
    }
    ASSERT_FALSE(hiddenIds.isEmpty());

    source = std::make_unique<PersonalFeedItemsSource>(*personal);
    FeedStore::Services services{
        .defaults = *defaults,
        .clock = time,
        .scheduler = time,
        .network = &network,
        .personal = source.get(),
        .makePathMonitor = [] { return std::unique_ptr<PathMonitor>(std::make_unique<FakePathMonitor>()); },
        .apiBase = catalogue.baseUrl(),
        .api = std::nullopt,
        .itunesBase = catalogue.baseUrl(),
        .runningVersion = QStringLiteral("0.1"),
    };
    feedStore = std::make_unique<FeedStore>(std::move(services));
    QSignalSpy passes(personal.get(), &PersonalFeedStore::isRefreshingChanged);
    feedStore->start();

    // The store's first hand-over is immediate; the first poll pass and the
    // first catalogue refresh follow over the network.
    EXPECT_EQ(idsOf(feedStore->personalItems()), idsOf(personal->visibleItems()));
    ASSERT_TRUE(waitUntil([&] {
        return feedStore->phase().kind == FeedStore::AppPhase::Kind::Running && !feedStore->items().isEmpty()
            && passes.count() >= 2;
    }, 15000)) << "phase " << int(feedStore->phase().kind) << ", curated " << feedStore->items().size();

    const QList<FeedItem> visible = personal->visibleItems();
    ASSERT_FALSE(visible.isEmpty());
    EXPECT_EQ(idsOf(feedStore->personalItems()), idsOf(visible));

    const QList<FeedItem> ticker = feedStore->tickerItems();
    EXPECT_EQ(idsOf(ticker), idsOf(FeedStore::mergeByDate(feedStore->items(), visible)));
    const QStringList tickerIdList = idsOf(ticker);
    const QSet<QString> tickerIds(tickerIdList.cbegin(), tickerIdList.cend());
    for (const FeedItem& item : visible)
        EXPECT_TRUE(tickerIds.contains(item.stableId)) << item.stableId.toStdString();
    for (const QString& id : hiddenIds)
        EXPECT_FALSE(tickerIds.contains(id)) << id.toStdString();

    // Personal items interleave with the curated ones: the newest personal
    // item stands after every newer curated item and before every older one.
    const FeedItem& newest = visible.first();
    ASSERT_TRUE(newest.publishedAt.has_value());
    const qsizetype at = tickerIdList.indexOf(newest.stableId);
    ASSERT_GE(at, 0);
    auto isCurated = [](const FeedItem& item) { return !item.source || !item.source->id.startsWith(QStringLiteral("pf-")); };
    int curatedBefore = 0;
    for (qsizetype i = 0; i < at; ++i) {
        if (!isCurated(ticker.at(i)))
            continue;
        ++curatedBefore;
        ASSERT_TRUE(ticker.at(i).publishedAt.has_value());
        EXPECT_GE(*ticker.at(i).publishedAt, *newest.publishedAt) << ticker.at(i).stableId.toStdString();
    }
    if (at + 1 < ticker.size() && isCurated(ticker.at(at + 1)) && ticker.at(at + 1).publishedAt)
        EXPECT_LT(*ticker.at(at + 1).publishedAt, *newest.publishedAt);
    EXPECT_LT(curatedBefore, feedStore->items().size()) << "the personal items were not merged in, only appended";

    // Removing a feed takes its items out of the ticker at once.
    const QString removed = feedIds.first();
    personal->remove(removed);
    for (const FeedItem& item : feedStore->tickerItems())
        EXPECT_FALSE(item.source && item.source->id == removed) << item.stableId.toStdString();
}

} // namespace
