#include "LogCapture.h"
#include "LoopbackServer.h"
#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "platform/net/PathMonitor.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/PersonalItemsSource.h"
#include "ticker/HostLabel.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeNSView.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/TickerAnimationLayer.h"
#include "ticker/TickerIconView.h"
#include "ticker/TickerRow.h"

#include <QAccessible>
#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>
#include <map>

namespace {

// A strip 800 wide in `window`, with the pointer far away from it.
MarqueeNSView* stripIn(QWidget& window, MarqueeClock& clock)
{
    window.resize(800, 100);
    auto* view = new MarqueeNSView(clock, &window);
    view->setGeometry(0, 0, 800, 72);
    view->setPointerSource([] { return QPoint(-5000, -5000); });
    return view;
}

namespace row {

TEST(TickerRowLayoutTest, RectanglesFollowTheSizeCodeAndTheItemsParts)
{
    // {size, icon side, picture, title pixels}; any other code draws standard sizes.
    const std::tuple<int, double, QSizeF, int> cases[] = {
        {1, 28, {40, 26}, 15}, {2, 40, {56, 36}, 22}, {4, 54, {80, 50}, 30}, {-7, 40, {56, 36}, 22}};
    FeedItem item = makeItem("a", "Rates hold", "https://example.com/a", "Example", "https://img.example.com/a.jpg");
    for (const auto& [size, iconSide, thumbnail, titlePx] : cases) {
        SCOPED_TRACE(size);
        const TickerRowLayout l = TickerRowLayout::make(item, size);
        EXPECT_EQ(l.icon.size(), QSizeF(iconSide, iconSide));
        ASSERT_TRUE(l.thumbnail.has_value());
        EXPECT_EQ(l.thumbnail->size(), thumbnail);
        EXPECT_DOUBLE_EQ(l.metaTag.left(), l.thumbnail->right() + 14);
        EXPECT_EQ(l.titleFont.pixelSize(), titlePx);
        EXPECT_DOUBLE_EQ(l.host.left(), l.title.right() + 8);
        EXPECT_NEAR(l.idealSize.width(), std::max(l.metaTag.right(), l.host.right()) + 12, 1e-9);
        EXPECT_NEAR(l.icon.center().y(), l.idealSize.height() / 2, 1e-9);
    }
    item.imageUrl = QStringLiteral("http://exa mple.com/p");  // no picture for an address that does not parse
    const TickerRowLayout plain = TickerRowLayout::make(item, 2);
    EXPECT_FALSE(plain.thumbnail.has_value());
    EXPECT_DOUBLE_EQ(plain.metaTag.left(), plain.icon.right() + 14) << "no empty slot for a picture";
    EXPECT_FALSE(TickerRowLayout::thumbnailUrl(makeItem("a", "t", {}, {}, QString())));

    // The source kind's badge follows the meta tag; compact shows the symbol only.
    double standardBadge = 0;
    for (const auto& [kind, size] : {std::pair{std::optional(SourceType::Reddit), 2}, {SourceType::Reddit, 1},
                                     {SourceType::Rss, 2}, {SourceType::NewsApi, 2}, {std::nullopt, 2}}) {
        item.source->sourceType = kind;
        const TickerRowLayout l = TickerRowLayout::make(item, size);
        ASSERT_EQ(l.badge.has_value(), kind == SourceType::Reddit);
        if (l.badge) {
            EXPECT_DOUBLE_EQ(l.badgeOrigin.x(), l.metaTag.right() + 5);
            EXPECT_NEAR(l.badgeOrigin.y() + l.badge->size.height() / 2, l.metaTag.center().y(), 1e-9);
            if (size == 1) {
                EXPECT_LT(l.badge->size.width(), standardBadge);
            }
            standardBadge = l.badge->size.width();
        }
    }
}

TEST(HostLabelTest, HostShownAfterTheTitle)
{
    const QString aggregator = QStringLiteral("https://") + HostLabel::aggregatorHost + QStringLiteral("/rss/x");
    const std::pair<FeedItem, QString> cases[] = {
        {makeItem("1", "t", "https://example.com/a"), "example.com"},
        {makeItem("2", "t", "https://www.example.com/a"), "example.com"},
        {makeItem("3", "t", "https://WWW.Example.COM/a"), "example.com"},
        {makeItem("4", "t", "https://news.www.example.com/a"), "news.www.example.com"},
        {makeItem("5", "t", "https://wwwx.example.com"), "wwwx.example.com"},
        {makeItem("6", "t", aggregator, "The Daily"), "The Daily"},
        {makeItem("7", "t", aggregator, ""), HostLabel::aggregatorHost},
        {makeItem("8", "t", aggregator), HostLabel::aggregatorHost},
        {makeItem("9", "t"), ""}, {makeItem("10", "t", "mailto:someone"), ""},
        {makeItem("11", "t", "  https://www.site.org/x  "), "site.org"},
    };
    for (const auto& [item, label] : cases) {
        EXPECT_EQ(HostLabel::forItem(item), label) << item.stableId.toStdString();
        // Without a host and without an icon address there is nothing to show.
        EXPECT_EQ(TickerIconView::hostKey(item), label.isEmpty() ? QString() : label + QStringLiteral("_128"))
            << item.stableId.toStdString();
    }
}

TEST(HostLabelTest, AnItemWithoutALinkIsKeyedByItsSourcesIconAddress)
{
    auto withIcon = [](const QString& id, std::optional<QString> url, std::optional<QString> icon) {
        FeedItem item = makeItem(id, "t", std::move(url), "Source " + id);
        item.source->iconUrl = std::move(icon);
        return item;
    };
    const FeedItem a = withIcon("a", std::nullopt, "https://a.example/icon.png");
    const FeedItem b = withIcon("b", std::nullopt, "https://b.example/icon.png");
    const FeedItem sameAsA = withIcon("c", "mailto:x", "https://a.example/icon.png");
    const QString keyA = TickerIconView::hostKey(a), keyB = TickerIconView::hostKey(b);
    EXPECT_FALSE(keyA.isEmpty());
    EXPECT_NE(keyA, keyB) << "two sources never share a picture";
    EXPECT_EQ(TickerIconView::hostKey(sameAsA), keyA) << "one address, one picture";
    EXPECT_TRUE(keyA.endsWith("_128"));
    EXPECT_NE(keyA, "_128");
    EXPECT_EQ(FaviconStore::fileName(keyA), keyA + ".img") << "the key is a file name as it stands";
    EXPECT_EQ(TickerIconView::hostKey(withIcon("d", "https://www.d.example/x", "https://cdn.example/d.png")),
              "d.example_128")
        << "a linked item keeps its host key";
    for (const std::optional<QString>& none : {std::optional<QString>(), std::optional<QString>(""),
                                               std::optional<QString>("  ")})
        EXPECT_EQ(TickerIconView::hostKey(withIcon("e", std::nullopt, none)), QString());
}

TEST(TickerRowTest, ClickAndMenuOpenMarkReadFirstAndCopyingMarksNothing)
{
    RowFixture f;
    TickerRow row(makeItem("id-2", "Title", "https://example.com/2?q=a%20b"), 2, f.context());
    QMenu menu;
    row.fillContextMenu(menu);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions()[0]->text(), "Open");
    EXPECT_EQ(menu.actions()[1]->text(), "Copy Link");
    menu.actions()[1]->trigger();
    EXPECT_EQ(f.clipboard.text(), "https://example.com/2?q=a%20b");
    EXPECT_FALSE(f.reads.isRead("id-2"));
    menu.actions()[0]->trigger();
    ASSERT_EQ(f.opener.opened, QList<QUrl>{QUrl("https://example.com/2?q=a%20b")});
    EXPECT_TRUE(f.opener.readWhenOpened.first().contains("id-2")) << "marked read before opening";
    TickerRow clicked(makeItem("id-1", "Title", "https://example.com/1"), 2, f.context());
    clicked.click();
    ASSERT_EQ(f.opener.opened.size(), 2);
    EXPECT_TRUE(f.opener.readWhenOpened[1].contains("id-1")) << "a click marks read before opening";

    // No usable link: no action at all.
    for (const std::optional<QString>& url : {std::optional<QString>(), std::optional<QString>("ftp://example.com/x"),
                                              std::optional<QString>("javascript:alert(1)"), std::optional<QString>("")}) {
        TickerRow bare(makeItem("x", "Title", url), 2, f.context());
        bare.click();
        QMenu none;
        bare.fillContextMenu(none);
        EXPECT_TRUE(none.isEmpty()) << url.value_or("(none)").toStdString();
        bare.copyLink();
    }
    EXPECT_EQ(f.opener.opened.size(), 2);
    EXPECT_FALSE(f.reads.isRead("x"));
    EXPECT_EQ(f.clipboard.writes, 1);
}

TEST(TickerRowTest, PaintingAsksForTheMissingImagesAndShowsHoverAndDimming)
{
    RowFixture f;
    FeedItem item = makeItem("p", "Title", "https://www.example.com/p", "Example", "https://img.example.com/p.jpg");
    item.source->iconUrl = QStringLiteral("https://cdn.example.com/icon.png");
    TickerRow row(item, 2, f.context());
    auto render = [&](bool hovered) {
        QImage canvas(row.idealSize().toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::black);
        QPainter p(&canvas);
        row.paint(p, QRectF(QPointF(0, 0), row.idealSize()), hovered);
        return canvas;
    };
    const QImage plain = render(false);
    EXPECT_TRUE(f.favicons.isLoading("example.com_128"));
    EXPECT_TRUE(f.thumbnails.isLoading(QUrl("https://img.example.com/p.jpg"), QSize(56, 36)));
    // A point inside the rounded background, clear of icon and text: white at 8 % when hovered.
    const QPoint corner(6, int(row.idealSize().height() / 2));
    EXPECT_EQ(plain.pixelColor(corner), QColor(Qt::black));
    const int lit = render(true).pixelColor(corner).red();
    EXPECT_GT(lit, 10);
    EXPECT_LT(lit, 30);
    const int y = int(row.layout().title.center().y());
    auto brightest = [&](const QImage& img) {
        int best = 0;
        for (int x = int(row.layout().title.left()); x < int(row.layout().title.right()); ++x)
            best = std::max(best, img.pixelColor(x, y).red());
        return best;
    };
    const quint64 unread = row.appearance(1.0);
    f.reads.markRead("p");
    EXPECT_NE(row.appearance(1.0), unread) << "the cached picture must be redrawn";
    EXPECT_GT(brightest(plain), 200);
    EXPECT_NEAR(brightest(render(false)), brightest(plain) * 0.45, 12) << "dimming is on by default";
    f.defaults->set(TickerRow::dimReadItemsKey, false);
    EXPECT_DOUBLE_EQ(row.opacity(), 1.0);
    f.defaults->set(TickerRow::dimReadItemsKey, true);
    EXPECT_DOUBLE_EQ(row.opacity(), 0.45);
}

// The strip paints its headlines, so assistive technologies get them from
// the scroller's interface: a row per cell, where the cell is shown now, and
// in it the source badge by the name of its kind.
TEST(TickerRowTest, StripRowsAndTheirSourceBadgesReachAssistiveTechnologies)
{
    RowFixture f;
    FeedItem reddit = makeItem("r", "Rates hold", "https://example.com/r", "Example");
    reddit.source->sourceType = SourceType::Reddit;
    FeedItem plain = makeItem("p", "Markets rally", "https://example.com/p", "Example");
    plain.source->sourceType = SourceType::Rss;  // a kind without a badge
    FeedItem hn = makeItem("h", "Show HN", "https://example.com/h", "Example");
    hn.source->sourceType = SourceType::HackerNews;
    ClockMarqueeClock clock{f.time};
    QWidget window;
    MarqueeNSView* view = stripIn(window, clock);
    window.show();
    const TickerRowContext context = f.context();
    for (const int size : {2, 1}) {
        SCOPED_TRACE(size);
        view->updateContent(MarqueeContent{{"r", "p", "h", QString::number(size)},
                                           [=] {
                                               MarqueeCells cells;
                                               for (const FeedItem& item : {reddit, plain, hn})
                                                   cells.push_back(std::make_unique<TickerRow>(item, size, context));
                                               return cells;
                                           }},
                            size, false, 1.0);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
        ASSERT_TRUE(list);
        ASSERT_EQ(list->childCount(), 3);
        // Screen rectangles cover every pixel the painting touches.
        const auto onScreen = [&](const QRectF& r) {
            const QRect pixels = r.toAlignedRect();
            return QRect(view->mapToGlobal(pixels.topLeft()), pixels.size());
        };
        const struct {
            QString title, badge;
        } expected[] = {{"Rates hold", "Reddit"}, {"Markets rally", ""}, {"Show HN", "Hacker News"}};
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface* row = list->child(i);
            ASSERT_TRUE(row && row->isValid());
            EXPECT_EQ(row->text(QAccessible::Name), expected[i].title);
            EXPECT_EQ(row->parent(), list);
            EXPECT_EQ(list->indexOfChild(row), i);
            EXPECT_EQ(row->rect(), onScreen(view->cellRect(0, i)));
            ASSERT_EQ(row->childCount(), expected[i].badge.isEmpty() ? 0 : 1);
            if (expected[i].badge.isEmpty())
                continue;
            QAccessibleInterface* badge = row->child(0);
            ASSERT_TRUE(badge);
            EXPECT_EQ(badge->text(QAccessible::Name), expected[i].badge);
            EXPECT_EQ(badge->parent(), row);
            EXPECT_EQ(row->indexOfChild(badge), 0);
            const TickerRowLayout layout = TickerRowLayout::make(i == 0 ? reddit : hn, size);
            EXPECT_EQ(badge->rect(),
                      onScreen(QRectF(view->cellRect(0, i).topLeft() + layout.badgeOrigin, layout.badge->size)));
            EXPECT_EQ(row->childAt(badge->rect().center().x(), badge->rect().center().y()), badge);
        }
    }
    // The rows move with the strip.
    QAccessibleInterface* first = QAccessible::queryAccessibleInterface(view)->child(0);
    const QRect before = first->rect();
    f.time.advance(std::chrono::milliseconds(500));
    EXPECT_EQ(first->rect().x(), view->mapToGlobal(view->cellRect(0, 0).toAlignedRect().topLeft()).x());
    EXPECT_NE(first->rect().x(), before.x());
}

// The strip's own pixel ratio, which may differ from the application's (the
// highest of all screens): a picture that arrives replaces the placeholder in
// the strip's cached cell.
TEST(TickerRowTest, AnArrivingPictureReplacesThePlaceholderAtTheStripsOwnRatio)
{
    LoopbackServer server;
    server.route("/pic.png", LoopbackServer::Response::text(pngBytes(160, 100, Qt::green), "image/png"));
    for (const qreal ratio : {1.5, 2.0, 1.0}) {
        SCOPED_TRACE(ratio);
        RowFixture f;
        const FeedItem item =
            makeItem("p", "Title", "https://www.example.com/p", "Example", server.url("pic.png").toString());
        ClockMarqueeClock clock{f.time};
        QWidget window;
        MarqueeNSView* view = stripIn(window, clock);
        // Not shown: the offscreen screen's own paints, at its ratio of 1,
        // would redraw the cell between the frames painted here.
        TickerRowContext context = f.context();
        view->updateContent(MarqueeContent{{"p"},
                                           [item, context] {
                                               MarqueeCells cells;
                                               cells.push_back(std::make_unique<TickerRow>(item, 2, context));
                                               return cells;
                                           }},
                            2, false, 1.0);
        const TickerRowLayout layout = TickerRowLayout::make(item, 2);
        ASSERT_TRUE(layout.thumbnail.has_value());
        const QPointF centre = view->cellRect(0, 0).topLeft() + layout.thumbnail->center();
        auto paintedCentre = [&] {
            QImage frame(QSize(800, 72) * ratio, QImage::Format_ARGB32_Premultiplied);
            frame.setDevicePixelRatio(ratio);
            frame.fill(Qt::black);
            QPainter p(&frame);
            view->paintStrip(p);
            p.end();
            return frame.pixelColor((centre * ratio).toPoint());
        };
        EXPECT_LT(paintedCentre().green(), 40) << "the placeholder first";
        const QUrl url = server.url("pic.png");
        const QSize pixels(int(std::ceil(56 * ratio)), int(std::ceil(36 * ratio)));
        ASSERT_TRUE(f.thumbnails.isLoading(url, pixels)) << "asked for at the strip's ratio";
        ASSERT_TRUE(runUntil([&] { return !f.thumbnails.isLoading(url, pixels); }));
        ASSERT_TRUE(f.thumbnails.contains(url, pixels));
        view->cellsChanged();  // as the strip does when a picture arrives
        EXPECT_GT(paintedCentre().green(), 200) << "the picture replaced the placeholder";
    }
}

} // namespace

namespace layer {

FeedItem item(const QString& id, const QString& title, const QString& categorySlug = {}, int minutes = 0)
{
    FeedItem i = categorySlug.isEmpty() ? makeItem(id, title, "https://example.com/" + id, QStringLiteral("Wire"))
                                        : categorised(id, title, categorySlug);
    i.publishedAt = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * minutes);
    return i;
}

Orb orb(const QStringList& topItems, const QStringList& keywords, const QStringList& slugs)
{
    Orb o = makeOrb("topic", "Topic", keywords);
    o.topItems = QList<Orb::TopItem>{};
    for (const QString& id : topItems)
        o.topItems->append(Orb::TopItem{id, {}, {}});
    o.categorySlugs = slugs;
    return o;
}

QString compose(const QList<FeedItem>& items, const std::optional<Orb>& focused = std::nullopt,
                const QStringList& muted = {}, const QStringList& followed = {})
{
    QRandomGenerator random(7);
    return idsOf(TickerAnimationLayer::filteredAndMixed(items, focused, muted, followed, "latest", random));
}

const QList<FeedItem> kItems = {
    item("econ", "Central bank raises rates again", "economy"), item("tech", "New phone announced", "tech"),
    item("rates", "Mortgage rates outlook"), item("sport", "Cup final tonight", "sports"),
    item("econ2", "Markets calm", "ECONOMY"),
};

TEST(TickerCompositionTest, TopicFocusNarrowsAndGroups)
{
    const std::pair<Orb, QString> cases[] = {
        // Top items lead; then keyword matches; then the rest. With category
        // slugs, keywords admit nothing ("rates" has no category).
        {orb({"sport"}, {"rates"}, {"economy"}), "sport econ econ2"},
        {orb({}, {"Rates"}, {}), "econ rates"},                // keywords alone admit
        {orb({"tech"}, {"rates"}, {}), "tech econ rates"},     // a top item without a keyword match still leads
        {orb({}, {}, {"Economy"}), "econ econ2"},              // category slugs compare lower-cased
        {orb({"nope"}, {"zebra"}, {"none"}), "econ tech rates sport econ2"},  // nothing matches: the whole list
        {orb({}, {"phone-announced"}, {}), "tech"},            // keyword runs of three or more letters
    };
    for (const auto& [focus, expected] : cases)
        EXPECT_EQ(compose(kItems, focus), expected) << expected.toStdString();
    EXPECT_EQ(compose(kItems), "econ tech rates sport econ2") << "no focus";
    EXPECT_EQ(compose({}, orb({"x"}, {}, {})), "");
}

// Under a topic with category slugs only the top items admit an item that
// has no source, or whose source has no category or no slug; without slugs
// the keywords do.
TEST(TickerCompositionTest, ItemsWithoutACategoryUnderAFocusedTopic)
{
    FeedItem noCategory = makeItem("nocat", "Rates on hold", "https://example.com/nocat", QStringLiteral("Wire"));
    FeedItem noSlug = categorised("noslug", "Rates cut", "economy");
    noSlug.source->category->slug.reset();
    const QList<FeedItem> items = {
        makeItem("loose", "Rates surge"), noCategory, noSlug, item("econ", "Markets calm", "economy"),
        makeItem("top", "Weather warning"),
    };
    const std::pair<Orb, QString> cases[] = {
        {orb({}, {"rates"}, {"economy"}), "econ"},
        {orb({"top", "loose"}, {"rates"}, {"economy"}), "loose top econ"},
        {orb({}, {"rates"}, {}), "loose nocat noslug"},
        {orb({"top"}, {}, {"Economy"}), "top econ"},
    };
    for (const auto& [focus, expected] : cases)
        EXPECT_EQ(compose(items, focus), expected) << expected.toStdString();
}

TEST(TickerCompositionTest, MutingThenFollowing)
{
    struct Case { const char* name; QStringList muted, followed; QString expected; };
    const Case cases[] = {
        {"a word mutes only whole words", {"rate"}, {}, "econ tech rates sport econ2"},
        {"whole word", {"rates"}, {}, "tech sport econ2"},
        {"a phrase with a space mutes anywhere", {"ank raises"}, {}, "tech rates sport econ2"},
        {"source title counts", {"wire"}, {}, ""},
        {"followed lead, order kept", {}, {"final", "calm"}, "sport econ2 econ tech rates"},
        {"followed phrase matching nothing", {}, {"zebra"}, "econ tech rates sport econ2"},
        {"mute runs before follow", {"cup"}, {"cup", "phone"}, "tech econ rates econ2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compose(kItems, std::nullopt, c.muted, c.followed), c.expected) << c.name;
}

TEST(TickerCompositionTest, AnyMixButLatestShufflesUniformly)
{
    QList<FeedItem> many;
    for (int i = 0; i < 30; ++i)
        many.append(item(QString::number(i), QStringLiteral("Story %1").arg(i)));
    QRandomGenerator random(42);
    for (const QString& mix : {QStringLiteral("shuffle"), QStringLiteral("Latest"), QString(), QStringLiteral("x")}) {
        const QList<FeedItem> shuffled = TickerAnimationLayer::filteredAndMixed(many, std::nullopt, {}, {}, mix, random);
        EXPECT_NE(idsOf(shuffled), idsOf(many)) << mix.toStdString();
        const QStringList ids = idsOf(shuffled).split(u' ');
        EXPECT_EQ(QSet<QString>(ids.cbegin(), ids.cend()).size(), 30) << "a permutation";
    }
    // Every order of three equally likely (a biased swap fails this).
    std::map<QString, int> seen;
    for (int i = 0; i < 6000; ++i)
        ++seen[idsOf(TickerAnimationLayer::filteredAndMixed(many.mid(0, 3), std::nullopt, {}, {}, "shuffle", random))];
    ASSERT_EQ(seen.size(), 6u);
    for (const auto& [order, count] : seen)
        EXPECT_NEAR(count, 1000, 150) << order.toStdString();
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
    const QUrl nowhere{QStringLiteral("http://127.0.0.1:9/")};  // nothing listens: the store's refresh fails at once
    HandOver personal;
    FilterStore filters{*f.defaults};
    ClockMarqueeClock clock{f.time};
    QRandomGenerator random{11};
    std::unique_ptr<FeedStore> store;
    std::unique_ptr<TickerAnimationLayer> layer;

    void SetUp() override
    {
        f.defaults->set(TickerAnimationLayer::feedMixKey, "latest");
        store = std::make_unique<FeedStore>(FeedStore::Services{*f.defaults, f.time, f.time, &f.nam, &personal,
                                                                [] { return std::make_unique<FakePathMonitor>(); },
                                                                nowhere, std::nullopt, nowhere, QStringLiteral("1.0")});
        store->start();
        layer = std::make_unique<TickerAnimationLayer>(
            *store, 2, 1.0, TickerAnimationLayer::Services{*f.defaults, filters, f.context(), clock, &random});
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

TEST_F(TickerLayerTest, RebuildsOnlyWhenTheSetOfIdsChangesOrComingOnScreenEmpty)
{
    layer->show();
    EXPECT_EQ(layer->rebuildCount(), 1) << "on screen with nothing shown";
    handOver({item("a", "A", {}, 3), item("b", "B", {}, 2)});
    EXPECT_EQ(layer->rebuildCount(), 2);
    EXPECT_EQ(layer->marquee()->itemKey(), (QStringList{"a", "b"})) << "handed to the scroller";
    // Same ids, another order and other fields: untouched.
    handOver({item("b", "B changed", {}, 5), item("a", "A", {}, 3)});
    layer->hide();
    layer->show();
    EXPECT_EQ(layer->rebuildCount(), 2);
    EXPECT_EQ(idsOf(layer->displayItems()), "a b");
    handOver({item("a", "A", {}, 3), item("b", "B", {}, 2), item("c", "C", {}, 1)});
    EXPECT_EQ(idsOf(layer->displayItems()), "a b c");
    handOver({item("a", "A", {}, 3)});
    EXPECT_EQ(layer->rebuildCount(), 4);
    EXPECT_EQ(idsOf(layer->displayItems()), "a");
    LogCapture log;
    layer->rebuild();
    handOver({});
    layer->rebuild();
    EXPECT_TRUE(log.anyContains("strip rebuild (nowPlaying=nil): 1 items, lane=false"));
    EXPECT_TRUE(log.anyContains("strip rebuild (nowPlaying=nil): 0 items, lane=false"));
    layer->setTickerSize(4);
    EXPECT_EQ(layer->marquee()->renderedSize(), 4);
    layer->setScrollSpeed(0.5);
    EXPECT_DOUBLE_EQ(layer->marquee()->pointsPerSecond(), 30);
}

TEST_F(TickerLayerTest, FiltersMixAndBlendRecomposeAtOnce)
{
    handOver({item("a", "Alpha", {}, 3), item("b", "Beta", {}, 2), item("c", "Gamma", {}, 1)});
    const int base = layer->rebuildCount();
    const std::tuple<std::function<void()>, QString> steps[] = {
        {[&] { filters.mute("beta"); }, "a c"}, {[&] { filters.follow("gamma"); }, "c a"},
        {[&] { f.defaults->set(FeedStore::MusicBlendKey, true); }, "c a"},  // although it never reads the blend
        {[&] { f.defaults->set(TickerAnimationLayer::feedMixKey, "shuffle"); }, "c a"},  // followed still first
    };
    int rebuilds = base;
    for (const auto& [run, ids] : steps) {
        run();
        EXPECT_EQ(layer->rebuildCount(), ++rebuilds);
        EXPECT_EQ(idsOf(layer->displayItems()), ids);
    }
    f.defaults->set(QStringLiteral("unrelatedSetting"), 3);
    EXPECT_EQ(layer->rebuildCount(), rebuilds);
}

} // namespace

} // namespace
