#include "StripFixture.h"
#include "TickerTestUtil.h"
#include "api/Palette.h"
#include "music/NowPlayingArtBlock.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/OrbPhraseLabel.h"
#include "ticker/SignalRotationOrb.h"
#include "ticker/WeatherSegment.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QPointer>
#include <QTimer>
#include <QMenu>
#include <QToolButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

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
    struct Step {
        const char* what;
        std::function<void()> run;
        QString shown;
    };
    const QList<Step> steps = {
        {"at first", [] {}, "rates"},
        {"9.9 s", [&] { f.rows.time.advance(9900ms); }, "rates"},
        {"10 s", [&] { f.rows.time.advance(100ms); }, "space"},
        {"20 s", [&] { tick(); }, "ai"},
        {"30 s wraps", [&] { tick(); }, "rates"},
        {"hovered", [&] { o->setHovered(true); tick(); tick(); }, "rates"},
        {"left: no catching up", [&] { o->setHovered(false); tick(); }, "space"},
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

TEST_F(OrbTest, PointerOnTheOrbPausesTheRotation)
{
    f.load({}, kOrbs);
    auto o = orb();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), o->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(o.get(), &enter);
    tick();
    EXPECT_EQ(o->orbIndex(), 0);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(o.get(), &leave);
    tick();
    EXPECT_EQ(o->orbIndex(), 1);
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
    struct Case {
        int size;
        int rotations;
        QString header;
        QStringList lines;
        int width;
    };
    const QList<Case> cases = {
        {2, 0, "INTEREST RATES", {"FED", "  MORTGAGE ", "CPI & WAGES"}, 28 + 10 + 190},
        {4, 0, "INTEREST RATES", {"FED", "  MORTGAGE ", "CPI & WAGES"}, 40 + 10 + 190},
        {2, 1, "SPACE", {"SCANNING..."}, 28 + 10 + 190},
        {2, 2, "AI", {"SCANNING..."}, 28 + 10 + 190},
        {1, 0, "", {}, 20},
        {3, 0, "INTEREST RATES", {"FED", "  MORTGAGE ", "CPI & WAGES"}, 28 + 10 + 190},
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
    struct Case {
        int index;
        std::optional<QUrl> url;
        QString help;
        Qt::CursorShape cursor;
    };
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

TEST(WeatherSegmentTest, CityAndValueBeforeAndAfterAReading)
{
    StripFixture f;
    WeatherSegment weather(*f.store, 2, f.defaults());
    EXPECT_EQ(weather.captionText(), "DUBLIN");
    EXPECT_EQ(weather.valueText(), "--°C");
    f.defaults().set(WeatherSegment::cityKey, "Oslo");
    EXPECT_EQ(weather.captionText(), "OSLO");

    struct Case {
        int size;
        double dot;
        int caption;
        int value;
    };
    for (const Case& c : {Case{1, 4, 7, 13}, Case{2, 6, 9, 18}, Case{4, 8, 12, 26}, Case{0, 6, 9, 18}}) {
        EXPECT_EQ(WeatherSegment::dotDiameter(c.size), c.dot);
        EXPECT_EQ(WeatherSegment::captionFont(c.size).pixelSize(), c.caption);
        EXPECT_EQ(WeatherSegment::valueFont(c.size).pixelSize(), c.value);
    }
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
