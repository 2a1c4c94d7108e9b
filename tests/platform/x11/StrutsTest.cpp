// Which part of a screen other clients' reserved edges take: a root of two
// screens side by side, 1920 and 1280 pixels wide.
#include "platform/x11/Struts.h"

#include <gtest/gtest.h>

namespace {

const QSize kRoot(3200, 1080);
const QRect kLeftScreen(0, 0, 1920, 1080);
const QRect kRightScreen(1920, 0, 1280, 1080);

PartialStrut plain(uint32_t left, uint32_t right, uint32_t top, uint32_t bottom)
{
    return {left, right, top, bottom, 0, 0, 0, 0, 0, 0, 0, 0};
}

struct StrutCase {
    const char* name;
    PartialStrut strut;
    QRect area;
    QRect expected;
};

TEST(Struts, APartialStrutTakesOnlyThePartOfItsEdgeItsRangeCovers)
{
    PartialStrut topLeftHalf = plain(0, 0, 72, 0);
    topLeftHalf.topEndX = 1919;  // starts at 0: one end zero, yet not the whole edge
    PartialStrut topRightScreen = plain(0, 0, 72, 0);
    topRightScreen.topStartX = 1920;
    topRightScreen.topEndX = 3199;
    PartialStrut topFromLastLeftPixel = topRightScreen;
    topFromLastLeftPixel.topStartX = 1919;
    PartialStrut bottomRightScreen = plain(0, 0, 0, 48);
    bottomRightScreen.bottomStartX = 1920;
    bottomRightScreen.bottomEndX = 3199;
    PartialStrut bottomToTheEnd = plain(0, 0, 0, 48);
    bottomToTheEnd.bottomStartX = 100;
    bottomToTheEnd.bottomEndX = 0;  // ends before it starts
    PartialStrut leftUpperHalf = plain(100, 0, 0, 0);
    leftUpperHalf.leftEndY = 539;
    PartialStrut rightLowerHalf = plain(0, 1330, 0, 0);
    rightLowerHalf.rightStartY = 540;
    rightLowerHalf.rightEndY = 1079;
    PartialStrut rangeWithoutThickness = plain(0, 0, 0, 0);
    rangeWithoutThickness.topEndX = 3199;

    const QList<StrutCase> cases = {
        {"old-style top: whole edge", plain(0, 0, 30, 0), kRightScreen, {1920, 30, 1280, 1050}},
        {"old-style left on its screen", plain(100, 0, 0, 0), kLeftScreen, {100, 0, 1820, 1080}},
        {"old-style left misses the right screen", plain(100, 0, 0, 0), kRightScreen, kRightScreen},
        {"old-style right on its screen", plain(0, 50, 0, 0), kRightScreen, {1920, 0, 1230, 1080}},
        {"old-style right misses the left screen", plain(0, 50, 0, 0), kLeftScreen, kLeftScreen},
        {"old-style bottom and left at once", plain(100, 0, 0, 40), kLeftScreen, {100, 0, 1820, 1040}},
        {"top from 0: its own screen", topLeftHalf, kLeftScreen, {0, 72, 1920, 1008}},
        {"top from 0: not the other screen", topLeftHalf, kRightScreen, kRightScreen},
        {"top on the right screen only", topRightScreen, kLeftScreen, kLeftScreen},
        {"top on the right screen", topRightScreen, kRightScreen, {1920, 72, 1280, 1008}},
        {"one pixel of overlap counts", topFromLastLeftPixel, kLeftScreen, {0, 72, 1920, 1008}},
        {"bottom on the right screen", bottomRightScreen, kRightScreen, {1920, 0, 1280, 1032}},
        {"bottom on the right screen only", bottomRightScreen, kLeftScreen, kLeftScreen},
        {"a range ending before its start reserves nothing", bottomToTheEnd, kLeftScreen, kLeftScreen},
        {"left upper half: a screen's upper part", leftUpperHalf, {0, 0, 1920, 600}, {100, 0, 1820, 600}},
        {"left from 0: not what lies below it", leftUpperHalf, {0, 540, 1920, 540}, {0, 540, 1920, 540}},
        {"right lower half reaching into the left screen", rightLowerHalf, kLeftScreen, {0, 0, 1870, 1080}},
        {"right lower half: not what lies above it", rightLowerHalf, {0, 0, 1920, 540}, {0, 0, 1920, 540}},
        {"a range without thickness reserves nothing", rangeWithoutThickness, kLeftScreen, kLeftScreen},
    };
    for (const StrutCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(subtractStrut(c.area, c.strut, kRoot), c.expected);
    }
}

struct LearnStep {
    const char* name;
    QRect workArea;
    EdgeInsets clients;
    EdgeInsets own;
    QRect expected;  // what is left of the whole root
};

// What the window manager reserves on its own, learned from the work areas
// it publishes one after another as the strip and other panels come and go.
TEST(Struts, TheWindowManagersOwnReservationIsLearnedWhereTheWorkAreaShowsIt)
{
    const QSize root(1920, 1080);
    const QRect whole(QPoint(0, 0), root);
    const QList<LearnStep> steps = {
        {"a bar at each edge, before the strip reserves any", {0, 20, 1920, 1035}, {}, {}, {0, 20, 1920, 1035}},
        {"the strip's strut hides the top bar", {0, 92, 1920, 963}, {}, {0, 0, 92, 0}, {0, 20, 1920, 1035}},
        {"a client panel deeper than the strip is no bar of the window manager's", {0, 130, 1920, 925},
         {0, 0, 130, 0}, {0, 0, 92, 0}, {0, 20, 1920, 1035}},
        {"the top bar grows past the strip", {0, 120, 1920, 935}, {}, {0, 0, 92, 0}, {0, 120, 1920, 935}},
        {"hidden again under the strip that moved below it", {0, 192, 1920, 863}, {}, {0, 0, 192, 0},
         {0, 120, 1920, 935}},
        {"the strip went to the bottom; the work area still shows it at the top", {0, 192, 1920, 863}, {},
         {0, 0, 0, 97}, {0, 120, 1920, 935}},
        {"the strip on the bottom shows the top bar again", {0, 20, 1920, 963}, {}, {0, 0, 0, 97},
         {0, 20, 1920, 1035}},
        {"a client's bottom panel deeper than the bottom bar hides it: neither is taken for the other",
         {0, 0, 1920, 1040}, {0, 0, 0, 40}, {}, {0, 0, 1920, 1055}},
        {"bars on the sides", {64, 0, 1800, 1080}, {}, {0, 0, 72, 0}, {64, 0, 1800, 1080}},
        {"the strip's own reservation beside them", {64, 72, 1800, 1008}, {}, {0, 0, 72, 0}, {64, 0, 1800, 1080}},
        {"the strip gone, in a work area that still shows it", {0, 72, 1920, 1008}, {}, {}, {0, 0, 1920, 1080}},
        {"no work area published: what was learned stands", {}, {}, {}, {0, 0, 1920, 1080}},
    };
    WindowManagerEdges edges;
    for (const LearnStep& step : steps) {
        SCOPED_TRACE(step.name);
        edges.learn(step.workArea, root, step.clients, step.own);
        EXPECT_EQ(edges.apply(whole, root), step.expected);
    }
    // A strip that reserved 48 and went away in a work area that changed
    // since, yet still shows it: a window manager's bar is no deeper than that.
    WindowManagerEdges replaced;
    replaced.learn({0, 72, 1920, 1008}, root, {}, {0, 0, 72, 0});
    replaced.reserved({0, 0, 48, 0});
    replaced.learn({0, 0, 1920, 1080}, root, {}, {});
    replaced.learn({0, 48, 1920, 1032}, root, {}, {});
    EXPECT_EQ(replaced.apply(whole, root), whole);

    // A client panel no deeper than the strip, that never hid the bar, is
    // never taken for it as it comes and goes.
    WindowManagerEdges thin;
    thin.learn({0, 20, 1920, 1060}, root, {}, {});
    thin.learn({0, 92, 1920, 988}, root, {}, {0, 0, 92, 0});
    thin.learn({0, 92, 1920, 988}, root, {0, 0, 30, 0}, {0, 0, 92, 0});
    thin.learn({0, 92, 1920, 988}, root, {}, {0, 0, 92, 0});
    EXPECT_EQ(thin.apply(whole, root), QRect(0, 20, 1920, 1060));

    // Of two screens one above the other, a bar along the root's top edge
    // takes only from the upper one.
    WindowManagerEdges stacked;
    const QSize tall(1920, 2160);
    stacked.learn({0, 20, 1920, 2140}, tall, {}, {});
    EXPECT_EQ(stacked.apply({0, 0, 1920, 1080}, tall), QRect(0, 20, 1920, 1060));
    EXPECT_EQ(stacked.apply({0, 1080, 1920, 1080}, tall), QRect(0, 1080, 1920, 1080));
}

struct HiddenBarStep {
    const char* name;
    QRect workArea;
    EdgeInsets clients;
    EdgeInsets own;
    int keptClear;    // at the top
    bool wantsLook;   // at the top
};

// A window manager's bar along the top edge (20 pixels), hidden at first
// under a client's thicker panel (30), never seen before the strip reserves
// the edge below that panel. The bar stays hidden under the strip's own
// reservation once the panel goes: the strip then takes its reservation back
// for one look, and the bar shows.
TEST(Struts, ABarOnlyEverSeenUnderAThickerPanelIsKeptClearOfAndLookedForOnceThePanelGoes)
{
    const QSize root(1920, 1080);
    const QList<HiddenBarStep> steps = {
        {"the panel hides the bar", {0, 30, 1920, 1050}, {0, 0, 30, 0}, {}, 30, false},
        {"the strip reserves below the panel", {0, 102, 1920, 978}, {0, 0, 30, 0}, {0, 0, 102, 0}, 30, false},
        {"the panel gone: only the strip covers what it hid", {0, 102, 1920, 978}, {}, {0, 0, 102, 0}, 30, true},
    };
    WindowManagerEdges edges;
    for (const HiddenBarStep& step : steps) {
        SCOPED_TRACE(step.name);
        edges.learn(step.workArea, root, step.clients, step.own);
        edges.reserved(step.own);
        EXPECT_EQ(edges.insets().top, step.keptClear);
        EXPECT_EQ(edges.wantsLook(RootEdge::Top), step.wantsLook);
        EXPECT_FALSE(edges.wantsLook(RootEdge::Bottom));
    }

    edges.startLook(RootEdge::Top);
    EXPECT_TRUE(edges.looking());
    EXPECT_FALSE(edges.wantsLook(RootEdge::Top)) << "one look for one depth";
    // The reservation taken back, the work area has not answered yet: it
    // still shows the strip's old reservation, which is not the bar.
    edges.learn({0, 102, 1920, 978}, root, {}, {});
    EXPECT_TRUE(edges.looking());
    EXPECT_EQ(edges.insets().top, 30);
    // It answers: the bar.
    edges.learn({0, 20, 1920, 1060}, root, {}, {});
    EXPECT_FALSE(edges.looking());
    EXPECT_EQ(edges.insets().top, 20);
    EXPECT_FALSE(edges.wantsLook(RootEdge::Top));
    // The strip reserves below the bar again: the bar stays known, and no
    // further look is wanted.
    edges.learn({0, 92, 1920, 988}, root, {}, {0, 0, 92, 0});
    EXPECT_EQ(edges.insets().top, 20);
    EXPECT_FALSE(edges.wantsLook(RootEdge::Top));
}

struct LookCase {
    const char* name;
    QRect answer;      // the work area once the strip has taken its reservation back
    int keptClear;     // at the top, afterwards
    bool wantsLookAgain;
};

// A look that told nothing is not taken again for the same depth; once the
// depth that may hide the bar changes (a thinner panel shows it while the
// strip does not reserve the edge), it is looked at again when that panel
// goes.
TEST(Struts, ADepthThatChangesAfterALookIsLookedAtAgain)
{
    const QSize root(1920, 1080);
    const QList<HiddenBarStep> steps = {
        {"the panel hides the bar", {0, 30, 1920, 1050}, {0, 0, 30, 0}, {}, 30, false},
        {"the panel gone, the strip below where it was", {0, 102, 1920, 978}, {}, {0, 0, 102, 0}, 30, true},
    };
    WindowManagerEdges edges;
    for (const HiddenBarStep& step : steps) {
        SCOPED_TRACE(step.name);
        edges.learn(step.workArea, root, step.clients, step.own);
        edges.reserved(step.own);
        EXPECT_EQ(edges.insets().top, step.keptClear);
        EXPECT_EQ(edges.wantsLook(RootEdge::Top), step.wantsLook);
    }
    edges.startLook(RootEdge::Top);
    edges.endLook();  // no answer
    const QList<HiddenBarStep> after = {
        {"no second look at that depth", {0, 102, 1920, 978}, {}, {0, 0, 102, 0}, 30, false},
        {"a thinner panel, the strip not on top", {0, 25, 1920, 1055}, {0, 0, 25, 0}, {}, 25, false},
        {"the strip on top again, below the panel", {0, 97, 1920, 983}, {0, 0, 25, 0}, {0, 0, 97, 0}, 25, false},
        {"the panel gone: a look at the new depth", {0, 97, 1920, 983}, {}, {0, 0, 97, 0}, 25, true},
    };
    for (const HiddenBarStep& step : after) {
        SCOPED_TRACE(step.name);
        edges.learn(step.workArea, root, step.clients, step.own);
        edges.reserved(step.own);
        EXPECT_EQ(edges.insets().top, step.keptClear);
        EXPECT_EQ(edges.wantsLook(RootEdge::Top), step.wantsLook);
    }
}

// What one look finds: no bar at all, a bar exactly as deep as a
// reservation seen a moment ago (which may as well be a work area not yet
// brought up to date, so nothing is learned and the edge stays kept clear,
// with no second look), or a work area that never answers.
TEST(Struts, OneLookTellsWhatItCanAndIsNotTakenAgainForTheSameDepth)
{
    const QSize root(1920, 1080);
    const QList<LookCase> cases = {
        {"no bar", {0, 0, 1920, 1080}, 0, false},
        {"a bar exactly as deep as the panel was", {0, 30, 1920, 1050}, 30, false},
        {"no answer", {0, 102, 1920, 978}, 30, false},
    };
    for (const LookCase& c : cases) {
        SCOPED_TRACE(c.name);
        WindowManagerEdges edges;
        edges.learn({0, 30, 1920, 1050}, root, {0, 0, 30, 0}, {});
        edges.learn({0, 102, 1920, 978}, root, {0, 0, 30, 0}, {0, 0, 102, 0});
        edges.reserved({0, 0, 102, 0});
        edges.learn({0, 102, 1920, 978}, root, {}, {0, 0, 102, 0});
        ASSERT_TRUE(edges.wantsLook(RootEdge::Top));
        edges.startLook(RootEdge::Top);
        edges.learn(c.answer, root, {}, {});
        if (edges.looking())
            edges.endLook();  // given up
        EXPECT_EQ(edges.insets().top, c.keptClear);
        // The strip reserves again where it now goes.
        const int strut = c.keptClear + 72;
        edges.learn({0, strut, 1920, 1080 - strut}, root, {}, {0, 0, strut, 0});
        EXPECT_EQ(edges.wantsLook(RootEdge::Top), c.wantsLookAgain);
    }
}

// fluxbox tells of a new panel in its work area before it lists the panel
// among its clients: for that moment the panel's reservation looks like the
// window manager's own. Once the panel is listed, that depth is only the
// most the window manager's own may be, and is looked at again once the
// panel has gone.
TEST(Struts, APanelSeenInTheWorkAreaBeforeItIsListedIsNotKeptForTheBar)
{
    const QSize root(1920, 1080);
    const QList<HiddenBarStep> steps = {
        {"the bar alone", {0, 20, 1920, 1060}, {}, {0, 0, 0, 72}, 20, false},
        {"the panel in the work area, not yet listed", {0, 30, 1920, 978}, {}, {0, 0, 0, 72}, 30, false},
        {"the panel listed", {0, 30, 1920, 978}, {0, 0, 30, 0}, {0, 0, 0, 72}, 30, false},
        {"the strip below the panel", {0, 102, 1920, 978}, {0, 0, 30, 0}, {0, 0, 102, 0}, 30, false},
        {"the panel gone", {0, 102, 1920, 978}, {}, {0, 0, 102, 0}, 30, true},
    };
    WindowManagerEdges edges;
    for (const HiddenBarStep& step : steps) {
        SCOPED_TRACE(step.name);
        edges.learn(step.workArea, root, step.clients, step.own);
        edges.reserved(step.own);
        EXPECT_EQ(edges.insets().top, step.keptClear);
        EXPECT_EQ(edges.wantsLook(RootEdge::Top), step.wantsLook);
    }
    edges.startLook(RootEdge::Top);
    edges.learn({0, 20, 1920, 1060}, root, {}, {});
    EXPECT_EQ(edges.insets().top, 20);
}

struct SecondRoadStep {
    const char* name;
    QRect workArea;
    EdgeInsets clients;
    EdgeInsets own;
    QRect expected;
};

// The bar seen while the strip was on the other edge is kept while a panel
// thicker than it covers it and the strip then reserves below that panel,
// and found again, with no look, once the panel has moved away.
TEST(Struts, ABarSeenOnceIsKeptWhileAThickerPanelAndThenTheStripCoverIt)
{
    const QSize root(1920, 1080);
    const QRect whole(QPoint(0, 0), root);
    const QList<SecondRoadStep> steps = {
        {"the bar at the top, before the strip reserves", {0, 20, 1920, 1060}, {}, {}, {0, 20, 1920, 1060}},
        {"the strip at the bottom", {0, 20, 1920, 988}, {}, {0, 0, 0, 72}, {0, 20, 1920, 1060}},
        {"a thicker panel moves to the top", {0, 30, 1920, 978}, {0, 0, 30, 0}, {0, 0, 0, 72}, {0, 20, 1920, 1060}},
        {"the strip moves to the top, below the panel", {0, 102, 1920, 978}, {0, 0, 30, 0}, {0, 0, 102, 0},
         {0, 20, 1920, 1060}},
        {"the panel moves to the bottom", {0, 102, 1920, 948}, {0, 0, 0, 30}, {0, 0, 102, 0}, {0, 20, 1920, 1060}},
    };
    WindowManagerEdges edges;
    for (const SecondRoadStep& step : steps) {
        SCOPED_TRACE(step.name);
        edges.learn(step.workArea, root, step.clients, step.own);
        edges.reserved(step.own);
        EXPECT_EQ(edges.apply(whole, root), step.expected);
        EXPECT_FALSE(edges.wantsLook(RootEdge::Top));
    }
}

struct MonitorStep {
    const char* name;
    QRect workArea;
    QList<PartialStrut> clients;
    QList<PartialStrut> own;
    QRect left;   // what is left of the left monitor
    QRect right;  // and of the right one
};

PartialStrut bottomOn(uint32_t depth, uint32_t startX, uint32_t endX)
{
    PartialStrut strut = plain(0, 0, 0, depth);
    strut.bottomStartX = startX;
    strut.bottomEndX = endX;
    return strut;
}

// Two monitors of 1920 side by side, a window manager's bar along the
// bottom of the left one only, the strip at the bottom of one or the
// other: the bar is kept clear of on its own monitor alone, however the
// window manager's one work area tells of reservations on the other.
TEST(Struts, AWindowManagersBarAndReservationsCountOnlyOnTheMonitorTheyCover)
{
    const QSize root(3840, 1080);
    const QRect left(0, 0, 1920, 1080);
    const QRect right(1920, 0, 1920, 1080);
    const PartialStrut leftStrip = bottomOn(98, 0, 1919);
    const PartialStrut rightStrip = bottomOn(72, 1920, 3839);
    struct Road {
        const char* name;
        QRect bar;  // the window manager's own window
        QList<MonitorStep> steps;
    };
    const QList<Road> roads = {
        {"a work area that tells of the left monitor only (IceWM)",
         {0, 1054, 1920, 26},
         {
             {"the bar before the strip reserves", {0, 0, 3840, 1054}, {}, {}, {0, 0, 1920, 1054}, right},
             {"the strip on the left above the bar", {0, 0, 3840, 982}, {}, {leftStrip}, {0, 0, 1920, 1054}, right},
             {"the strip moved to the right", {0, 0, 3840, 1054}, {}, {rightStrip}, {0, 0, 1920, 1054}, right},
         }},
        {"the bar shown first while the strip reserves on the right",
         {0, 1054, 1920, 26},
         {
             {"no bar yet", {0, 0, 3840, 1080}, {}, {}, left, right},
             {"the strip on the right", {0, 0, 3840, 1080}, {}, {rightStrip}, left, right},
             {"the bar shows on the left", {0, 0, 3840, 1054}, {}, {rightStrip}, {0, 0, 1920, 1054}, right},
         }},
        {"a work area that tells of every monitor (fluxbox)",
         {0, 1060, 1920, 20},
         {
             {"the bar before the strip reserves", {0, 0, 3840, 1060}, {}, {}, {0, 0, 1920, 1060}, right},
             {"the strip on the right", {0, 0, 3840, 1008}, {}, {rightStrip}, {0, 0, 1920, 1060}, right},
         }},
        {"a bar whose window is not found is kept clear of on every monitor",
         {},
         {
             {"the bar", {0, 0, 3840, 1054}, {}, {}, {0, 0, 1920, 1054}, {1920, 0, 1920, 1054}},
         }},
        {"a window of the window manager's reaching deeper than the bar is not the bar",
         {1920, 680, 400, 400},
         {
             {"the bar", {0, 0, 3840, 1054}, {}, {}, {0, 0, 1920, 1054}, {1920, 0, 1920, 1054}},
         }},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        const QList<QRect> windows = road.bar.isEmpty() ? QList<QRect>() : QList<QRect>{road.bar};
        WindowManagerEdges edges;
        for (const MonitorStep& step : road.steps) {
            SCOPED_TRACE(step.name);
            edges.learnStruts(step.workArea, root, step.clients, step.own);
            for (const PartialStrut& strut : step.own)
                edges.reserved({0, 0, 0, int(strut.bottom)});
            EXPECT_EQ(edges.apply(left, root, windows), step.left);
            EXPECT_EQ(edges.apply(right, root, windows), step.right);
        }
    }
}

TEST(Struts, TheDeepestReservationPerEdgeWhateverItsRange)
{
    PartialStrut rightScreenTop = plain(0, 0, 72, 0);
    rightScreenTop.topStartX = 1920;
    rightScreenTop.topEndX = 3199;
    const EdgeInsets deepest = deepestInsets({plain(100, 0, 30, 0), rightScreenTop, plain(0, 50, 0, 20)});
    EXPECT_EQ(deepest.left, 100);
    EXPECT_EQ(deepest.right, 50);
    EXPECT_EQ(deepest.top, 72);
    EXPECT_EQ(deepest.bottom, 20);
}

} // namespace
