// The whole strip against the sample catalogue server: a feed store started
// on it feeds the strip view, which draws the brand block, the weather, the
// orb, the scrolling headlines, a chip and the second strip.
#include "CatalogueServer.h"
#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "api/Palette.h"
#include "ticker/ExtraStripLayer.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/SignalRotationOrb.h"
#include "ticker/StripChipsRow.h"
#include "ticker/TickerAnimationLayer.h"
#include "ticker/WeatherSegment.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// Pixels of `rect` that differ from `background`.
int inkIn(const QImage& image, const QRect& rect, QRgb background)
{
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ink += (image.pixel(x, y) & 0xffffff) != (background & 0xffffff) ? 1 : 0;
    return ink;
}

TEST(StripViewCatalogueTest, DrawsTheWholeStripFromTheSampleCatalogue)
{
    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    StripFixture f(server.baseUrl());
    f.defaults().set(TickerView::feedMixKey, "latest");
    f.defaults().set(TickerView::secondTickerKey, true);
    StripConfig::save({StripConfig{"shuffle", 1.0, 2, "Blue"}}, f.defaults());

    f.store->start();
    ASSERT_TRUE(runUntil(
        [&] { return !f.store->items().isEmpty() && !f.store->orbs().isEmpty() && f.store->currentWeather(); },
        10000))
        << "the store got no headlines, orbs or weather: " << f.store->statusMessage().toStdString();

    auto view = f.makeView(1600);
    view->show();
    f.store->setRoomListening(true);

    // Brand block: weather reading and the first orb.
    WeatherSegment* weather = view->brandBlock()->weather();
    EXPECT_EQ(weather->captionText(), f.store->currentWeather()->city.toUpper());
    EXPECT_EQ(weather->valueText(), f.store->currentWeather()->temp);
    SignalRotationOrb* orb = view->brandBlock()->orb();
    ASSERT_TRUE(orb);
    EXPECT_EQ(orb->currentOrb()->id, f.store->orbs().first().id);
    EXPECT_EQ(orb->headerText(), f.store->orbs().first().topicLabel.toUpper());

    // The scroller runs the store's headlines, newest first under "latest".
    TickerAnimationLayer* layer = view->scrollerLayer();
    EXPECT_EQ(idsOf(layer->displayItems()), idsOf(f.store->tickerItems()));
    EXPECT_GT(layer->marquee()->cellCount(), 0);
    const double phase = layer->marquee()->phase();
    f.rows.time.advance(1s);
    EXPECT_NE(layer->marquee()->phase(), phase) << "the row moves";

    // The chip and the second strip.
    EXPECT_TRUE(view->chipsRow()->listeningChip());
    ExtraStripLayer* extra = view->extraStrip();
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->caption(), "SHUFFLE");
    EXPECT_EQ(extra->displayItems().size(), f.store->items().size());
    EXPECT_EQ(view->height(), 72 + 72);

    const QImage image = view->grab().toImage();
    const QRgb black = themeBackgroundColor(u"Black").rgb();
    const QRgb blue = themeBackgroundColor(u"Blue").rgb();
    const int brand = view->brandBlock()->panelWidth();
    EXPECT_GT(inkIn(image, QRect(0, 0, brand, 72), black), 200) << "gear, weather and orb";
    EXPECT_GT(inkIn(image, QRect(400, 0, 800, 72), black), 500) << "headlines";
    EXPECT_GT(inkIn(image, QRect(200, 72, 1000, 72), blue), 500) << "second strip";
    EXPECT_EQ(image.pixel(1599, 130), blue) << "the reversed strip's fade edge";
}

} // namespace

namespace {

TEST(StripViewCatalogueTest, MusicMixFollowsTheLaneAndItsCaption)
{
    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    StripFixture f(server.baseUrl());
    f.store->start();
    ASSERT_TRUE(runUntil([&] { return !f.store->items().isEmpty(); }, 10000));

    ExtraStripLayer layer(*f.store, StripConfig{"music", 1.0, 2, "Black"}, true,
                          ExtraStripLayer::Services{*f.markets, f.rows.context(), f.clock, &f.random});
    layer.resize(800, 72);
    layer.show();
    EXPECT_EQ(layer.caption(), "MUSIC · IDLE");
    EXPECT_EQ(idsOf(layer.displayItems()), idsOf(f.store->items()));

    f.store->setNowPlaying("The Sample Band", "First Song", std::nullopt);
    ASSERT_TRUE(runUntil([&] { return !f.store->nowPlayingItems().isEmpty(); }, 10000))
        << "no lane items for the artist";
    EXPECT_EQ(layer.caption(), "MUSIC");
    EXPECT_EQ(idsOf(layer.displayItems()), idsOf(f.store->nowPlayingItems()));
    EXPECT_TRUE(layer.displayItems().first().stableId.startsWith("np-"));
}

TEST(StripViewCatalogueTest, SecondaryClickOnAQuoteOpensTheStripMenu)
{
    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    StripFixture f(server.baseUrl());
    f.defaults().set(TickerView::secondTickerKey, true);
    StripConfig::save({StripConfig{"markets", 1.0, 2, "Black"}}, f.defaults());
    auto view = f.makeView(1600);
    view->show();
    MarqueeTickerView* quotes = view->extraStrip()->marquee();
    ASSERT_TRUE(runUntil([&] { return quotes->cellCount() > 0; }, 10000)) << "no quotes from the sample server";

    const QPoint onQuote = quotes->cellRect(0, 0).center().toPoint();
    ASSERT_GE(quotes->cellAt(onQuote), 0);
    const QStringList texts = menuOpenedBy(quotes, onQuote);
    EXPECT_EQ(texts.value(0), "Mini Mode");
    EXPECT_EQ(texts.size(), 19) << "the whole strip menu";
}

} // namespace
