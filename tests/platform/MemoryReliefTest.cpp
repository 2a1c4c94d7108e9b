#include "platform/MemoryRelief.h"

#include "FakeTime.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace std::chrono_literals;

namespace {

TEST(MemoryReliefTest, TrimsOnceAfterWindowsDeletedOnCloseHaveGone)
{
    FakeTime time;
    int trims = 0;
    MemoryRelief relief(time, [&trims] { ++trims; });

    struct Case {
        const char* name;
        bool deleteOnClose;
        bool child;
        int trims;
    };
    const Case cases[] = {
        {"a window deleted on close", true, false, 1},
        {"a window that stays (the strip)", false, false, 0},
        {"a widget inside a window", true, true, 0},
    };
    for (const Case& c : cases) {
        trims = 0;
        QWidget parent;
        auto* widget = new QWidget(c.child ? &parent : nullptr);
        widget->setAttribute(Qt::WA_DeleteOnClose, c.deleteOnClose);
        if (!c.deleteOnClose && !c.child)
            widget->setParent(&parent, Qt::Window);  // owned, so it goes with the case
        parent.show();
        widget->show();
        widget->close();
        time.advance(MemoryRelief::delay - 1ms);
        EXPECT_EQ(trims, 0) << c.name << ": not at once, after the window has been deleted";
        time.advance(1ms);
        EXPECT_EQ(trims, c.trims) << c.name;
    }

    // Two windows closing in a row: one trim, after the second.
    trims = 0;
    auto* search = new QWidget;
    auto* settings = new QWidget;
    for (QWidget* w : {search, settings}) {
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    }
    search->close();
    time.advance(500ms);
    settings->close();
    time.advance(MemoryRelief::delay);
    EXPECT_EQ(trims, 1);
}

} // namespace
