// The main strip end to end: a feed store started against the sample
// catalogue server, composed, scrolled and drawn with the sites' icons.
#include "CatalogueServer.h"
#include "RowFixture.h"
#include "TickerTestUtil.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/TickerAnimationLayer.h"
#include "ticker/TickerIconView.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(StripAgainstCatalogueTest, ScrollsTheStoresHeadlinesWithTheirIcons)
{
    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    const QUrl base = server.baseUrl();

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    QNetworkAccessManager nam;
    FeedStore store(FeedStore::Services{*defaults, time, time, &nam, nullptr,
                                        [] { return std::make_unique<FakePathMonitor>(); }, base, std::nullopt,
                                        base, QStringLiteral("1.0")});
    store.start();
    ASSERT_TRUE(runUntil([&] { return !store.tickerItems().isEmpty(); }, 10000)) << "the store got no headlines";

    ReadStore reads(*defaults);
    FilterStore filters(*defaults);
    ImageFetchGate gate;
    FaviconStore favicons(QString(), &nam, base, gate, time);
    ThumbnailStore thumbnails(&nam, gate);
    FakeUrlOpener opener;
    FakeClipboard clipboard;
    ClockMarqueeClock clock(time);
    QRandomGenerator random(3);
    TickerAnimationLayer layer(store, 2, 1.0,
                               TickerAnimationLayer::Services{
                                   *defaults, filters,
                                   TickerRowContext{&reads, defaults.get(), &favicons, &thumbnails, &opener, &clipboard},
                                   clock, &random});
    layer.resize(1600, 72);
    layer.marquee()->setPointerSource([] { return QPoint(-9999, -9999); });  // pointer elsewhere
    layer.show();

    ASSERT_FALSE(layer.displayItems().isEmpty());
    MarqueeTickerView* marquee = layer.marquee();
    EXPECT_EQ(marquee->cellCount(), layer.displayItems().size());
    EXPECT_TRUE(marquee->isRunning());
    EXPECT_TRUE(marquee->isFrameTimerActive());

    // The first frame asks for the icons of the cells on screen.
    (void)marquee->grab();
    const FeedItem first = layer.displayItems().first();
    const QString key = TickerIconView::hostKey(first);
    EXPECT_TRUE(favicons.isLoading(key) || favicons.contains(key));
    time.advance(100ms);
    ASSERT_TRUE(runUntil([&] { return favicons.contains(key); }, 10000)) << key.toStdString();
    EXPECT_DOUBLE_EQ(marquee->phase(), -6) << "100 ms at 60 points per second";

    // The icon now sits on a white disc (the fallback's disc is faint), once
    // a frame shows the row where it is now.
    marquee->frameTick();
    const QImage frame = marquee->grab().toImage();
    const auto* row = static_cast<const TickerRow*>(marquee->cell(0));
    const QRectF icon = row->layout().icon.translated(marquee->cellRect(0, 0).topLeft());
    const double g = TickerRowLayout::metrics(2).glyph;
    const QPoint ring(int(icon.center().x() + g / 2 + 1.5), int(icon.center().y()));
    ASSERT_TRUE(frame.rect().contains(ring * frame.devicePixelRatio()));
    EXPECT_EQ(frame.pixelColor(ring * frame.devicePixelRatio()), QColor(Qt::white));

    store.stop();
    FakeTime::settle();  // the store's stopped waits end before its fake time goes
}

} // namespace
