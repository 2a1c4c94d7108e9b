// The strip: the view and its chips, the second strip, its menu and stored
// settings, on in-memory settings and against the sample catalogue server.
#include "CatalogueServer.h"
#include "LogCapture.h"
#include "LoopbackServer.h"
#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "api/Palette.h"
#include "music/ListeningChip.h"
#include "music/NowPlayingChip.h"
#include "ticker/CategoryMixOptions.h"
#include "ticker/ExtraStripLayer.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/FocusChip.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/OfflineChip.h"
#include "ticker/PhraseToggle.h"
#include "ticker/QuoteCell.h"
#include "ticker/SignalRotationOrb.h"
#include "ticker/StripChipsRow.h"
#include "ticker/StripConfig.h"
#include "ticker/TickerAnimationLayer.h"
#include "ticker/WeatherSegment.h"

#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <limits>

using namespace std::chrono_literals;

namespace {

namespace view {

const QList<FeedItem> kItems = {
    categorised("a", "Alpha headline", "tech", "Technology"),
    categorised("b", "Beta headline", "science"),
};
const QList<Orb> kOrbs = {makeOrb("rates", "Interest Rates", QStringList{"fed"})};

TEST(StripViewTest, SecondStripWithNothingStoredComesFromTheOlderSettings)
{
    StripFixture f;
    f.load(kItems);
    f.defaults().set(TickerView::sizeKey, 1);
    f.defaults().set(StripConfig::legacyMixesKey, "shuffle");
    f.defaults().set(TickerView::secondTickerKey, true);
    auto view = f.makeView();
    view->show();
    ASSERT_TRUE(view->extraStrip());
    EXPECT_EQ(view->extraStrip()->config(), (StripConfig{"shuffle", 1.0, 1, "Black"}));
    EXPECT_EQ(view->height(), 48 + 48);
    EXPECT_EQ(view->scrollerLayer()->geometry(), QRect(190, 0, 1400 - 190, 48)) << "beside the compact brand block";

    // Each older setting it is built from takes effect at once; a stored
    // list then stands on its own.
    const struct { const char* what; QString key; QJsonValue value; StripConfig expected; int height; } steps[] = {
        {"speed", TickerView::scrollSpeedKey, 5.0, {"shuffle", 5.0, 1, "Black"}, 48 + 48},
        {"background", TickerView::themeKey, "Teal", {"shuffle", 5.0, 1, "Teal"}, 48 + 48},
        {"size", TickerView::sizeKey, 4, {"shuffle", 5.0, 4, "Teal"}, 108 + 108},
        {"mixes", StripConfig::legacyMixesKey, "music,latest", {"music", 5.0, 4, "Teal"}, 108 + 108},
        {"a stored list", StripConfig::stripsKey, R"([{"mix":"latest","speed":2,"size":1,"background":"Red"}])",
         {"latest", 2.0, 1, "Red"}, 108 + 48},
        {"speed under a stored list", TickerView::scrollSpeedKey, 0.5, {"latest", 2.0, 1, "Red"}, 108 + 48},
        {"background under a stored list", TickerView::themeKey, "Blue", {"latest", 2.0, 1, "Red"}, 108 + 48},
    };
    ExtraStripLayer* const extra = view->extraStrip();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        f.defaults().set(step.key, step.value);
        ASSERT_EQ(view->extraStrip(), extra) << "the strip that is there takes the change";
        EXPECT_EQ(view->extraStrip()->config(), step.expected);
        EXPECT_EQ(view->extraStrip()->marquee()->speed(), step.expected.speed);
        EXPECT_EQ(view->height(), step.height);
    }
    EXPECT_EQ(extra->geometry(), QRect(0, 108, 1400, 48)) << "stacked under the main strip";
    EXPECT_EQ(view->scrollerLayer()->geometry(), QRect(360, 0, 1400 - 360, 108)) << "beside the large brand block";
    EXPECT_TRUE(extra->isReversed());
    // Mini mode drops the stacked strip and its height; so does switching it off.
    view->setMiniMode(true);
    EXPECT_FALSE(view->extraStrip());
    EXPECT_EQ(view->height(), 108);
    view->setMiniMode(false);
    f.defaults().set(TickerView::secondTickerKey, false);
    EXPECT_FALSE(view->extraStrip());
    EXPECT_EQ(view->height(), 108);
}

TEST(StripViewTest, PlacementSettingsPlaceTheWindowAgain)
{
    StripFixture f;
    auto view = f.makeView();
    view->show();
    struct Case { QString key; QJsonValue value; bool places; };
    const QList<Case> cases = {
        {TickerView::positionKey, "bottom", true}, {TickerView::sizeKey, 4, true},
        {TickerView::alwaysOnTopKey, false, true}, {TickerView::secondTickerKey, true, true},
        {TickerView::stripsKey, R"([{"mix":"music","speed":1,"size":1,"background":"Red"}])", true},
        {TickerView::opacityKey, 0.5, false}, {TickerView::scrollSpeedKey, 2.0, false},
        {TickerView::feedMixKey, "latest", false}, {TickerView::themeKey, "Blue", false},
        {TickerView::tuneToMusicKey, false, false},
        {TickerView::positionKey, "bottom", false},  // the same value again: no change
    };
    for (const Case& c : cases) {
        f.services.calls.clear();
        f.defaults().set(c.key, c.value);
        EXPECT_EQ(f.services.count("reposition"), c.places ? 1 : 0) << c.key.toStdString();
    }
    EXPECT_EQ(view->scrollerLayer()->tickerSize(), 4);
    EXPECT_DOUBLE_EQ(view->scrollerLayer()->scrollSpeed(), 2.0);
    EXPECT_EQ(view->height(), 108 + 48);
}

TEST(StripViewTest, MirrorIsResetAtEachShowAndWrittenBeforeEachCallAndMiniModeLimitsInput)
{
    StripFixture f;
    f.defaults().set(TickerView::miniModeTransientKey, true);
    auto view = f.makeView();
    EXPECT_TRUE(f.services.calls.isEmpty()) << "nothing before it shows";
    QList<bool> mirror;  // the stored mini-mode mirror at each call into the application
    f.services.onCall = [&](const QString&) {
        mirror.append(f.defaults().boolValue(TickerView::miniModeTransientKey, true));
    };
    view->show();
    EXPECT_EQ(f.services.calls, (QStringList{"startNowPlaying", "startRoomListener"}));
    view->hide();
    f.defaults().set(TickerView::miniModeTransientKey, true);
    view->show();
    EXPECT_EQ(f.services.calls.size(), 2) << "the listeners start once";
    EXPECT_FALSE(f.defaults().boolValue(TickerView::miniModeTransientKey, true)) << "reset at every appearance";

    view->setMiniMode(true);
    view->setMiniMode(true);  // no change: nothing happens
    const int panel = view->brandBlock()->panelWidth();
    EXPECT_EQ(f.services.calls.mid(2), (QStringList{"reposition", QStringLiteral("inputRegion:0,0 %1x72").arg(panel)}));
    EXPECT_FALSE(view->scrollerLayer()->isVisible());
    EXPECT_FALSE(view->chipsRow()->isVisible());
    EXPECT_TRUE(view->brandBlock()->isMiniMode());
    EXPECT_DOUBLE_EQ(view->backgroundOpacity(), 0.0);
    // The brand block's own button leaves mini mode.
    view->brandBlock()->miniModeButton()->click();
    EXPECT_FALSE(view->isMiniMode());
    EXPECT_TRUE(view->scrollerLayer()->isVisible());
    EXPECT_EQ(f.services.calls.mid(4), (QStringList{"reposition", "inputRegion:none"}));
    EXPECT_EQ(mirror, (QList<bool>{false, false, true, true, false, false}));
    // Shown again while still in mini mode: the mirror matches the strip.
    view->setMiniMode(true);
    view->hide();
    f.defaults().set(TickerView::miniModeTransientKey, false);
    view->show();
    EXPECT_TRUE(f.defaults().boolValue(TickerView::miniModeTransientKey, false));
}

TEST(StripViewTest, ChipPrecedence)
{
    StripFixture f;
    f.load(kItems, kOrbs);
    auto view = f.makeView();
    view->show();
    StripChipsRow* chips = view->chipsRow();
    auto shown = [&] {
        QStringList out;
        if (chips->focusChip())
            out << "focus:" + chips->focusChip()->text();
        if (auto* np = qobject_cast<NowPlayingChip*>(chips->nowPlayingChip()))
            out << "playing:" + np->artist() + "/" + np->track();
        if (chips->listeningChip())
            out << "listening";
        if (chips->offlineChip())
            out << "offline:" + chips->offlineChip()->text();
        return out.join(u' ');
    };
    EXPECT_EQ(shown(), "");
    EXPECT_FALSE(chips->takesClicks()) << "clicks reach the scroller";
    f.store->setNowPlaying("Band", "Tune", std::nullopt);
    EXPECT_EQ(shown(), "playing:Band/Tune");
    EXPECT_TRUE(chips->takesClicks());
    f.store->focusTopic("rates");
    EXPECT_EQ(shown(), "focus:INTEREST RATES") << "a focused topic hides the track";
    view->exitFocus();
    EXPECT_FALSE(f.store->focusedTopicID());
    EXPECT_EQ(shown(), "playing:Band/Tune");
    f.store->focusTopic("rates");
    FocusChip* focus = chips->focusChip();
    QTest::mouseClick(focus, Qt::LeftButton, {}, QPoint(4, focus->height() / 2));
    EXPECT_TRUE(f.store->focusedTopicID()) << "only the close button leaves the focus";
    QTest::mouseClick(focus, Qt::LeftButton, {}, focus->closeButtonRect().center().toPoint());
    EXPECT_FALSE(f.store->focusedTopicID());

    f.store->setRoomListening(true);
    EXPECT_EQ(shown(), "playing:Band/Tune") << "the track wins over listening";
    f.store->clearNowPlaying();
    EXPECT_EQ(shown(), "listening");
    auto* listening = qobject_cast<ListeningChip*>(chips->listeningChip());
    ASSERT_TRUE(listening);
    f.defaults().set(TickerView::listenKey, true);
    listening->resize(listening->sizeHint());
    QTest::mouseClick(listening, Qt::LeftButton, {}, listening->closeButtonRect().center().toPoint());
    EXPECT_FALSE(f.defaults().boolValue(TickerView::listenKey, true)) << "closing switches listening off";

    f.store->setRoomListening(false);
    ASSERT_TRUE(f.monitor);
    f.monitor->setOnline(false);
    EXPECT_TRUE(shown().startsWith("offline:Offline")) << shown().toStdString();
    EXPECT_FALSE(chips->takesClicks()) << "the offline chip alone takes no clicks";
    auto* dim = qobject_cast<QGraphicsOpacityEffect*>(view->scrollerLayer()->graphicsEffect());
    ASSERT_TRUE(dim);
    EXPECT_TRUE(dim->isEnabled());
    EXPECT_DOUBLE_EQ(dim->opacity(), 0.8) << "the headlines dim while offline";
    EXPECT_EQ(view->brandBlock()->graphicsEffect(), nullptr) << "the brand block does not";
    f.monitor->setOnline(true);
    EXPECT_FALSE(dim->isEnabled());
}

TEST(StripViewTest, BrandBlockFollowsTheOrbsArrival)
{
    StripFixture f;
    auto view = f.makeView();
    view->show();
    const int without = view->brandBlock()->width();
    f.load(kItems, kOrbs);
    FakeTime::settle();
    EXPECT_GE(view->brandBlock()->width(), without + 28 + 10 + 190) << "the orb and its text column";
    EXPECT_EQ(view->brandBlock()->width(), view->brandBlock()->sizeHint().width());
    EXPECT_GT(view->brandBlock()->miniModeButton()->x(), without) << "the button moved with the panel's edge";
}

TEST(StripViewTest, SecondaryClickOpensTheStripMenuUnlessTheCellHasOneOfItsOwn)
{
    StripFixture f;
    f.defaults().set(TickerView::feedMixKey, "latest");
    f.load({categorised("a", "Alpha headline", "tech"), makeItem("bare", "No link here"),
            categorised("b", "Beta headline", "science")},
           kOrbs);
    f.defaults().set(TickerView::secondTickerKey, true);
    auto view = f.makeView(6000);
    view->show();
    MarqueeTickerView* marquee = view->scrollerLayer()->marquee();
    MarqueeTickerView* second = view->extraStrip()->marquee();
    ASSERT_EQ(marquee->cellCount(), 3);
    auto centreOf = [](MarqueeTickerView* m, int index) { return m->cellRect(0, index).center().toPoint(); };
    const struct { const char* what; QWidget* target; QPoint pos; QStringList opens; } cases[] = {
        {"a headline with a link", marquee, centreOf(marquee, 0), {"Open", "Copy Link"}},
        {"a headline without a link", marquee, centreOf(marquee, 1), {"Mini Mode", "Second Ticker"}},
        // Far right of a wide strip: past both copies of the short row.
        {"between cells", marquee, QPoint(marquee->width() - 5, 30), {"Mini Mode", "Second Ticker"}},
        {"the brand block", view->brandBlock(), QPoint(5, 60), {"Mini Mode", "Second Ticker"}},
        {"the second strip's gap", second, QPoint(second->width() - 5, 30), {"Mini Mode", "Second Ticker"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList texts = menuOpenedBy(c.target, c.pos);
        EXPECT_EQ(texts.mid(0, 2), c.opens);
        EXPECT_EQ(texts.size(), c.opens.first() == "Mini Mode" ? 19 : 2);
    }
}

// A strip or a row can go while its menu shows (the stacked strip turned
// off, the strip replaced): the menu goes with it and nothing runs on them.
TEST(StripViewTest, AStripDeletedUnderItsOpenMenuTakesTheMenuAlong)
{
    StripFixture f;
    f.load({categorised("a", "Alpha headline", "tech"), categorised("b", "Beta headline", "science")}, kOrbs);
    f.defaults().set(TickerView::secondTickerKey, true);
    std::unique_ptr<TickerView> view = f.makeView(6000);
    view->show();
    const QPointer<TickerView> strip(view.get());
    MarqueeTickerView* second = view->extraStrip()->marquee();
    ASSERT_GT(second->cellCount(), 0);
    const struct {
        const char* what;
        QWidget* target;
        QPoint pos;
        std::function<void()> remove;
        std::function<bool()> removed;
    } cases[] = {
        {"a headline's menu, the stacked strip turned off", second, second->cellRect(0, 0).center().toPoint(),
         [&] { f.defaults().set(TickerView::secondTickerKey, false); }, [&] { return !strip->extraStrip(); }},
        {"the strip's menu, the strip replaced", view.get(), QPoint(5, 5), [&] { view.release()->deleteLater(); },
         [&] { return strip.isNull(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QPointer<QMenu> shown;
        bool opened = false;
        bool removedWhileOpen = false;
        QTimer::singleShot(0, [&] {
            shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            opened = !shown.isNull();
            c.remove();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            removedWhileOpen = c.removed();
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                QTest::keyClick(menu, Qt::Key_Escape);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, c.pos, c.target->mapToGlobal(c.pos));
        QApplication::sendEvent(c.target, &event);
        FakeTime::settle();
        EXPECT_TRUE(opened);
        EXPECT_TRUE(removedWhileOpen);
        EXPECT_FALSE(QApplication::activePopupWidget());
        EXPECT_TRUE(shown.isNull()) << "the menu went with its strip";
    }
}

// Black, or the theme's colour, with the strip's opacity as its alpha.
QColor stripColour(const QString& theme, double alpha)
{
    QColor colour = themeBackgroundColor(theme);
    colour.setAlphaF(float(alpha));
    return colour;
}

TEST(StripViewTest, ScrollerBackgroundFollowsThemeOpacityAndMiniMode)
{
    StripFixture f;
    auto view = f.makeView();
    view->show();
    MarqueeTickerView* marquee = view->scrollerLayer()->marquee();
    auto set = [&](const QString& key, QJsonValue value) { return [&f, key, value] { f.defaults().set(key, value); }; };
    struct Step { const char* what; std::function<void()> run; QColor expected; };
    const QList<Step> steps = {
        {"at first", [] {}, stripColour("Black", 1.0)},
        {"an unknown theme is black", set(TickerView::themeKey, "Nonsense"), stripColour("Black", 1.0)},
        {"theme", set(TickerView::themeKey, "Blue"), stripColour("Blue", 1.0)},
        {"above one is opaque", set(TickerView::opacityKey, 1.7), stripColour("Blue", 1.0)},
        {"below zero is clear", set(TickerView::opacityKey, -0.3), stripColour("Blue", 0.0)},
        {"opacity", set(TickerView::opacityKey, 0.5), stripColour("Blue", 0.5)},
        {"mini mode", [&] { view->setMiniMode(true); }, stripColour("Blue", 0.0)},
        {"opaque and a theme while mini", [&] { set(TickerView::opacityKey, 1.0)(); set(TickerView::themeKey, "Teal")(); },
         stripColour("Teal", 0.0)},
        {"mini mode left", [&] { view->setMiniMode(false); }, stripColour("Teal", 1.0)},
        {"a new size keeps it", set(TickerView::sizeKey, 4), stripColour("Teal", 1.0)},
        {"clear", set(TickerView::opacityKey, 0.0), stripColour("Teal", 0.0)},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.run();
        EXPECT_EQ(marquee->background().rgba(), s.expected.rgba());
        EXPECT_EQ(marquee->testAttribute(Qt::WA_OpaquePaintEvent), s.expected.alpha() == 255);
        // The brand block's panel stays fully drawn whatever the opacity.
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_EQ(image.pixelColor(3, 60).alpha(), 255);
        EXPECT_NEAR(image.pixelColor(900, 60).alpha(), s.expected.alpha(), 2) << "the strip shows the background";
    }
}

TEST(StripViewTest, OrbKeepsBreathingUnderThePointerAndThroughASizeChange)
{
    StripFixture f;
    Orb hot = makeOrb("rates", "Interest Rates", QStringList{"fed"});
    hot.velocity = Orb::Velocity{std::nullopt, QStringLiteral("hot")};  // breathes
    Orb space = makeOrb("space", "Space", QStringList{"moon"});
    space.velocity = hot.velocity;
    f.load(kItems, {space, hot});
    auto view = f.makeView();
    view->show();
    FakeTime::settle();
    MarqueeTickerView* marquee = view->scrollerLayer()->marquee();
    QPoint pointer = marquee->mapToGlobal(QPoint(300, 30));
    marquee->setPointerSource([&pointer] { return pointer; });
    SignalRotationOrb* const orb = view->brandBlock()->orb();
    ASSERT_TRUE(orb && orb->pulseAnimation()) << "the orb breathes";
    orb->tick();
    QEnterEvent enter(QPointF(300, 30), QPointF(300, 30), QPointF(pointer));
    QApplication::sendEvent(marquee, &enter);
    ASSERT_TRUE(marquee->isHovering());
    // {size, whether the text column shows}: sizes changed while the pointer rests and after it left.
    for (const auto& [size, text] : {std::pair{4, true}, {1, false}, {2, true}}) {
        SCOPED_TRACE(size);
        const int before = orb->pulseAnimation()->currentTime();
        f.defaults().set(TickerView::sizeKey, size);
        FakeTime::settle();
        ASSERT_EQ(view->brandBlock()->orb(), orb) << "the orb is kept";
        EXPECT_EQ(orb->sizeCode(), size);
        EXPECT_EQ(orb->textColumn() != nullptr, text);
        EXPECT_EQ(orb->currentOrb()->id, "rates") << "the rotation stays where it was";
        EXPECT_TRUE(orb->isPulseAnimating()) << "the pulse is never set back";
        EXPECT_GE(orb->pulseAnimation()->currentTime(), before) << "and never started over";
        pointer = QPoint(-5000, -5000);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(marquee, &leave);
    }
}

} // namespace

namespace chips {

MarketQuote quote(const QString& symbol, std::optional<double> price, std::optional<double> pct, bool ok = true,
                  std::optional<Holding> holding = std::nullopt)
{
    MarketQuote q;
    q.symbol = q.name = symbol;
    q.price = price;
    q.changePct = pct;
    q.ok = ok;
    q.holding = holding;
    return q;
}

TEST(QuoteKeyTest, OneStringPerQuoteWithShortestNumbers)
{
    const std::pair<MarketQuote, QString> cases[] = {
        {quote("SPY", 512.3, -0.42), "SPY=512.3/-0.42/true/0.0@0.0"},
        {quote("BTC", std::nullopt, std::nullopt, false), "BTC=-1.0/0.0/false/0.0@0.0"},
        {quote("AAPL", 190, 1, true, Holding{10, 150.25}), "AAPL=190.0/1.0/true/10.0@150.25"},
        {quote("X", 0.1 + 0.2, -0.0), "X=0.30000000000000004/-0.0/true/0.0@0.0"},
        {quote("BIG", 1e20, 0.00001), "BIG=1e+20/1e-05/true/0.0@0.0"},
        {quote("NAN", std::numeric_limits<double>::quiet_NaN(), 2.5), "NAN=nan/2.5/true/0.0@0.0"},
    };
    for (const auto& [q, key] : cases)
        EXPECT_EQ(QuoteCell::key(q), key);
}

TEST(ChipTest, Texts)
{
    EXPECT_EQ(OfflineChip().text(), "Offline");
    OfflineChip chip(QStringLiteral("2m ago"));
    EXPECT_EQ(chip.text(), "Offline · 2m ago");
    chip.setRelative(QStringLiteral("1h ago"));
    EXPECT_EQ(chip.text(), "Offline · 1h ago");
    FocusChip focus(QStringLiteral("Interest rates"), [] {});
    EXPECT_EQ(focus.text(), "INTEREST RATES");
    EXPECT_EQ(focus.toolTip(), "Exit focus");
}

TEST(TickerViewTest, ItemsAreKeyedByIdAndQuotesByValue)
{
    RowFixture f;
    ClockMarqueeClock clock{f.time};
    MarqueeTickerView view{f.context(), clock};
    view.resize(800, 72);
    const QList<FeedItem> items{makeItem("a", "Alpha", "https://a.com/1"), makeItem("b", "Beta", "https://b.com/2")};
    view.updateContent(items, std::nullopt, 2, false, 1);
    EXPECT_EQ(view.itemKey(), (QStringList{"a", "b"}));
    QList<FeedItem> renamed = items;
    renamed[0].title = QStringLiteral("Alpha, updated");
    view.updateContent(renamed, std::nullopt, 2, false, 1);
    EXPECT_EQ(view.rebuildCount(), 1) << "same ids: no rebuild";

    // Quotes replace the items, even when there are none.
    view.updateContent(items, QList<MarketQuote>{}, 2, false, 1);
    EXPECT_EQ(view.cellCount(), 0);
    EXPECT_DOUBLE_EQ(view.stripWidth(), 0);
    const QList<MarketQuote> quotes{quote("SPY", 512.3, -0.42)};
    view.updateContent(items, quotes, 2, false, 1);
    EXPECT_EQ(view.itemKey(), QStringList{"SPY=512.3/-0.42/true/0.0@0.0"});
    EXPECT_GT(view.stripWidth(), 0);
    const int built = view.rebuildCount();
    view.updateContent({}, quotes, 2, false, 1);
    EXPECT_EQ(view.rebuildCount(), built) << "same keyed values: no rebuild";
    view.updateContent({}, QList<MarketQuote>{quote("SPY", 512.4, -0.42)}, 2, false, 1);
    EXPECT_EQ(view.rebuildCount(), built + 1);
}

} // namespace

namespace extra {

const QList<FeedItem> kItems = {
    categorised("t1", "Chip maker grows", "Tech", "Technology"),
    categorised("s1", "Comet seen", "science"),
    categorised("t2", "Phone launch", "tech"),
    makeItem("plain", "No category"),
};

class ExtraStripTest : public ::testing::Test {
protected:
    StripFixture f;

    std::unique_ptr<ExtraStripLayer> layer(const QString& mix, MarqueeClock* clock = nullptr, int width = 600,
                                           const QString& background = "Black", bool reversed = true)
    {
        auto l = std::make_unique<ExtraStripLayer>(
            *f.store, StripConfig{mix, 1.0, 2, background}, reversed,
            ExtraStripLayer::Services{*f.markets, f.rows.context(), clock ? *clock : f.clock, &f.random});
        l->resize(width, 72);
        return l;
    }
};

TEST_F(ExtraStripTest, ItemsAndCaptionPerMix)
{
    f.load(kItems);
    struct Case { QString mix; QString items; QString caption; };  // items "*": the curated items in any order
    const QList<Case> cases = {
        {"latest", "t1 s1 t2 plain", "LATEST"}, {"shuffle", "*", "SHUFFLE"},
        {"music", "t1 s1 t2 plain", "MUSIC · IDLE"},
        {"markets", "t1 s1 t2 plain", "MARKET QUOTES · Powered by CoinGecko · ECB"},
        {"cat:tech", "t1 t2", "TECHNOLOGY"}, {"cat:science", "s1", "SCIENCE"}, {"cat:Tech", "t1 s1 t2 plain", "TECH"},
        {"cat:", "plain", ""}, {"cat:sports", "t1 s1 t2 plain", "SPORTS"}, {" music", "t1 s1 t2 plain", "LATEST"},
        {"anything", "t1 s1 t2 plain", "LATEST"},
    };
    for (const Case& c : cases) {
        QStringList ids = idsOf(ExtraStripLayer::items(c.mix, *f.store, f.random)).split(u' ');
        if (c.items == "*")
            ids.sort();
        EXPECT_EQ(ids.join(u' '), c.items == "*" ? "plain s1 t1 t2" : c.items) << c.mix.toStdString();
        EXPECT_EQ(ExtraStripLayer::caption(c.mix, *f.store, *f.markets), c.caption) << c.mix.toStdString();
    }
}

TEST_F(ExtraStripTest, MarketCaptionNamesTheKeyState)
{
    using KS = MarketsStore::KeyStatus;
    const std::tuple<bool, KS, QString> cases[] = {
        {false, KS::rejected(), ""}, {true, KS::ok(), ""}, {true, KS::rejected(), " · KEY REJECTED"},
        {true, KS::checking(), " · KEY CHECKING"}, {true, KS::none(), " · KEY CHECKING"},
        {true, KS::error("Finnhub returned HTTP 500"), " · KEY CHECKING"},
    };
    for (const auto& [key, status, suffix] : cases) {
        StripFixture g;
        if (key) {
            ASSERT_TRUE(g.secrets.write("tidewire.client", "finnhub_api_key", "k123").has_value());
            g.markets = std::make_unique<MarketsStore>(*g.rows.defaults, g.secrets, g.rows.time, g.rows.time);
        }
        ASSERT_EQ(g.markets->hasFinnhubKey(), key);
        g.markets->setKeyStatus(status);
        EXPECT_EQ(ExtraStripLayer::caption("markets", *g.store, *g.markets),
                  "MARKET QUOTES · Powered by CoinGecko · ECB" + suffix)
            << int(status.kind);
    }
}

// The key is read from the keyring in the background: a key that arrives
// after the strip is up still gets its state into the caption.
TEST_F(ExtraStripTest, MarketCaptionFollowsAKeyReadThatAnswersLate)
{
    StripFixture g;
    ASSERT_TRUE(g.secrets.write("tidewire.client", "finnhub_api_key", "k123").has_value());
    g.secrets.holdReads = true;
    g.markets = std::make_unique<MarketsStore>(*g.rows.defaults, g.secrets, g.rows.time, g.rows.time);
    ExtraStripLayer strip(*g.store, StripConfig{"markets", 1.0, 2, "Black"}, true,
                          ExtraStripLayer::Services{*g.markets, g.rows.context(), g.clock, &g.random});
    strip.resize(600, 72);
    strip.show();
    EXPECT_EQ(strip.shownCaption(), "MARKET QUOTES · Powered by CoinGecko · ECB");

    g.secrets.release();
    ASSERT_TRUE(waitUntil([&] { return g.markets->hasFinnhubKey(); }));
    EXPECT_EQ(strip.shownCaption(), "MARKET QUOTES · Powered by CoinGecko · ECB · KEY CHECKING");
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
    f.store->setNowPlaying("Artist", "Song", std::nullopt);
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
    auto mix = [&](const QString& m, double speed = 1.0) { return [&l, m, speed] { l->setConfig({m, speed, 2, "Black"}); }; };
    const std::tuple<const char*, std::function<void()>, int> steps[] = {
        {"shown with another mix", [&] { l->show(); }, 0}, {"mix becomes markets", mix("markets"), 1},
        {"same mix, other speed", mix("markets", 5.0), 1}, {"hidden", [&] { l->hide(); }, 0},
        {"hidden twice", [&] { l->hide(); }, 0}, {"mix away while hidden", mix("music"), 0},
        {"mix back while hidden", mix("markets"), 0}, {"shown", [&] { l->show(); }, 1},
        {"mix away", mix("latest"), 0}, {"mix back", mix("markets"), 1},
        {"destroyed while counted", [&] { l.reset(); }, 0},
    };
    for (const auto& [what, run, active] : steps) {
        run();
        EXPECT_EQ(f.markets->activeStrips(), active) << what;
        EXPECT_EQ(f.markets->isPolling(), active > 0) << what;
    }
}

TEST_F(ExtraStripTest, PaintsItsThemeFadeAndCaptionAndMovesItsRowUnderThem)
{
    // The row's own clock, moved by hand: the store's keeps still.
    struct : MarqueeClock {
        double seconds() const override { return now; }
        double now = 0;
    } clock;
    auto l = layer("latest", &clock, 1000, "Blue", false);
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
    const int moved = m->scrolledFrames(), repainted = m->repaintedFrames();
    for (int frame = 0; frame < 3; ++frame) {
        clock.now += 0.034;  // two pixels at 60 points a second
        ASSERT_TRUE(m->frameTick());
    }
    EXPECT_EQ(m->scrolledFrames() - moved, 3);
    EXPECT_EQ(m->repaintedFrames(), repainted);
    // The fade sits at the edge the row runs out from.
    EXPECT_EQ(l->grab().toImage().pixel(1, 40), themeBackgroundColor(u"Blue").rgb());
}

} // namespace

namespace menu {

// One line per entry: "-" for a separator, "text" with " [x]"/" [ ]" for a
// checkable entry and " (off)" when disabled, "text >" for a submenu.
QStringList entries(const QMenu& menu, bool onlyChecked = false)
{
    QStringList out;
    for (QAction* a : menu.actions()) {
        if (onlyChecked) {
            if (a->isChecked())
                out << a->text();
            continue;
        }
        out << (a->isSeparator() ? QStringLiteral("-")
                                 : a->text() + (a->menu() ? " >" : "") +
                                       (a->isCheckable() ? (a->isChecked() ? " [x]" : " [ ]") : "") +
                                       (a->isEnabled() ? "" : " (off)"));
    }
    return out;
}

QAction* find(const QMenu& menu, const QString& path)
{
    const QMenu* current = &menu;
    QAction* found = nullptr;
    for (const QString& part : path.split(u'/')) {
        found = nullptr;
        for (QAction* a : current ? current->actions() : QList<QAction*>{})
            if (a->text() == part)
                found = a;
        if (!found)
            return nullptr;
        current = found->menu();
    }
    return found;
}

class StripMenuTest : public ::testing::Test {
protected:
    StripFixture f;
    std::unique_ptr<TickerView> view = f.makeView();

    std::unique_ptr<QMenu> menu() { return view->contextMenu(); }
    QStringList sub(const QString& path, bool onlyChecked = false)
    {
        auto m = menu();
        QAction* a = find(*m, path);
        return a && a->menu() ? entries(*a->menu(), onlyChecked) : QStringList{"<no submenu>"};
    }
    void trigger(const QString& path)
    {
        auto m = menu();
        QAction* a = find(*m, path);
        ASSERT_TRUE(a) << path.toStdString();
        a->trigger();
    }
};

TEST_F(StripMenuTest, EntriesInOrderWithTheirTexts)
{
    EXPECT_EQ(entries(*menu()),
              (QStringList{"Mini Mode [ ]", "Second Ticker >", "Full Screen", "-", "Search…", "Refresh Now", "-",
                           "Position >", "Size >", "Speed >", "Feed Mix >", "Background >", "Always on Top [x]",
                           "Tune to Music [x]", "Blend Music with My Feeds [ ]", "Listen to the Room [ ]", "-",
                           "Settings...", "Quit Tidewire"}));
    EXPECT_EQ(sub("Position"), (QStringList{"Top [x]", "Bottom [ ]"}));
    EXPECT_EQ(sub("Size"), (QStringList{"Compact [ ]", "Standard [x]", "Large [ ]"}));
    EXPECT_EQ(sub("Speed"),
              (QStringList{"Slow (0.5×) [ ]", "Normal (1×) [x]", "Quick (2×) [ ]", "Fast (5×) [ ]", "Turbo (10×) [ ]"}));
    EXPECT_EQ(sub("Feed Mix"), (QStringList{"Shuffle [x]", "Latest [ ]"}));
    EXPECT_EQ(sub("Background"), (QStringList{"Black [x]", "Red [ ]", "Blue [ ]", "Green [ ]", "Purple [ ]", "Teal [ ]"}));
    EXPECT_EQ(sub("Second Ticker"), QStringList{"Second Ticker [ ]"});
}

TEST_F(StripMenuTest, CheckmarksFollowTheStoredValues)
{
    struct Case { QString key; QJsonValue value; QString submenu; QStringList checkedEntries; };
    const QList<Case> cases = {
        {TickerView::positionKey, "bottom", "Position", {"Bottom"}}, {TickerView::positionKey, "left", "Position", {}},
        {TickerView::sizeKey, 4, "Size", {"Large"}}, {TickerView::sizeKey, 3, "Size", {}},
        {TickerView::sizeKey, 0, "Size", {}}, {TickerView::scrollSpeedKey, 2.0, "Speed", {"Quick (2×)"}},
        {TickerView::scrollSpeedKey, 3.0, "Speed", {}}, {TickerView::feedMixKey, "latest", "Feed Mix", {"Latest"}},
        {TickerView::feedMixKey, "music", "Feed Mix", {}}, {TickerView::feedMixKey, "cat:tech", "Feed Mix", {}},
        {TickerView::themeKey, "Teal", "Background", {"Teal"}}, {TickerView::themeKey, "teal", "Background", {}},
    };
    for (const Case& c : cases) {
        f.defaults().set(c.key, c.value);
        EXPECT_EQ(sub(c.submenu, true), c.checkedEntries) << c.key.toStdString();
    }
    // Without tuning, the music switches are greyed out but keep their checks.
    f.defaults().set(TickerView::blendKey, true);
    f.defaults().set(TickerView::tuneToMusicKey, false);
    EXPECT_EQ(entries(*menu()).mid(13, 3), (QStringList{"Tune to Music [ ]", "Blend Music with My Feeds [x] (off)",
                                                       "Listen to the Room [ ] (off)"}));
}

TEST_F(StripMenuTest, PickersTogglesAndServiceEntriesDoTheirWork)
{
    struct Case { QString path; QString key; QJsonValue value; };
    const QList<Case> cases = {
        {"Position/Bottom", TickerView::positionKey, "bottom"}, {"Position/Top", TickerView::positionKey, "top"},
        {"Size/Large", TickerView::sizeKey, 4}, {"Size/Compact", TickerView::sizeKey, 1},
        {"Speed/Turbo (10×)", TickerView::scrollSpeedKey, 10.0}, {"Speed/Slow (0.5×)", TickerView::scrollSpeedKey, 0.5},
        {"Feed Mix/Latest", TickerView::feedMixKey, "latest"}, {"Background/Purple", TickerView::themeKey, "Purple"},
        {"Always on Top", TickerView::alwaysOnTopKey, false}, {"Always on Top", TickerView::alwaysOnTopKey, true},
        {"Tune to Music", TickerView::tuneToMusicKey, false}, {"Tune to Music", TickerView::tuneToMusicKey, true},
        {"Blend Music with My Feeds", TickerView::blendKey, true}, {"Listen to the Room", TickerView::listenKey, true},
        {"Second Ticker/Second Ticker", TickerView::secondTickerKey, true},
        {"Second Ticker/Second Ticker", TickerView::secondTickerKey, false},
    };
    for (const Case& c : cases) {
        trigger(c.path);
        EXPECT_EQ(f.defaults().value(c.key), c.value) << c.path.toStdString();
    }
    const std::pair<QString, QString> services[] = {
        {"Full Screen", "showFullScreen"}, {"Search…", "showSearch"}, {"Settings...", "showSettings:<none>"},
        {"Quit Tidewire", "quit"}};
    for (const auto& [path, call] : services) {
        f.services.calls.clear();
        trigger(path);
        EXPECT_EQ(f.services.calls, QStringList{call}) << path.toStdString();
    }
    view->show();
    trigger("Mini Mode");
    EXPECT_TRUE(view->isMiniMode());
    EXPECT_EQ(entries(*menu()).first(), "Mini Mode [x]");
    trigger("Mini Mode");
    EXPECT_FALSE(view->isMiniMode());
}

// Where the room cannot be listened to, the menu can only switch listening
// off: off, the entry is greyed out; on (from an earlier run), it can be
// unchecked, and is then greyed out.
TEST_F(StripMenuTest, ListenToTheRoomOnlyTurnsOffWhereRecognitionIsUnavailable)
{
    const QString listen = QStringLiteral("Listen to the Room");
    auto entry = [&] { return entries(*menu()).at(15); };
    struct Step { bool available; bool tune; QJsonValue stored; QString shown; bool storedAfterTrigger; };
    const QList<Step> steps = {
        {false, true, QJsonValue(), "Listen to the Room [ ] (off)", false},
        {false, true, false, "Listen to the Room [ ] (off)", false},
        {false, true, true, "Listen to the Room [x]", false},
        {false, false, true, "Listen to the Room [x] (off)", true},
        {true, true, false, "Listen to the Room [ ]", true},
        {true, true, true, "Listen to the Room [x]", false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.shown.toStdString() + (s.available ? " available" : " unavailable"));
        f.services.roomListenerAvailable = s.available;
        f.defaults().set(TickerView::tuneToMusicKey, s.tune);
        if (s.stored.isUndefined())
            f.defaults().remove(TickerView::listenKey);
        else
            f.defaults().set(TickerView::listenKey, s.stored);
        EXPECT_EQ(entry(), s.shown);
        trigger(listen);
        EXPECT_EQ(Settings::roomListenEnabled.read(f.defaults()), s.storedAfterTrigger);
    }
    // Switched off from the menu, it cannot be switched on again.
    f.services.roomListenerAvailable = false;
    f.defaults().set(TickerView::listenKey, false);
    EXPECT_EQ(entry(), "Listen to the Room [ ] (off)");
}

TEST_F(StripMenuTest, SecondTickerSubmenu)
{
    f.defaults().set(TickerView::secondTickerKey, true);
    EXPECT_EQ(sub("Second Ticker/Mix"), (QStringList{"Latest [x]", "Shuffle [ ]", "Music Lane [ ]", "Market Quotes [ ]"}))
        << "without items only the fixed options";
    f.load({categorised("a", "A", "tech", "Arts & Tech"), categorised("b", "B", "sci")});
    f.defaults().set(StripConfig::legacyMixesKey, "music");
    EXPECT_EQ(sub("Second Ticker"), (QStringList{"Second Ticker [x]", "-", "Mix >", "Speed >", "Size >", "Background >"}));
    auto m = menu();
    for (QAction* a : find(*m, "Second Ticker")->menu()->actions())
        EXPECT_TRUE(a->icon().isNull()) << a->text().toStdString();
    EXPECT_EQ(sub("Second Ticker/Mix"), (QStringList{"Latest [ ]", "Shuffle [ ]", "Music Lane [x]", "Market Quotes [ ]",
                                                     "Arts && Tech [ ]", "Sci [ ]"}))
        << "the loader's value from the older settings";

    trigger("Second Ticker/Mix/Market Quotes");
    EXPECT_EQ(f.defaults().stringValue(StripConfig::stripsKey),
              R"([{"background":"Black","mix":"markets","size":2,"speed":1}])");
    for (const char* path : {"Second Ticker/Mix/Arts && Tech", "Second Ticker/Speed/Fast (5×)",
                             "Second Ticker/Size/Compact", "Second Ticker/Background/Red"})
        trigger(path);
    EXPECT_EQ(StripConfig::load(f.defaults()).first(), (StripConfig{"cat:tech", 5.0, 1, "Red"}));
    EXPECT_EQ(sub("Second Ticker/Size", true), QStringList{"Compact"});
    // Switching it off hides the submenus but keeps the stored strip.
    trigger("Second Ticker/Second Ticker");
    EXPECT_EQ(sub("Second Ticker"), QStringList{"Second Ticker [ ]"});
    EXPECT_EQ(StripConfig::load(f.defaults()).first(), (StripConfig{"cat:tech", 5.0, 1, "Red"}));
}

TEST(StripMenuUpdateTest, UpdateEntryOffersOnlyWebAddressesAndRefreshNowRefreshes)
{
    for (const QString url : {"https://get.example/tw.AppImage", "http://get.example/tw", "ftp://get.example/tw"}) {
        SCOPED_TRACE(url.toStdString());
        const bool offered = !url.startsWith("ftp");
        LoopbackServer server;
        QJsonObject manifest{{"topics", QJsonArray{}},
                             {"feed_index", QJsonArray{}},
                             {"client_release", QJsonObject{{"version", "9.1 & more"}, {"download_url", url}}}};
        server.route("/v1_manifest", LoopbackServer::Response::json(QJsonDocument(manifest).toJson()));
        StripFixture f(server.baseUrl());
        auto view = f.makeView();
        f.store->start();
        ASSERT_TRUE(runUntil([&] {
            return server.requestCount("/v1_manifest") > 0 && f.store->phase().kind != FeedStore::AppPhase::Kind::Booting;
        }));
        runUntil([&] { return f.store->availableUpdate().has_value(); }, offered ? 5000 : 200);
        auto m = view->contextMenu();
        const QStringList lines = entries(*m);
        if (!offered) {
            EXPECT_EQ(lines.mid(16), (QStringList{"-", "Settings...", "Quit Tidewire"}));
            continue;
        }
        EXPECT_EQ(lines.mid(16), (QStringList{"-", "Update to 9.1 && more…", "Settings...", "Quit Tidewire"}));
        const int manifests = server.requestCount("/v1_manifest");
        find(*m, "Refresh Now")->trigger();
        EXPECT_TRUE(runUntil([&] { return server.requestCount("/v1_manifest") > manifests; })) << "refreshes";
        find(*m, "Update to 9.1 && more…")->trigger();
        EXPECT_EQ(f.services.calls.filter("update:"), QStringList{"update:9.1 & more " + url});
        EXPECT_EQ(view->contextMenu()->actions().size(), 20) << "the entry stays";
    }
}

} // namespace

namespace config {

TEST(StripConfigTest, LoadTakesTheFirstStoredStripOrFallsBackToOlderSettings)
{
    const StripConfig legacyDefault{QStringLiteral("latest"), 1.0, 2, QStringLiteral("Black")};
    struct Case { const char* name; QJsonObject settings; StripConfig expected; };
    const QString key = QStringLiteral("stackedStripsJSON");
    const QList<Case> cases = {
        {"nothing stored", {}, legacyDefault},
        {"two strips: the first only",
         {{key, R"([{"mix":"music","speed":2,"size":4,"background":"Teal"},{"mix":"latest","speed":1,"size":1,"background":"Red"}])"}},
         {"music", 2.0, 4, "Teal"}},
        {"empty list falls back", {{key, "[]"}}, legacyDefault}, {"empty text falls back", {{key, ""}}, legacyDefault},
        {"not JSON falls back", {{key, "[{"}}, legacyDefault},
        {"missing key fails the list", {{key, R"([{"mix":"music","speed":2,"size":4}])"}}, legacyDefault},
        {"mistyped key fails the list", {{key, R"([{"mix":"music","speed":"2","size":4,"background":"Teal"}])"}},
         legacyDefault},
        {"a bad second element is left out",
         {{key, R"([{"mix":"music","speed":2,"size":4,"background":"Teal"},{"mix":1}])"}}, {"music", 2.0, 4, "Teal"}},
        {"a bad first element is left out",
         {{key, R"([7,{"mix":"music","speed":2,"size":4,"background":"Teal"}])"}}, {"music", 2.0, 4, "Teal"}},
        {"fractional size fails", {{key, R"([{"mix":"m","speed":2,"size":2.5,"background":"T"}])"}}, legacyDefault},
        {"stored as an array value, not text", {{key, QJsonArray{}}}, legacyDefault},
        {"older settings",
         {{"scrollSpeed", 0.5}, {"tickerSize", 4}, {"themeBackground", "Purple"}, {"extraStripMixes", "shuffle,music"}},
         {"shuffle", 0.5, 4, "Purple"}},
        {"size 0 means standard", {{"tickerSize", 0}}, legacyDefault},
        {"size of the wrong type", {{"tickerSize", "4"}}, legacyDefault},
        {"empty pieces dropped", {{"extraStripMixes", ",music,latest"}}, {"music", 1.0, 2, "Black"}},
        {"pieces are not trimmed", {{"extraStripMixes", " music"}}, {" music", 1.0, 2, "Black"}},
        {"only commas", {{"extraStripMixes", ",,"}}, legacyDefault},
        {"speed of the wrong type", {{"scrollSpeed", "fast"}}, legacyDefault},
    };
    for (const Case& c : cases) {
        auto d = Defaults::inMemory();
        for (auto it = c.settings.begin(); it != c.settings.end(); ++it)
            d->set(it.key(), it.value());
        EXPECT_EQ(StripConfig::load(*d), QList<StripConfig>{c.expected}) << c.name;
    }
}

TEST(StripConfigTest, SaveKeepsOnlyTheFirstStripAndRoundTrips)
{
    auto d = Defaults::inMemory();
    const StripConfig a{"cat:tech", 5.0, 1, "Green"};
    StripConfig::save({a, StripConfig{"music", 1.0, 4, "Red"}}, *d);
    EXPECT_EQ(QJsonDocument::fromJson(d->stringValue(StripConfig::stripsKey).toUtf8()).array().size(), 1);
    EXPECT_EQ(StripConfig::load(*d), QList<StripConfig>{a});
    StripConfig::save({}, *d);
    EXPECT_EQ(d->stringValue(StripConfig::stripsKey), "[]");
    EXPECT_EQ(StripConfig::load(*d).first().mix, "latest") << "\"[]\" reads as absent";
    // JSON cannot hold an infinite speed: nothing is written.
    StripConfig::save({a}, *d);
    StripConfig::save({StripConfig{"music", std::numeric_limits<double>::infinity(), 2, "Black"}}, *d);
    EXPECT_EQ(StripConfig::load(*d), QList<StripConfig>{a});
}

// Stored text that did not read whole is kept aside, once, before the first
// save replaces it; text that read whole is replaced without a copy.
TEST(StripConfigTest, StoredTextThatDidNotReadWholeIsKeptAsideBeforeASave)
{
    const StripConfig a{"cat:tech", 5.0, 1, "Green"};
    const QString good = R"([{"mix":"music","speed":2,"size":4,"background":"Teal"}])";
    const struct { const char* name; QJsonValue stored; bool keptAside; } cases[] = {
        {"a bad element", R"([{"mix":"music","speed":2,"size":4,"background":"Teal"},{"mix":1}])", true},
        {"not JSON", "[{", true},
        {"an array value, not text", QJsonArray{7}, true},
        {"a second strip, which is never used", R"([{"mix":"music","speed":2,"size":4,"background":"Teal"},)"
                                                R"({"mix":"latest","speed":1,"size":1,"background":"Red"}])", true},
        {"text longer than is read", "[" + QStringList(200, good.mid(1, good.size() - 2)).join(',') + "]", true},
        {"text as long as is read", good.left(1) + QString(StripConfig::kMaxStoredText - good.size(), u' ') + good.mid(1),
         false},
        {"whole", good, false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        auto d = Defaults::openFile(dir.filePath("defaults.json"));
        d->set(StripConfig::stripsKey, c.stored);
        StripConfig::save({a}, *d);
        StripConfig::save({StripConfig{"music", 1.0, 4, "Red"}}, *d);
        EXPECT_EQ(StripConfig::load(*d).first().background, "Red");
        const QStringList aside = QDir(dir.path()).entryList({StripConfig::stripsKey + ".unreadable-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), c.keptAside ? 1 : 0);
        if (c.keptAside) {
            QFile kept(dir.filePath(aside.first()));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(QJsonDocument::fromJson(kept.readAll()).object(), (QJsonObject{{StripConfig::stripsKey, c.stored}}));
        }
    }
}

// What the stored strips leave out is logged as every stored list's is: once
// for each stored text, however often the strips are read.
TEST(StripConfigTest, WhatIsLeftOutOfTheStoredStripsIsLoggedOnceForEachText)
{
    const QString strip = R"({"mix":"cat:logged","speed":2,"size":4,"background":"Teal"})";
    const struct { const char* name; QJsonValue stored; QStringList lines; } cases[] = {
        {"a record that does not read", "[7," + strip + "]",
         {"Stored stackedStripsJSON: record 1 of 2 cannot be read and is left out: "}},
        {"records past the one used", "[" + strip + "," + strip + "," + strip + "]",
         {"Stored stackedStripsJSON: left out: 2 after the first that reads, as one strip is used"}},
        {"not a list", "{\"logged\": 1}", {"Stored stackedStripsJSON: it is not a list; none of it can be read"}},
        {"not JSON", "[{\"logged\"", {"Stored stackedStripsJSON: it is not a list: "}},
        {"not a text", QJsonArray{QJsonObject{{"logged", true}}},
         {"Stored stackedStripsJSON: it is not a text; none of it can be read"}},
        {"too long", "[" + QStringList(100, strip).join(',') + "]",
         {QString("Stored stackedStripsJSON: its text is longer than %1 characters; none of it is read")
              .arg(StripConfig::kMaxStoredText)}},
        {"whole", "[" + strip + "]", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = Defaults::inMemory();
        d->set(StripConfig::stripsKey, c.stored);
        LogCapture log;
        for (int look = 0; look < 3; ++look)
            StripConfig::load(*d);
        QStringList lines;
        for (const LogCapture::Line& line : LogCapture::lines())
            if (line.message.contains(StripConfig::stripsKey))
                lines.append(line.message);
        ASSERT_EQ(lines.size(), c.lines.size()) << lines.join('\n').toStdString();
        for (qsizetype i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(lines.at(i).startsWith(c.lines.at(i))) << lines.at(i).toStdString();
    }
}

TEST(StripConfigTest, MigrationMovesOnlyAnUnsetSwitch)
{
    const QJsonValue unset = QJsonValue::Undefined;
    // {stored switch, older switch, switch afterwards}; undefined: not stored.
    const std::tuple<const char*, QJsonValue, QJsonValue, QJsonValue> cases[] = {
        {"legacy on, new unset", unset, true, true}, {"legacy off", unset, false, unset},
        {"legacy absent", unset, unset, unset}, {"new stored false wins", false, true, false},
        {"new stored of another type is still a value", "no", true, "no"},
        {"legacy of the wrong type", unset, "true", unset},
    };
    for (const auto& [name, enabled, legacy, expected] : cases) {
        auto d = Defaults::inMemory();
        if (!enabled.isUndefined())
            d->set(StripConfig::enabledKey, enabled);
        if (!legacy.isUndefined())
            d->set(StripConfig::legacyEnabledKey, legacy);
        StripConfig::migrateLegacySecondTicker(*d);
        EXPECT_EQ(d->contains(StripConfig::enabledKey) ? d->value(StripConfig::enabledKey) : unset, expected) << name;
        EXPECT_EQ(d->contains(StripConfig::legacyEnabledKey) ? d->value(StripConfig::legacyEnabledKey) : unset, legacy)
            << name << ": the older key stays";
    }
}

TEST(StripConfigTest, FieldBindingGoesThroughTheStoredText)
{
    auto d = Defaults::inMemory();
    d->set("extraStripMixes", "music");
    EXPECT_EQ(StripConfig::field(*d, 0, &StripConfig::mix, QStringLiteral("latest")), "music");
    EXPECT_EQ(StripConfig::field(*d, 1, &StripConfig::mix, QStringLiteral("fallback")), "fallback");
    EXPECT_EQ(StripConfig::field(*d, -1, &StripConfig::size, 9), 9);
    StripConfig::setField(*d, 1, &StripConfig::mix, QStringLiteral("markets"));
    EXPECT_FALSE(d->contains(StripConfig::stripsKey)) << "out of range: ignored";
    StripConfig::setField(*d, 0, &StripConfig::mix, QStringLiteral("markets"));
    EXPECT_EQ(StripConfig::load(*d), (QList<StripConfig>{{"markets", 1.0, 2, "Black"}}));
    StripConfig::setField(*d, 0, &StripConfig::size, 4);
    StripConfig::setField(*d, 0, &StripConfig::speed, 10.0);
    EXPECT_EQ(StripConfig::load(*d), (QList<StripConfig>{{"markets", 10.0, 4, "Black"}}));
    EXPECT_EQ(StripConfig::totalHeight(*d), 108) << "the window's height follows the stored size";
    d->remove(StripConfig::stripsKey);
    d->set("tickerSize", 1);
    EXPECT_EQ(StripConfig::totalHeight(*d), 48) << "or the older settings";
}

TEST(CategoryMixOptionsTest, OnePerSlugSortedByName)
{
    auto withCategory = [](std::optional<QString> slug, std::optional<QString> name) {
        FeedItem item = categorised("i", "t", QString(), std::move(name));
        item.source->category->slug = std::move(slug);
        return item;
    };
    const QList<FeedItem> items = {
        withCategory("Tech", "Technology"), withCategory("science", std::nullopt),
        withCategory("tech", "Tech & Gadgets"),  // a later item names the slug
        withCategory("", "Nothing"), withCategory(std::nullopt, "No slug"), withCategory("ai-policy", std::nullopt),
        withCategory("world news", std::nullopt), makeItem("bare", "t"),
    };
    EXPECT_EQ(categoryMixOptions(items), (QList<CategoryMixOption>{{"ai-policy", "Ai-policy"}, {"science", "Science"},
                                                                   {"tech", "Tech & Gadgets"},
                                                                   {"world news", "World News"}}));
}

TEST(PhraseToggleTest, TogglesTheTrimmedPhraseInEitherList)
{
    struct Case { const char* name; QStringList muted, followed; bool mute; QString phrase; QStringList mutedAfter, followedAfter; };
    const QList<Case> cases = {
        {"mute adds", {}, {}, true, "Rates", {"Rates"}, {}},
        {"mute takes it out of followed", {}, {"rates"}, true, "Rates", {"Rates"}, {}},
        {"unmute removes every case variant", {"Rates", "tech"}, {}, true, "RATES", {"tech"}, {}},
        {"padded keyword unmutes the stored phrase", {"rates"}, {}, true, "  rates ", {}, {}},
        {"padded keyword follows trimmed", {}, {}, false, " AI ", {}, {"AI"}},
        {"padded keyword unfollows", {}, {"ai", "x"}, false, "ai  ", {}, {"x"}},
        {"blank changes nothing", {"a"}, {"b"}, true, "   ", {"a"}, {"b"}},
    };
    for (const Case& c : cases) {
        auto d = Defaults::inMemory();
        FilterStore filters(*d);
        filters.setMuted(c.muted);
        filters.setFollowed(c.followed);
        c.mute ? PhraseToggle::toggleMuted(filters, c.phrase) : PhraseToggle::toggleFollowed(filters, c.phrase);
        EXPECT_EQ(filters.muted(), c.mutedAfter) << c.name;
        EXPECT_EQ(filters.followed(), c.followedAfter) << c.name;
        if (c.mutedAfter != c.muted || c.followedAfter != c.followed) {
            EXPECT_EQ(d->stringList(FilterStore::MutedKey), c.mutedAfter) << c.name << ": saved";
            EXPECT_EQ(d->stringList(FilterStore::FollowedKey), c.followedAfter) << c.name << ": saved";
        }
    }
}

} // namespace

namespace catalogue {

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
    EXPECT_EQ(orb->headerText(), f.store->orbs().first().topicLabel.toUpper());
    // The scroller runs the store's headlines, newest first under "latest".
    TickerAnimationLayer* layer = view->scrollerLayer();
    EXPECT_EQ(idsOf(layer->displayItems()), idsOf(f.store->tickerItems()));
    EXPECT_EQ(layer->marquee()->cellCount(), layer->displayItems().size());
    EXPECT_TRUE(layer->marquee()->isFrameTimerActive());
    const double phase = layer->marquee()->phase();
    f.rows.time.advance(100ms);
    EXPECT_DOUBLE_EQ(layer->marquee()->phase(), phase - 6) << "100 ms at 60 points per second";
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
    EXPECT_GT(inkIn(image, QRect(0, 0, view->brandBlock()->panelWidth(), 72), black), 200) << "gear, weather and orb";
    EXPECT_GT(inkIn(image, QRect(400, 0, 800, 72), black), 500) << "headlines";
    EXPECT_GT(inkIn(image, QRect(200, 72, 1000, 72), blue), 500) << "second strip";
    EXPECT_EQ(image.pixel(1599, 130), blue) << "the reversed strip's fade edge";

    // The music mix follows the lane and names it.
    StripConfig::setField(f.defaults(), 0, &StripConfig::mix, QStringLiteral("music"));
    ASSERT_EQ(view->extraStrip(), extra);
    EXPECT_EQ(extra->caption(), "MUSIC · IDLE");
    EXPECT_EQ(idsOf(extra->displayItems()), idsOf(f.store->items()));
    f.store->setNowPlaying("The Sample Band", "First Song", std::nullopt);
    ASSERT_TRUE(runUntil([&] { return !f.store->nowPlayingItems().isEmpty(); }, 10000))
        << "no lane items for the artist";
    EXPECT_EQ(extra->caption(), "MUSIC");
    EXPECT_EQ(idsOf(extra->displayItems()), idsOf(f.store->nowPlayingItems()));

    // The markets mix scrolls quotes; a quote has no menu of its own.
    StripConfig::setField(f.defaults(), 0, &StripConfig::mix, QStringLiteral("markets"));
    MarqueeTickerView* quotes = extra->marquee();
    ASSERT_TRUE(runUntil([&] { return quotes->cellCount() > 0; }, 10000)) << "no quotes from the sample server";
    EXPECT_EQ(quotes->itemKey(), MarqueeTickerView::contentKey({}, f.markets->stripQuotes()));
    const QPoint onQuote = quotes->cellRect(0, 0).center().toPoint();
    ASSERT_GE(quotes->cellAt(onQuote), 0);
    const QStringList texts = menuOpenedBy(quotes, onQuote);
    EXPECT_EQ(texts.value(0), "Mini Mode");
    EXPECT_EQ(texts.size(), 19) << "the whole strip menu";
}

} // namespace

} // namespace
