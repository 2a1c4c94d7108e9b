// The strip on a screen scaled by a fraction (QT_SCALE_FACTOR, set by the
// test's run): its window and its reserved edge, in the X server's pixels,
// stay within the screen, also beside another application's side panel.
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/TickerWindowController.h"
#include "app/TickerWindowSetup.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

const QRect kScreen(0, 0, 1920, 1080);

std::string describe(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

struct ScaledCase {
    const char* name;
    const char* position;
    int panelWidth;  // another application's panel on the left edge, 0 for none
};

TEST(ScaledStripWindow, WindowAndReservedEdgeLieWithinTheScreen)
{
    TIDEWIRE_REQUIRE_XVFB();
    const qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    ASSERT_GT(ratio, 1.0) << "run with QT_SCALE_FACTOR set to a fraction";
    ASSERT_NE(ratio, qreal(qRound(ratio))) << "run with QT_SCALE_FACTOR set to a fraction";
    auto defaults = Defaults::inMemory();
    TickerWindowController controller(*defaults, WindowPlacement::system());
    QWidget window;
    configureTickerWindow(&window, controller);
    window.show();
    ASSERT_TRUE(waitFor([&] { return !X11Probe::atoms(window.winId(), "_NET_WM_ALLOWED_ACTIONS").isEmpty(); }));

    QProcess dock;
    const QList<ScaledCase> cases = {
        {"top", "top", 0},
        {"bottom", "bottom", 0},
        {"bottom beside a left panel", "bottom", 101},
        {"top beside a left panel", "top", 101},
    };
    for (const ScaledCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.panelWidth > 0 && dock.state() == QProcess::NotRunning) {
            dock.start(QStringLiteral(FOREIGN_WINDOW), {"side-panel", "Panel", QString::number(c.panelWidth)});
            ASSERT_TRUE(dock.waitForReadyRead(30000));
        }
        defaults->set("tickerPosition", c.position);
        controller.reposition();
        const bool bottom = QLatin1String(c.position) == QLatin1String("bottom");
        const int left = c.panelWidth;
        const int height = qRound(72 * ratio);
        // Within the free part of the screen, and short of its edges by no
        // more than the one pixel the scale may force.
        auto placed = [&](const QRect& r) {
            const QRect free = kScreen.adjusted(left, 0, 0, 0);
            return free.contains(r) && r.left() - left <= 1 && kScreen.right() - r.right() <= 1 &&
                   r.height() == height && (bottom ? kScreen.bottom() - r.bottom() <= 1 : r.top() == 0);
        };
        EXPECT_TRUE(waitFor([&] { return placed(X11Probe::geometry(window.winId())); }))
            << describe(X11Probe::geometry(window.winId()));
        // The reserved range ends at the window's last column, never past
        // the screen's.
        const QRect frame = X11Probe::geometry(window.winId());
        const QList<qint64> strut =
            bottom ? QList<qint64>{0, 0, 0, kScreen.height() - frame.y(), 0, 0, 0, 0, 0, 0, frame.x(), frame.right()}
                   : QList<qint64>{0, 0, frame.bottom() + 1, 0, 0, 0, 0, 0, frame.x(), frame.right(), 0, 0};
        EXPECT_TRUE(waitFor([&] { return X11Probe::cardinals(window.winId(), "_NET_WM_STRUT_PARTIAL") == strut; }));
        EXPECT_LE(strut[bottom ? 11 : 9], kScreen.right());
    }
    dock.kill();
    dock.waitForFinished();
}

} // namespace
