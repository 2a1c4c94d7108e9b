#include "ticker/StripConfig.h"
#include "app/TickerPlacement.h"
#include "platform/Defaults.h"

#include <gtest/gtest.h>

namespace {

// A value that is not stored at all.
const QJsonValue kAbsent = QJsonObject().value(QStringLiteral("absent"));

const QRect kFull(0, 0, 1920, 1080);

ScreenInfo screenAt(QRect geometry, QRect available, quint32 number)
{
    return ScreenInfo{geometry, available, number};
}

struct SettingsCase {
    const char* name;
    QJsonObject stored;
    bool onTop;
    StripEdge edge;
    int height;
};

// Every setting read from a real settings store, through to the frame.
TEST(TickerPlacement, SettingsDecideLevelEdgeAndHeight)
{
    const QJsonObject secondOn{{"secondTickerEnabled", true}};
    const QList<SettingsCase> cases = {
        {"nothing stored", {}, true, StripEdge::Top, 72},
        {"size 1", {{"tickerSize", 1}}, true, StripEdge::Top, 48},
        {"size 2", {{"tickerSize", 2}}, true, StripEdge::Top, 72},
        {"size 4", {{"tickerSize", 4}}, true, StripEdge::Top, 108},
        {"size 3 is not offered", {{"tickerSize", 3}}, true, StripEdge::Top, 72},
        {"size 0 counts as 2", {{"tickerSize", 0}}, true, StripEdge::Top, 72},
        {"size of the wrong type", {{"tickerSize", "4"}}, true, StripEdge::Top, 72},
        {"on top off", {{"alwaysOnTop", false}}, false, StripEdge::Top, 72},
        {"on top not a bool counts as on", {{"alwaysOnTop", "no"}}, true, StripEdge::Top, 72},
        {"bottom", {{"tickerPosition", "bottom"}}, true, StripEdge::Bottom, 72},
        {"Bottom with a capital is top", {{"tickerPosition", "Bottom"}}, true, StripEdge::Top, 72},
        {"bottom with a space is top", {{"tickerPosition", "bottom "}}, true, StripEdge::Top, 72},
        {"second strip from the main size", {{"secondTickerEnabled", true}, {"tickerSize", 4}}, true,
         StripEdge::Top, 216},
        {"second strip stored large", {{"secondTickerEnabled", true},
          {"stackedStripsJSON", R"([{"mix":"latest","speed":1,"size":4,"background":"Black"}])"}},
         true, StripEdge::Top, 72 + 108},
        {"second strip in mini mode", {{"secondTickerEnabled", true}, {"tickerMiniModeTransient", true}},
         true, StripEdge::Top, 72},
        {"mini mode without second strip", {{"tickerMiniModeTransient", true}, {"tickerSize", 1}}, true,
         StripEdge::Top, 48},
        {"stored strips while second strip off", {
          {"stackedStripsJSON", R"([{"mix":"latest","speed":1,"size":4,"background":"Black"}])"}},
         true, StripEdge::Top, 72},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = Defaults::inMemory();
        for (auto it = c.stored.begin(); it != c.stored.end(); ++it)
            defaults->set(it.key(), it.value());
        const TickerPlacement p = TickerPlacement::compute(PlacementSettings::read(*defaults),
                                                           {screenAt(kFull, kFull, 7)}, 0, 0);
        EXPECT_EQ(p.onTop, c.onTop);
        EXPECT_EQ(p.edge, c.edge);
        EXPECT_EQ(p.height, c.height);
        ASSERT_TRUE(p.frame.has_value());
        EXPECT_EQ(p.frame->height(), c.height);
        EXPECT_EQ(p.frame->y(), c.edge == StripEdge::Top ? 0 : 1080 - c.height);
    }
}

// Mini mode turned off again adds the stacked strips back at the next read.
TEST(TickerPlacement, MiniModeOffAddsTheStackedStripsBack)
{
    auto defaults = Defaults::inMemory();
    defaults->set("secondTickerEnabled", true);
    defaults->set("tickerMiniModeTransient", true);
    const QList<ScreenInfo> screens{screenAt(kFull, kFull, 1)};
    EXPECT_EQ(TickerPlacement::compute(PlacementSettings::read(*defaults), screens, 0, 0).height, 72);
    defaults->set("tickerMiniModeTransient", false);
    EXPECT_EQ(TickerPlacement::compute(PlacementSettings::read(*defaults), screens, 0, 0).height, 144);
}

struct StackCase {
    const char* name;
    QJsonValue stored;
    QJsonValue tickerSize;
    int height;
};

TEST(StackedStripsHeight, FirstDecodedStripOrTheOlderSettings)
{
    const QList<StackCase> cases = {
        {"nothing stored", kAbsent, kAbsent, 72},
        {"compact", R"([{"mix":"latest","speed":1.5,"size":1,"background":"Red"}])", 4, 48},
        {"only the first of two counts",
         R"([{"mix":"latest","speed":1,"size":4,"background":"Red"},{"mix":"music","speed":1,"size":1,"background":"Red"}])",
         kAbsent, 108},
        {"size 3 is 72", R"([{"mix":"latest","speed":1,"size":3,"background":"Red"}])", 4, 72},
        {"empty list falls back", "[]", 1, 48},
        {"missing key fails the list", R"([{"mix":"latest","speed":1,"size":4}])", 1, 48},
        {"mistyped key fails the list", R"([{"mix":"latest","speed":"fast","size":4,"background":"Red"}])", 1, 48},
        {"a broken later entry fails the whole list",
         R"([{"mix":"latest","speed":1,"size":4,"background":"Red"},{"mix":"latest"}])", 1, 48},
        {"fractional size fails the list", R"([{"mix":"latest","speed":1,"size":1.5,"background":"Red"}])", 4, 108},
        {"not JSON", "{oops", 4, 108},
        {"stored as a non-string", QJsonArray{1, 2}, 1, 48},
        {"fallback size 0 is 2", kAbsent, 0, 72},
    };
    for (const StackCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = Defaults::inMemory();
        if (!c.stored.isUndefined())
            defaults->set("stackedStripsJSON", c.stored);
        if (!c.tickerSize.isUndefined())
            defaults->set("tickerSize", c.tickerSize);
        EXPECT_EQ(StripConfig::totalHeight(*defaults), c.height);
    }
}

struct ScreenCase {
    const char* name;
    QString preferred;
    std::optional<qsizetype> current;
    std::optional<qsizetype> main;
    std::optional<qsizetype> expected;
};

TEST(TickerPlacement, ScreenChoiceFallsBackInOrder)
{
    // Three screens side by side; the middle and last share a number 0 case.
    const QList<ScreenInfo> screens{screenAt({0, 0, 1920, 1080}, {0, 0, 1920, 1080}, 11),
                                    screenAt({1920, 0, 2560, 1440}, {1920, 0, 2560, 1440}, 0),
                                    screenAt({4480, 0, 1280, 1024}, {4480, 0, 1280, 1024}, 0)};
    const QList<ScreenCase> cases = {
        {"preferred wins over current", "11", 2, 1, 0},
        {"number 0 is the first such screen", "0", 0, 0, 1},
        {"unknown number: current screen", "99", 2, 1, 2},
        {"not a number: current screen", "left", 2, 1, 2},
        {"leading zero does not match", "011", 1, 2, 1},
        {"no choice, no current: main", "", std::nullopt, 2, 2},
        {"no current, no main: first", "", std::nullopt, std::nullopt, 0},
        {"stale indexes are ignored", "", 7, 9, 0},
    };
    for (const ScreenCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlacementSettings settings;
        settings.preferredMonitor = c.preferred;
        EXPECT_EQ(TickerPlacement::compute(settings, screens, c.current, c.main).screenIndex, c.expected);
    }
}

TEST(TickerPlacement, NoScreenKeepsOnlyTheLevel)
{
    PlacementSettings settings;
    settings.alwaysOnTop = false;
    const TickerPlacement p = TickerPlacement::compute(settings, {}, 0, 0);
    EXPECT_FALSE(p.onTop);
    EXPECT_FALSE(p.screenIndex.has_value());
    EXPECT_FALSE(p.frame.has_value());
}

struct FrameCase {
    const char* name;
    ScreenInfo screen;
    QString position;
    QRect expected;
};

// Full screen width always; the vertical position follows the free area.
TEST(TickerPlacement, FrameSpansTheScreenAndSitsInsideThePanels)
{
    const QList<FrameCase> cases = {
        {"plain top", screenAt(kFull, kFull, 1), "top", {0, 0, 1920, 72}},
        {"plain bottom", screenAt(kFull, kFull, 1), "bottom", {0, 1008, 1920, 72}},
        {"under a top panel", screenAt(kFull, {0, 28, 1920, 1052}, 1), "top", {0, 28, 1920, 72}},
        {"above a bottom panel", screenAt(kFull, {0, 0, 1920, 1040}, 1), "bottom", {0, 968, 1920, 72}},
        {"beside a side panel the width stays full", screenAt(kFull, {64, 0, 1856, 1080}, 1), "top",
         {0, 0, 1920, 72}},
        {"second screen to the right", screenAt({1920, 0, 1280, 1024}, {1920, 30, 1280, 994}, 2), "bottom",
         {1920, 952, 1280, 72}},
        {"screen above the first (negative y)", screenAt({0, -1200, 1600, 1200}, {0, -1200, 1600, 1200}, 3),
         "top", {0, -1200, 1600, 72}},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlacementSettings settings;
        settings.tickerPosition = c.position;
        const TickerPlacement p = TickerPlacement::compute(settings, {c.screen}, 0, 0);
        ASSERT_TRUE(p.frame.has_value());
        EXPECT_EQ(*p.frame, c.expected);
    }
}

} // namespace
