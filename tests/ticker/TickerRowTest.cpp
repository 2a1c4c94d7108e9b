#include "LogCapture.h"
#include "RowFixture.h"
#include "TickerTestUtil.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/PersonalItemsSource.h"
#include "ticker/HostLabel.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/TickerAnimationLayer.h"
#include "ticker/TickerIconView.h"
#include "ticker/TickerRow.h"

#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <map>

using namespace std::chrono_literals;

namespace {

namespace row {

TEST(TickerRowLayoutTest, RectanglesFollowTheSizeCode)
{
    struct Case { int size; double iconSide; QSizeF thumbnail; int metaPx; int titlePx; };
    const Case cases[] = {
        {1, 28, {40, 26}, 9, 15}, {2, 40, {56, 36}, 10, 22}, {4, 54, {80, 50}, 13, 30},
        {-7, 40, {56, 36}, 10, 22},  // any other code draws standard sizes
    };
    const FeedItem withPicture = makeItem("a", "Rates hold", "https://example.com/a", "Example",
                                          QStringLiteral("https://img.example.com/a.jpg"));
    const FeedItem withoutPicture = makeItem("b", "Rates hold", "https://example.com/b", "Example");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const TickerRowLayout l = TickerRowLayout::make(withPicture, c.size);
        EXPECT_EQ(l.icon.size(), QSizeF(c.iconSide, c.iconSide));
        EXPECT_DOUBLE_EQ(l.icon.left(), 12);
        ASSERT_TRUE(l.thumbnail.has_value());
        EXPECT_EQ(l.thumbnail->size(), c.thumbnail);
        EXPECT_DOUBLE_EQ(l.thumbnail->left(), l.icon.right() + 14);
        EXPECT_DOUBLE_EQ(l.metaTag.left(), l.thumbnail->right() + 14);
        EXPECT_EQ(l.metaFont.pixelSize(), c.metaPx);
        EXPECT_EQ(l.titleFont.pixelSize(), c.titlePx);
        EXPECT_EQ(l.hostFont.pixelSize(), c.titlePx - 2);
        EXPECT_DOUBLE_EQ(l.metaTag.width(), l.metaText.width() + 12) << "tag padded 6 left and right";
        EXPECT_DOUBLE_EQ(l.metaTag.height(), l.metaText.height() + 6) << "and 3 above and below";
        EXPECT_DOUBLE_EQ(l.host.left(), l.title.right() + 8);
        EXPECT_GE(l.title.top(), l.metaTag.bottom() + 2 - 1e-9);
        EXPECT_NEAR(l.idealSize.width(), std::max(l.metaTag.right(), l.host.right()) + 12, 1e-9);
        // Everything is centred on the cell's middle, 6 points of padding.
        EXPECT_NEAR(l.icon.center().y(), l.idealSize.height() / 2, 1e-9);
        EXPECT_GE(l.idealSize.height(), c.iconSide + 12);

        const TickerRowLayout plain = TickerRowLayout::make(withoutPicture, c.size);
        EXPECT_FALSE(plain.thumbnail.has_value());
        EXPECT_DOUBLE_EQ(plain.metaTag.left(), plain.icon.right() + 14) << "no empty slot for a picture";
    }
}

TEST(TickerRowLayoutTest, SourceKindBadgeFollowsTheMetaTag)
{
    auto withKind = [](std::optional<SourceType> kind) {
        FeedItem item = makeItem("k", "Title", "https://example.com/k", "Example");
        item.source->sourceType = kind;
        return item;
    };
    const TickerRowLayout reddit = TickerRowLayout::make(withKind(SourceType::Reddit), 2);
    ASSERT_TRUE(reddit.badge.has_value());
    EXPECT_DOUBLE_EQ(reddit.badgeOrigin.x(), reddit.metaTag.right() + 5);
    EXPECT_NEAR(reddit.badgeOrigin.y() + reddit.badge->size.height() / 2, reddit.metaTag.center().y(), 1e-9);

    const TickerRowLayout compact = TickerRowLayout::make(withKind(SourceType::Reddit), 1);
    ASSERT_TRUE(compact.badge.has_value());
    EXPECT_LT(compact.badge->size.width(), reddit.badge->size.width()) << "compact shows the symbol only";

    for (const auto& kind : {std::optional<SourceType>(SourceType::Rss), std::optional<SourceType>(SourceType::NewsApi),
                             std::optional<SourceType>()}) {
        const TickerRowLayout l = TickerRowLayout::make(withKind(kind), 2);
        EXPECT_FALSE(l.badge.has_value());
        EXPECT_NEAR(l.idealSize.width(), std::max(l.metaTag.right(), l.host.right()) + 12, 1e-9);
    }
}

TEST(TickerRowLayoutTest, PictureOnlyForAnAddressThatParses)
{
    EXPECT_TRUE(TickerRowLayout::thumbnailUrl(makeItem("a", "t", {}, {}, QStringLiteral("https://x.com/p.png"))));
    EXPECT_FALSE(TickerRowLayout::thumbnailUrl(makeItem("a", "t", {}, {}, QStringLiteral("http://exa mple.com/p"))));
    EXPECT_FALSE(TickerRowLayout::thumbnailUrl(makeItem("a", "t", {}, {}, QString())));
    EXPECT_FALSE(TickerRowLayout::thumbnailUrl(makeItem("a", "t")));
}

TEST(HostLabelTest, HostShownAfterTheTitle)
{
    const QString aggregator = QStringLiteral("https://") + HostLabel::aggregatorHost + QStringLiteral("/rss/x");
    struct Case { const char* name; FeedItem item; QString label; };
    const QList<Case> cases = {
        {"plain host", makeItem("1", "t", "https://example.com/a"), "example.com"},
        {"leading www.", makeItem("2", "t", "https://www.example.com/a"), "example.com"},
        {"upper case", makeItem("3", "t", "https://WWW.Example.COM/a"), "example.com"},
        {"inner www. kept", makeItem("4", "t", "https://news.www.example.com/a"), "news.www.example.com"},
        {"wwwx. kept", makeItem("5", "t", "https://wwwx.example.com"), "wwwx.example.com"},
        {"aggregator with title", makeItem("6", "t", aggregator, "The Daily"), "The Daily"},
        {"aggregator, empty title", makeItem("7", "t", aggregator, ""), HostLabel::aggregatorHost},
        {"aggregator, no source", makeItem("8", "t", aggregator), HostLabel::aggregatorHost},
        {"no url", makeItem("9", "t"), ""},
        {"no host", makeItem("10", "t", "mailto:someone"), ""},
        {"padded url", makeItem("11", "t", "  https://www.site.org/x  "), "site.org"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HostLabel::forItem(c.item), c.label) << c.name;
        EXPECT_EQ(TickerIconView::hostKey(c.item), c.label + QStringLiteral("_128")) << c.name;
    }
}

class TickerRowTest : public ::testing::Test {
protected:
    RowFixture f;
};

TEST_F(TickerRowTest, ReadItemsDimOnlyWhileTheSettingIsOn)
{
    TickerRow row(makeItem("id-1", "Title", "https://example.com/1"), 2, f.context());
    EXPECT_DOUBLE_EQ(row.opacity(), 1.0);
    const quint64 unread = row.appearance();
    f.reads.markRead("id-1");
    EXPECT_DOUBLE_EQ(row.opacity(), 0.45) << "dimming is on by default";
    EXPECT_NE(row.appearance(), unread) << "the cached picture must be redrawn";
    f.defaults->set(TickerRow::dimReadItemsKey, false);
    EXPECT_DOUBLE_EQ(row.opacity(), 1.0);
    f.defaults->set(TickerRow::dimReadItemsKey, true);
    EXPECT_DOUBLE_EQ(row.opacity(), 0.45);
}

TEST_F(TickerRowTest, ClickAndMenuOpenMarkReadFirstAndCopyingMarksNothing)
{
    TickerRow row(makeItem("id-2", "Title", "https://example.com/2?q=a%20b"), 2, f.context());
    QMenu menu;
    row.fillContextMenu(menu);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions()[0]->text(), QStringLiteral("Open"));
    EXPECT_EQ(menu.actions()[1]->text(), QStringLiteral("Copy Link"));

    menu.actions()[1]->trigger();
    EXPECT_EQ(f.clipboard.text(), QStringLiteral("https://example.com/2?q=a%20b"));
    EXPECT_FALSE(f.reads.isRead("id-2"));
    EXPECT_TRUE(f.opener.opened.isEmpty());

    menu.actions()[0]->trigger();
    EXPECT_TRUE(f.reads.isRead("id-2"));
    ASSERT_EQ(f.opener.opened.size(), 1);
    EXPECT_TRUE(f.opener.readWhenOpened.first().contains("id-2"));

    TickerRow clicked(makeItem("id-1", "Title", "https://example.com/1"), 2, f.context());
    clicked.click();
    ASSERT_EQ(f.opener.opened.size(), 2);
    EXPECT_EQ(f.opener.opened[1], QUrl("https://example.com/1"));
    EXPECT_TRUE(f.opener.readWhenOpened[1].contains("id-1")) << "a click marks read before opening";
}

TEST_F(TickerRowTest, NoUsableLinkMeansNoAction)
{
    for (const std::optional<QString>& url :
         {std::optional<QString>(), std::optional<QString>("ftp://example.com/x"),
          std::optional<QString>("javascript:alert(1)"), std::optional<QString>("")}) {
        TickerRow row(makeItem("x", "Title", url), 2, f.context());
        row.click();
        QMenu menu;
        row.fillContextMenu(menu);
        EXPECT_TRUE(menu.isEmpty()) << url.value_or("(none)").toStdString();
        row.copyLink();
    }
    EXPECT_TRUE(f.opener.opened.isEmpty());
    EXPECT_TRUE(f.reads.ids().isEmpty());
    EXPECT_EQ(f.clipboard.writes, 0);
}

TEST_F(TickerRowTest, PaintingAsksForTheMissingIconAndPicture)
{
    FeedItem item = makeItem("p", "Title", "https://www.example.com/p", "Example",
                             QStringLiteral("https://img.example.com/p.jpg"));
    item.source->iconUrl = QStringLiteral("https://cdn.example.com/icon.png");
    TickerRow row(item, 2, f.context());
    QImage canvas(row.idealSize().toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    row.paint(p, QRectF(QPointF(0, 0), row.idealSize()), false);
    p.end();
    EXPECT_TRUE(f.favicons.isLoading("example.com_128"));
    EXPECT_TRUE(f.thumbnails.isLoading(QUrl("https://img.example.com/p.jpg"), QSize(56, 36)));
}

TEST_F(TickerRowTest, HoverHighlightAndDimmingShowInPixels)
{
    TickerRow row(makeItem("h", "Title", "https://example.com/h"), 2, f.context());
    auto render = [&](bool hovered) {
        QImage canvas(row.idealSize().toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::black);
        QPainter p(&canvas);
        row.paint(p, QRectF(QPointF(0, 0), row.idealSize()), hovered);
        return canvas;
    };
    // A point inside the rounded background, clear of icon and text.
    const QPoint corner(6, int(row.idealSize().height() / 2));
    EXPECT_EQ(render(false).pixelColor(corner), QColor(Qt::black));
    const QColor lit = render(true).pixelColor(corner);
    EXPECT_GT(lit.red(), 10);
    EXPECT_LT(lit.red(), 30) << "white at 8 %";

    const QPoint title = row.layout().title.center().toPoint();
    auto brightest = [&](const QImage& img) {
        int best = 0;
        for (int x = int(row.layout().title.left()); x < int(row.layout().title.right()); ++x)
            best = std::max(best, img.pixelColor(x, title.y()).red());
        return best;
    };
    const int full = brightest(render(false));
    f.reads.markRead("h");
    const int dimmed = brightest(render(false));
    EXPECT_GT(full, 200);
    EXPECT_NEAR(dimmed, full * 0.45, 12);
}

} // namespace

namespace layer {

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
    struct Case { const char* name; Orb orb; QString expected; };
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
    struct Case { const char* name; QStringList muted; QStringList followed; QString expected; };
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

TEST_F(TickerLayerTest, ComingOnScreenComposesOnlyAnEmptyListAndEachRebuildIsLogged)
{
    EXPECT_EQ(layer->rebuildCount(), 0);
    layer->show();
    EXPECT_EQ(layer->rebuildCount(), 1);
    handOver({item("a", "A")});
    const int after = layer->rebuildCount();
    layer->hide();
    layer->show();
    EXPECT_EQ(layer->rebuildCount(), after);
    LogCapture log;
    layer->rebuild();
    handOver({});
    layer->rebuild();
    EXPECT_TRUE(log.anyContains("strip rebuild (nowPlaying=nil): 1 items, lane=false"));
    EXPECT_TRUE(log.anyContains("strip rebuild (nowPlaying=nil): 0 items, lane=false"));
    handOver({item("a", "A")});

    layer->setTickerSize(4);
    EXPECT_EQ(layer->marquee()->renderedSize(), 4);
    layer->setScrollSpeed(0.5);
    EXPECT_DOUBLE_EQ(layer->marquee()->pointsPerSecond(), 30);
}

} // namespace

} // namespace
