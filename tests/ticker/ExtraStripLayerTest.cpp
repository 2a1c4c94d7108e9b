#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "api/Palette.h"
#include "ticker/ExtraStripLayer.h"
#include "ticker/MarqueeTickerView.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

const QList<FeedItem> kItems = {
    categorised("t1", "Chip maker grows", "Tech", "Technology"),
    categorised("s1", "Comet seen", "science"),
    categorised("t2", "Phone launch", "tech"),
    makeItem("plain", "No category"),
};

class ExtraStripTest : public ::testing::Test {
protected:
    StripFixture f;

    std::unique_ptr<ExtraStripLayer> layer(const QString& mix, bool reversed = true)
    {
        auto l = std::make_unique<ExtraStripLayer>(
            *f.store, StripConfig{mix, 1.0, 2, "Black"}, reversed,
            ExtraStripLayer::Services{*f.markets, f.rows.context(), f.clock, &f.random});
        l->resize(600, 72);
        return l;
    }
    void playLane()
    {
        f.store->setNowPlaying("Artist", "Song", std::nullopt);
    }
};

TEST_F(ExtraStripTest, ItemsAndCaptionPerMix)
{
    f.load(kItems);
    struct Case {
        QString mix;
        QString items;  // "*" : the curated items in any order
        QString caption;
    };
    const QList<Case> cases = {
        {"latest", "t1 s1 t2 plain", "LATEST"},
        {"shuffle", "*", "SHUFFLE"},
        {"music", "t1 s1 t2 plain", "MUSIC · IDLE"},
        {"markets", "t1 s1 t2 plain", "MARKET QUOTES · Powered by CoinGecko · ECB"},
        {"cat:tech", "t1 t2", "TECHNOLOGY"},
        {"cat:science", "s1", "SCIENCE"},
        {"cat:Tech", "t1 s1 t2 plain", "TECH"},
        {"cat:", "plain", ""},
        {"cat:sports", "t1 s1 t2 plain", "SPORTS"},
        {" music", "t1 s1 t2 plain", "LATEST"},
        {"anything", "t1 s1 t2 plain", "LATEST"},
    };
    for (const Case& c : cases) {
        const QList<FeedItem> items = ExtraStripLayer::items(c.mix, *f.store, f.random);
        if (c.items == "*") {
            QStringList sorted = idsOf(items).split(u' ');
            sorted.sort();
            EXPECT_EQ(sorted.join(u' '), "plain s1 t1 t2") << c.mix.toStdString();
        } else {
            EXPECT_EQ(idsOf(items), c.items) << c.mix.toStdString();
        }
        EXPECT_EQ(ExtraStripLayer::caption(c.mix, *f.store, *f.markets), c.caption) << c.mix.toStdString();
    }
}

TEST_F(ExtraStripTest, MarketCaptionNamesTheKeyState)
{
    struct Case {
        bool key;
        MarketsStore::KeyStatus status;
        QString suffix;
    };
    const QList<Case> cases = {
        {false, MarketsStore::KeyStatus::rejected(), ""},
        {true, MarketsStore::KeyStatus::ok(), ""},
        {true, MarketsStore::KeyStatus::rejected(), " · KEY REJECTED"},
        {true, MarketsStore::KeyStatus::checking(), " · KEY CHECKING"},
        {true, MarketsStore::KeyStatus::none(), " · KEY CHECKING"},
        {true, MarketsStore::KeyStatus::error("Finnhub returned HTTP 500"), " · KEY CHECKING"},
    };
    for (const Case& c : cases) {
        StripFixture g;
        if (c.key) {
            ASSERT_TRUE(g.secrets.write("tidewire.client", "finnhub_api_key", "k123").has_value());
            g.markets = std::make_unique<MarketsStore>(*g.rows.defaults, g.secrets, g.rows.time, g.rows.time);
        }
        ASSERT_EQ(g.markets->hasFinnhubKey(), c.key);
        g.markets->setKeyStatus(c.status);
        EXPECT_EQ(ExtraStripLayer::caption("markets", *g.store, *g.markets),
                  "MARKET QUOTES · Powered by CoinGecko · ECB" + c.suffix)
            << int(c.status.kind);
    }
}

TEST_F(ExtraStripTest, RebuildsOnlyOnItsTriggers)
{
    f.load(kItems);
    auto l = layer("shuffle");
    EXPECT_EQ(l->rebuildCount(), 0);
    l->show();
    EXPECT_EQ(l->rebuildCount(), 1) << "on screen with nothing shown";
    const QString order = idsOf(l->displayItems());
    EXPECT_EQ(l->marquee()->itemKey(), order.split(u' '));

    // Same ids in another order: no reshuffle.
    QList<FeedItem> reordered = {kItems[3], kItems[2], kItems[1], kItems[0]};
    reordered[0].title = "Changed";
    f.load(reordered);
    EXPECT_EQ(l->rebuildCount(), 1);
    EXPECT_EQ(idsOf(l->displayItems()), order);

    f.load(kItems.mid(0, 3));
    EXPECT_EQ(l->rebuildCount(), 2) << "an id went away";

    playLane();
    EXPECT_EQ(l->rebuildCount(), 3) << "the track changed, whatever the mix";

    l->setConfig(StripConfig{"shuffle", 2.0, 4, "Red"});
    EXPECT_EQ(l->rebuildCount(), 3) << "speed, size and background do not pick again";
    EXPECT_EQ(l->marquee()->renderedSize(), 4);
    EXPECT_DOUBLE_EQ(l->marquee()->pointsPerSecond(), 120);

    l->setConfig(StripConfig{"cat:tech", 2.0, 4, "Red"});
    EXPECT_EQ(l->rebuildCount(), 4);
    EXPECT_EQ(idsOf(l->displayItems()), "t1 t2");
    EXPECT_EQ(l->caption(), "TECHNOLOGY");
}

TEST_F(ExtraStripTest, MarketCountStaysBalancedThroughMixChangesAndVisibility)
{
    f.load(kItems);
    auto l = layer("latest");
    struct Step {
        const char* what;
        std::function<void()> run;
        int active;
    };
    const QList<Step> steps = {
        {"shown with another mix", [&] { l->show(); }, 0},
        {"mix becomes markets", [&] { l->setConfig({"markets", 1.0, 2, "Black"}); }, 1},
        {"same mix, other speed", [&] { l->setConfig({"markets", 5.0, 2, "Black"}); }, 1},
        {"hidden", [&] { l->hide(); }, 0},
        {"hidden twice", [&] { l->hide(); }, 0},
        {"mix away while hidden", [&] { l->setConfig({"music", 1.0, 2, "Black"}); }, 0},
        {"mix back while hidden", [&] { l->setConfig({"markets", 1.0, 2, "Black"}); }, 0},
        {"shown", [&] { l->show(); }, 1},
        {"mix away", [&] { l->setConfig({"latest", 1.0, 2, "Black"}); }, 0},
        {"mix back", [&] { l->setConfig({"markets", 1.0, 2, "Black"}); }, 1},
        {"destroyed while counted", [&] { l.reset(); }, 0},
    };
    for (const Step& s : steps) {
        s.run();
        EXPECT_EQ(f.markets->activeStrips(), s.active) << s.what;
        EXPECT_EQ(f.markets->isPolling(), s.active > 0) << s.what;
    }
}

TEST_F(ExtraStripTest, MarketsMixScrollsQuotesNotHeadlines)
{
    f.load(kItems);
    auto l = layer("markets");
    l->show();
    EXPECT_EQ(l->marquee()->itemKey(), MarqueeTickerView::contentKey({}, f.markets->stripQuotes()));
    l->setConfig({"latest", 1.0, 2, "Black"});
    EXPECT_EQ(l->marquee()->itemKey(), (QStringList{"t1", "s1", "t2", "plain"}));
}

TEST_F(ExtraStripTest, PaintsItsThemeFadeAndCaption)
{
    f.load(kItems);
    for (bool reversed : {true, false}) {
        auto l = layer("latest", reversed);
        l->setConfig({"latest", 1.0, 2, "Blue"});
        l->show();
        const QImage image = l->grab().toImage();
        const QColor blue = themeBackgroundColor(u"Blue");
        // The fade sits at the edge the row runs out from: solid theme colour there.
        const int edgeX = reversed ? image.width() - 2 : 1;
        EXPECT_EQ(image.pixelColor(edgeX, 40).rgb(), blue.rgb()) << reversed;
        // The hairline along the top is lighter than the background.
        EXPECT_GT(qGray(image.pixel(image.width() / 2, 0)), qGray(blue.rgb())) << reversed;
        EXPECT_TRUE(l->isReversed() == reversed);
        EXPECT_EQ(l->marquee()->isReversed(), reversed);
    }
}

TEST_F(ExtraStripTest, MovesItsPaintedRowUnderItsCaptionFadeAndHairline)
{
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "forward");
        // The row's own clock, moved by hand: the store's keeps still.
        struct : MarqueeClock {
            double seconds() const override { return now; }
            double now = 0;
        } clock;
        auto l = std::make_unique<ExtraStripLayer>(
            *f.store, StripConfig{"latest", 1.0, 2, "Blue"}, reversed,
            ExtraStripLayer::Services{*f.markets, f.rows.context(), clock, &f.random});
        l->resize(1000, 72);
        MarqueeTickerView* m = l->marquee();
        m->setPointerSource([] { return QPoint(-5000, -5000); });  // never over the strip
        l->show();
        FakeTime::settle();  // the window is exposed
        f.load(kItems);
        ASSERT_GT(m->stripWidth(), 0);
        EXPECT_EQ(m->background(), themeBackgroundColor(u"Blue")) << "painted by the scroller, opaque";

        // The overlays leave nearly all of the row to be moved: the fade's
        // 40 columns, the caption's few rows and the hairline stay out.
        qint64 movable = 0;
        for (const QRect& band : m->movableBands())
            movable += qint64(band.width()) * band.height();
        EXPECT_GT(double(movable), 0.85 * 1000 * m->stripHeight());

        m->repaint();
        const int moved = m->scrolledFrames();
        const int repainted = m->repaintedFrames();
        for (int frame = 0; frame < 3; ++frame) {
            clock.now += 0.034;  // two pixels at 60 points a second
            ASSERT_TRUE(m->frameTick());
        }
        EXPECT_EQ(m->scrolledFrames() - moved, 3);
        EXPECT_EQ(m->repaintedFrames(), repainted);

        // The caption is still drawn over the row, in its place.
        const QImage image = l->grab().toImage();
        bool captionInk = false;
        for (int x = 14; x < 60 && !captionInk; ++x)
            for (int y = 4; y < 14 && !captionInk; ++y)
                captionInk = qGray(image.pixel(x, y)) > qGray(themeBackgroundColor(u"Blue").rgb()) + 30;
        EXPECT_TRUE(captionInk);
    }
}

} // namespace
