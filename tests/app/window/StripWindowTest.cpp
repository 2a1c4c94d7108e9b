// The whole start-up road on a real X server: the sample catalogue on
// loopback, the feed store, the strip in the ticker window, and the strip's
// own calls back into the window placement (second strip, mini mode).
#include "X11Probe.h"
#include "ambient/FullScreenWindowManager.h"
#include "app/AppStripServices.h"
#include "app/RootContent.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/WindowPlacement.h"
#include "store/FeedStore.h"
#include "ticker/TickerView.h"

#include "CatalogueServer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

TEST(StripWindow, StripDocksAndFollowsItsOwnSettings)
{
    const QByteArray mode = qgetenv("TIDEWIRE_DISPLAY_TEST");
    if (mode.startsWith("missing:"))
        GTEST_SKIP() << mode.mid(8).constData();
    ASSERT_EQ(mode, "xvfb") << "run through tests/support/run-with-xvfb.sh";

    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    Defaults& defaults = Defaults::standard();
    TickerWindowController windows(defaults, WindowPlacement::system());
    int quits = 0;
    AppStripServices services(windows, [&quits] { ++quits; });
    StripServices::install(&services);
    auto app = std::make_unique<TidewireApp>(TidewireApp::Services{
        .defaults = defaults,
        .clock = Clock::system(),
        .scheduler = Scheduler::system(),
        .windows = windows,
        .personal = nullptr,
        .makeStrip = [](FeedStore& store) { return new TickerView(store); },
        .openSettings = {},
        .apiBase = server.baseUrl(),
    });
    app->launch();
    const WId id = app->rootContent()->winId();

    TickerView* strip = nullptr;
    ASSERT_TRUE(waitFor([&] {
        strip = qobject_cast<TickerView*>(app->rootContent()->currentView());
        return strip != nullptr;
    })) << "the store never reached running";
    ASSERT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 72); }));
    EXPECT_EQ(X11Probe::atoms(id, "_NET_WM_WINDOW_TYPE").value(0), "_NET_WM_WINDOW_TYPE_DOCK");

    // The strip places the window again when its settings change.
    defaults.set("secondTickerEnabled", true);
    EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 144); }))
        << X11Probe::geometry(id).height();
    EXPECT_EQ(X11Probe::cardinals(id, "_NET_WM_STRUT_PARTIAL"),
              (QList<qint64>{0, 0, 144, 0, 0, 0, 0, 0, 0, 1919, 0, 0}));

    // Mini mode: only the brand block is left, and only it takes clicks.
    strip->setMiniMode(true);
    const std::optional<QRect> region = strip->miniModeInputRegion();
    ASSERT_TRUE(region.has_value());
    EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 72); }));
    EXPECT_TRUE(waitFor([&] { return X11Probe::boundingShape(id) == *region; }))
        << X11Probe::shapeReport(id).toStdString();
    strip->setMiniMode(false);
    EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 144); }));
    EXPECT_TRUE(waitFor([&] {
        const auto shape = X11Probe::boundingShape(id);
        return !shape || *shape == QRect(0, 0, 1920, 144);
    }));

    // The strip's "Full Screen" reaches the board.
    services.showFullScreen(app->store());
    QWidget* board = FullScreenWindowManager::shared().window();
    ASSERT_NE(board, nullptr);
    EXPECT_TRUE(waitFor([&] { return board->isVisible(); }));
    FullScreenWindowManager::shared().close();
    EXPECT_EQ(FullScreenWindowManager::shared().window(), nullptr);

    services.quit();
    EXPECT_EQ(quits, 1);
    app.reset();
    StripServices::install(nullptr);
}

} // namespace
