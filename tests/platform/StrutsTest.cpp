// Which part of a screen other clients' reserved edges take: a root of two
// screens side by side, 1920 and 1280 pixels wide.
#include "platform/Struts.h"

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
        {"a client's bottom panel is not learned", {0, 0, 1920, 1040}, {0, 0, 0, 40}, {}, {0, 0, 1920, 1080}},
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

    // Of two screens one above the other, a bar along the root's top edge
    // takes only from the upper one.
    WindowManagerEdges stacked;
    const QSize tall(1920, 2160);
    stacked.learn({0, 20, 1920, 2140}, tall, {}, {});
    EXPECT_EQ(stacked.apply({0, 0, 1920, 1080}, tall), QRect(0, 20, 1920, 1060));
    EXPECT_EQ(stacked.apply({0, 1080, 1920, 1080}, tall), QRect(0, 1080, 1920, 1080));
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
