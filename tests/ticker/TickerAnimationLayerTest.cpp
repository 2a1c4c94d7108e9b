#include "ticker/TickerAnimationLayer.h"

#include "LogCapture.h"
#include "RowFixture.h"
#include "TickerTestUtil.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/PersonalItemsSource.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeTickerView.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <map>

namespace {

FeedItem item(const QString& id, const QString& title, const QString& categorySlug = {}, int minutes = 0)
{
    FeedItem i = makeItem(id, title, QStringLiteral("https://example.com/") + id, QStringLiteral("Wire"));
    if (!categorySlug.isEmpty()) {
        FeedCategory category;
        category.slug = categorySlug;
        i.source->category = category;
    }
    i.publishedAt = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * minutes);
    return i;
}

QString ids(const QList<FeedItem>& list)
{
    QStringList out;
    for (const FeedItem& i : list)
        out << i.stableId;
    return out.join(u' ');
}

Orb orb(const QStringList& topItems, const QStringList& keywords, const QStringList& slugs)
{
    Orb o;
    o.id = QStringLiteral("topic");
    o.topicLabel = QStringLiteral("Topic");
    o.keywords = keywords;
    QList<Orb::TopItem> top;
    for (const QString& id : topItems)
        top.append(Orb::TopItem{id, {}, {}});
    o.topItems = top;
    o.categorySlugs = slugs;
    return o;
}

QList<FeedItem> compose(const QList<FeedItem>& items, const std::optional<Orb>& focused = std::nullopt,
                        const QStringList& muted = {}, const QStringList& followed = {},
                        const QString& mix = QStringLiteral("latest"))
{
    QRandomGenerator random(7);
    return TickerAnimationLayer::filteredAndMixed(items, focused, muted, followed, mix, random);
}

const QList<FeedItem> kItems = {
    item("econ", "Central bank raises rates again", "economy"),
    item("tech", "New phone announced", "tech"),
    item("rates", "Mortgage rates outlook"),
    item("sport", "Cup final tonight", "sports"),
    item("econ2", "Markets calm", "ECONOMY"),
};

TEST(TickerCompositionTest, TopicFocusNarrowsAndGroups)
{
    struct Case {
        const char* name;
        Orb orb;
        QString expected;
    };
    const QList<Case> cases = {
        // Top items lead; then keyword matches; then the rest. With category
        // slugs, keywords admit nothing ("rates" has no category).
        {"slugs and keywords", orb({"sport"}, {"rates"}, {"economy"}), "sport econ econ2"},
        {"keywords alone admit", orb({}, {"Rates"}, {}), "econ rates"},
        {"top item without a keyword match still leads", orb({"tech"}, {"rates"}, {}), "tech econ rates"},
        {"category slugs compare lower-cased", orb({}, {}, {"Economy"}), "econ econ2"},
        {"nothing matches: the whole list", orb({"nope"}, {"zebra"}, {"none"}), "econ tech rates sport econ2"},
        {"keyword runs of three or more letters", orb({}, {"phone-announced"}, {}), "tech"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ids(compose(kItems, c.orb)), c.expected) << c.name;
    EXPECT_EQ(ids(compose(kItems)), "econ tech rates sport econ2") << "no focus";
    EXPECT_EQ(ids(compose({}, orb({"x"}, {}, {}))), "");
}

TEST(TickerCompositionTest, MutingThenFollowing)
{
    struct Case {
        const char* name;
        QStringList muted;
        QStringList followed;
        QString expected;
    };
    const QList<Case> cases = {
        {"a word mutes only whole words", {"rate"}, {}, "econ tech rates sport econ2"},
        {"whole word", {"rates"}, {}, "tech sport econ2"},
        {"a phrase with a space mutes anywhere", {"ank raises"}, {}, "tech rates sport econ2"},
        {"source title counts", {"wire"}, {}, ""},
        {"followed lead, order kept", {}, {"final", "calm"}, "sport econ2 econ tech rates"},
        {"followed phrase matching nothing", {}, {"zebra"}, "econ tech rates sport econ2"},
        {"mute runs before follow", {"cup"}, {"cup", "phone"}, "tech econ rates econ2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ids(compose(kItems, std::nullopt, c.muted, c.followed)), c.expected) << c.name;
}

TEST(TickerCompositionTest, AnyMixButLatestShufflesUniformly)
{
    for (const QString& mix : {QStringLiteral("shuffle"), QStringLiteral("Latest"), QString(), QStringLiteral("x")}) {
        QList<FeedItem> many;
        for (int i = 0; i < 30; ++i)
            many.append(item(QString::number(i), QStringLiteral("Story %1").arg(i)));
        const QList<FeedItem> shuffled = compose(many, std::nullopt, {}, {}, mix);
        EXPECT_NE(ids(shuffled), ids(many)) << mix.toStdString();
        QStringList sorted = ids(shuffled).split(u' ');
        QStringList original = ids(many).split(u' ');
        std::sort(sorted.begin(), sorted.end());
        std::sort(original.begin(), original.end());
        EXPECT_EQ(sorted, original) << "a permutation";
    }

    // Every order of three equally likely (a biased swap fails this).
    const QList<FeedItem> three = {item("a", "A"), item("b", "B"), item("c", "C")};
    QRandomGenerator random(42);
    std::map<QString, int> seen;
    const int rounds = 6000;
    for (int i = 0; i < rounds; ++i)
        ++seen[ids(TickerAnimationLayer::filteredAndMixed(three, std::nullopt, {}, {}, "shuffle", random))];
    ASSERT_EQ(seen.size(), 6u);
    for (const auto& [order, count] : seen)
        EXPECT_NEAR(count, rounds / 6, 150) << order.toStdString();
}

TEST(TickerCompositionTest, FollowedItemsLeadEvenWhenShuffled)
{
    QList<FeedItem> many;
    for (int i = 0; i < 20; ++i)
        many.append(item(QString::number(i), i % 5 == 0 ? QStringLiteral("Eclipse %1").arg(i) : QStringLiteral("Story %1").arg(i)));
    const QList<FeedItem> out = compose(many, std::nullopt, {}, {"eclipse"}, "shuffle");
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(out[i].title.startsWith("Eclipse")) << i;
    for (int i = 4; i < out.size(); ++i)
        EXPECT_FALSE(out[i].title.startsWith("Eclipse")) << i;
}

// A personal-feed source the test hands items through.
class HandOver final : public PersonalItemsSource {
public:
    void setOnItemsChanged(ItemsHandler h) override { handler = std::move(h); }
    void start() override {}
    void stopPolling() override {}
    ItemsHandler handler;
};

class TickerLayerTest : public ::testing::Test {
protected:
    RowFixture f;
    // Nothing listens there: the store's own refresh fails at once.
    const QUrl nowhere{QStringLiteral("http://127.0.0.1:9/")};
    HandOver personal;
    FilterStore filters{*f.defaults};
    ClockMarqueeClock clock{f.time};
    QRandomGenerator random{11};
    std::unique_ptr<FeedStore> store;
    std::unique_ptr<TickerAnimationLayer> layer;

    void SetUp() override
    {
        f.defaults->set(TickerAnimationLayer::feedMixKey, "latest");
        store = std::make_unique<FeedStore>(FeedStore::Services{
            *f.defaults, f.time, f.time, &f.nam, &personal,
            [] { return std::make_unique<FakePathMonitor>(); }, nowhere, std::nullopt, nowhere,
            QStringLiteral("1.0")});
        store->start();
        layer = std::make_unique<TickerAnimationLayer>(
            *store, 2, 1.0,
            TickerAnimationLayer::Services{*f.defaults, filters, f.context(), clock, &random});
        layer->resize(800, 72);
    }
    void TearDown() override
    {
        layer.reset();
        store->stop();
        FakeTime::settle();  // the store's stopped waits end before its fake time goes
        store.reset();
    }
    void handOver(const QList<FeedItem>& items) { personal.handler(items); }
};

TEST_F(TickerLayerTest, RebuildsOnlyWhenTheSetOfIdsChanges)
{
    handOver({item("a", "A", {}, 3), item("b", "B", {}, 2)});
    EXPECT_EQ(layer->rebuildCount(), 1);
    EXPECT_EQ(ids(layer->displayItems()), "a b");
    EXPECT_EQ(layer->marquee()->itemKey(), (QStringList{"a", "b"})) << "handed to the scroller";

    // Same ids, another order and other fields: untouched.
    handOver({item("b", "B changed", {}, 5), item("a", "A", {}, 3)});
    EXPECT_EQ(layer->rebuildCount(), 1);
    EXPECT_EQ(ids(layer->displayItems()), "a b");

    handOver({item("a", "A", {}, 3), item("b", "B", {}, 2), item("c", "C", {}, 1)});
    EXPECT_EQ(layer->rebuildCount(), 2);
    EXPECT_EQ(ids(layer->displayItems()), "a b c");
    handOver({item("a", "A", {}, 3)});
    EXPECT_EQ(layer->rebuildCount(), 3);
    EXPECT_EQ(ids(layer->displayItems()), "a");
}

TEST_F(TickerLayerTest, FiltersMixAndBlendRecomposeAtOnce)
{
    handOver({item("a", "Alpha", {}, 3), item("b", "Beta", {}, 2), item("c", "Gamma", {}, 1)});
    const int base = layer->rebuildCount();

    filters.mute("beta");
    EXPECT_EQ(layer->rebuildCount(), base + 1);
    EXPECT_EQ(ids(layer->displayItems()), "a c");

    filters.follow("gamma");
    EXPECT_EQ(layer->rebuildCount(), base + 2);
    EXPECT_EQ(ids(layer->displayItems()), "c a");

    f.defaults->set(FeedStore::MusicBlendKey, true);
    EXPECT_EQ(layer->rebuildCount(), base + 3) << "re-composes although it never reads the blend";

    f.defaults->set(TickerAnimationLayer::feedMixKey, "shuffle");
    EXPECT_EQ(layer->rebuildCount(), base + 4);
    EXPECT_EQ(layer->displayItems().first().stableId, "c") << "followed still first";

    f.defaults->set(QStringLiteral("unrelatedSetting"), 3);
    EXPECT_EQ(layer->rebuildCount(), base + 4);
}

TEST_F(TickerLayerTest, ComingOnScreenComposesOnlyAnEmptyList)
{
    EXPECT_EQ(layer->rebuildCount(), 0);
    layer->show();
    EXPECT_EQ(layer->rebuildCount(), 1);
    handOver({item("a", "A")});
    const int after = layer->rebuildCount();
    layer->hide();
    layer->show();
    EXPECT_EQ(layer->rebuildCount(), after);
}

TEST_F(TickerLayerTest, SizeAndSpeedReachTheScroller)
{
    handOver({item("a", "A")});
    layer->setTickerSize(4);
    EXPECT_EQ(layer->marquee()->renderedSize(), 4);
    layer->setScrollSpeed(0.5);
    EXPECT_DOUBLE_EQ(layer->marquee()->pointsPerSecond(), 30);
}

TEST_F(TickerLayerTest, TrackRebuildLogsTheTrackAndTheLane)
{
    LogCapture log;
    layer->rebuild();
    handOver({item("a", "A")});
    layer->rebuild();
    EXPECT_TRUE(log.anyContains("strip rebuild (nowPlaying=nil): 0 items, lane=false"));
    EXPECT_TRUE(log.anyContains("strip rebuild (nowPlaying=nil): 1 items, lane=false"));
}

} // namespace
