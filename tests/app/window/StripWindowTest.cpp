// The whole start-up road on a real X server: the sample catalogue on
// loopback, the feed store, the strip in the ticker window, and the strip's
// own calls back into the window placement (second strip, mini mode), and
// the window's visual with and without a compositing manager.
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "ambient/FullScreenWindowManager.h"
#include "app/AppStripServices.h"
#include "app/RootContent.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/WindowPlacement.h"
#include "store/FeedStore.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/TickerView.h"

#include "CatalogueServer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

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

TEST(StripWindow, StripDocksAndFollowsItsOwnSettings)
{
    TIDEWIRE_REQUIRE_XVFB();

    CatalogueServer server;
    ASSERT_TRUE(server.start().has_value());
    Defaults& defaults = standardSettings();
    defaults.set("secondTickerEnabled", false);
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
        .startIdleWatcher = {},
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
    ASSERT_TRUE(strip->miniModeInputRegion().has_value());
    EXPECT_TRUE(waitFor([&] { return X11Probe::geometry(id) == QRect(0, 0, 1920, 72); }));
    // The brand block may still widen meanwhile (the orbs arrive on a slow
    // machine): the shape follows the region as it is now.
    EXPECT_TRUE(waitFor([&] {
        const std::optional<QRect> region = strip->miniModeInputRegion();
        return region && X11Probe::boundingShape(id) == *region;
    })) << X11Probe::shapeReport(id).toStdString();
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

// The application launched as main() launches it, on the test catalogue and
// the standard settings; taken down in the order the application needs
// whether or not a check failed.
class LaunchedApp {
public:
    explicit LaunchedApp(const QUrl& apiBase) : m_services(m_windows, [] {})
    {
        StripServices::install(&m_services);
        m_app = std::make_unique<TidewireApp>(TidewireApp::Services{
            .defaults = standardSettings(),
            .clock = Clock::system(),
            .scheduler = Scheduler::system(),
            .windows = m_windows,
            .personal = nullptr,
            .makeStrip = [](FeedStore& store) { return new TickerView(store); },
            .openSettings = {},
            .startIdleWatcher = {},
            .apiBase = apiBase,
        });
        m_app->launch();
    }
    ~LaunchedApp()
    {
        m_app.reset();
        StripServices::install(nullptr);
    }

    QWidget* window() const { return m_app->rootContent(); }
    // The strip once the store runs; null when it never does.
    TickerView* strip() const
    {
        TickerView* view = nullptr;
        waitFor([&] {
            view = qobject_cast<TickerView*>(m_app->rootContent()->currentView());
            return view != nullptr;
        });
        return view;
    }

private:
    TickerWindowController m_windows{standardSettings(), WindowPlacement::system()};
    AppStripServices m_services;
    std::unique_ptr<TidewireApp> m_app;
};

class StripWindowLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        ASSERT_TRUE(server.start().has_value());
    }
    // The other tests share the display: none of them may see a compositing
    // manager, whatever happened here.
    void TearDown() override { compositor.reset(); }

    CatalogueServer server;
    std::optional<X11Probe::CompositingManager> compositor;
};

struct LookCase {
    const char* name;
    bool compositing;
    bool translucent;
    int depth;
};

// The strip's window has an alpha channel only where a compositing manager
// would show what lies beneath it; either way mini mode leaves nothing of
// the window but the brand block's panel, and leaving it gives the whole
// window back.
TEST_F(StripWindowLook, SeeThroughOnlyUnderACompositingManagerAndMiniModeShowsOnlyTheBrandBlock)
{
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

        LaunchedApp app(server.baseUrl());
        QWidget* window = app.window();
        const WId id = window->winId();
        EXPECT_EQ(window->testAttribute(Qt::WA_TranslucentBackground), c.translucent);
        EXPECT_EQ(X11Probe::depth(id), c.depth);

        TickerView* strip = app.strip();
        ASSERT_NE(strip, nullptr) << "the store never reached running";
        FixedBrandBlock* brand = strip->brandBlock();
        ASSERT_NE(brand, nullptr);
        strip->setMiniMode(true);
        const auto panel = [&] {
            return QList<QRect>{QRect(brand->mapTo(window, QPoint(0, 0)), QSize(brand->panelWidth(), brand->height()))};
        };
        EXPECT_TRUE(waitFor([&] { return X11Probe::boundingRectangles(id) == panel(); }))
            << "shape " << describe(X11Probe::boundingRectangles(id)) << "brand panel " << describe(panel());
        strip->setMiniMode(false);
        const auto whole = [&] { return QList<QRect>{QRect(QPoint(0, 0), X11Probe::geometry(id).size())}; };
        EXPECT_TRUE(waitFor([&] { return X11Probe::boundingRectangles(id) == whole(); }))
            << "shape " << describe(X11Probe::boundingRectangles(id)) << "window " << describe(whole());
        EXPECT_EQ(X11Probe::depth(id), c.depth) << "the window keeps its visual";
    }
}

} // namespace
