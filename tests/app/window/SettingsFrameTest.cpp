// The settings and search windows on a screen too short for them, or scaled
// up: the window manager's frame around each, title bar included, stays
// inside the work area below the strip, so the window can always be moved
// and closed. Registered twice: on 1920 × 1080 at scale 2, and on a
// 1280 × 600 screen.
#include "../SearchHarness.h"
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/SearchWindowManager.h"
#include "app/SettingsWindowManager.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "settings/SettingsView.h"
#include "store/FeedStore.h"

#include <QDebug>
#include <QGuiApplication>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>
#include <source_location>

namespace {

std::string text(const QRect& rect)
{
    return QDebug::toString(rect).toStdString();
}

class SettingsFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"));
        const QUrl nowhere(QStringLiteral("http://127.0.0.1:9/"));
        store = std::make_unique<FeedStore>(FeedStore::Services{*defaults, Clock::system(), Scheduler::system(), nullptr,
                                                                nullptr, {}, nowhere, std::nullopt, nowhere, "0.1"});
        manager = std::make_unique<SettingsWindowManager>(*defaults, [] { return nullptr; });
    }

    void TearDown() override
    {
        if (manager && manager->window())
            manager->window()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        strip.reset();
        // The next test starts with the whole screen free, and Qt knowing so.
        EXPECT_TRUE(waitFor([] {
            const QScreen* screen = QGuiApplication::primaryScreen();
            return X11Probe::workArea().top() == 0 && screen->availableGeometry() == screen->geometry();
        }));
        manager.reset();
        store.reset();
    }

    // A dock along the top edge as tall as the strip, reserving it, as the
    // strip does (its own placement is the strip tests' business); waits
    // until the window manager has left it out of the work area and Qt knows.
    void showStrip()
    {
        const int height = qRound(72 * QGuiApplication::primaryScreen()->devicePixelRatio());
        strip = std::make_unique<X11Probe::TopPanel>(height);
        ASSERT_TRUE(waitFor([height] {
            return X11Probe::workArea().top() == height &&
                   QGuiApplication::primaryScreen()->availableGeometry().top() == 72;
        })) << "the dock reserved nothing: work area " << text(X11Probe::workArea());
    }

    // Opens (or raises) the window and waits until the window manager has
    // framed it.
    void show()
    {
        manager->show(*store, std::nullopt);
        ASSERT_NE(manager->window(), nullptr);
        waitUntilManaged(manager->window());
    }

    static void waitUntilManaged(QWidget* window)
    {
        const WId id = window->winId();
        ASSERT_TRUE(waitFor([id] { return !X11Probe::atoms(id, "_NET_WM_ALLOWED_ACTIONS").isEmpty(); }))
            << "the window manager never managed " << window->windowTitle().toStdString();
    }

    // The frame, title bar included, comes to lie inside the work area, and
    // the window fills the height there is (when it asked for more), within
    // the rounding of its frame to whole logical pixels.
    void expectInsideWorkArea(std::source_location where = std::source_location::current())
    {
        expectInsideWorkArea(manager->window(), where);
    }

    static void expectInsideWorkArea(const QWidget* window,
                                     std::source_location where = std::source_location::current())
    {
        SCOPED_TRACE(testing::Message() << "checked at line " << where.line());
        const WId id = window->winId();
        EXPECT_TRUE(waitFor([id] { return X11Probe::workArea().contains(X11Probe::frameGeometry(id)); }))
            << "frame " << text(X11Probe::frameGeometry(id)) << " work area " << text(X11Probe::workArea());
        const QRect frame = X11Probe::frameGeometry(id);
        const QRect client = X11Probe::geometry(id);
        EXPECT_LT(frame.top(), client.top()) << "a title bar above the window";
        const int slack = int(2 * window->devicePixelRatio());
        EXPECT_GE(frame.height(), X11Probe::workArea().height() - slack) << "the window is as tall as there is room";
        // Still usable at that size: the window manager may keep it there,
        // and its content fits (the pages and the results scroll).
        EXPECT_LE(window->minimumHeight(), window->height());
        EXPECT_LE(window->minimumSizeHint().height(), window->height());
    }

    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<FeedStore> store;
    std::unique_ptr<X11Probe::TopPanel> strip;
    std::unique_ptr<SettingsWindowManager> manager;
};

// First launch: the strip is up and the settings window opens under it.
// Then the user drags it up under the strip and asks for it again, and a
// remembered frame larger than the screen opens inside it.
TEST_F(SettingsFrameTest, FirstOpenReopenAndRememberedFrameLieBelowTheStrip)
{
    showStrip();
    show();
    expectInsideWorkArea();

    const WId id = manager->window()->winId();
    const QStringList toTheCorner{QStringLiteral("windowmove"), QString::number(id), QStringLiteral("0"),
                                  QStringLiteral("0")};
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), toTheCorner), 0);
    ASSERT_TRUE(waitFor([id] { return X11Probe::geometry(id).top() < X11Probe::workArea().top(); }));
    show();
    expectInsideWorkArea();

    QPointer<QWidget> window = manager->window();
    window->close();
    ASSERT_TRUE(waitFor([&] { return window.isNull(); }));
    defaults->set("TidewireSettingsWindow", QJsonObject{{"x", -40}, {"y", -30}, {"width", 3000}, {"height", 2000}});
    show();
    expectInsideWorkArea();
}

// The window opened before the strip reserved its edge (or a panel took
// more room): once the work area shrinks, the window moves in below it.
TEST_F(SettingsFrameTest, FollowsTheWorkAreaWhenTheStripArrivesLater)
{
    show();
    expectInsideWorkArea();
    showStrip();
    expectInsideWorkArea();
}

// The search window, placed by the app too, opens below the strip and gives
// up height rather than its title bar.
TEST_F(SettingsFrameTest, TheSearchWindowOpensBelowTheStripToo)
{
    showStrip();
    SearchHarness search;
    SearchWindowManager windows(search.context());
    windows.show(*search.store);
    ASSERT_NE(windows.window(), nullptr);
    waitUntilManaged(windows.window());
    expectInsideWorkArea(windows.window());
    EXPECT_EQ(windows.window()->width(), 620);
    windows.close();
}

} // namespace
