#include "api/Palette.h"
#include "app/LoadingSplashView.h"
#include "app/RollingText.h"
#include "settings/TidewireMark.h"
#include "platform/Defaults.h"

#include "FakeTime.h"

#include <QAbstractAnimation>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Hands out scripted draws and counts them.
struct ScriptedDraw {
    QList<int> script;
    int calls = 0;
    LoadingSplashView::Draw draw()
    {
        return [this](int count) {
            EXPECT_EQ(count, 10);
            return script.value(calls++ % script.size());
        };
    }
};

class LoadingSplashViewTest : public ::testing::Test {
protected:
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    ScriptedDraw draws{{3, 7, 7, 1, 0}};

    std::unique_ptr<LoadingSplashView> make(int size = 2)
    {
        auto view = std::make_unique<LoadingSplashView>(size, *defaults, time, draws.draw());
        view->resize(600, 72);
        return view;
    }
    static QString phrase(int i) { return LoadingSplashView::phrases().at(i); }
};

TEST_F(LoadingSplashViewTest, FirstPhraseAtOnceThenOneEveryTwoAndAHalfSeconds)
{
    auto view = make();
    EXPECT_EQ(view->thought(), QString());
    EXPECT_DOUBLE_EQ(view->mark()->markOpacity(), 0.2);
    view->show();
    EXPECT_EQ(view->thought(), phrase(3));
    EXPECT_EQ(draws.calls, 1);

    time.advance(2499ms);
    EXPECT_EQ(view->thought(), phrase(3));
    time.advance(1ms);
    EXPECT_EQ(view->thought(), phrase(7));
    time.advance(2500ms);
    EXPECT_EQ(view->thought(), phrase(7)) << "the same draw twice shows no change";
    EXPECT_EQ(draws.calls, 3);
    time.advance(5000ms);
    EXPECT_EQ(draws.calls, 5);
    EXPECT_EQ(view->thought(), phrase(0));
}

TEST_F(LoadingSplashViewTest, ANewPhraseCountsUpIntoPlace)
{
    auto view = make();
    view->show();
    RollingText* text = view->phraseView();
    EXPECT_EQ(text->transition(), nullptr) << "the first phrase shows at once";
    // The text alone, on a clear picture.
    auto drawn = [](QWidget& w) {
        QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    // The phrase as it stands when still: drawn alone at the same size.
    auto still = [&](const QString& phrase) {
        RollingText alone;
        alone.setFont(text->font());
        alone.setPalette(text->palette());
        alone.setText(phrase);
        alone.resize(text->size());
        return drawn(alone);
    };

    time.advance(LoadingSplashView::kPhraseInterval);
    ASSERT_EQ(view->thought(), phrase(7));
    QVariantAnimation* roll = text->transition();
    ASSERT_TRUE(roll);
    roll->pause();  // driven by hand from here
    EXPECT_EQ(roll->duration(), RollingText::transitionMs);
    const QImage from = still(phrase(3));
    const QImage to = still(phrase(7));
    ASSERT_NE(from, to);

    roll->setCurrentTime(0);
    EXPECT_EQ(drawn(*text), from) << "the old phrase, untouched, at the start";
    roll->setCurrentTime(RollingText::transitionMs / 2);
    const QImage halfway = drawn(*text);
    EXPECT_NE(halfway, from);
    EXPECT_NE(halfway, to);
    roll->setCurrentTime(RollingText::transitionMs);
    EXPECT_EQ(text->transition(), nullptr);
    EXPECT_EQ(drawn(*text), to) << "the new phrase in place at the end";

    time.advance(LoadingSplashView::kPhraseInterval);  // the same phrase drawn again
    EXPECT_EQ(view->thought(), phrase(7));
    EXPECT_EQ(text->transition(), nullptr) << "no change, nothing moves";
}

TEST_F(LoadingSplashViewTest, HiddenSplashStopsItsTimerAndPulse)
{
    auto view = make();
    view->show();
    EXPECT_TRUE(view->isPulsing());
    view->hide();
    EXPECT_FALSE(view->isPulsing());
    EXPECT_EQ(time.pendingCount(), 0);
    time.advance(30s);
    EXPECT_EQ(draws.calls, 1);

    view->show();  // shown again: a fresh phrase at once, and breathing again
    EXPECT_EQ(draws.calls, 2);
    EXPECT_EQ(view->thought(), phrase(7));
    EXPECT_TRUE(view->isPulsing());

    view.reset();
    EXPECT_EQ(time.pendingCount(), 0) << "a destroyed splash leaves no timer behind";
}

TEST_F(LoadingSplashViewTest, PulseBreathesBetweenDimAndFullForever)
{
    auto view = make();
    view->show();
    auto* pulse = view->findChild<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(pulse, nullptr);
    EXPECT_EQ(pulse->loopCount(), -1);
    pulse->pause();  // driven by hand instead of the animation clock
    struct Sample {
        int ms;
        qreal opacity;
    };
    // 1.2 s ease-in-out up, then the same back down.
    for (const Sample& s : QList<Sample>{{0, 0.2}, {600, 0.6}, {1200, 1.0}, {1800, 0.6}, {2400, 0.2},
                                         {2400 * 3 + 1200, 1.0}}) {
        SCOPED_TRACE(s.ms);
        pulse->setCurrentTime(s.ms);
        EXPECT_NEAR(view->mark()->markOpacity(), s.opacity, 1e-6);
    }
}

struct SizeCase {
    int size;
    int markHeight;
    int fontPixels;
};

TEST_F(LoadingSplashViewTest, SizeCodePicksMarkAndTextSize)
{
    for (const SizeCase& c : QList<SizeCase>{{1, 10, 10}, {2, 14, 13}, {3, 14, 13}, {4, 20, 18}, {0, 14, 13}}) {
        SCOPED_TRACE(c.size);
        auto view = make(c.size);
        EXPECT_EQ(view->mark()->height(), c.markHeight);
        EXPECT_EQ(view->phraseView()->font().pixelSize(), c.fontPixels);
    }
}

struct ThemeCase {
    const char* name;
    QJsonValue theme;
    QColor expected;
};

TEST_F(LoadingSplashViewTest, BackgroundFollowsTheThemeLive)
{
    auto view = make();
    view->show();
    const QList<ThemeCase> cases = {
        {"unset is black", QJsonValue(), QColor(Qt::black)},
        {"Blue", "Blue", themeBackgroundColor(u"Blue")},
        {"names compare exactly", "blue", QColor(Qt::black)},
        {"Teal", "Teal", themeBackgroundColor(u"Teal")},
    };
    for (const ThemeCase& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->set("themeBackground", c.theme);
        EXPECT_EQ(view->grab().toImage().pixelColor(2, 2).rgb(), c.expected.rgb());
    }
    EXPECT_NE(themeBackgroundColor(u"Blue"), QColor(Qt::black));
}

} // namespace
