// The whole start-up road on a real X server: the sample catalogue on
// loopback, the feed store, the strip in the ticker window, the strip's own
// calls back into the window placement (second strip, mini mode) and into
// the other windows, and the window's visual with and without a compositing
// manager.
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "ambient/FullScreenWindowManager.h"
#include "app/AppStripServices.h"
#include "app/RootContent.h"
#include "app/SearchPanel.h"
#include "app/SearchWindowManager.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"
#include "store/FeedStore.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/TickerView.h"

#include "CatalogueServer.h"

#include <QLineEdit>
#include <algorithm>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The process's standard settings, in memory: the settings file would carry
// one run's changes into the next (QStandardPaths' test mode keeps it under
// the home folder, not the private XDG folders). Installed once and never
// destroyed, since the shared stores keep the settings they first saw.
Defaults& standardSettings()
{
    static Defaults* const settings = [] {
        Defaults* d = Defaults::inMemory().release();
        Defaults::setStandard(d);
        return d;
    }();
    return *settings;
}

std::string describe(const QList<QRect>& rects)
{
    QString text;
    for (const QRect& r : rects)
        text += QStringLiteral("%1x%2+%3+%4 ").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
    return text.isEmpty() ? std::string("none ") : text.toStdString();
}

struct LookCase {
    const char* name;
    bool compositing;
    bool translucent;
    int depth;
};

// The application launched as main() launches it, on the test catalogue and
// the standard settings. The strip docks, places the window again when its
// own settings change, reaches the board and quit through the strip
// services. Its window has an alpha channel only where a compositing
// manager would show what lies beneath it; either way mini mode leaves
// nothing of the window but the brand block's panel, and leaving it gives
// the whole window back.
TEST(StripWindow, DocksFollowsItsOwnSettingsAndIsSeeThroughOnlyUnderACompositingManager)
{
    TIDEWIRE_REQUIRE_XVFB();
    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    Defaults& defaults = standardSettings();
    // The other tests share the display: none of them may see a compositing
    // manager, whatever happens here.
    std::optional<X11Probe::CompositingManager> compositor;
    const QList<LookCase> cases = {
        {"no compositing manager", false, false, 24},
        {"a compositing manager", true, true, 32},
        {"the compositing manager gone again", false, false, 24},
    };
    for (const LookCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.compositing) {
            compositor.emplace();
            ASSERT_TRUE(compositor->owns()) << "could not take the _NET_WM_CM_S0 selection";
        } else {
            compositor.reset();
        }
        EXPECT_EQ(WindowPlacement::system().showsTranslucency(), c.compositing);
        defaults.set("secondTickerEnabled", false);

        TickerWindowController windows(defaults, WindowPlacement::system());
        int quits = 0;
        AppStripServices services(windows, [&quits] { ++quits; });
        StripServices::install(&services);
        // Taken down before the services, whether or not a check failed.
        const auto uninstall = qScopeGuard([] { StripServices::install(nullptr); });
        auto app = std::make_unique<TidewireApp>(TidewireApp::Services{
            .defaults = defaults, .clock = Clock::system(), .scheduler = Scheduler::system(), .windows = windows,
            .personal = nullptr, .makeStrip = [](FeedStore& store) { return new TickerView(store); },
            .openSettings = {}, .startIdleWatcher = {}, .apiBase = server.baseUrl(),
        });
        app->launch();
        QWidget* window = app->rootContent();
        const WId id = window->winId();
        EXPECT_EQ(window->testAttribute(Qt::WA_TranslucentBackground), c.translucent);
        EXPECT_EQ(X11Probe::depth(id), c.depth);

        TickerView* strip = nullptr;
        ASSERT_TRUE(waitFor([&] {
            strip = qobject_cast<TickerView*>(app->rootContent()->currentView());
            return strip != nullptr;
        })) << "the store never reached running";
        ASSERT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 72); }));
        EXPECT_EQ(X11Probe::atoms(id, "_NET_WM_WINDOW_TYPE").value(0), "_NET_WM_WINDOW_TYPE_DOCK");

        defaults.set("secondTickerEnabled", true);
        EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 144); }))
            << X11Probe::geometry(id).height();
        EXPECT_TRUE(waitFor([&] {
            return X11Probe::cardinals(id, "_NET_WM_STRUT_PARTIAL") == QList<qint64>{0, 0, 144, 0, 0, 0, 0, 0, 0, 1919, 0, 0};
        })) << "the reservation did not follow the window";

        FixedBrandBlock* brand = strip->brandBlock();
        ASSERT_NE(brand, nullptr);
        strip->setMiniMode(true);
        const auto panel = [&] {
            return QList<QRect>{QRect(brand->mapTo(window, QPoint(0, 0)), QSize(brand->panelWidth(), brand->height()))};
        };
        EXPECT_TRUE(waitFor([&] {
            return X11Probe::geometry(id) == QRect(0, 0, 1920, 72) && X11Probe::boundingRectangles(id) == panel();
        })) << "shape " << describe(X11Probe::boundingRectangles(id)) << "brand panel " << describe(panel());
        strip->setMiniMode(false);
        const QList<QRect> whole{QRect(0, 0, 1920, 144)};
        EXPECT_TRUE(waitFor([&] {
            return X11Probe::geometry(id) == whole.first() && X11Probe::boundingRectangles(id) == whole;
        })) << "shape " << describe(X11Probe::boundingRectangles(id));
        EXPECT_EQ(X11Probe::depth(id), c.depth) << "the window keeps its visual";

        if (c.compositing) {
            // The strip's "Full Screen" reaches the board; its quit, the application.
            services.showFullScreen(app->store());
            QWidget* board = FullScreenWindowManager::shared().window();
            ASSERT_NE(board, nullptr);
            EXPECT_TRUE(waitFor([&] { return board->isVisible(); }));
            FullScreenWindowManager::shared().close();
            EXPECT_EQ(FullScreenWindowManager::shared().window(), nullptr);
            // Its "Search…" opens the shared window, where two letters find
            // the sample catalogue's headlines and feeds.
            services.showSearch(app->store());
            SearchWindowManager& search = SearchWindowManager::shared();
            ASSERT_NE(search.window(), nullptr);
            EXPECT_TRUE(waitFor([&] { return search.window()->isActiveWindow(); }));
            // A word of two letters at least: a search starts at two.
            const QStringList words = app->store().items().first().cleanedTitle().split(u' ', Qt::SkipEmptyParts);
            const auto longWord = std::ranges::find_if(words, [](const QString& w) { return w.size() >= 2; });
            ASSERT_NE(longWord, words.end());
            const QString headlineWord = *longWord;
            QTest::keyClicks(search.panel()->queryField(), headlineWord.left(2));
            EXPECT_FALSE(search.panel()->headlineResults().isEmpty()) << headlineWord.toStdString();
            search.panel()->queryField()->setText(app->store().feeds().first().title.left(2));
            EXPECT_FALSE(search.panel()->feedResults().isEmpty());
            search.close();
            EXPECT_EQ(search.window(), nullptr);
            services.quit();
            EXPECT_EQ(quits, 1);
        }
        app.reset();
    }
}

} // namespace
