#include "ManualAnimationDriver.h"
#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "api/Color.h"
#include "api/Palette.h"
#include "music/NowPlayingArtBlock.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/OrbPhraseLabel.h"
#include "ticker/SignalRotationOrb.h"
#include "ticker/WeatherSegment.h"

#include <QAction>
#include <QEnterEvent>
#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <QVariantAnimation>
#include <gtest/gtest.h>
#include <set>

using namespace std::chrono_literals;

namespace {

namespace brand {

const QList<Orb> kOrbs = {
    makeOrb("rates", "Interest Rates", QStringList{"fed", "  Mortgage ", "cpi & wages", "bonds", "yield"},
            QList<std::optional<QString>>{QStringLiteral("https://news.example.org/fed"), QStringLiteral("ftp://x/y"),
                                          std::nullopt}),
    makeOrb("space", "Space", QStringList{}),
    makeOrb("ai", "AI", std::nullopt),
};

class OrbTest : public ::testing::Test {
protected:
    StripFixture f;

    std::unique_ptr<SignalRotationOrb> orb(int size = 2)
    {
        auto o = std::make_unique<SignalRotationOrb>(*f.store, size,
                                                     SignalRotationOrb::Services{f.filters, f.rows.opener, f.rows.time});
        o->resize(o->sizeHint());
        o->move(400, 400);  // away from the pointer, which rests at the origin
        o->show();
        return o;
    }
    void tick() { f.rows.time.advance(10s); }
};

TEST_F(OrbTest, RotatesEveryTenSecondsUnlessHoveredOrFocused)
{
    f.load({}, {});
    auto o = orb();
    EXPECT_FALSE(o->currentOrb());
    EXPECT_EQ(o->sizeHint(), QSize(0, 0));
    tick();
    EXPECT_EQ(o->dotHelp(), "") << "without orbs it shows nothing and ticks harmlessly";
    auto send = [&](QEvent&& e) { QCoreApplication::sendEvent(o.get(), &e); };
    const std::tuple<const char*, std::function<void()>, QString> steps[] = {
        {"orbs arriving later show at once", [&] { f.load({}, kOrbs); }, "rates"},
        {"9.9 s", [&] { f.rows.time.advance(9900ms); }, "rates"},
        {"10 s", [&] { f.rows.time.advance(100ms); }, "space"}, {"20 s", [&] { tick(); }, "ai"},
        {"30 s wraps", [&] { tick(); }, "rates"},
        {"the pointer rests on it",
         [&] { send(QEnterEvent(QPointF(5, 5), QPointF(5, 5), o->mapToGlobal(QPointF(5, 5)))); tick(); tick(); },
         "rates"},
        {"left: no catching up", [&] { send(QEvent(QEvent::Leave)); tick(); }, "space"},
        {"focused on another orb", [&] { f.store->focusTopic("ai"); tick(); tick(); }, "ai"},
        {"released: the rotation goes on from where it stood", [&] { f.store->focusTopic("ai"); tick(); }, "ai"},
        {"fewer orbs re-map the index", [&] { f.load({}, kOrbs.mid(0, 1)); }, "rates"},
        {"one orb stays", [&] { tick(); }, "rates"},
    };
    for (const auto& [what, run, shown] : steps) {
        run();
        ASSERT_TRUE(o->currentOrb()) << what;
        EXPECT_EQ(o->currentOrb()->id, shown) << what;
    }
    EXPECT_EQ(o->orbIndex(), 0);
}

TEST_F(OrbTest, ClickOnTheDotFocusesTheShownTopicAndReleasesIt)
{
    f.load({}, kOrbs);
    auto o = orb();
    tick();
    EXPECT_EQ(o->dotHelp(), "Focus ticker on Space");
    const QPoint dot = o->dotBox().center().toPoint();
    QTest::mouseClick(o.get(), Qt::LeftButton, {}, dot);
    EXPECT_EQ(f.store->focusedTopicID(), std::optional<QString>("space"));
    EXPECT_TRUE(o->isFocusedOrb());
    EXPECT_EQ(o->dotHelp(), "Exit focus");
    QTest::mouseClick(o.get(), Qt::LeftButton, {}, QPoint(o->width() - 3, 2));  // the text column: nothing
    EXPECT_EQ(f.store->focusedTopicID(), std::optional<QString>("space"));
    QTest::mouseClick(o.get(), Qt::LeftButton, {}, dot);
    EXPECT_FALSE(f.store->focusedTopicID());
    EXPECT_FALSE(o->isFocusedOrb());
}

TEST_F(OrbTest, TextColumnPerSizeAndKeywords)
{
    f.load({}, kOrbs);
    const QStringList rates = {"FED", "  MORTGAGE ", "CPI & WAGES"};
    const std::tuple<int, int, QString, QStringList, int> cases[] = {
        {2, 0, "INTEREST RATES", rates, 28 + 10 + 190}, {4, 0, "INTEREST RATES", rates, 40 + 10 + 190},
        {2, 1, "SPACE", {"SCANNING..."}, 28 + 10 + 190}, {2, 2, "AI", {"SCANNING..."}, 28 + 10 + 190},
        {1, 0, "", {}, 20}, {3, 0, "INTEREST RATES", rates, 28 + 10 + 190},
    };
    for (const auto& [size, rotations, header, lines, width] : cases) {
        auto o = orb(size);
        for (int i = 0; i < rotations; ++i)
            o->tick();
        EXPECT_EQ(o->headerText(), header) << size << "/" << rotations;
        EXPECT_EQ(o->lineTexts(), lines) << size << "/" << rotations;
        EXPECT_EQ(o->sizeHint().width(), width) << size << "/" << rotations;
    }
    EXPECT_EQ(orb(1)->dotHelp(), "Focus ticker on Interest Rates") << "the compact orb still names its topic";
}

TEST_F(OrbTest, KeywordLinksOpenOnlyHttpAddressesAndTheirMenusChangeTheFilters)
{
    f.load({}, kOrbs);
    auto o = orb();
    const QList<OrbPhraseLabel*> labels = o->phraseLabels();
    ASSERT_EQ(labels.size(), 3);
    // {url, help}: ftp is no link, nor a null entry.
    const std::pair<std::optional<QUrl>, QString> cases[] = {
        {QUrl("https://news.example.org/fed"), "Open on news.example.org"}, {std::nullopt, ""}, {std::nullopt, ""}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(labels[i]->url(), cases[i].first) << i;
        EXPECT_EQ(labels[i]->toolTip(), cases[i].second) << i;
        EXPECT_EQ(labels[i]->cursor().shape(), cases[i].first ? Qt::PointingHandCursor : Qt::ArrowCursor) << i;
        QTest::mouseClick(labels[i], Qt::LeftButton, {}, labels[i]->rect().center());
    }
    EXPECT_EQ(f.rows.opener.opened, QList<QUrl>{QUrl("https://news.example.org/fed")});
    EXPECT_EQ(OrbPhraseLabel("X", QUrl("https:/x"), 9, "x", f.filters, f.rows.opener).help(), "Open article")
        << "a link without a host still offers itself";

    auto texts = [](OrbPhraseLabel* label) {
        QStringList out;
        const auto menu = label->contextMenu();
        for (QAction* a : menu->actions())
            out << a->text();
        return out;
    };
    OrbPhraseLabel* mortgage = labels[1];  // received as "  Mortgage "
    EXPECT_EQ(texts(labels[2]), (QStringList{"Mute “cpi && wages”", "Follow “cpi && wages”"}));
    mortgage->contextMenu()->actions().at(1)->trigger();
    EXPECT_EQ(f.filters.followed(), QStringList{"Mortgage"});
    EXPECT_EQ(texts(mortgage), (QStringList{"Mute “  Mortgage ”", "Unfollow “  Mortgage ”"}))
        << "the padded keyword finds the stored phrase";
    mortgage->contextMenu()->actions().at(0)->trigger();
    EXPECT_EQ(f.filters.muted(), QStringList{"Mortgage"});
    EXPECT_EQ(texts(mortgage), (QStringList{"Unmute “  Mortgage ”", "Follow “  Mortgage ”"}));
}

TEST_F(OrbTest, AnOpenKeywordMenuHoldsTheRotationAndTheColumn)
{
    f.load({}, kOrbs);
    auto o = orb();
    OrbPhraseLabel* label = o->phraseLabels().first();
    QPointer<OrbPhraseLabel> guard(label);
    int indexWhileOpen = -1;
    bool labelAliveWhileOpen = false;
    QTimer::singleShot(0, [&] {
        tick();
        tick();
        f.load({}, {makeOrb("other", "Other", QStringList{"x"})});  // would replace the column
        indexWhileOpen = o->orbIndex();
        labelAliveWhileOpen = !guard.isNull() && o->keywordMenuOpen();
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
            menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &event);
    FakeTime::settle();
    EXPECT_EQ(indexWhileOpen, 0);
    EXPECT_TRUE(labelAliveWhileOpen);
    EXPECT_EQ(o->headerText(), "OTHER") << "the held change follows once the menu closed";
    EXPECT_EQ(o->lineTexts(), QStringList{"X"});
}

TEST(WeatherSegmentTest, CityAndValueBeforeAReading)
{
    StripFixture f;
    WeatherSegment weather(*f.store, 2, f.defaults());
    EXPECT_EQ(weather.captionText(), "DUBLIN");
    EXPECT_EQ(weather.valueText(), "--°C");
    f.defaults().set(WeatherSegment::cityKey, "Oslo");
    EXPECT_EQ(weather.captionText(), "OSLO");
}

class BrandBlockTest : public ::testing::Test {
protected:
    StripFixture f;
    int toggles = 0;

    std::unique_ptr<FixedBrandBlock> block()
    {
        f.load({}, kOrbs);
        auto b = std::make_unique<FixedBrandBlock>(
            *f.store, 2, false, [this] { ++toggles; },
            FixedBrandBlock::Services{f.defaults(), f.filters, f.rows.opener, f.rows.time, f.services});
        b->resize(b->sizeHint());
        b->show();
        return b;
    }
};

TEST_F(BrandBlockTest, SettingsAndMiniModeButtonsAndThePanelInTheThemeColour)
{
    f.defaults().set(FixedBrandBlock::themeKey, "Teal");
    auto b = block();
    EXPECT_EQ(b->settingsButton()->toolTip(), "Settings");
    EXPECT_EQ(b->settingsButton()->accessibleName(), "Open settings");
    b->settingsButton()->click();
    EXPECT_EQ(f.services.calls, QStringList{"showSettings:<none>"});
    EXPECT_EQ(b->miniModeButton()->toolTip(), "Collapse to mini mode");
    b->miniModeButton()->click();
    EXPECT_EQ(toggles, 1);
    // Drawn without a window background, as it sits over the strip; the fade
    // runs from the theme colour to clear.
    QImage image(b->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const int y = image.height() - 2, fadeStart = b->panelWidth();
    EXPECT_EQ(image.pixelColor(2, y).rgb(), themeBackgroundColor(u"Teal").rgb());
    EXPECT_GT(qAlpha(image.pixel(fadeStart + 1, y)), 200);
    EXPECT_LT(qAlpha(image.pixel(fadeStart + FixedBrandBlock::fadeWidth - 1, y)), 30);

    b->setMiniMode(true);
    EXPECT_EQ(b->miniModeButton()->toolTip(), "Show the ticker");
    EXPECT_EQ(b->miniModeButton()->accessibleName(), "Show the ticker");
    // The button sits in the panel's top-right corner, 4 px in.
    EXPECT_EQ(b->miniModeButton()->geometry().right() + 1, b->panelWidth() - 4);
    EXPECT_EQ(b->sizeHint().width(), b->panelWidth() + FixedBrandBlock::fadeWidth);
}

TEST_F(BrandBlockTest, ThePanelKeepsItsIdealWidthWhenTheWeatherTextWidensOrNarrows)
{
    auto b = block();
    ASSERT_TRUE(b->orb());
    for (const char* city : {"Johannesburg", "Oslo", "Llanfairpwllgwyngyll"}) {
        f.defaults().set(WeatherSegment::cityKey, city);
        SCOPED_TRACE(city);
        EXPECT_EQ(b->width(), b->sizeHint().width());
        EXPECT_EQ(b->weather()->width(), b->weather()->sizeHint().width()) << "the city is not cut off";
        SignalRotationOrb* orb = b->orb();
        EXPECT_EQ(orb->width(), orb->sizeHint().width()) << "the orb's keywords are not cut off";
        EXPECT_LE(orb->geometry().right(), b->panelWidth()) << "the orb stays on the panel";
        EXPECT_EQ(b->miniModeButton()->geometry().right() + 1, b->panelWidth() - 4);
    }
    // The last city's name is wider than the temperature under it in any
    // font; a short one leaves the temperature the widest line.
    const int wide = b->width();
    f.defaults().set(WeatherSegment::cityKey, "Oslo");
    EXPECT_LT(b->width(), wide) << "narrower than for the long name";
}

TEST_F(BrandBlockTest, ArtBlockTakesTheOrbsPlaceWhilePlayingUnlessFocused)
{
    auto b = block();
    ASSERT_TRUE(b->orb());
    b->orb()->tick();
    f.store->setNowPlaying("Artist", "Song", QUrl("https://art.example/a.jpg"));
    EXPECT_TRUE(b->showsArtBlock());
    EXPECT_FALSE(b->orb());
    auto* art = qobject_cast<NowPlayingArtBlock*>(b->artBlock());
    ASSERT_TRUE(art);
    EXPECT_EQ(art->size(), 2);
    f.store->focusTopic("ai");
    EXPECT_FALSE(b->showsArtBlock()) << "a focused topic keeps the orb";
    ASSERT_TRUE(b->orb());
    EXPECT_EQ(b->orb()->orbIndex(), 0) << "the orb starts afresh";
    EXPECT_EQ(b->orb()->currentOrb()->id, "ai");
    // Releasing the focus with a click on the orb itself swaps the orb for
    // the art block from inside the orb's own click.
    SignalRotationOrb* focusedOrb = b->orb();
    QTest::mouseClick(focusedOrb, Qt::LeftButton, {}, focusedOrb->dotBox().center().toPoint());
    EXPECT_FALSE(f.store->focusedTopicID());
    EXPECT_TRUE(b->showsArtBlock());
    FakeTime::settle();
    f.store->clearNowPlaying();
    EXPECT_TRUE(b->orb());
}

// The brand block swaps the orb out while one of its keywords shows its
// menu: the menu still works and closes without touching the orb that is gone.
TEST_F(BrandBlockTest, AnOrbReplacedUnderItsOpenKeywordMenuLeavesNothingBehind)
{
    const QList<Orb> withoutRates = {kOrbs[1], kOrbs[2]};
    const struct {
        const char* name;
        std::function<void()> before;  // with the orb on show
        std::function<void()> change;  // while the menu is open
        QList<Qt::Key> keys;           // then typed into the menu
        QStringList followed;          // afterwards
    } cases[] = {
        {"a track starts", [] {}, [&] { f.store->setNowPlaying("Artist", "Song", std::nullopt); }, {Qt::Key_Escape}, {}},
        {"a track starts, then Follow is chosen", [] {},
         [&] { f.store->setNowPlaying("Artist", "Song", std::nullopt); }, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return},
         {"fed"}},
        // Last: the focus stays.
        {"a refresh drops the focused orb during a track",
         [&] {
             f.store->setNowPlaying("Artist", "Song", std::nullopt);
             f.store->focusTopic("rates");
         },
         [&] { f.load({}, withoutRates); }, {Qt::Key_Escape}, {"fed"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto b = block();
        c.before();
        ASSERT_TRUE(b->orb());
        ASSERT_FALSE(b->orb()->phraseLabels().isEmpty());
        OrbPhraseLabel* label = b->orb()->phraseLabels().first();
        const QPointer<SignalRotationOrb> orb(b->orb());
        bool goneWhileOpen = false;
        QTimer::singleShot(0, [&] {
            c.change();
            // Once the replaced orb is deleted, the keys reach the menu.
            QTimer::singleShot(0, [&] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                goneWhileOpen = orb.isNull();
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                    for (Qt::Key key : c.keys)
                        QTest::keyClick(menu, key);
            });
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(label, &event);
        FakeTime::settle();
        EXPECT_TRUE(goneWhileOpen);
        EXPECT_FALSE(QApplication::activePopupWidget()) << "the menu closed";
        EXPECT_EQ(f.filters.followed(), c.followed);
        EXPECT_TRUE(b->showsArtBlock());
        EXPECT_FALSE(b->orb());
        EXPECT_TRUE(b->artBlock() && b->artBlock()->isVisible());
        f.store->clearNowPlaying();
        ASSERT_TRUE(b->orb()) << "the orb comes back";
        EXPECT_FALSE(b->orb()->keywordMenuOpen());
    }
}

} // namespace

namespace pulse {

// An orb whose topic moves at `perHour` (when given) or as the server's word `ui` says.
Orb moving(const QString& id, std::optional<double> perHour, std::optional<QString> ui = std::nullopt,
           std::optional<QString> color = std::nullopt)
{
    Orb orb = makeOrb(id, id.toUpper(), QStringList{"kw"});
    orb.velocity = Orb::Velocity{perHour, std::move(ui)};
    if (color) {
        orb.displayColor = std::move(color);
        orb.restingColor = QStringLiteral("#808080");
    }
    return orb;
}

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

class OrbPulseTest : public ::testing::Test {
protected:
    StripFixture f;
    ManualAnimationDriver driver;
    std::unique_ptr<QWidget> window;

    // The orb on these orbs, inside a window of its own placed away from the pointer.
    SignalRotationOrb* orb(const QList<Orb>& orbs)
    {
        f.load({}, orbs);
        window = std::make_unique<QWidget>();
        auto* o = new SignalRotationOrb(*f.store, 2, SignalRotationOrb::Services{f.filters, f.rows.opener, f.rows.time},
                                        window.get());
        o->resize(o->sizeHint());
        window->resize(o->sizeHint() + QSize(20, 20));
        window->move(400, 400);
        window->show();
        FakeTime::settle();  // the window is exposed, the animation registered
        return o;
    }
};

TEST_F(OrbPulseTest, GlowBreathesInWholeStepsAndRepaintsOnlyWhenTheStepMoves)
{
    // {orb, one swing out and back: 2 × max(2.2 − 1.4 × intensity, 0.8) s}
    const std::pair<Orb, int> cases[] = {
        {moving("a", 1.07), 3976},                    // intensity 0.1513, just above the threshold
        {moving("b", std::nullopt, "Steady"), 3840},  // 0.2
        {moving("c", 6.0), 3000},                     // 0.5
        {moving("d", std::nullopt, "hot"), 1880},     // 0.9
        {moving("e", 600.0), 1627},                   // 0.9901
    };
    for (const auto& [o, loopMs] : cases) {
        SCOPED_TRACE(o.id.toStdString());
        SignalRotationOrb* shown = orb({o});
        QVariantAnimation* pulse = shown->pulseAnimation();
        ASSERT_TRUE(pulse);
        EXPECT_TRUE(shown->isPulseAnimating());
        EXPECT_EQ(pulse->loopCount(), -1) << "the pulse never ends";
        EXPECT_EQ(pulse->duration(), loopMs);
        PaintCounter counter(shown);
        int changes = 0, last = 0;
        std::set<int> reached;
        bool monotonic = true;
        // Across one whole loop and into the next, a millisecond at a time:
        // rising to the full glow halfway, falling back to rest.
        for (int t = 0; t <= loopMs + 5; ++t) {
            pulse->setCurrentTime(t);
            QCoreApplication::processEvents();  // delivers any repaint asked for
            const int step = shown->pulseStep();
            reached.insert(step);
            changes += t > 0 && step != last;
            if (t > 0 && t <= loopMs && (t <= loopMs / 2 ? step < last : step > last))
                monotonic = false;
            if (t == 0 || t == loopMs / 2) {
                EXPECT_EQ(step, t ? SignalRotationOrb::pulseSteps : 0) << t;
            }
            last = step;
        }
        EXPECT_NEAR(changes, 2 * SignalRotationOrb::pulseSteps, 1);
        EXPECT_EQ(int(reached.size()), SignalRotationOrb::pulseSteps + 1) << "every step from 0 to full";
        EXPECT_EQ(*reached.begin(), 0);
        EXPECT_EQ(*reached.rbegin(), SignalRotationOrb::pulseSteps);
        EXPECT_TRUE(monotonic);
        EXPECT_EQ(counter.paints, changes) << "a repaint for each new step and none between";
    }
}

// Orbs arriving after the orb showed (a first start without a cached
// snapshot) start its breath; a calm orb rests at the full glow; the
// rotation sets the pace of each orb shown.
TEST_F(OrbPulseTest, PaceFollowsTheOrbShownAndCalmOrbsRestAtTheFullGlow)
{
    SignalRotationOrb* o = orb({});
    EXPECT_FALSE(o->isPulsing());
    f.load({}, {moving("hot", std::nullopt, "hot"), moving("none", std::nullopt), moving("under", 1.05),
                moving("half", 6.0), moving("sideways", std::nullopt, "sideways")});
    // {loop length when breathing, else 0}; 1.05 an hour is intensity 0.1489, under the threshold.
    const int loops[] = {1880, 0, 0, 3000, 0};
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            f.rows.time.advance(SignalRotationOrb::rotationInterval);
        FakeTime::settle();
        SCOPED_TRACE(o->currentOrb()->id.toStdString());
        EXPECT_TRUE(o->isPulsing());
        EXPECT_EQ(o->isPulseAnimating(), loops[i] > 0);
        if (loops[i]) {
            EXPECT_EQ(o->pulseAnimation()->duration(), loops[i]);
            continue;
        }
        EXPECT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
        driver.advanceBy(1000);
        EXPECT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
    }
}

TEST_F(OrbPulseTest, GlowPicturesFollowTheStepAndTheOrbsLook)
{
    // Two orbs alike in pace, apart in colour.
    SignalRotationOrb* o = orb({moving("red", 6.0, std::nullopt, "#ff0000"), moving("blue", 6.0, std::nullopt, "#0000ff")});
    const QRect glow = o->dotBox().toAlignedRect();
    auto at = [&](int ms) {
        o->pulseAnimation()->setCurrentTime(ms);
        return o->grab(glow).toImage();
    };
    const QImage rest = at(0), full = at(1500);
    EXPECT_NE(rest, full) << "the full glow is drawn larger and brighter";
    EXPECT_EQ(at(2999), rest) << "back at rest, the rest picture again";
    EXPECT_EQ(at(1500), full);
    // A point of the glow beside the dot (radius 7 at this size).
    const QPoint halo = (o->dotBox().center() - QPointF(glow.topLeft()) + QPointF(10, 0)).toPoint();
    EXPECT_GT(full.pixelColor(halo).red(), full.pixelColor(halo).blue() + 40);
    // The next orb at the same step: its own colour, not the cached one.
    f.rows.time.advance(SignalRotationOrb::rotationInterval);
    FakeTime::settle();
    driver.advanceBy(400);  // the rotation's change of look runs its course
    const QImage blueFull = at(1500);
    EXPECT_GT(blueFull.pixelColor(halo).blue(), blueFull.pixelColor(halo).red() + 40);
}

TEST_F(OrbPulseTest, HiddenOrUnseenPulseRestsAndARefreshWithTheSameOrbKeepsItGoing)
{
    SignalRotationOrb* o = orb({moving("hot", std::nullopt, "hot")});
    QVariantAnimation* pulse = o->pulseAnimation();
    ASSERT_TRUE(pulse);
    driver.advanceBy(300);
    ASSERT_EQ(pulse->currentTime(), 300) << "the driver moves the pulse";
    const std::tuple<const char*, std::function<void()>, bool> steps[] = {
        {"the pointer rests on the orb", [&] { o->setHovered(true); }, true}, {"orb hidden", [&] { o->hide(); }, false},
        {"orb shown", [&] { o->show(); }, true}, {"window hidden", [&] { window->hide(); }, false},
        {"window shown", [&] { window->show(); }, true},
        {"hidden twice, shown once", [&] { o->hide(); window->hide(); window->show(); }, false},
        {"orb shown", [&] { o->show(); }, true},
        {"the same orb again", [&] { f.load({}, {moving("hot", std::nullopt, "hot")}); }, true},
    };
    for (const auto& [what, run, animating] : steps) {
        SCOPED_TRACE(what);
        const int before = pulse->currentTime(), step = o->pulseStep();
        run();
        FakeTime::settle();
        EXPECT_EQ(o->isPulseAnimating(), animating);
        EXPECT_EQ(pulse->currentTime(), before) << "neither reset nor moved on by the change itself";
        EXPECT_EQ(o->pulseStep(), step);
        driver.advanceBy(137);
        EXPECT_EQ(pulse->currentTime(), before + (animating ? 137 : 0)) << "goes on from where it was, or rests";
    }
    f.load({}, {moving("hot", 6.0)});  // intensity 0.5: a slower breath
    FakeTime::settle();
    EXPECT_EQ(o->pulseAnimation()->duration(), 3000);
    EXPECT_EQ(o->pulseAnimation()->currentTime(), 0) << "a new pace starts from rest";
}

TEST_F(OrbPulseTest, ARotationSlidesTheTextAndBlendsTheDotIntoTheNextTopic)
{
    SignalRotationOrb* o =
        orb({moving("red", 6.0, std::nullopt, "#FF0000"), moving("blue", 600.0, std::nullopt, "#0000FF")});
    QWidget* first = o->textColumn();
    o->tick();
    FakeTime::settle();
    const QPointer<QWidget> leaving = o->leavingColumn();
    QWidget* entering = o->textColumn();
    ASSERT_EQ(leaving.data(), first);
    EXPECT_EQ(o->headerText(), "BLUE");
    EXPECT_EQ(o->dotColor(), Color::hex(u"#FF0000")) << "the change starts from the old look";
    EXPECT_EQ(entering->y(), o->height()) << "the new text starts at the bottom edge";
    auto opacityOf = [](QWidget* w) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect());
        return effect ? effect->opacity() : 1.0;
    };
    driver.advanceBy(200);  // half of the 0.4 s
    EXPECT_GT(leaving->y(), 0) << "sinking";
    EXPECT_GT(entering->y(), 0) << "rising";
    EXPECT_LT(entering->y(), o->height());
    for (double opacity : {opacityOf(leaving), opacityOf(entering)}) {
        EXPECT_GT(opacity, 0.1);
        EXPECT_LT(opacity, 0.9);
    }
    for (int channel : {o->dotColor().red(), o->dotColor().blue()}) {
        EXPECT_GT(channel, 50);
        EXPECT_LT(channel, 205);
    }
    EXPECT_GT(o->dotIntensity(), 0.5) << "the glow grows towards the faster topic";
    EXPECT_LT(o->dotIntensity(), 0.99);
    driver.advanceBy(250);
    FakeTime::settle();
    EXPECT_TRUE(leaving.isNull()) << "the old text is gone";
    EXPECT_EQ(entering->y(), 0);
    EXPECT_EQ(entering->graphicsEffect(), nullptr) << "drawn straight again once in place";
    EXPECT_EQ(o->dotColor(), Color::hex(u"#0000FF"));
    EXPECT_DOUBLE_EQ(o->dotIntensity(), moving("blue", 600.0).velocityIntensity());
    // The same topic with another colour (a refresh) changes at once.
    f.load({}, {moving("red", 6.0, std::nullopt, "#FF0000"), moving("blue", 600.0, std::nullopt, "#00FF00")});
    FakeTime::settle();
    EXPECT_EQ(o->dotColor(), Color::hex(u"#00FF00"));
    EXPECT_EQ(o->leavingColumn(), nullptr);
}

} // namespace

} // namespace
