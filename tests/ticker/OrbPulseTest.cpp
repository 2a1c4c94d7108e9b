#include "StripFixture.h"
#include "api/Color.h"
#include "TickerTestUtil.h"
#include "ticker/SignalRotationOrb.h"
#include <QGraphicsOpacityEffect>

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <QVariantAnimation>
#include <functional>
#include <set>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

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

TEST_F(OrbPulseTest, CalmOrbsSettleAtTheFullGlowWithoutAnimating)
{
    struct Case {
        const char* what;
        Orb orb;
    };
    const QList<Case> cases = {
        {"no velocity", moving("a", std::nullopt)},
        {"slow", moving("b", 1.0)},              // intensity 0.1429
        {"just under the threshold", moving("c", 1.05)},  // 0.1489
        {"unknown word", moving("d", std::nullopt, "sideways")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f.load({}, {c.orb});
        window = std::make_unique<QWidget>();
        SignalRotationOrb* o = orb();
        EXPECT_TRUE(o->isPulsing());
        EXPECT_FALSE(o->isPulseAnimating());
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
        {"hot", true, 1880},
        {"calm: stops at the full glow", false, 0},
        {"half: breathes again", true, 3000},
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

    struct Step {
        const char* what;
        std::function<void()> run;
        bool animating;
    };
    const QList<Step> steps = {
        {"the pointer rests on the orb", [&] { o->setHovered(true); }, true},
        {"orb hidden", [&] { o->hide(); }, false},
        {"orb shown", [&] { o->show(); }, true},
        {"window hidden", [&] { window->hide(); }, false},
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

} // namespace

namespace {

// An orb shown before the store had any orbs (a first start without a
// cached snapshot) starts breathing, or settles, once they arrive.
TEST_F(OrbPulseTest, OrbsArrivingAfterTheOrbShowedStartItsPulse)
{
    struct Case {
        const char* what;
        Orb orb;
        bool animating;
    };
    const QList<Case> cases = {
        {"a breathing orb", moving("hot", std::nullopt, "hot"), true},
        {"a calm orb", moving("calm", 0.5), false},
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
        if (!c.animating) {
            EXPECT_EQ(o->pulseStep(), SignalRotationOrb::pulseSteps);
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
