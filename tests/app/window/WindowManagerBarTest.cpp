// The strip beside a window manager's own bar, which the window manager
// tells of only through its work area: fluxbox's toolbar, along the top edge
// and 20 pixels high in the settings run-with-xvfb.sh gives it, with a
// thicker panel of another application on the same edge that hides it; and
// IceWM's taskbar on the first of two monitors.
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/TickerWindowController.h"
#include "app/Screens.h"
#include "app/TickerWindowSetup.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

class WindowManagerBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        if (qEnvironmentVariable("TIDEWIRE_WM") != "fluxbox")
            GTEST_SKIP() << "the toolbar is fluxbox's";
        ASSERT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(0, 20, 1920, 1060); }))
            << "the toolbar is not along the top edge alone";
        // A placement of this test's own: what it learns of the window
        // manager's bars starts from nothing.
        placement = WindowPlacement::createX11();
        ASSERT_TRUE(placement);
        controller = std::make_unique<TickerWindowController>(*defaults, *placement);
    }

    void TearDown() override
    {
        if (panel.state() != QProcess::NotRunning)
            panel.kill(), panel.waitForFinished();
        window.reset();
        controller.reset();
        placement.reset();
    }

    // Another application's panel along the top edge, `height` thick, once
    // the window manager lists it among its clients and has made room for
    // it. (fluxbox makes room before it lists the panel.)
    WId startPanel(int height)
    {
        panel.start(QStringLiteral(FOREIGN_WINDOW), {"panel", "Panel", QStringLiteral("top:%1").arg(height)});
        const WId id = panel.waitForReadyRead(30000) ? panel.readLine().trimmed().toULongLong() : 0;
        const bool listed = waitFor([id, height] {
            QProcess xprop;
            xprop.start("xprop", {"-root", "_NET_CLIENT_LIST"});
            xprop.waitForFinished();
            const QString hex = QStringLiteral("0x%1").arg(id, 0, 16);
            return QString::fromLatin1(xprop.readAllStandardOutput()).contains(hex) &&
                   X11Probe::workArea().top() >= height;
        });
        return listed ? id : 0;
    }

    void showStrip()
    {
        window = std::make_unique<QWidget>();
        configureTickerWindow(window.get(), *controller);
        window->show();
    }

    bool stripAt(const QRect& frame, int reservedTop) const
    {
        const WId id = window->winId();
        return X11Probe::geometry(id) == frame &&
               X11Probe::cardinals(id, "_NET_WM_STRUT_PARTIAL").value_or(QList<qint64>{}).value(2) == reservedTop &&
               X11Probe::workArea().top() == std::max(20, reservedTop);
    }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    std::unique_ptr<WindowPlacement> placement;
    std::unique_ptr<TickerWindowController> controller;
    std::unique_ptr<QWidget> window;
    QProcess panel;
};

// The panel started first, so the toolbar was never seen: once the panel
// goes, the strip keeps clear of the toolbar instead of covering it.
TEST_F(WindowManagerBar, KeepsClearOfTheToolbarOnceAThickerPanelThatHidItFromTheStartGoes)
{
    ASSERT_NE(startPanel(30), 0u);
    showStrip();
    EXPECT_TRUE(waitFor([this] { return stripAt({0, 30, 1920, 72}, 102); }));

    panel.kill();
    panel.waitForFinished();
    EXPECT_TRUE(waitFor([this] { return stripAt({0, 20, 1920, 72}, 92); }))
        << "strip at " << X11Probe::geometry(window->winId()).y() << ", work area from "
        << X11Probe::workArea().top();
}

// The toolbar seen while the strip was at the bottom stays known while a
// thicker panel covers it and the strip moves below that panel; once the
// panel moves to the other edge, the strip keeps clear of the toolbar.
TEST_F(WindowManagerBar, KeepsClearOfTheToolbarItSawOnceAThickerPanelMovesAway)
{
    defaults->set("tickerPosition", "bottom");
    showStrip();
    ASSERT_TRUE(waitFor([this] { return X11Probe::geometry(window->winId()) == QRect(0, 1008, 1920, 72); }));
    const WId panelId = startPanel(30);
    ASSERT_NE(panelId, 0u);
    defaults->set("tickerPosition", "top");
    controller->reposition();
    EXPECT_TRUE(waitFor([this] { return stripAt({0, 30, 1920, 72}, 102); }));

    // Both forms of its reservation, as a panel moving sets them: fluxbox
    // goes by the one set last.
    for (const auto& [name, value] : {std::pair{"_NET_WM_STRUT_PARTIAL", "0,0,0,30,0,0,0,0,0,0,0,1919"},
                                      std::pair{"_NET_WM_STRUT", "0,0,0,30"}}) {
        ASSERT_EQ(QProcess::execute("xprop", {"-id", QString::number(panelId), "-f", name, "32c", "-set", name, value}),
                  0);
    }
    EXPECT_TRUE(waitFor([this] { return stripAt({0, 20, 1920, 72}, 92); }))
        << "strip at " << X11Probe::geometry(window->winId()).y();
}

// IceWM's taskbar, 26 pixels high along the bottom of the left of two
// monitors of 1920 side by side (run-with-xvfb.sh splits the screen before
// IceWM starts), in a work area that tells of the left monitor alone.
TEST(WindowManagerBarOnOneMonitor, IsKeptClearOfOnItsMonitorOnly)
{
    TIDEWIRE_REQUIRE_XVFB();
    if (qEnvironmentVariable("TIDEWIRE_WM") != "icewm" || QGuiApplication::screens().size() != 2)
        GTEST_SKIP() << "the taskbar is IceWM's, on one of two monitors";
    QString left;
    QString right;
    for (QScreen* screen : QGuiApplication::screens())
        (screen->geometry().x() == 0 ? left : right) = QString::number(Screens::screenNumber(screen));
    ASSERT_TRUE(waitFor([] { return X11Probe::workArea() == QRect(0, 0, 3840, 1054); }))
        << "the taskbar is not along the bottom edge alone";

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    defaults->set("tickerPosition", "bottom");
    defaults->set("preferredMonitor", left);
    std::unique_ptr<WindowPlacement> placement = WindowPlacement::createX11();
    ASSERT_TRUE(placement);
    TickerWindowController controller(*defaults, *placement);
    QWidget window;
    configureTickerWindow(&window, controller);
    window.show();
    const WId id = window.winId();
    auto stripAt = [id](const QRect& frame, const QList<qint64>& strut) {
        return X11Probe::geometry(id) == frame && X11Probe::cardinals(id, "_NET_WM_STRUT_PARTIAL") == strut;
    };
    EXPECT_TRUE(waitFor([&] { return stripAt({0, 982, 1920, 72}, {0, 0, 0, 98, 0, 0, 0, 0, 0, 0, 0, 1919}); }))
        << "above the taskbar: strip at " << X11Probe::geometry(id).y();

    defaults->set("preferredMonitor", right);
    controller.reposition();
    EXPECT_TRUE(waitFor([&] { return stripAt({1920, 1008, 1920, 72}, {0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 1920, 3839}); }))
        << "at the bottom of the other monitor: strip at " << X11Probe::geometry(id).y();

    defaults->set("preferredMonitor", left);
    controller.reposition();
    EXPECT_TRUE(waitFor([&] { return stripAt({0, 982, 1920, 72}, {0, 0, 0, 98, 0, 0, 0, 0, 0, 0, 0, 1919}); }))
        << "above the taskbar again: strip at " << X11Probe::geometry(id).y();
}

} // namespace
