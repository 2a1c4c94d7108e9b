// The settings window on a private X server managed by openbox, on a
// 2560 × 1440 desktop whose monitors each test sets up itself: where the
// window opens, how large, and what it remembers between windows.
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/AppStripServices.h"
#include "app/SettingsWindowManager.h"
#include "app/TickerWindowController.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"
#include "settings/SettingsView.h"
#include "store/FeedStore.h"

#include <QDebug>
#include <QGuiApplication>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <source_location>

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"));
        Defaults::setStandard(defaults.get());
        const QUrl nowhere(QStringLiteral("http://127.0.0.1:9/"));
        store = std::make_unique<FeedStore>(FeedStore::Services{*defaults, Clock::system(), Scheduler::system(), nullptr,
                                                                nullptr, {}, nowhere, std::nullopt, nowhere, "0.1"});
        manager = std::make_unique<SettingsWindowManager>(*defaults, [this] { return ticker.get(); });
    }

    void TearDown() override
    {
        if (manager && manager->window())
            manager->window()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ticker.reset();
        manager.reset();
        store.reset();
        Defaults::setStandard(nullptr);
        for (const QString& name : std::exchange(monitorNames, {}))
            X11Probe::deleteMonitor(name);
    }

    // These monitors in place of the X screen's own; the first is primary.
    void useMonitors(const QList<QPair<QString, QRect>>& monitors)
    {
        for (const QString& name : std::exchange(monitorNames, {}))
            X11Probe::deleteMonitor(name);
        bool first = true;
        for (const auto& [name, rect] : monitors) {
            ASSERT_TRUE(X11Probe::setMonitor(name, rect, first ? "screen" : "none"));
            monitorNames << name;
            first = false;
        }
        ASSERT_TRUE(waitFor([&] {
            const QList<QScreen*> screens = QGuiApplication::screens();
            if (screens.size() != monitors.size())
                return false;
            for (qsizetype i = 0; i < screens.size(); ++i)
                if (screens[i]->availableGeometry() != monitors[i].second)
                    return false;
            return true;
        })) << "Qt never saw the monitors";
    }

    // Opens (or raises) the window and waits until the window manager has it.
    void show(std::optional<SettingsTab> tab)
    {
        manager->show(*store, tab);
        ASSERT_NE(manager->window(), nullptr);
        // The window manager announces a window it has taken on with the
        // actions it allows on it.
        const WId id = manager->window()->winId();
        ASSERT_TRUE(waitFor([id] { return !X11Probe::atoms(id, "_NET_WM_ALLOWED_ACTIONS").isEmpty(); }))
            << "the window manager never managed the settings window";
    }
    // Waits until the server holds `frame` for the window and Qt's window has
    // heard so.
    void expectFrame(const QRect& frame, std::source_location where = std::source_location::current())
    {
        SCOPED_TRACE(testing::Message() << "expected at line " << where.line());
        QWidget* window = manager->window();
        const WId id = window->winId();
        EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id) == frame && window->windowHandle()->geometry() == frame; }))
            << "qt " << QDebug::toString(window->windowHandle()->geometry()).toStdString() << " server "
            << QDebug::toString(X11Probe::geometry(id)).toStdString();
    }
    // Moves the window near the top-left corner from another client, as a
    // user's drag through the window manager would, and waits until Qt knows.
    void moveAway()
    {
        QWidget* window = manager->window();
        const WId id = window->winId();
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QString::number(id),
                                                                 QStringLiteral("30"), QStringLiteral("40")}),
                  0);
        ASSERT_TRUE(waitFor([&] {
            const QRect known = window->windowHandle()->geometry();
            return known.x() < 100 && known.y() < 100 && X11Probe::geometry(id) == known;
        }));
    }
    SettingsView* view() const { return manager->window()->findChild<SettingsView*>(); }
    // How far the window manager's frame reaches beyond the shown window.
    QMargins decoration() const
    {
        const QList<qint64> e =
            X11Probe::cardinals(manager->window()->winId(), "_NET_FRAME_EXTENTS").value_or(QList<qint64>{0, 0, 0, 0});
        return QMargins(int(e.value(0)), int(e.value(2)), int(e.value(1)), int(e.value(3)));
    }
    // Closes the window as its close button does and waits until it is gone.
    void closeWindow()
    {
        QPointer<QWidget> window = manager->window();
        ASSERT_TRUE(window->close());
        ASSERT_TRUE(waitFor([&] { return window.isNull(); })) << "a closed window is deleted";
        EXPECT_EQ(manager->window(), nullptr);
    }

    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<FeedStore> store;
    std::unique_ptr<QWidget> ticker;
    std::unique_ptr<SettingsWindowManager> manager;
    QStringList monitorNames;
};

// Where the window goes, given the window manager's frame around it.
using Placement = std::function<QRect(const QMargins& decoration)>;
Placement at(const QRect& frame)
{
    return [frame](const QMargins&) { return frame; };
}

struct PlaceCase {
    const char* name;
    QList<QPair<QString, QRect>> monitors;  // a new name each time: Qt keeps a monitor it knows by name
    std::optional<QRect> strip;             // where the strip's window is, when it is shown
    Placement frame;
};

// Sized from the work area and centred in it, on the strip's monitor before
// the chosen one; a chosen monitor that is not attached counts as none.
TEST_F(SettingsWindowTest, SizedFromTheWorkAreaAndCentredOnTheStripsMonitor)
{
    const QRect left(0, 0, 1280, 1440);
    const QRect right(1280, 0, 1280, 1440);
    const QList<PlaceCase> cases = {
        // 900 × 620 by the size rules; the work area then cuts the height,
        // leaving room for the title bar and the bottom border.
        {"1000 × 600", {{"area0", {0, 0, 1000, 600}}}, {},
         [](const QMargins& e) { return QRect(50, e.top(), 900, 600 - e.top() - e.bottom()); }},
        {"2560 × 1400", {{"area1", {0, 0, 2560, 1400}}}, {}, at({660, 250, 1240, 900})},
        {"1600 × 1000 away from the origin", {{"area2", {400, 200, 1600, 1000}}}, {}, at({580, 250, 1240, 900})},
        {"two monitors, no strip: the primary", {{"left", left}, {"right", right}}, {}, at({50, 270, 1180, 900})},
        {"the strip's monitor", {{"left2", left}, {"right2", right}}, QRect(1400, 0, 800, 72),
         at({1330, 270, 1180, 900})},
    };
    defaults->set("preferredMonitor", "4242");  // not attached
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        useMonitors(c.monitors);
        if (HasFatalFailure())
            return;
        if (c.strip) {
            ticker = std::make_unique<QWidget>();
            ticker->setGeometry(*c.strip);
            ticker->show();
            ASSERT_TRUE(waitFor([this] { return ticker->screen() == QGuiApplication::screens().value(1); }));
        }
        show(std::nullopt);
        expectFrame(c.frame(decoration()));
        EXPECT_EQ(manager->window()->windowTitle(), QStringLiteral("Tidewire Settings"));
        EXPECT_EQ(view()->selectedTab(), SettingsTab::Home);
        closeWindow();
        defaults->remove("TidewireSettingsWindow");  // each case opens as new
    }
}

// An open window switches tab and is centred again; a tab asked for while
// it is open is used by the next window once; the frame it had when closed
// is restored, pulled onto the screen.
TEST_F(SettingsWindowTest, OneWindowAtATimeAndWhatTheNextOneTakesFromIt)
{
    useMonitors({{"only", {0, 0, 2560, 1400}}});
    show(std::nullopt);
    expectFrame({660, 250, 1240, 900});
    QWidget* window = manager->window();
    moveAway();
    show(SettingsTab::Markets);
    EXPECT_EQ(manager->window(), window) << "the open window is brought forward, not rebuilt";
    EXPECT_EQ(view()->selectedTab(), SettingsTab::Markets) << "switched before show returned";
    expectFrame({660, 250, 1240, 900});
    moveAway();
    show(std::nullopt);
    EXPECT_EQ(view()->selectedTab(), SettingsTab::Markets) << "no tab keeps the one shown";
    expectFrame({660, 250, 1240, 900});

    manager->window()->setGeometry(200, 150, 1000, 700);
    expectFrame({200, 150, 1000, 700});
    closeWindow();
    show(std::nullopt);
    EXPECT_EQ(view()->selectedTab(), SettingsTab::Markets);
    expectFrame({200, 150, 1000, 700});
    closeWindow();
    show(std::nullopt);
    EXPECT_EQ(view()->selectedTab(), SettingsTab::Home) << "used up by the window built with it";

    // Ctrl+W closes it as the close button does.
    QPointer<QWidget> open = manager->window();
    ASSERT_TRUE(waitFor([&] { return open->isActiveWindow(); }));
    QTest::keyClick(open, Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(waitFor([&] { return open.isNull(); }));

    struct Saved {
        const char* name;
        QRect saved;
        Placement frame;  // the whole frame on the screen, title bar and borders too
    };
    for (const Saved& c : QList<Saved>{
             {"off every screen", {5000, 4000, 900, 700},
              [](const QMargins& e) { return QRect(1660 - e.right(), 700 - e.bottom(), 900, 700); }},
             {"above and left of the screen", {-800, -500, 1000, 700},
              [](const QMargins& e) { return QRect(e.left(), e.top(), 1000, 700); }},
             {"larger than the work area", {-10, 20, 3000, 1600},
              [](const QMargins& e) { return QRect(QPoint(0, 0), QSize(2560, 1400)).marginsRemoved(e); }},
         }) {
        SCOPED_TRACE(c.name);
        defaults->set("TidewireSettingsWindow", QJsonObject{{"x", c.saved.x()}, {"y", c.saved.y()},
                                                            {"width", c.saved.width()}, {"height", c.saved.height()}});
        show(std::nullopt);
        expectFrame(c.frame(decoration()));
        closeWindow();
    }
}

// The strip's gear and "Settings…" reach the process's one manager through
// the application's strip services; a title that names no tab asks for none.
TEST_F(SettingsWindowTest, StripRequestsReachTheSharedManager)
{
    Defaults::setStandard(nullptr);  // the shared manager keeps the process's settings
    TickerWindowController windows(*defaults, WindowPlacement::system());
    AppStripServices strip(windows, [] {});
    SettingsWindowManager& shared = SettingsWindowManager::shared();
    strip.showSettings(*store, QStringLiteral("Markets"));
    ASSERT_NE(shared.window(), nullptr);
    SettingsView* opened = shared.window()->findChild<SettingsView*>();
    EXPECT_EQ(opened->selectedTab(), SettingsTab::Markets);
    strip.showSettings(*store, QStringLiteral("Nonsense"));
    strip.showSettings(*store, std::nullopt);
    EXPECT_EQ(shared.window()->findChild<SettingsView*>(), opened) << "raised, not rebuilt";
    EXPECT_EQ(opened->selectedTab(), SettingsTab::Markets);
    QPointer<QWidget> window = shared.window();
    window->close();
    ASSERT_TRUE(waitFor([&] { return window.isNull(); }));
    EXPECT_EQ(shared.initialTab(), SettingsTab::Home) << "the tab was used up by the window";
}

} // namespace
