// Handing the memory of closed windows back to the system.
#include "platform/session/MemoryRelief.h"
#include "FakeTime.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <tuple>

using namespace std::chrono_literals;

namespace {

TEST(MemoryReliefTest, TrimsOnceAfterWindowsDeletedOnCloseHaveGone)
{
    FakeTime time;
    int trims = 0;
    MemoryRelief relief(time, [&trims] { ++trims; });
    // Deleted on close, a child widget, a window that stays (the strip).
    const std::tuple<const char*, bool, bool, int> cases[] = {
        {"a window deleted on close", true, false, 1}, {"a window that stays", false, false, 0}, {"a widget inside a window", true, true, 0}};
    for (const auto& [name, deleteOnClose, child, expected] : cases) {
        trims = 0;
        QWidget parent;
        auto* widget = new QWidget(child ? &parent : nullptr);
        widget->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
        if (!deleteOnClose && !child)
            widget->setParent(&parent, Qt::Window);  // owned, so it goes with the case
        parent.show();
        widget->show();
        widget->close();
        time.advance(MemoryRelief::delay - 1ms);
        EXPECT_EQ(trims, 0) << name << ": not at once, after the window has been deleted";
        time.advance(1ms);
        EXPECT_EQ(trims, expected) << name;
    }
    // Two windows closing in a row: one trim, after the second.
    trims = 0;
    QWidget* windows[] = {new QWidget, new QWidget};
    for (QWidget* w : windows) {
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    }
    windows[0]->close();
    time.advance(500ms);
    windows[1]->close();
    time.advance(MemoryRelief::delay);
    EXPECT_EQ(trims, 1);
}

} // namespace
