#include "app/FirstFrameProbe.h"

#include <QPointer>
#include <QTest>
#include <QWidget>
#include <cctype>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Step {
    Paint,    // the widget paints now
    Turn,     // one turn of the event loop
    Ready,    // the condition starts to hold
    Unready,  // the condition stops holding
    Destroy,  // the widget goes away
};

struct Expectation {
    Step step;
    int firedAfter;  // callbacks seen once the step is done
};

struct ProbeCase {
    const char* name;
    bool readyAtStart;
    std::vector<Expectation> steps;
};

const ProbeCase kCases[] = {
    {"fires after the first paint, on the next turn",
     true,
     {{Step::Turn, 0}, {Step::Paint, 0}, {Step::Turn, 1}}},
    {"two paints before the next turn fire once",
     true,
     {{Step::Paint, 0}, {Step::Paint, 0}, {Step::Turn, 1}, {Step::Turn, 1}}},
    {"paints while the condition is false are passed over",
     false,
     {{Step::Paint, 0}, {Step::Turn, 0}, {Step::Paint, 0}, {Step::Turn, 0}}},
    {"fires on the first paint after the condition becomes true",
     false,
     {{Step::Paint, 0},
      {Step::Turn, 0},
      {Step::Ready, 0},
      {Step::Turn, 0},
      {Step::Paint, 0},
      {Step::Turn, 1}}},
    {"the condition counts at the paint, not at the next turn",
     true,
     {{Step::Paint, 0}, {Step::Unready, 0}, {Step::Turn, 1}}},
    {"a condition that held only between paints does not count",
     false,
     {{Step::Ready, 0}, {Step::Unready, 0}, {Step::Paint, 0}, {Step::Turn, 0}}},
    {"never fires twice",
     true,
     {{Step::Paint, 0},
      {Step::Turn, 1},
      {Step::Paint, 1},
      {Step::Turn, 1},
      {Step::Unready, 1},
      {Step::Paint, 1},
      {Step::Ready, 1},
      {Step::Paint, 1},
      {Step::Turn, 1}}},
    {"widget gone before any paint",
     true,
     {{Step::Destroy, 0}, {Step::Turn, 0}}},
    {"widget gone between the paint and the next turn",
     true,
     {{Step::Paint, 0}, {Step::Destroy, 0}, {Step::Turn, 0}}},
};

void PrintTo(const ProbeCase& c, std::ostream* os)
{
    *os << c.name;
}

class FirstFrameProbeCase : public testing::TestWithParam<ProbeCase> {};

TEST_P(FirstFrameProbeCase, FiresAsScripted)
{
    const ProbeCase& c = GetParam();
    auto widget = std::make_unique<QWidget>();
    widget->resize(100, 20);
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    QCoreApplication::processEvents();  // the paints of showing are done

    QPointer<QWidget> alive = widget.get();
    bool ready = c.readyAtStart;
    int fired = 0;
    FirstFrameProbe::watch(
        widget.get(),
        [&] {
            EXPECT_FALSE(alive.isNull()) << "asked about a widget that is gone";
            return ready;
        },
        [&] { ++fired; });

    for (size_t i = 0; i < c.steps.size(); ++i) {
        switch (c.steps[i].step) {
        case Step::Paint:
            widget->repaint();
            break;
        case Step::Turn:
            QCoreApplication::processEvents();
            break;
        case Step::Ready:
            ready = true;
            break;
        case Step::Unready:
            ready = false;
            break;
        case Step::Destroy:
            widget.reset();
            break;
        }
        EXPECT_EQ(fired, c.steps[i].firedAfter) << "after step " << i;
    }

    if (widget && fired == 1) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(widget->findChild<FirstFrameProbe*>(), nullptr) << "the probe removes itself once it fired";
    }
}

INSTANTIATE_TEST_SUITE_P(Script, FirstFrameProbeCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ProbeCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(FirstFrameProbe, NullWidgetIsIgnored)
{
    int fired = 0;
    FirstFrameProbe::watch(nullptr, [] { return true; }, [&] { ++fired; });
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0);
}

} // namespace
