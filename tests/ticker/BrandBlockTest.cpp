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
#include <QAnimationDriver>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>
#include <functional>
#include <QTest>
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
        auto o = std::make_unique<SignalRotationOrb>(
            *f.store, size, SignalRotationOrb::Services{f.filters, f.rows.opener, f.rows.time});
        o->resize(o->sizeHint());
        o->move(400, 400);  // away from the pointer, which rests at the origin
        o->show();
        return o;
    }
    void tick() { f.rows.time.advance(10s); }
};

TEST_F(OrbTest, RotatesEveryTenSecondsUnlessHoveredOrFocused)
{
    f.load({}, kOrbs);
    auto o = orb();
    struct Step { const char* what; std::function<void()> run; QString shown; };
    const QList<Step> steps = {
        {"at first", [] {}, "rates"}, {"9.9 s", [&] { f.rows.time.advance(9900ms); }, "rates"},
        {"10 s", [&] { f.rows.time.advance(100ms); }, "space"}, {"20 s", [&] { tick(); }, "ai"},
        {"30 s wraps", [&] { tick(); }, "rates"},
        {"the pointer rests on it",
         [&] {
             QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), o->mapToGlobal(QPointF(5, 5)));
             QCoreApplication::sendEvent(o.get(), &enter);
             tick();
             tick();
         },
         "rates"},
        {"left: no catching up",
         [&] {
             QEvent leave(QEvent::Leave);
             QCoreApplication::sendEvent(o.get(), &leave);
             tick();
         },
         "space"},
        {"focused on another orb", [&] { f.store->focusTopic("ai"); tick(); tick(); }, "ai"},
        {"released: the rotation goes on from where it stood", [&] { f.store->focusTopic("ai"); tick(); }, "ai"},
    };
    for (const Step& s : steps) {
        s.run();
        ASSERT_TRUE(o->currentOrb()) << s.what;
        EXPECT_EQ(o->currentOrb()->id, s.shown) << s.what;
    }
    EXPECT_EQ(o->orbIndex(), 2);
}

TEST_F(OrbTest, WithoutOrbsItShowsNothingAndTicksHarmlessly)
{
    f.load({}, {});
    auto o = orb();
    EXPECT_FALSE(o->currentOrb());
    EXPECT_EQ(o->sizeHint(), QSize(0, 0));
    EXPECT_TRUE(o->lineTexts().isEmpty());
    tick();
    tick();
    EXPECT_EQ(o->orbIndex(), 0);
    EXPECT_EQ(o->dotHelp(), "");

    // Orbs arriving later show at once; fewer orbs re-map the index.
    f.load({}, kOrbs);
    EXPECT_EQ(o->currentOrb()->id, "rates");
    tick();
    tick();
    f.load({}, kOrbs.mid(0, 1));
    EXPECT_EQ(o->currentOrb()->id, "rates");
    tick();
    EXPECT_EQ(o->orbIndex(), 0);
}

TEST_F(OrbTest, ClickFocusesTheShownTopicAndReleasesIt)
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

    // A click beside the dot (on the text column) does nothing.
    QTest::mouseClick(o.get(), Qt::LeftButton, {}, QPoint(o->width() - 3, 2));
    EXPECT_EQ(f.store->focusedTopicID(), std::optional<QString>("space"));

    QTest::mouseClick(o.get(), Qt::LeftButton, {}, dot);
    EXPECT_FALSE(f.store->focusedTopicID());
    EXPECT_FALSE(o->isFocusedOrb());
}

TEST_F(OrbTest, TextColumnPerSizeAndKeywords)
{
    f.load({}, kOrbs);
    struct Case { int size; int rotations; QString header; QStringList lines; int width; };
    const QList<Case> cases = {
        {2, 0, "INTEREST RATES", {"FED", "  MORTGAGE ", "CPI & WAGES"}, 28 + 10 + 190},
        {4, 0, "INTEREST RATES", {"FED", "  MORTGAGE ", "CPI & WAGES"}, 40 + 10 + 190},
        {2, 1, "SPACE", {"SCANNING..."}, 28 + 10 + 190}, {2, 2, "AI", {"SCANNING..."}, 28 + 10 + 190},
        {1, 0, "", {}, 20}, {3, 0, "INTEREST RATES", {"FED", "  MORTGAGE ", "CPI & WAGES"}, 28 + 10 + 190},
    };
    for (const Case& c : cases) {
        auto o = orb(c.size);
        for (int i = 0; i < c.rotations; ++i)
            o->tick();
        EXPECT_EQ(o->headerText(), c.header) << c.size << "/" << c.rotations;
        EXPECT_EQ(o->lineTexts(), c.lines) << c.size << "/" << c.rotations;
        EXPECT_EQ(o->sizeHint().width(), c.width) << c.size << "/" << c.rotations;
    }
    // The compact orb still focuses and names its topic.
    auto compact = orb(1);
    EXPECT_EQ(compact->dotHelp(), "Focus ticker on Interest Rates");
    QTest::mouseClick(compact.get(), Qt::LeftButton, {}, compact->dotBox().center().toPoint());
    EXPECT_EQ(f.store->focusedTopicID(), std::optional<QString>("rates"));
}

TEST_F(OrbTest, KeywordLinksOpenOnlyHttpAddresses)
{
    f.load({}, kOrbs);
    auto o = orb();
    const QList<OrbPhraseLabel*> labels = o->phraseLabels();
    ASSERT_EQ(labels.size(), 3);
    struct Case { int index; std::optional<QUrl> url; QString help; Qt::CursorShape cursor; };
    const QList<Case> cases = {
        {0, QUrl("https://news.example.org/fed"), "Open on news.example.org", Qt::PointingHandCursor},
        {1, std::nullopt, "", Qt::ArrowCursor},  // ftp is no link
        {2, std::nullopt, "", Qt::ArrowCursor},  // null entry
    };
    for (const Case& c : cases) {
        OrbPhraseLabel* label = labels[c.index];
        EXPECT_EQ(label->url(), c.url) << c.index;
        EXPECT_EQ(label->help(), c.help) << c.index;
        EXPECT_EQ(label->toolTip(), c.help) << c.index;
        EXPECT_EQ(label->cursor().shape(), c.cursor) << c.index;
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    }
    EXPECT_EQ(f.rows.opener.opened, QList<QUrl>{QUrl("https://news.example.org/fed")});

    // A link without a host still offers itself.
    OrbPhraseLabel hostless("X", QUrl("https:/x"), 9, "x", f.filters, f.rows.opener);
    EXPECT_EQ(hostless.help(), "Open article");
}

TEST_F(OrbTest, KeywordMenusReflectAndChangeTheFilters)
{
    f.load({}, kOrbs);
    auto o = orb();
    OrbPhraseLabel* mortgage = o->phraseLabels().at(1);  // received as "  Mortgage "
    OrbPhraseLabel* cpi = o->phraseLabels().at(2);       // "cpi & wages"

    auto texts = [](OrbPhraseLabel* label) {
        QStringList out;
        const auto menu = label->contextMenu();
        for (QAction* a : menu->actions())
            out << a->text();
        return out;
    };
    auto trigger = [](OrbPhraseLabel* label, int index) { label->contextMenu()->actions().at(index)->trigger(); };

    EXPECT_EQ(texts(cpi), (QStringList{"Mute “cpi && wages”", "Follow “cpi && wages”"}));
    EXPECT_EQ(texts(mortgage), (QStringList{"Mute “  Mortgage ”", "Follow “  Mortgage ”"}));

    trigger(mortgage, 1);
    EXPECT_EQ(f.filters.followed(), QStringList{"Mortgage"});
    EXPECT_EQ(texts(mortgage).at(1), "Unfollow “  Mortgage ”") << "the padded keyword finds the stored phrase";

    trigger(mortgage, 0);
    EXPECT_EQ(f.filters.muted(), QStringList{"Mortgage"});
    EXPECT_TRUE(f.filters.followed().isEmpty()) << "muting takes it out of the followed list";
    EXPECT_EQ(texts(mortgage), (QStringList{"Unmute “  Mortgage ”", "Follow “  Mortgage ”"}));

    f.filters.setMuted({"MORTGAGE", "other", "mortgage"});
    trigger(mortgage, 0);
    EXPECT_EQ(f.filters.muted(), QStringList{"other"}) << "every case variant goes";
    EXPECT_EQ(f.defaults().stringList(FilterStore::MutedKey), QStringList{"other"}) << "saved";
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
    EXPECT_EQ(indexWhileOpen, 0);
    EXPECT_TRUE(labelAliveWhileOpen);
    FakeTime::settle();
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

    std::unique_ptr<FixedBrandBlock> block(int size = 2, bool mini = false)
    {
        auto b = std::make_unique<FixedBrandBlock>(
            *f.store, size, mini, [this] { ++toggles; },
            FixedBrandBlock::Services{f.defaults(), f.filters, f.rows.opener, f.rows.time, f.services});
        b->resize(b->sizeHint());
        b->show();
        return b;
    }
};

TEST_F(BrandBlockTest, SettingsAndMiniModeButtons)
{
    f.load({}, kOrbs);
    auto b = block();
    EXPECT_EQ(b->settingsButton()->toolTip(), "Settings");
    EXPECT_EQ(b->settingsButton()->accessibleName(), "Open settings");
    b->settingsButton()->click();
    EXPECT_EQ(f.services.calls, QStringList{"showSettings:<none>"});

    EXPECT_EQ(b->miniModeButton()->toolTip(), "Collapse to mini mode");
    b->miniModeButton()->click();
    EXPECT_EQ(toggles, 1);
    b->setMiniMode(true);
    EXPECT_EQ(b->miniModeButton()->toolTip(), "Show the ticker");
    EXPECT_EQ(b->miniModeButton()->accessibleName(), "Show the ticker");
    // The button sits in the panel's top-right corner, 4 px in.
    EXPECT_EQ(b->miniModeButton()->geometry().right() + 1, b->panelWidth() - 4);
    EXPECT_EQ(b->miniModeButton()->geometry().top(), 0);
    EXPECT_EQ(b->sizeHint().width(), b->panelWidth() + FixedBrandBlock::fadeWidth);
}

TEST_F(BrandBlockTest, ArtBlockTakesTheOrbsPlaceWhilePlayingUnlessFocused)
{
    f.load({}, kOrbs);
    auto b = block();
    ASSERT_TRUE(b->orb());
    b->orb()->tick();
    EXPECT_EQ(b->orb()->orbIndex(), 1);

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
    EXPECT_TRUE(b->artBlock());
    FakeTime::settle();
    f.store->clearNowPlaying();
    EXPECT_TRUE(b->orb());
}

TEST_F(BrandBlockTest, PanelIsTheThemeColourAndFadesOut)
{
    f.load({}, kOrbs);
    f.defaults().set(FixedBrandBlock::themeKey, "Teal");
    auto b = block();
    // Drawn without a window background, as it sits over the strip.
    QImage image(b->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor teal = themeBackgroundColor(u"Teal");
    EXPECT_EQ(image.pixelColor(2, image.height() - 2).rgb(), teal.rgb());
    // The fade runs from the theme colour to clear.
    const int fadeStart = b->panelWidth();
    EXPECT_GT(qAlpha(image.pixel(fadeStart + 1, image.height() - 2)), 200);
    EXPECT_LT(qAlpha(image.pixel(fadeStart + FixedBrandBlock::fadeWidth - 1, image.height() - 2)), 30);
    EXPECT_EQ(b->height(), 72);
}

} // namespace

namespace pulse {

// Moves Qt's animations only when the test says so: while installed, running
// animations advance by exactly the milliseconds given to advanceBy() and
// never by real time.
class ManualAnimationDriver final : public QAnimationDriver {
public:
    ManualAnimationDriver() { install(); }
    ~ManualAnimationDriver() override { uninstall(); }

    qint64 elapsed() const override { return m_ms; }
    // Nothing moves while no animation runs; advancing then would also start
    // the driver behind the unified timer's back.
    void advanceBy(qint64 ms)
    {
        m_ms += ms;
        if (isRunning())
            advance();
    }

protected:
    // The unified timer takes its start time afresh each time it restarts
    // the driver: counting from zero keeps its deltas ours.
    void start() override
    {
        m_ms = 0;
        QAnimationDriver::start();
    }

private:
    qint64 m_ms = 0;
};

// An orb whose topic moves at `perHour` (when given) or as the server's
// word `ui` says.
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
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

class OrbPulseTest : public ::testing::Test {
protected:
    StripFixture f;
    ManualAnimationDriver driver;

    // The orb inside a window of its own, placed away from the pointer.
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();

    SignalRotationOrb* orb(int size = 2)
    {
        auto* o = new SignalRotationOrb(*f.store, size,
                                        SignalRotationOrb::Services{f.filters, f.rows.opener, f.rows.time},
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
    struct Case {
        const char* what;
        Orb orb;
        int loopMs;  // one swing out and back: 2 × max(2.2 − 1.4 × intensity, 0.8) s
    };
    const QList<Case> cases = {
        {"just above the threshold", moving("a", 1.07), 3976},  // intensity 0.1513
        {"steady", moving("b", std::nullopt, "Steady"), 3840},  // 0.2
        {"half", moving("c", 6.0), 3000},                       // 0.5
        {"hot", moving("d", std::nullopt, "hot"), 1880},        // 0.9
        {"very fast", moving("e", 600.0), 1627},                // 0.9901
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f.load({}, {c.orb});
        window = std::make_unique<QWidget>();
        SignalRotationOrb* o = orb();
        QVariantAnimation* pulse = o->pulseAnimation();
        ASSERT_TRUE(pulse);
        EXPECT_TRUE(o->isPulsing());
        EXPECT_TRUE(o->isPulseAnimating());
        EXPECT_EQ(pulse->loopCount(), -1) << "the pulse never ends";
        EXPECT_EQ(pulse->duration(), c.loopMs);

        PaintCounter counter(o);
        int changes = 0;
        int last = -1;
        std::set<int> reached;
        bool risingMonotonic = true;
        bool fallingMonotonic = true;
        const int half = c.loopMs / 2;
        // Across one whole loop and into the next, a millisecond at a time.
        for (int t = 0; t <= c.loopMs + 5; ++t) {
            pulse->setCurrentTime(t);
            QCoreApplication::processEvents();  // delivers any repaint asked for
            const int step = o->pulseStep();
            ASSERT_GE(step, 0);
            ASSERT_LE(step, SignalRotationOrb::pulseSteps);
            reached.insert(step);
            if (last >= 0 && step != last && t > 0)
                ++changes;
            if (last >= 0 && t > 0 && t <= half && step < last)
                risingMonotonic = false;
            if (last >= 0 && t > half && t <= c.loopMs && step > last)
                fallingMonotonic = false;
            if (t == 0) {
                EXPECT_EQ(step, 0) << "a loop starts at rest";
            }
            if (t == half) {
                EXPECT_EQ(step, SignalRotationOrb::pulseSteps) << "the full glow halfway";
            }
            last = step;
        }
        EXPECT_NEAR(changes, 2 * SignalRotationOrb::pulseSteps, 1);
        EXPECT_EQ(int(reached.size()), SignalRotationOrb::pulseSteps + 1) << "every step from 0 to full";
        EXPECT_TRUE(risingMonotonic);
        EXPECT_TRUE(fallingMonotonic);
        EXPECT_EQ(counter.paints, changes) << "a repaint for each new step and none between";
    }
}

// Orbs arriving after the orb showed (a first start without a cached
// snapshot) start its breath, or settle it at the full glow.
TEST_F(OrbPulseTest, ArrivingOrbsBreatheOrSettleAtTheFullGlowWhenCalm)
{
    struct Case { const char* what; Orb orb; bool animating; };
    const QList<Case> cases = {
        {"no velocity", moving("a", std::nullopt), false},
        {"slow", moving("b", 1.0), false},                      // intensity 0.1429
        {"just under the threshold", moving("c", 1.05), false},  // 0.1489
        {"unknown word", moving("d", std::nullopt, "sideways"), false},
        {"a breathing orb", moving("hot", std::nullopt, "hot"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f.load({}, {});
        window = std::make_unique<QWidget>();
        SignalRotationOrb* o = orb();
        EXPECT_FALSE(o->isPulsing());
        f.load({}, {c.orb});
        FakeTime::settle();
        ASSERT_TRUE(o->currentOrb());
        EXPECT_TRUE(o->isPulsing());
        EXPECT_EQ(o->isPulseAnimating(), c.animating);
        if (c.animating)
            continue;
        EXPECT_TRUE(!o->pulseAnimation() || o->pulseAnimation()->state() == QAbstractAnimation::Stopped);
        EXPECT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
        driver.advanceBy(1000);
        EXPECT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
    }
}

TEST_F(OrbPulseTest, RotationSetsThePaceOfTheOrbShown)
{
    f.load({}, {moving("hot", std::nullopt, "hot"), moving("calm", 0.5), moving("half", 6.0)});
    SignalRotationOrb* o = orb();
    struct Step {
        const char* what;
        bool animating;
        int loopMs;  // when animating
    };
    const QList<Step> steps = {
        {"hot", true, 1880}, {"calm: stops at the full glow", false, 0}, {"half: breathes again", true, 3000},
        {"hot again", true, 1880},
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        if (i > 0)
            f.rows.time.advance(SignalRotationOrb::rotationInterval);
        FakeTime::settle();
        EXPECT_EQ(o->isPulseAnimating(), s.animating) << s.what;
        if (s.animating) {
            ASSERT_TRUE(o->pulseAnimation()) << s.what;
            EXPECT_EQ(o->pulseAnimation()->duration(), s.loopMs) << s.what;
        } else {
            EXPECT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps) << s.what;
        }
    }
}

TEST_F(OrbPulseTest, GlowPicturesFollowTheStepAndTheOrbsLook)
{
    // Two orbs alike in pace, apart in colour.
    f.load({}, {moving("red", 6.0, std::nullopt, "#ff0000"), moving("blue", 6.0, std::nullopt, "#0000ff")});
    SignalRotationOrb* o = orb();
    QVariantAnimation* pulse = o->pulseAnimation();
    ASSERT_TRUE(pulse);
    const QRect glow = o->dotBox().toAlignedRect();
    auto shot = [&] { return o->grab(glow).toImage(); };
    auto at = [&](int ms) {
        pulse->setCurrentTime(ms);
        return shot();
    };
    const QImage rest = at(0);
    const QImage full = at(pulse->duration() / 2);
    ASSERT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
    EXPECT_NE(rest, full) << "the full glow is drawn larger and brighter";
    EXPECT_EQ(at(pulse->duration() - 1), rest) << "back at rest, the rest picture again";
    EXPECT_EQ(at(pulse->duration() / 2), full);
    // A point of the glow beside the dot (radius 7 at this size).
    const QPoint halo = (o->dotBox().center() - QPointF(glow.topLeft()) + QPointF(10, 0)).toPoint();
    const QColor redHalo = full.pixelColor(halo);
    EXPECT_GT(redHalo.red(), redHalo.blue() + 40);

    // The next orb at the same step: its own colour, not the cached one.
    f.rows.time.advance(SignalRotationOrb::rotationInterval);
    ASSERT_EQ(o->currentOrb()->id, "blue");
    FakeTime::settle();
    driver.advanceBy(400);  // the rotation's change of look runs its course
    pulse = o->pulseAnimation();
    const QImage blueFull = at(pulse->duration() / 2);
    ASSERT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
    const QColor blueHalo = blueFull.pixelColor(halo);
    EXPECT_GT(blueHalo.blue(), blueHalo.red() + 40);
    EXPECT_NE(blueFull, full);
}

TEST_F(OrbPulseTest, HiddenOrUnseenPulseRestsAndGoesOnFromWhereItWas)
{
    f.load({}, {moving("hot", std::nullopt, "hot")});
    SignalRotationOrb* o = orb();
    QVariantAnimation* pulse = o->pulseAnimation();
    ASSERT_TRUE(pulse);
    driver.advanceBy(300);
    ASSERT_EQ(pulse->currentTime(), 300) << "the driver moves the pulse";

    struct Step { const char* what; std::function<void()> run; bool animating; };
    const QList<Step> steps = {
        {"the pointer rests on the orb", [&] { o->setHovered(true); }, true}, {"orb hidden", [&] { o->hide(); }, false},
        {"orb shown", [&] { o->show(); }, true}, {"window hidden", [&] { window->hide(); }, false},
        {"window shown", [&] { window->show(); }, true},
        {"hidden twice, shown once", [&] { o->hide(); window->hide(); window->show(); }, false},
        {"orb shown", [&] { o->show(); }, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const int before = pulse->currentTime();
        s.run();
        FakeTime::settle();
        EXPECT_EQ(o->isPulseAnimating(), s.animating);
        EXPECT_EQ(pulse->currentTime(), before) << "neither reset nor moved on by the change itself";
        const int step = o->pulseStep();
        driver.advanceBy(137);
        if (s.animating) {
            EXPECT_EQ(pulse->currentTime(), before + 137) << "goes on from where it was";
        } else {
            EXPECT_EQ(pulse->currentTime(), before) << "rests";
            EXPECT_EQ(o->pulseStep(), step) << "the glow stays put";
        }
    }
}

// A refresh that brings back the same orb (the topics are published on
// every refresh) leaves the breath where it is; another pace starts afresh.
TEST_F(OrbPulseTest, RefreshWithTheSameOrbKeepsTheBreathGoing)
{
    f.load({}, {moving("hot", std::nullopt, "hot")});
    SignalRotationOrb* o = orb();
    QVariantAnimation* pulse = o->pulseAnimation();
    ASSERT_TRUE(pulse);
    pulse->setCurrentTime(500);
    const int step = o->pulseStep();
    ASSERT_GT(step, 0);

    f.load({}, {moving("hot", std::nullopt, "hot")});
    FakeTime::settle();
    EXPECT_EQ(pulse->currentTime(), 500) << "the same orb again";
    EXPECT_EQ(o->pulseStep(), step);
    EXPECT_TRUE(o->isPulseAnimating());

    f.load({}, {moving("hot", 6.0)});  // intensity 0.5: a slower breath
    FakeTime::settle();
    EXPECT_EQ(o->pulseAnimation()->duration(), 3000);
    EXPECT_EQ(o->pulseAnimation()->currentTime(), 0) << "a new pace starts from rest";
}

TEST_F(OrbPulseTest, ARotationSlidesTheTextAndBlendsTheDotIntoTheNextTopic)
{
    const QColor red = Color::hex(u"#FF0000");
    const QColor blue = Color::hex(u"#0000FF");
    f.load({}, {moving("red", 6.0, std::nullopt, "#FF0000"), moving("blue", 600.0, std::nullopt, "#0000FF")});
    SignalRotationOrb* o = orb();
    QWidget* first = o->textColumn();
    ASSERT_TRUE(first);
    // The lines overlap by a point.
    const QList<QWidget*> lines = first->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1]->y(), lines[0]->height() - 1);
    EXPECT_EQ(o->dotColor(), red);

    o->tick();
    FakeTime::settle();
    const QPointer<QWidget> leaving = o->leavingColumn();
    QWidget* entering = o->textColumn();
    ASSERT_EQ(leaving.data(), first);
    ASSERT_NE(entering, first);
    EXPECT_EQ(o->headerText(), "BLUE");
    EXPECT_EQ(o->dotColor(), red) << "the change starts from the old look";
    EXPECT_EQ(entering->y(), o->height()) << "the new text starts at the bottom edge";

    auto opacityOf = [](QWidget* w) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect());
        return effect ? effect->opacity() : 1.0;
    };
    driver.advanceBy(200);  // half of the 0.4 s
    EXPECT_GT(leaving->y(), 0) << "sinking";
    EXPECT_GT(entering->y(), 0) << "rising";
    EXPECT_LT(entering->y(), o->height());
    EXPECT_GT(opacityOf(leaving), 0.1);
    EXPECT_LT(opacityOf(leaving), 0.9);
    EXPECT_GT(opacityOf(entering), 0.1);
    EXPECT_LT(opacityOf(entering), 0.9);
    const QColor mid = o->dotColor();
    EXPECT_GT(mid.red(), 50);
    EXPECT_LT(mid.red(), 205);
    EXPECT_GT(mid.blue(), 50);
    EXPECT_LT(mid.blue(), 205);
    EXPECT_GT(o->dotIntensity(), 0.5) << "the glow grows towards the faster topic";
    EXPECT_LT(o->dotIntensity(), 0.99);

    driver.advanceBy(250);
    FakeTime::settle();
    EXPECT_TRUE(leaving.isNull()) << "the old text is gone";
    EXPECT_EQ(o->leavingColumn(), nullptr);
    EXPECT_EQ(entering->y(), 0);
    EXPECT_EQ(entering->graphicsEffect(), nullptr) << "drawn straight again once in place";
    EXPECT_EQ(o->dotColor(), blue);
    EXPECT_DOUBLE_EQ(o->dotIntensity(), moving("blue", 600.0).velocityIntensity());

    // The same topic with another colour (a refresh) changes at once.
    f.load({}, {moving("red", 6.0, std::nullopt, "#FF0000"), moving("blue", 600.0, std::nullopt, "#00FF00")});
    FakeTime::settle();
    EXPECT_EQ(o->dotColor(), Color::hex(u"#00FF00"));
    EXPECT_EQ(o->leavingColumn(), nullptr);
}

} // namespace

} // namespace
