// The ticker window on a private X server managed by openbox: what the
// window manager and other clients really see of it.
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/Screens.h"
#include "app/TickerWindowController.h"
#include "app/TickerWindowSetup.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"

#include <QGuiApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <gtest/gtest.h>

namespace {

constexpr qint64 kAllDesktops = 0xFFFFFFFF;
const QRect kRoot(0, 0, 1920, 1080);

class TickerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        defaults = Defaults::inMemory();
        controller = std::make_unique<TickerWindowController>(*defaults, WindowPlacement::system());
    }

    void TearDown() override
    {
        window.reset();
        panel.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Builds, places and shows the strip, and waits until the window manager
    // has taken it on.
    void showStrip()
    {
        window = std::make_unique<QWidget>();
        configureTickerWindow(window.get(), *controller);
        window->show();
        // The window manager announces a window it has taken on with the
        // actions it allows on it.
        ASSERT_TRUE(waitFor([this] { return !X11Probe::atoms(id(), "_NET_WM_ALLOWED_ACTIONS").isEmpty(); }))
            << "the window manager never managed the strip";
    }

    WId id() const { return window->winId(); }
    QStringList states() const { return X11Probe::atoms(id(), "_NET_WM_STATE"); }
    QStringList types() const { return X11Probe::atoms(id(), "_NET_WM_WINDOW_TYPE"); }
    std::optional<QList<qint64>> strut() const { return X11Probe::cardinals(id(), "_NET_WM_STRUT_PARTIAL"); }

    // Waits until the server holds `frame` for the strip and checks it.
    void expectFrame(const QRect& frame)
    {
        EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id()) == frame; }))
            << "server geometry " << X11Probe::geometry(id()).x() << "," << X11Probe::geometry(id()).y() << " "
            << X11Probe::geometry(id()).width() << "x" << X11Probe::geometry(id()).height();
    }

    // Waits until the strip's reservation is `expected` (none: no strut) and
    // checks it: the window manager may place the strip before the app has
    // stated its reservation for the new place.
    void expectStrut(const std::optional<QList<qint64>>& expected)
    {
        EXPECT_TRUE(waitFor([&] { return strut() == expected; })) << "strut " << describe(strut());
    }
    static std::string describe(const std::optional<QList<qint64>>& values)
    {
        if (!values)
            return "none";
        QStringList texts;
        for (qint64 v : *values)
            texts << QString::number(v);
        return texts.join(',').toStdString();
    }
    // Waits until the window manager keeps the strip on every desktop.
    void expectOnEveryDesktop()
    {
        EXPECT_TRUE(waitFor([this] {
            return X11Probe::cardinals(id(), "_NET_WM_DESKTOP") == QList<qint64>{kAllDesktops};
        }));
    }

    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<TickerWindowController> controller;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<QWidget> panel;
};

struct EdgeCase {
    const char* name;
    QJsonObject settings;
    QRect frame;
    QList<qint64> strut;
};

// A dock on every desktop, out of the taskbar, reserving its edge; never
// "kept above", which some window managers stack over the full-screen window
// in front. Each setting that moves or resizes the strip applied to the same
// live window one after another.
TEST_F(TickerWindowTest, DockedOnEveryDesktopReservingItsEdgeAndFollowingTheSettings)
{
    showStrip();
    for (const char* state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
        EXPECT_TRUE(waitFor([&] { return states().contains(state); })) << state;
    for (const char* state : {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_BELOW"})
        EXPECT_FALSE(states().contains(state)) << state;
    // openbox keeps "on every desktop" as the desktop number, not as a state.
    expectOnEveryDesktop();
    const QString large = R"([{"mix":"latest","speed":1,"size":4,"background":"Black"}])";
    const QList<qint64> topStrut{0, 0, 72, 0, 0, 0, 0, 0, 0, 1919, 0, 0};
    const QList<EdgeCase> cases = {
        {"top, standard", {}, {0, 0, 1920, 72}, topStrut},
        {"bottom, standard", {{"tickerPosition", "bottom"}}, {0, 1008, 1920, 72}, {0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 0, 1919}},
        {"bottom, large", {{"tickerPosition", "bottom"}, {"tickerSize", 4}}, {0, 972, 1920, 108},
         {0, 0, 0, 108, 0, 0, 0, 0, 0, 0, 0, 1919}},
        {"top, compact", {{"tickerPosition", "top"}, {"tickerSize", 1}}, {0, 0, 1920, 48},
         {0, 0, 48, 0, 0, 0, 0, 0, 0, 1919, 0, 0}},
        {"size 3 is standard", {{"tickerSize", 3}}, {0, 0, 1920, 72}, topStrut},
        {"second strip on", {{"tickerSize", 2}, {"secondTickerEnabled", true}, {"stackedStripsJSON", large}},
         {0, 0, 1920, 180}, {0, 0, 180, 0, 0, 0, 0, 0, 0, 1919, 0, 0}},
        {"second strip at the bottom", {{"tickerPosition", "bottom"}}, {0, 900, 1920, 180},
         {0, 0, 0, 180, 0, 0, 0, 0, 0, 0, 0, 1919}},
        {"mini mode leaves the second strip out", {{"tickerMiniModeTransient", true}}, {0, 1008, 1920, 72},
         {0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 0, 1919}},
        {"second strip off", {{"tickerMiniModeTransient", false}, {"secondTickerEnabled", false},
          {"tickerPosition", "top"}}, {0, 0, 1920, 72}, topStrut},
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto it = c.settings.begin(); it != c.settings.end(); ++it)
            defaults->set(it.key(), it.value());
        controller->reposition();
        expectFrame(c.frame);
        expectStrut(c.strut);
        EXPECT_EQ(types().value(0), "_NET_WM_WINDOW_TYPE_DOCK");
    }
    EXPECT_TRUE(waitFor([this] { return X11Probe::workArea() == QRect(0, 72, 1920, 1008); }));

    // Handing the same window over again configures and places it the same way.
    const WId before = id();
    configureTickerWindow(window.get(), *controller);
    EXPECT_EQ(id(), before) << "the native window is kept";
    expectFrame({0, 0, 1920, 72});
    EXPECT_EQ(types().value(0), "_NET_WM_WINDOW_TYPE_DOCK");
    expectStrut(topStrut);
}

// Another panel's strut pushes the strip down; the strip's own strut never
// does, however often it is placed.
TEST_F(TickerWindowTest, SitsBelowOtherPanelsButNotBelowItself)
{
    panel = std::make_unique<QWidget>();
    panel->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    panel->setGeometry(0, 0, 1920, 30);
    panel->winId();
    WindowPlacement::system().place(panel->windowHandle(), QRect(0, 0, 1920, 30), WindowPlacement::Edge::Top, true);
    panel->show();
    ASSERT_TRUE(waitFor([this] { return X11Probe::workArea().y() == 30; }));

    showStrip();
    expectFrame({0, 30, 1920, 72});
    expectStrut(QList<qint64>{0, 0, 102, 0, 0, 0, 0, 0, 0, 1919, 0, 0});
    ASSERT_TRUE(waitFor([this] { return X11Probe::workArea().y() == 102; }));
    for (int i = 0; i < 3; ++i)
        controller->reposition();
    expectFrame({0, 30, 1920, 72});

    // The panel goes away: the strip moves up without being asked.
    panel.reset();
    expectFrame({0, 0, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return X11Probe::workArea().y() == 72; }));
}

// Another application's panel on the left edge: the strip starts beside it
// and reserves only the width it covers; it follows the panel's reservation
// as it changes, and once that application has gone it spans the screen
// again, each time without being asked.
TEST_F(TickerWindowTest, SpansTheWidthASidePanelLeavesAndWidensWhenItGoes)
{
    QProcess dock;
    dock.start(QStringLiteral(FOREIGN_WINDOW), {"side-panel", "Panel", "100"});
    ASSERT_TRUE(dock.waitForReadyRead(30000));
    ASSERT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(100, 0, 1820, 1080); }));

    showStrip();
    expectFrame({100, 0, 1820, 72});
    expectStrut(QList<qint64>{0, 0, 72, 0, 0, 0, 0, 0, 100, 1919, 0, 0});
    defaults->set("tickerPosition", "bottom");
    controller->reposition();
    expectFrame({100, 1008, 1820, 72});
    expectStrut(QList<qint64>{0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 100, 1919});

    // The panel moves to the strip's edge, then thins: the strip follows it.
    const WId panel = dock.readLine().trimmed().toULongLong();
    auto reserve = [panel](const QString& strut) {
        return QProcess::execute("xprop", {"-id", QString::number(panel), "-f", "_NET_WM_STRUT_PARTIAL", "32c",
                                           "-set", "_NET_WM_STRUT_PARTIAL", strut}) == 0;
    };
    ASSERT_TRUE(reserve("0,0,0,30,0,0,0,0,0,0,0,1919"));
    expectFrame({0, 978, 1920, 72});
    ASSERT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(0, 0, 1920, 978); }));
    ASSERT_TRUE(reserve("0,0,0,20,0,0,0,0,0,0,0,1919"));
    expectFrame({0, 988, 1920, 72});

    dock.kill();
    dock.waitForFinished();
    expectFrame({0, 1008, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return strut() == QList<qint64>{0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 0, 1919}; }));
    EXPECT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(0, 0, 1920, 1008); }));
}

// Another application's panel on the strip's own edge, no thicker than the
// strip, started after it: the work area stays as the strip's own strut
// made it, yet the strip moves under the panel, follows its reservation as
// it changes, and takes the edge back once the panel has gone.
TEST_F(TickerWindowTest, MakesRoomForAPanelThatComesChangesAndGoesAfterIt)
{
    // Each change comes once the work area has settled and the app has
    // placed the strip for it, as when a panel starts well after the strip.
    auto settled = [](int top) {
        const bool seen = waitFor([top] {
            return X11Probe::workArea().top() == top && QGuiApplication::primaryScreen()->availableGeometry().top() == top;
        });
        QCoreApplication::sendPostedEvents();
        return seen;
    };
    showStrip();
    expectFrame({0, 0, 1920, 72});
    ASSERT_TRUE(settled(72));
    QProcess dock;
    dock.start(QStringLiteral(FOREIGN_WINDOW), {"top-panel", "Panel", "top:30"});
    ASSERT_TRUE(dock.waitForReadyRead(30000));
    expectFrame({0, 30, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return strut() == QList<qint64>{0, 0, 102, 0, 0, 0, 0, 0, 0, 1919, 0, 0}; }));

    const WId panel = dock.readLine().trimmed().toULongLong();
    auto reserve = [panel](int top) {
        return QProcess::execute("xprop", {"-id", QString::number(panel), "-f", "_NET_WM_STRUT_PARTIAL", "32c", "-set",
                                           "_NET_WM_STRUT_PARTIAL", QStringLiteral("0,0,%1,0,0,0,0,0,0,1919,0,0").arg(top)}) == 0;
    };
    ASSERT_TRUE(settled(102));
    ASSERT_TRUE(reserve(50));
    expectFrame({0, 50, 1920, 72});
    ASSERT_TRUE(settled(122));
    ASSERT_TRUE(reserve(10));
    expectFrame({0, 10, 1920, 72});

    ASSERT_TRUE(settled(82));
    dock.kill();
    dock.waitForFinished();
    expectFrame({0, 0, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return strut() == QList<qint64>{0, 0, 72, 0, 0, 0, 0, 0, 0, 1919, 0, 0}; }));
}

// openbox's configured margins are the window manager's own reservation,
// stated only in its work area, like a window manager's own bar. The strip
// sits beside them on either edge, also where its own strut hides the
// margin in the work area, and moves when they change.
TEST_F(TickerWindowTest, SitsBesideTheWindowManagersOwnMarginsOnEitherEdge)
{
    const QString config = qEnvironmentVariable("TIDEWIRE_OPENBOX_CONFIG");
    if (config.isEmpty())
        GTEST_SKIP() << "openbox runs without a configuration file of the test's own";
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString original = QString::fromUtf8(file.readAll());
    file.close();
    static const QRegularExpression margins(QStringLiteral("<margins>.*?</margins>"),
                                            QRegularExpression::DotMatchesEverythingOption);
    ASSERT_TRUE(original.contains(margins));
    auto setMargins = [&](int top, int bottom) {
        QFile out(config);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QString text = original;
        text.replace(margins, QStringLiteral("<margins><top>%1</top><bottom>%2</bottom><left>0</left>"
                                             "<right>0</right></margins>").arg(top).arg(bottom));
        out.write(text.toUtf8());
        out.close();
        return QProcess::execute("openbox", {"--reconfigure"}) == 0;
    };
    // The next test starts on a desktop without margins and without a strip.
    const auto restore = qScopeGuard([&] {
        setMargins(0, 0);
        window.reset();
        EXPECT_TRUE(waitFor([] { return X11Probe::workArea() == kRoot; }));
    });
    ASSERT_TRUE(setMargins(20, 25));
    ASSERT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(0, 20, 1920, 1035); }));

    showStrip();
    expectFrame({0, 20, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return strut() == QList<qint64>{0, 0, 92, 0, 0, 0, 0, 0, 0, 1919, 0, 0}; }));
    defaults->set("tickerPosition", "bottom");
    controller->reposition();
    expectFrame({0, 983, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return strut() == QList<qint64>{0, 0, 0, 97, 0, 0, 0, 0, 0, 0, 0, 1919}; }));
    defaults->set("tickerPosition", "top");
    controller->reposition();
    expectFrame({0, 20, 1920, 72});

    // A margin deeper than the strip reaches shows in the work area: the
    // strip moves without being asked. The other edge's is seen once the
    // strip goes there.
    ASSERT_TRUE(setMargins(120, 40));
    expectFrame({0, 120, 1920, 72});
    EXPECT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(0, 192, 1920, 848); }));
    defaults->set("tickerPosition", "bottom");
    controller->reposition();
    expectFrame({0, 968, 1920, 72});
}

// Not on top, the strip is still a dock, kept below ordinary windows and
// reserving nothing.
TEST_F(TickerWindowTest, NotOnTopIsADockKeptBelowWithoutStrut)
{
    defaults->set("alwaysOnTop", false);
    showStrip();
    EXPECT_EQ(types().value(0), "_NET_WM_WINDOW_TYPE_DOCK");
    EXPECT_TRUE(waitFor([this] { return states().contains("_NET_WM_STATE_BELOW"); }));
    EXPECT_FALSE(states().contains("_NET_WM_STATE_ABOVE"));
    EXPECT_TRUE(waitFor([this] { return states().contains("_NET_WM_STATE_SKIP_TASKBAR"); }));
    expectOnEveryDesktop();
    EXPECT_FALSE(strut().has_value());
    expectFrame({0, 0, 1920, 72});
    EXPECT_TRUE(waitFor([this] { return X11Probe::workArea() == kRoot; }));

    // Switching it on again maps the same window again at its new level,
    // once the window manager has let go of it. Held still, the window
    // manager cannot: placing returns at once, and the switch finishes from
    // the event loop once it runs again.
    const pid_t wm = pid_t(qEnvironmentVariableIntValue("TIDEWIRE_WM_PID"));
    ASSERT_GT(wm, 0);
    ::kill(wm, SIGSTOP);
    defaults->set("alwaysOnTop", true);
    controller->reposition();
    const bool pendingBelow = states().contains("_NET_WM_STATE_BELOW");
    ::kill(wm, SIGCONT);
    EXPECT_TRUE(pendingBelow);
    ASSERT_TRUE(waitFor([this] {
        return types().value(0) == "_NET_WM_WINDOW_TYPE_DOCK" && !states().isEmpty() &&
               !states().contains("_NET_WM_STATE_BELOW") && window->isVisible() && X11Probe::managed(id());
    })) << types().join(' ').toStdString() << " / " << states().join(' ').toStdString();
    EXPECT_FALSE(states().contains("_NET_WM_STATE_ABOVE"));
    expectOnEveryDesktop();
    expectStrut(QList<qint64>{0, 0, 72, 0, 0, 0, 0, 0, 0, 1919, 0, 0});
    EXPECT_TRUE(waitFor([this] { return X11Probe::workArea() == QRect(0, 72, 1920, 1008); }));

    // And off again, while shown: the reservation goes.
    defaults->set("alwaysOnTop", false);
    controller->reposition();
    ASSERT_TRUE(waitFor([this] { return states().contains("_NET_WM_STATE_BELOW"); }));
    expectStrut(std::nullopt);
    EXPECT_TRUE(waitFor([this] { return X11Probe::workArea() == kRoot && window->isVisible(); }));
}

// Counts the close requests that reach a window from outside the app.
class CloseRequests final : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close && event->spontaneous())
            ++count;
        return false;
    }
};

// The strip has no close control. A window manager that passes a panel's
// or a pager's close request on to a dock, or closes the strip itself,
// sends it WM_DELETE_WINDOW: it stays, and only quitting the app takes it
// away. (openbox passes no close request on to a dock; Alt+F4 closes the
// active window, which the strip never is.)
TEST_F(TickerWindowTest, RefusesTheWindowManagersCloseAndGoesWithTheApp)
{
    defaults->set("alwaysOnTop", false);
    showStrip();
    CloseRequests closes;
    window->installEventFilter(&closes);

    X11Probe::requestClose(id());
    ASSERT_TRUE(X11Probe::windowManagerRoundTrip());
    const int before = closes.count;
    X11Probe::sendDeleteWindow(id());
    ASSERT_TRUE(waitFor([&] { return closes.count > before; })) << "the close never came";
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(X11Probe::managed(id())) << "no longer managed";

    // Quitting closes every window; the strip does not hold it up.
    // The time limit is a timer of this test's own: a stray one would end
    // whatever event loop a later test runs once it ran out. Generous: it
    // only ends a quit that never finishes.
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    limit.start(30000);
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    EXPECT_EQ(QCoreApplication::exec(), 0) << "quitting was held up";
    EXPECT_FALSE(window->isVisible());
}

TEST_F(TickerWindowTest, FollowsASecondMonitorAddedAndRemoved)
{
    if (QStandardPaths::findExecutable("xrandr").isEmpty())
        GTEST_SKIP() << "xrandr is not installed (scripts/install-deps installs it)";
    showStrip();
    QSignalSpy screensChanged(controller.get(), &TickerWindowController::availableScreensChanged);
    // Split the one display into two monitors: "screen" on the left, "side" on the right.
    ASSERT_TRUE(X11Probe::setMonitor("left", {0, 0, 1280, 1080}, "screen"));
    ASSERT_TRUE(X11Probe::setMonitor("side", {1280, 0, 640, 1080}, "none"));
    ASSERT_TRUE(waitFor([this] { return controller->availableScreens().size() == 2; }));
    EXPECT_GE(screensChanged.count(), 1);
    expectFrame({0, 0, 1280, 72});  // placed again on its own screen, now narrower

    QScreen* side = nullptr;
    for (QScreen* s : controller->availableScreens())
        if (s->name() == "side")
            side = s;
    ASSERT_NE(side, nullptr);
    const QString sideID = QString::number(Screens::screenNumber(side));
    EXPECT_EQ(Screens::screen(sideID), side);
    defaults->set("preferredMonitor", sideID);
    defaults->set("tickerPosition", "bottom");
    controller->reposition();
    expectFrame({1280, 1008, 640, 72});
    expectStrut(QList<qint64>{0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 1280, 1919});

    // Unplugging the chosen monitor moves the strip without being asked.
    ASSERT_TRUE(X11Probe::deleteMonitor("side"));
    ASSERT_TRUE(X11Probe::deleteMonitor("left"));
    ASSERT_TRUE(waitFor([this] { return controller->availableScreens().size() == 1; }));
    expectFrame({0, 1008, 1920, 72});
    expectStrut(QList<qint64>{0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 0, 1919});
    EXPECT_EQ(Screens::screen(sideID), nullptr);
    EXPECT_EQ(defaults->stringValue("preferredMonitor"), sideID)
        << "the stored choice is kept for when the monitor returns";
}

} // namespace
