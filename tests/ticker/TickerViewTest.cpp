#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "api/Palette.h"
#include "ticker/ExtraStripLayer.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/SignalRotationOrb.h"
#include "ticker/StripChipsRow.h"
#include "ticker/TickerAnimationLayer.h"

#include "music/ListeningChip.h"
#include "music/NowPlayingChip.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QGraphicsOpacityEffect>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include <QTest>
#include <gtest/gtest.h>

namespace {

const QList<FeedItem> kItems = {
    categorised("a", "Alpha headline", "tech", "Technology"),
    categorised("b", "Beta headline", "science"),
};
const QList<Orb> kOrbs = {makeOrb("rates", "Interest Rates", QStringList{"fed"})};

// Draws the widget and its children on a clear image, without a window background.
QImage renderClear(QWidget& w)
{
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

TEST(StripViewTest, HeightsAndInsetsPerSize)
{
    struct Case {
        QJsonValue size;  // undefined: not stored
        int height;
        int inset;
    };
    const QList<Case> cases = {
        {QJsonValue::Undefined, 72, 290}, {1, 48, 190}, {2, 72, 290}, {4, 108, 360}, {3, 72, 290}, {0, 72, 290},
    };
    for (const Case& c : cases) {
        StripFixture f;
        if (!c.size.isUndefined())
            f.defaults().set(TickerView::sizeKey, c.size);
        auto view = f.makeView();
        view->show();
        EXPECT_EQ(view->height(), c.height) << c.size.toInt();
        EXPECT_EQ(view->totalHeight(), c.height) << c.size.toInt();
        EXPECT_EQ(view->scrollerLayer()->geometry(), QRect(c.inset, 0, 1400 - c.inset, c.height)) << c.size.toInt();
        EXPECT_EQ(view->brandBlock()->height(), c.height) << c.size.toInt();
        EXPECT_EQ(view->brandBlock()->geometry().topLeft(), QPoint(0, 0));
        EXPECT_FALSE(view->extraStrip());
    }
}

TEST(StripViewTest, SecondStripStacksUnderTheMainOneReversed)
{
    StripFixture f;
    f.load(kItems);
    f.defaults().set(TickerView::secondTickerKey, true);
    StripConfig::save({StripConfig{"cat:tech", 2.0, 4, "Red"}}, f.defaults());
    auto view = f.makeView();
    view->show();
    EXPECT_EQ(view->height(), 72 + 108);
    ExtraStripLayer* extra = view->extraStrip();
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->geometry(), QRect(0, 72, 1400, 108));
    EXPECT_TRUE(extra->isReversed());
    EXPECT_EQ(idsOf(extra->displayItems()), "a");

    // A stored change reaches the strip that is there.
    StripConfig::setField(f.defaults(), 0, &StripConfig::size, 1);
    EXPECT_EQ(view->extraStrip(), extra);
    EXPECT_EQ(view->height(), 72 + 48);
    EXPECT_EQ(extra->geometry().height(), 48);

    // Mini mode drops the stacked strip and its height.
    view->setMiniMode(true);
    EXPECT_FALSE(view->extraStrip());
    EXPECT_EQ(view->height(), 72);
    EXPECT_TRUE(f.defaults().boolValue(TickerView::miniModeTransientKey, false));
    view->setMiniMode(false);
    ASSERT_TRUE(view->extraStrip());
    EXPECT_EQ(view->height(), 72 + 48);

    f.defaults().set(TickerView::secondTickerKey, false);
    EXPECT_FALSE(view->extraStrip());
    EXPECT_EQ(view->height(), 72);
}

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

    // Each older setting it is built from takes effect at once; a stored
    // list then stands on its own.
    const struct {
        const char* what;
        QString key;
        QJsonValue value;
        StripConfig expected;
        int height;
    } steps[] = {
        {"speed", TickerView::scrollSpeedKey, 5.0, {"shuffle", 5.0, 1, "Black"}, 48 + 48},
        {"background", TickerView::themeKey, "Teal", {"shuffle", 5.0, 1, "Teal"}, 48 + 48},
        {"size", TickerView::sizeKey, 4, {"shuffle", 5.0, 4, "Teal"}, 108 + 108},
        {"mixes", StripConfig::legacyMixesKey, "music,latest", {"music", 5.0, 4, "Teal"}, 108 + 108},
        {"a stored list", StripConfig::stripsKey, R"([{"mix":"latest","speed":2,"size":1,"background":"Red"}])",
         {"latest", 2.0, 1, "Red"}, 108 + 48},
        {"speed under a stored list", TickerView::scrollSpeedKey, 0.5, {"latest", 2.0, 1, "Red"}, 108 + 48},
        {"background under a stored list", TickerView::themeKey, "Blue", {"latest", 2.0, 1, "Red"}, 108 + 48},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        f.defaults().set(step.key, step.value);
        ASSERT_TRUE(view->extraStrip());
        EXPECT_EQ(view->extraStrip()->config(), step.expected);
        EXPECT_EQ(view->extraStrip()->marquee()->speed(), step.expected.speed);
        EXPECT_EQ(view->height(), step.height);
    }
}

TEST(StripViewTest, PlacementSettingsPlaceTheWindowAgain)
{
    StripFixture f;
    auto view = f.makeView();
    view->show();
    f.services.calls.clear();
    struct Case {
        QString key;
        QJsonValue value;
        bool places;
    };
    const QList<Case> cases = {
        {TickerView::positionKey, "bottom", true},
        {TickerView::sizeKey, 4, true},
        {TickerView::alwaysOnTopKey, false, true},
        {TickerView::secondTickerKey, true, true},
        {TickerView::stripsKey, R"([{"mix":"music","speed":1,"size":1,"background":"Red"}])", true},
        {TickerView::opacityKey, 0.5, false},
        {TickerView::scrollSpeedKey, 2.0, false},
        {TickerView::feedMixKey, "latest", false},
        {TickerView::themeKey, "Blue", false},
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

TEST(StripViewTest, MiniModeWritesTheMirrorBeforePlacingTheWindow)
{
    StripFixture f;
    auto view = f.makeView();
    QList<bool> mirrorAtReposition;
    f.services.onCall = [&](const QString& call) {
        if (call == "reposition")
            mirrorAtReposition.append(f.defaults().boolValue(TickerView::miniModeTransientKey, false));
    };
    view->show();
    view->setMiniMode(true);
    view->setMiniMode(true);  // no change: nothing happens
    view->setMiniMode(false);
    EXPECT_EQ(mirrorAtReposition, (QList<bool>{true, false}));

    view->setMiniMode(true);
    EXPECT_FALSE(view->scrollerLayer()->isVisible());
    EXPECT_FALSE(view->chipsRow()->isVisible());
    EXPECT_TRUE(view->brandBlock()->isVisible());
    EXPECT_TRUE(view->brandBlock()->isMiniMode());
    EXPECT_DOUBLE_EQ(view->backgroundOpacity(), 0.0);

    // The brand block's own button leaves mini mode.
    view->brandBlock()->miniModeButton()->click();
    EXPECT_FALSE(view->isMiniMode());
    EXPECT_TRUE(view->scrollerLayer()->isVisible());
}

TEST(StripViewTest, FirstShowResetsTheMirrorAndStartsTheListenersOnce)
{
    StripFixture f;
    f.defaults().set(TickerView::miniModeTransientKey, true);
    auto view = f.makeView();
    EXPECT_TRUE(f.services.calls.isEmpty()) << "nothing before it shows";
    QList<bool> mirrorAtStart;
    f.services.onCall = [&](const QString&) {
        mirrorAtStart.append(f.defaults().boolValue(TickerView::miniModeTransientKey, true));
    };
    view->show();
    EXPECT_EQ(f.services.calls, (QStringList{"startNowPlaying", "startRoomListener"}));
    EXPECT_EQ(mirrorAtStart, (QList<bool>{false, false}));
    view->hide();
    f.defaults().set(TickerView::miniModeTransientKey, true);
    view->show();
    EXPECT_EQ(f.services.calls.size(), 2);
    EXPECT_FALSE(f.defaults().boolValue(TickerView::miniModeTransientKey, true)) << "reset at every appearance";

    // Shown again while still in mini mode: the mirror matches the strip, so
    // the window is not sized for a second strip that is not drawn.
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
    EXPECT_TRUE(f.store->focusedItems().isEmpty());
    EXPECT_EQ(shown(), "playing:Band/Tune");

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
    EXPECT_DOUBLE_EQ(view->scrollerOpacity(), 1.0);

    // The chips sit at the trailing end, 14 px in and 4 px down.
    f.store->setNowPlaying("Band", "Tune", std::nullopt);
    EXPECT_EQ(chips->geometry().right() + 1, view->width() - 14);
    EXPECT_EQ(chips->geometry().top(), 4);
}

TEST(StripViewTest, FocusChipCloseLeavesTheFocus)
{
    StripFixture f;
    f.load(kItems, kOrbs);
    auto view = f.makeView();
    view->show();
    f.store->focusTopic("rates");
    FocusChip* chip = view->chipsRow()->focusChip();
    ASSERT_TRUE(chip);
    QTest::mouseClick(chip, Qt::LeftButton, {}, chip->closeButtonRect().center().toPoint());
    EXPECT_FALSE(f.store->focusedTopicID());
    EXPECT_FALSE(view->chipsRow()->focusChip());
}

TEST(StripViewTest, OpacityAppliesToTheBackgroundOnly)
{
    struct Case {
        double opacity;
        QString theme;
        int alpha;  // of the background between the brand block and the chips
    };
    const QList<Case> cases = {
        {1.0, "Green", 255},
        {0.0, "Green", 0},
        {0.5, "Green", 128},
        {1.0, "Nonsense", 255},  // an unknown theme is black
    };
    for (const Case& c : cases) {
        StripFixture f;
        f.defaults().set(TickerView::opacityKey, c.opacity);
        f.defaults().set(TickerView::themeKey, c.theme);
        auto view = f.makeView();
        view->show();
        const QImage image = renderClear(*view);
        // An empty stretch of the strip, right of the scroller's fade.
        const QColor background = image.pixelColor(900, 60);
        EXPECT_NEAR(background.alpha(), c.alpha, 2) << c.opacity;
        if (c.alpha > 0) {
            const QColor theme = themeBackgroundColor(c.theme);
            EXPECT_EQ(background.rgb(), theme.rgb()) << c.theme.toStdString();
        }
        // The brand block's panel stays fully drawn.
        EXPECT_EQ(image.pixelColor(3, 60).alpha(), 255) << c.opacity;
    }
}

} // namespace

namespace {

TEST(StripViewTest, MiniModeLimitsInputToTheBrandBlock)
{
    StripFixture f;
    f.load(kItems, kOrbs);
    auto view = f.makeView();
    view->show();
    f.services.calls.clear();
    view->setMiniMode(true);
    const int panel = view->brandBlock()->panelWidth();
    EXPECT_EQ(f.services.calls,
              (QStringList{"reposition", QStringLiteral("inputRegion:0,0 %1x72").arg(panel)}));
    view->setMiniMode(false);
    EXPECT_EQ(f.services.calls.mid(2), (QStringList{"reposition", "inputRegion:none"}));
}

TEST(StripViewTest, BrandBlockFollowsTheOrbsArrival)
{
    StripFixture f;
    auto view = f.makeView();
    view->show();
    const int without = view->brandBlock()->width();
    f.load(kItems, kOrbs);
    FakeTime::settle();
    const int with = view->brandBlock()->width();
    EXPECT_GE(with, without + 28 + 10 + 190) << "the orb and its text column";
    EXPECT_EQ(with, view->brandBlock()->sizeHint().width());
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
    const struct {
        const char* what;
        QWidget* target;
        QPoint pos;
        QStringList opens;  // the first entries of the menu that shows
    } cases[] = {
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
        if (c.opens.first() == "Mini Mode") {
            EXPECT_EQ(texts.size(), 19) << "the whole strip menu";
        }
    }
}

} // namespace

namespace {

// Black, or the theme's colour, with the strip's opacity as its alpha.
QColor stripColour(const QString& theme, double alpha)
{
    QColor colour = themeBackgroundColor(theme);
    colour.setAlphaF(float(alpha));
    return colour;
}

TEST(StripViewTest, ScrollerPaintsTheStripBackgroundAndIsOpaqueExactlyWhenItIs)
{
    ASSERT_NE(themeBackgroundColor(u"Teal"), QColor(Qt::black));
    ASSERT_NE(themeBackgroundColor(u"Blue"), QColor(Qt::black));
    struct Case {
        const char* what;
        QJsonValue theme;    // undefined: not stored
        QJsonValue opacity;  // undefined: not stored
        bool mini;
        QColor expected;
    };
    const QList<Case> cases = {
        {"nothing stored", QJsonValue::Undefined, QJsonValue::Undefined, false, stripColour("Black", 1.0)},
        {"opaque theme", "Teal", 1.0, false, stripColour("Teal", 1.0)},
        {"half opacity", "Teal", 0.5, false, stripColour("Teal", 0.5)},
        {"clear", "Blue", 0.0, false, stripColour("Blue", 0.0)},
        {"above one is opaque", "Blue", 1.7, false, stripColour("Blue", 1.0)},
        {"below zero is clear", "Blue", -0.3, false, stripColour("Blue", 0.0)},
        {"an unknown theme is black", "Nonsense", 1.0, false, stripColour("Black", 1.0)},
        {"mini mode", "Teal", 1.0, true, stripColour("Teal", 0.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StripFixture f;
        if (!c.theme.isUndefined())
            f.defaults().set(TickerView::themeKey, c.theme);
        if (!c.opacity.isUndefined())
            f.defaults().set(TickerView::opacityKey, c.opacity);
        auto view = f.makeView();
        view->show();
        if (c.mini)
            view->setMiniMode(true);
        MarqueeTickerView* marquee = view->scrollerLayer()->marquee();
        EXPECT_EQ(marquee->background().rgba(), c.expected.rgba());
        EXPECT_EQ(marquee->testAttribute(Qt::WA_OpaquePaintEvent), c.expected.alpha() == 255);
    }
}

TEST(StripViewTest, ScrollerBackgroundFollowsSettingsAndMiniModeAtRuntime)
{
    StripFixture f;
    auto view = f.makeView();
    view->show();
    MarqueeTickerView* marquee = view->scrollerLayer()->marquee();
    struct Step {
        const char* what;
        std::function<void()> run;
        QColor expected;
    };
    const QList<Step> steps = {
        {"at first", [] {}, stripColour("Black", 1.0)},
        {"theme", [&] { f.defaults().set(TickerView::themeKey, "Blue"); }, stripColour("Blue", 1.0)},
        {"opacity", [&] { f.defaults().set(TickerView::opacityKey, 0.5); }, stripColour("Blue", 0.5)},
        {"mini mode", [&] { view->setMiniMode(true); }, stripColour("Blue", 0.0)},
        {"opaque again while mini", [&] { f.defaults().set(TickerView::opacityKey, 1.0); }, stripColour("Blue", 0.0)},
        {"theme while mini", [&] { f.defaults().set(TickerView::themeKey, "Teal"); }, stripColour("Teal", 0.0)},
        {"mini mode left", [&] { view->setMiniMode(false); }, stripColour("Teal", 1.0)},
        {"through the block's own button",
         [&] {
             view->brandBlock()->miniModeButton()->click();
             view->brandBlock()->miniModeButton()->click();
         },
         stripColour("Teal", 1.0)},
        {"a new size keeps it", [&] { f.defaults().set(TickerView::sizeKey, 4); }, stripColour("Teal", 1.0)},
        {"clear", [&] { f.defaults().set(TickerView::opacityKey, 0.0); }, stripColour("Teal", 0.0)},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.run();
        EXPECT_EQ(marquee->background().rgba(), s.expected.rgba());
        EXPECT_EQ(marquee->testAttribute(Qt::WA_OpaquePaintEvent), s.expected.alpha() == 255);
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
    QPoint pointer(-5000, -5000);
    marquee->setPointerSource([&pointer] { return pointer; });
    // The scroller gets an enter or a leave event with the pointer at `local`.
    auto enter = [&](QPoint local) {
        pointer = marquee->mapToGlobal(local);
        const QPointF at(local);
        QEnterEvent e(at, at, QPointF(pointer));
        QApplication::sendEvent(marquee, &e);
    };
    auto leaveTo = [&](QPoint local) {
        pointer = marquee->mapToGlobal(local);
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(marquee, &e);
    };

    SignalRotationOrb* const orb = view->brandBlock()->orb();
    ASSERT_TRUE(orb);
    ASSERT_TRUE(orb->pulseAnimation()) << "the orb breathes";
    orb->tick();
    const QPointer<QWidget> leftByTheTick = orb->leavingColumn();
    struct Step {
        const char* what;
        std::function<void()> run;
        bool hovering;
        int size;
        double dot;  // the orb's box at that size
        bool text;
    };
    const QList<Step> steps = {
        {"at first", [] {}, false, 2, 28, true},
        {"the pointer rests on the row", [&] { enter({300, 30}); }, true, 2, 28, true},
        {"a new size while the pointer rests", [&] { f.defaults().set(TickerView::sizeKey, 4); }, true, 4, 40, true},
        {"the pointer leaves below", [&] { leaveTo({300, marquee->height() + 20}); }, false, 4, 40, true},
        {"a new size while not hovering", [&] { f.defaults().set(TickerView::sizeKey, 1); }, false, 1, 20, false},
        {"mini mode", [&] { view->setMiniMode(true); }, false, 1, 20, false},
        {"back to standard", [&] { f.defaults().set(TickerView::sizeKey, 2); }, false, 2, 28, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const int before = orb->pulseAnimation()->currentTime();
        s.run();
        FakeTime::settle();
        EXPECT_EQ(marquee->isHovering(), s.hovering);
        ASSERT_EQ(view->brandBlock()->orb(), orb) << "the orb is kept";
        EXPECT_EQ(orb->sizeCode(), s.size);
        EXPECT_EQ(orb->dotBox().width(), s.dot);
        EXPECT_EQ(orb->textColumn() != nullptr, s.text);
        EXPECT_TRUE(!orb->leavingColumn() || orb->leavingColumn() == leftByTheTick) << "the same topic does not slide";
        EXPECT_EQ(view->brandBlock()->width(), view->brandBlock()->sizeHint().width());
        EXPECT_EQ(orb->orbIndex(), 1) << "the rotation stays where it was";
        EXPECT_EQ(orb->currentOrb()->id, "rates");
        EXPECT_TRUE(orb->isPulseAnimating()) << "the pulse is never set back";
        EXPECT_GE(orb->pulseAnimation()->currentTime(), before) << "and never started over";
    }
}

} // namespace
