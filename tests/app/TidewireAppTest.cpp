#include "app/RootContent.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "app/LoadingSplashView.h"
#include "platform/Defaults.h"
#include "platform/WindowPlacement.h"
#include "store/FeedStore.h"

#include "CatalogueServer.h"
#include "FakeTime.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

// The start-up road against the sample catalogue on loopback: the splash
// while the store boots, the strip once it runs, the settings window on the
// first launch only.
class TidewireAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto started = server.start();
        ASSERT_TRUE(started.has_value());
    }

    void TearDown() override
    {
        // The store's stopped waits resume from the event loop and still
        // reach the scheduler: let them run while the fake time exists.
        app.reset();
        FakeTime::settle();
    }

    std::unique_ptr<TidewireApp> makeApp(QUrl apiBase)
    {
        return std::make_unique<TidewireApp>(TidewireApp::Services{
            .defaults = *defaults,
            .clock = time,
            .scheduler = time,
            .windows = windows,
            .personal = nullptr,
            .makeStrip = [this](FeedStore& store) {
                ++stripsBuilt;
                EXPECT_EQ(&store, &app->store());
                auto* strip = new QWidget;
                strip->setObjectName("strip");
                return strip;
            },
            .openSettings = [this](FeedStore&) { ++settingsOpened; },
            .startIdleWatcher = [this](FeedStore& store) {
                idleWatcherStarts.append(store.isStarted());
            },
            .apiBase = std::move(apiBase),
            .installMenuBar = [this](FeedStore& store) {
                EXPECT_EQ(&store, &app->store());
                menuBarInstalls.append(windows.window() != nullptr);
            },
        });
    }

    CatalogueServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    std::unique_ptr<WindowPlacement> placement = WindowPlacement::createPlain();
    TickerWindowController windows{*defaults, *placement};
    std::unique_ptr<TidewireApp> app;
    int stripsBuilt = 0;
    int settingsOpened = 0;
    QList<bool> idleWatcherStarts;  // whether the store had started at each call
    QList<bool> menuBarInstalls;    // whether the ticker window was set up at each call
};

TEST_F(TidewireAppTest, SplashWhileBootingThenTheStripOnce)
{
    app = makeApp(server.baseUrl());
    RootContent* root = app->rootContent();
    EXPECT_NE(qobject_cast<LoadingSplashView*>(root->currentView()), nullptr);
    EXPECT_EQ(windows.window(), nullptr);

    app->launch();
    EXPECT_EQ(idleWatcherStarts, QList<bool>{false}) << "the idle watcher starts once, before the store";
    EXPECT_EQ(menuBarInstalls, QList<bool>{false}) << "the tray item first, then the ticker window";
    EXPECT_TRUE(app->store().isStarted());
    EXPECT_EQ(windows.window(), root);
    EXPECT_TRUE(root->isVisible());
    EXPECT_TRUE(root->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(root->height(), 72);
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->store().phase().isRunning(); }, 10000));
    EXPECT_EQ(root->currentView()->objectName(), "strip");
    EXPECT_EQ(stripsBuilt, 1);
}

TEST_F(TidewireAppTest, UnreachableServerKeepsTheSplash)
{
    server.stop();
    app = makeApp(server.baseUrl());
    app->launch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->store().phase().kind == FeedStore::AppPhase::Kind::Error; },
                                10000));
    EXPECT_NE(qobject_cast<LoadingSplashView*>(app->rootContent()->currentView()), nullptr);
    EXPECT_EQ(stripsBuilt, 0);
}

TEST_F(TidewireAppTest, SettingsOpenOnTheFirstLaunchOnly)
{
    app = makeApp(server.baseUrl());
    app->launch();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(defaults->boolValue("hasLaunchedBefore", false));
    app.reset();

    app = makeApp(server.baseUrl());
    app->launch();
    EXPECT_EQ(settingsOpened, 1);
    app.reset();

    defaults->set("showSettingsAtStartup", true);
    app = makeApp(server.baseUrl());
    app->launch();
    EXPECT_EQ(settingsOpened, 2);
}

TEST_F(TidewireAppTest, WithoutASettingsWindowTheFirstLaunchIsNotUsedUp)
{
    app = makeApp(server.baseUrl());
    app.reset();
    app = std::make_unique<TidewireApp>(TidewireApp::Services{
        .defaults = *defaults,
        .clock = time,
        .scheduler = time,
        .windows = windows,
        .personal = nullptr,
        .makeStrip = {},
        .openSettings = {},
        .apiBase = server.baseUrl(),
    });
    app->launch();
    EXPECT_FALSE(defaults->contains("hasLaunchedBefore"));
}

TEST_F(TidewireAppTest, LegacySecondTickerIsMigratedBeforeTheWindowIsPlaced)
{
    defaults->set("stackedTickersSpike", true);
    app = makeApp(server.baseUrl());
    EXPECT_TRUE(defaults->boolValue("secondTickerEnabled", false));
    app->launch();
    EXPECT_EQ(app->rootContent()->height(), 144) << "main strip and the stacked strip";
}

} // namespace
