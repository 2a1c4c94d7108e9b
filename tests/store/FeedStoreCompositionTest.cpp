#include "LogCapture.h"
#include "StoreHarness.h"

#include <QSignalSpy>

namespace {

using namespace catalogue;
using R = LoopbackServer::Response;

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

FeedItem personalItem(const QString& id, int minutes)
{
    return FeedItem{id, S("Mine ") + id, {}, QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * minutes),
                    {}, {}};
}

QByteArray bundle(const QStringList& corpusUrls, const QStringList& newsUrls = {})
{
    const auto stream = [](const QStringList& urls) {
        QJsonArray list;
        for (const auto& u : urls)
            list.append(QJsonObject{{S("title"), S("Story ") + u}, {S("url"), u}});
        return list;
    };
    return bytes(QJsonObject{{S("artist"), QJsonObject{{S("name"), S("Artist")}}},
                             {S("links"), QJsonArray{}},
                             {S("streams"), QJsonObject{{S("corpus"), stream(corpusUrls)},
                                                        {S("news"), stream(newsUrls)},
                                                        {S("videos"), QJsonArray{}}}}});
}

class FeedStoreComposition : public StoreTest {
protected:
    void startWith(const QList<QJsonObject>& feeds, const QString& itemPatterns, const QList<QJsonObject>& orbList = {})
    {
        serveCatalogue(feeds, items(itemPatterns), orbs(orbList));
        server.route(S("/v1_nowplaying"), R::json(bundle({S("m1"), S("m2")})));
        makeStore();
        startAndSettle();
    }
};

TEST_F(FeedStoreComposition, TickerItemsFollowFocusMusicAndTheBlendSetting)
{
    startWith({feed(Feed{S("a"), {}, {}, {}, S("tech")})}, S("c1@9 c2@5 c3@1"), {orb(S("o1"), {S("tech")})});
    QSignalSpy ticker(store.get(), &FeedStore::tickerItemsChanged);
    personal.handler({personalItem(S("p1"), 7), personalItem(S("p2"), 5)});
    EXPECT_EQ(ids(store->tickerItems()), S("c1 p1 c2 p2 c3"));
    EXPECT_EQ(ticker.count(), 1);

    // A track set but its lane still empty: the merged list.
    Gate& lane = gate();
    serveGated(S("v1_nowplaying"), lane, R::json(bundle({S("m1"), S("m2")})));
    store->setNowPlaying(S("Artist"), S("Song"), QUrl(S("https://art/1.jpg")));
    EXPECT_EQ(ids(store->tickerItems()), S("c1 p1 c2 p2 c3"));
    lane.open();
    ASSERT_TRUE(waitUntil([&] { return !store->nowPlayingItems().isEmpty(); }));
    // Blend off: the lane replaces the feeds.
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 np-m2"));
    ticker.clear();
    defaults->set(FeedStore::MusicBlendKey, true);
    EXPECT_EQ(ticker.count(), 1);
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 c1 p1 np-m2 c2 p2 c3"));

    // A focused topic with items hides the music too.
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    EXPECT_EQ(ids(store->tickerItems()), S("c1 c2 c3"));
    // The strip leaving the focus.
    store->setFocusedTopicID(std::nullopt);
    store->setFocusedItems({});
    EXPECT_EQ(ids(store->tickerItems()), S("np-m1 c1 p1 np-m2 c2 p2 c3"));
}

TEST_F(FeedStoreComposition, FocusAsksTheTopicsBestFeedsAndTogglesOnASecondTap)
{
    QList<QJsonObject> feeds{
        feed(Feed{S("low"), {}, {}, 1, S("Tech")}),      feed(Feed{S("off"), false, {}, 99, S("tech")}),
        feed(Feed{S("none"), {}, {}, {}, S("TECH")}),    feed(Feed{S("high"), {}, {}, 50, S("science")}),
        feed(Feed{S("other"), {}, {}, 70, S("sport")}),  feed(Feed{S("bare"), {}, {}, 80, {}}),
        feed(Feed{S("tie"), {}, {}, 1, S("tech")}),
    };
    for (int i = 0; i < 25; ++i)
        feeds.append(feed(Feed{S("bulk%1").arg(i), {}, {}, 10, S("science")}));
    startWith(feeds, S("c1@1"), {orb(S("o1"), {S("TECH"), S("Science"), S("")}), orb(S("empty"))});
    store->toggleFeed(S("high"));  // the user's switched-off feeds still count here

    const QStringList ids = store->focusFeedIDs(S("o1"));
    ASSERT_EQ(ids.size(), 20);
    EXPECT_EQ(ids.first(), S("high"));
    EXPECT_EQ(ids.at(1), S("bulk0"));
    EXPECT_FALSE(ids.contains(S("off")));
    EXPECT_FALSE(ids.contains(S("other")));
    EXPECT_FALSE(ids.contains(S("bare")));
    EXPECT_TRUE(store->focusFeedIDs(S("empty")).isEmpty());
    EXPECT_TRUE(store->focusFeedIDs(S("missing")).isEmpty());

    server.route(S("/v1_items_batch"), R::json(bytes(items(S("f1@1 f2@2")))));
    const int before = requests(S("v1_items_batch"));
    store->focusTopic(S("o1"));
    EXPECT_EQ(store->focusedOrb()->id, S("o1"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    EXPECT_EQ(catalogue::ids(store->focusedItems()), S("f1 f2"));  // server order
    const QUrlQuery query = requestsFor(S("v1_items_batch")).last().query;
    EXPECT_EQ(query.queryItemValue(S("feed_ids")), ids.join(QLatin1Char(',')));
    EXPECT_EQ(query.queryItemValue(S("limit_per_feed")), S("10"));
    EXPECT_FALSE(query.hasQueryItem(S("since_minutes")));

    store->focusTopic(S("o1"));  // second tap leaves the focus
    EXPECT_FALSE(store->focusedTopicID());
    EXPECT_TRUE(store->focusedItems().isEmpty());
    EXPECT_FALSE(store->focusedOrb());

    store->focusTopic(S("empty"));  // no matching feeds: no request
    drain(100);
    EXPECT_EQ(requests(S("v1_items_batch")), before + 1);
    EXPECT_EQ(store->focusedTopicID(), S("empty"));
}

TEST_F(FeedStoreComposition, ALateFocusReplyForAnotherTopicChangesNothing)
{
    startWith({feed(Feed{S("a"), {}, {}, {}, S("tech")}), feed(Feed{S("b"), {}, {}, {}, S("sport")})}, S("c1@1"),
              {orb(S("o1"), {S("tech")}), orb(S("o2"), {S("sport")})});
    Gate& slow = gate();
    server.handle(S("/v1_items_batch"), [&slow](const LoopbackServer::Request& r) {
        if (r.query.queryItemValue(S("feed_ids")) == S("a")) {
            slow.wait();
            return R::json(bytes(items(S("tech1@1"))));
        }
        return R::json(bytes(items(S("sport1@1"))));
    });
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return requests(S("v1_items_batch")) == 2; }));
    store->focusTopic(S("o2"));
    ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
    slow.open();
    drain();
    EXPECT_EQ(ids(store->focusedItems()), S("sport1"));
}

TEST_F(FeedStoreComposition, RefocusingATopicShowsItsItemsAgainWhenTheServerAnswersNotModified)
{
    serveCatalogue({feed(Feed{S("a"), {}, {}, {}, S("tech")})}, items(S("c1@1")), orbs({orb(S("o1"), {S("tech")})}));
    serveWithETag(S("v1_items_batch"), [](const LoopbackServer::Request& r) {
        return bytes(items(r.query.queryItemValue(S("limit_per_feed")) == S("10") ? S("f1@1") : S("c1@1")));
    });
    LogCapture log;
    makeStore();
    startAndSettle();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        store->focusTopic(S("o1"));
        ASSERT_TRUE(waitUntil([&] { return !store->focusedItems().isEmpty(); }));
        EXPECT_EQ(ids(store->focusedItems()), S("f1"));
        store->focusTopic(S("o1"));
    }
    EXPECT_FALSE(requestsFor(S("v1_items_batch")).last().header("If-None-Match").isEmpty());
    EXPECT_FALSE(log.anyContains(S("focused items fetch failed")));
}

TEST_F(FeedStoreComposition, AFailedFocusFetchLogsAndKeepsTheMergedList)
{
    startWith({feed(Feed{S("a"), {}, {}, {}, S("tech")})}, S("c1@1"), {orb(S("o1"), {S("tech")})});
    server.route(S("/v1_items_batch"), R::withStatus(404));
    LogCapture log;
    store->focusTopic(S("o1"));
    ASSERT_TRUE(waitUntil([&] { return log.anyContains(S("focused items fetch failed: ")); }));
    EXPECT_TRUE(store->focusedItems().isEmpty());
    EXPECT_EQ(ids(store->tickerItems()), S("c1"));
}

TEST_F(FeedStoreComposition, LastUpdatedTextDescribesTheAgeOfTheData)
{
    makeStore();
    EXPECT_FALSE(store->lastUpdatedText());
    storeSnapshot({feed(S("a"))}, S("x1"), time.now().addSecs(-5 * 60).toString(Qt::ISODate));
    makeStore();
    Gate& never = gate();
    serveGated(S("v1_manifest"), never, R::withStatus(404));
    store->start();
    const auto text = store->lastUpdatedText();
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->contains(S("5"))) << text->toStdString();
    EXPECT_TRUE(text->contains(S("min"))) << text->toStdString();
    time.advanceSeconds(2 * 3600);
    EXPECT_TRUE(store->lastUpdatedText()->contains(S("2"))) << store->lastUpdatedText()->toStdString();
    EXPECT_TRUE(store->lastUpdatedText()->contains(S("hr"))) << store->lastUpdatedText()->toStdString();
    store->stop();
}

} // namespace
