#include "app/RootContent.h"

#include <QPointer>
#include <QCoreApplication>
#include <QEvent>
#include <gtest/gtest.h>

namespace {

struct Built {
    int splashes = 0;
    int strips = 0;
};

std::unique_ptr<RootContent> makeRoot(Built& built)
{
    return std::make_unique<RootContent>(
        [&built] { ++built.splashes; auto* w = new QWidget; w->setObjectName("splash"); return w; },
        [&built] { ++built.strips; auto* w = new QWidget; w->setObjectName("strip"); return w; });
}

struct Step {
    PhaseCase phase;
    const char* shows;
    int splashes;  // built so far
    int strips;
};

struct SwapCase {
    const char* name;
    QList<Step> steps;
};

TEST(RootContent, BuildsAViewOnlyWhenThePhaseCaseChanges)
{
    using enum PhaseCase;
    const QList<SwapCase> cases = {
        {"boot then run", {{Booting, "splash", 1, 0}, {Running, "strip", 1, 1}}},
        {"republished running keeps the strip",
         {{Booting, "splash", 1, 0}, {Running, "strip", 1, 1}, {Running, "strip", 1, 1}, {Running, "strip", 1, 1}}},
        {"error keeps the splash up, recovery brings the strip",
         {{Booting, "splash", 1, 0}, {Error, "splash", 2, 0}, {Error, "splash", 2, 0}, {Running, "strip", 2, 1}}},
        {"running to error and back",
         {{Running, "strip", 0, 1}, {Error, "splash", 1, 1}, {Running, "strip", 1, 2}}},
    };
    for (const SwapCase& c : cases) {
        SCOPED_TRACE(c.name);
        Built built;
        auto root = makeRoot(built);
        for (const Step& step : c.steps) {
            root->setPhase(step.phase);
            ASSERT_NE(root->currentView(), nullptr);
            EXPECT_EQ(root->currentView()->objectName(), step.shows);
            EXPECT_EQ(root->currentView()->parentWidget(), root.get());
            EXPECT_EQ(built.splashes, step.splashes);
            EXPECT_EQ(built.strips, step.strips);
        }
    }
}

TEST(RootContent, ReplacedViewIsDeletedAndUnchangedViewSurvives)
{
    Built built;
    auto root = makeRoot(built);
    root->setPhase(PhaseCase::Running);
    QPointer<QWidget> strip = root->currentView();
    root->setPhase(PhaseCase::Running);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(root->currentView(), strip.data());
    ASSERT_FALSE(strip.isNull());

    root->setPhase(PhaseCase::Error);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(strip.isNull()) << "the strip is released when the splash replaces it";
}

} // namespace
