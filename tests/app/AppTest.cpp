// The application's start-up road and its pieces, headless: the splash and
// the strip in the root window, the start-up decisions over the settings,
// where the strip goes, the move and update offers, the first-frame probe,
// the loading splash and the tray picture.
#include "app/FirstFrameProbe.h"
#include "app/LoadingSplashView.h"
#include "app/MenuBarController.h"
#include "app/MenuBarMark.h"
#include "app/MoveToApplications.h"
#include "app/RollingText.h"
#include "app/RootContent.h"
#include "app/StartupDecisions.h"
#include "app/TickerPlacement.h"
#include "app/TickerWindowController.h"
#include "app/TidewireApp.h"
#include "app/UpdatePrompt.h"
#include "markets/MarketsStore.h"
#include "platform/net/Endpoints.h"
#include "platform/session/SecretStore.h"
#include "store/FilterStore.h"
#include "ticker/MarqueeClock.h"
#include "ticker/StripServices.h"
#include "ticker/TickerView.h"
#include "api/Palette.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/session/UrlOpener.h"
#include "platform/x11/WindowPlacement.h"
#include "settings/TidewireMark.h"
#include "store/FeedStore.h"

#include "CatalogueServer.h"
#include "Contrast.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "SearchHarness.h"
#include "Await.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariantAnimation>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// The start-up road against the sample catalogue on loopback: the splash
// while the store boots, the strip once it runs, the settings window on the
// first launch only.
class TidewireAppTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start().has_value()); }

    // The store's stopped waits resume from the event loop and still reach
    // the scheduler: let them run while the fake time exists.
    void TearDown() override
    {
        app.reset();
        FakeTime::settle();
    }

    // `withSettings` false: an application without a settings window.
    void make(bool withSettings = true)
    {
        app.reset();
        app = std::make_unique<TidewireApp>(TidewireApp::Services{
            .defaults = *defaults, .clock = time, .scheduler = time, .windows = windows, .personal = nullptr,
            .makeStrip = [this](FeedStore& store) {
                ++stripsBuilt;
                EXPECT_EQ(&store, &app->store());
                auto* strip = new QWidget;
                strip->setObjectName("strip");
                return strip;
            },
            .openSettings = withSettings ? std::function<void(FeedStore&)>([this](FeedStore&) { ++settingsOpened; })
                                         : std::function<void(FeedStore&)>(),
            .startIdleWatcher = [this](FeedStore& store) { idleWatcherStarts.append(store.isStarted()); },
            .apiBase = server.baseUrl(),
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
    make();
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
    make();
    app->launch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->store().phase().kind == FeedStore::AppPhase::Kind::Error; },
                                10000));
    EXPECT_NE(qobject_cast<LoadingSplashView*>(app->rootContent()->currentView()), nullptr);
    EXPECT_EQ(stripsBuilt, 0);
}

TEST_F(TidewireAppTest, SettingsOpenOnTheFirstLaunchWithASettingsWindowAndTheLegacySwitchIsMigratedFirst)
{
    make(false);
    app->launch();
    EXPECT_FALSE(defaults->contains("hasLaunchedBefore")) << "the first launch is not used up";
    for (int launches = 1; launches <= 2; ++launches) {
        make();
        app->launch();
        EXPECT_EQ(settingsOpened, 1) << "launch " << launches;
    }
    defaults->set("showSettingsAtStartup", true);
    defaults->set("stackedTickersSpike", true);
    make();
    app->launch();
    EXPECT_EQ(settingsOpened, 2);
    EXPECT_TRUE(defaults->boolValue("secondTickerEnabled", false));
    EXPECT_EQ(app->rootContent()->height(), 144) << "main strip and the stacked strip";
}

struct Step {
    PhaseCase phase;
    const char* shows;
    int splashes;  // built so far
    int strips;
};

// A view is built only when the phase's case changes; the one it replaces
// is deleted, one that stays is kept.
TEST(RootContent, BuildsAViewOnlyWhenThePhaseCaseChanges)
{
    using enum PhaseCase;
    const QList<std::pair<const char*, QList<Step>>> cases = {
        {"boot then run", {{Booting, "splash", 1, 0}, {Running, "strip", 1, 1}}},
        {"republished running keeps the strip",
         {{Booting, "splash", 1, 0}, {Running, "strip", 1, 1}, {Running, "strip", 1, 1}, {Running, "strip", 1, 1}}},
        {"error keeps the splash up, recovery brings the strip",
         {{Booting, "splash", 1, 0}, {Error, "splash", 2, 0}, {Error, "splash", 2, 0}, {Running, "strip", 2, 1}}},
        {"running to error and back", {{Running, "strip", 0, 1}, {Error, "splash", 1, 1}, {Running, "strip", 1, 2}}},
    };
    for (const auto& [name, steps] : cases) {
        SCOPED_TRACE(name);
        int splashes = 0;
        int strips = 0;
        const auto view = [](int& count, const char* name) {
            return [&count, name] {
                ++count;
                auto* w = new QWidget;
                w->setObjectName(name);
                return w;
            };
        };
        auto root = std::make_unique<RootContent>(view(splashes, "splash"), view(strips, "strip"));
        QPointer<QWidget> previous;
        for (const Step& step : steps) {
            const int built = splashes + strips;
            root->setPhase(step.phase);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_NE(root->currentView(), nullptr);
            EXPECT_EQ(root->currentView()->objectName(), step.shows);
            EXPECT_EQ(root->currentView()->parentWidget(), root.get());
            EXPECT_EQ(splashes, step.splashes);
            EXPECT_EQ(strips, step.strips);
            if (splashes + strips == built)
                EXPECT_EQ(root->currentView(), previous.data()) << "the unchanged view survives";
            else
                EXPECT_TRUE(previous.isNull()) << "the replaced view is released";
            previous = root->currentView();
        }
    }
}

// A value that is not stored at all.
const QJsonValue kAbsent(QJsonValue::Undefined);

QJsonValue stored(const Defaults& defaults, const QString& key)
{
    return defaults.contains(key) ? defaults.value(key) : kAbsent;
}

struct StartupCase {
    const char* name;
    QJsonObject stored;
    bool opensSettings;
    QJsonValue secondTicker;  // kAbsent: still nothing stored
};

// The settings window opens on the first launch or when asked; the legacy
// second-ticker switch moves only into an empty key, leaving the old key.
TEST(StartupDecisions, SettingsAtLaunchAndTheLegacySecondTicker)
{
    const QList<StartupCase> cases = {
        {"first launch", {}, true, kAbsent},
        {"first launch with the switch off", {{"showSettingsAtStartup", false}}, true, kAbsent},
        {"later launch", {{"hasLaunchedBefore", true}}, false, kAbsent},
        {"later launch, switch off", {{"hasLaunchedBefore", true}, {"showSettingsAtStartup", false}}, false, kAbsent},
        {"later launch, switch on", {{"hasLaunchedBefore", true}, {"showSettingsAtStartup", true}}, true, kAbsent},
        {"stored false counts as first", {{"hasLaunchedBefore", false}}, true, kAbsent},
        {"absent and legacy on", {{"stackedTickersSpike", true}}, true, true},
        {"absent and legacy off", {{"stackedTickersSpike", false}}, true, kAbsent},
        {"stored false is kept", {{"secondTickerEnabled", false}, {"stackedTickersSpike", true}}, true, false},
        {"stored true is kept", {{"secondTickerEnabled", true}, {"stackedTickersSpike", false}}, true, true},
        {"a stored value of another type is still a value", {{"secondTickerEnabled", "off"}, {"stackedTickersSpike", true}},
         true, "off"},
        {"legacy of the wrong type is not on", {{"stackedTickersSpike", "true"}}, true, kAbsent},
    };
    for (const StartupCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = Defaults::inMemory();
        for (auto it = c.stored.begin(); it != c.stored.end(); ++it)
            defaults->set(it.key(), it.value());
        StartupDecisions::migrateLegacySecondTicker(*defaults);
        EXPECT_EQ(stored(*defaults, "secondTickerEnabled"), c.secondTicker);
        EXPECT_EQ(stored(*defaults, "stackedTickersSpike"), c.stored.value("stackedTickersSpike"))
            << "the older key is never touched";
        EXPECT_EQ(StartupDecisions::takeOpenSettingsAtLaunch(*defaults), c.opensSettings);
        EXPECT_EQ(defaults->value("hasLaunchedBefore"), QJsonValue(true));
    }
}

TEST(StartupDecisions, CachesKeptInAnOldSettingsFileMoveToTheirOwnFilesOnce)
{
    QTemporaryDir dir;
    const QString settingsPath = dir.filePath("defaults.json");
    const QString cacheDir = dir.filePath("cache");
    const QJsonObject snapshot{{"items", QJsonArray{QJsonObject{{"item_id", 1}}}}};
    const QJsonArray items{QJsonObject{{"item_id", "p1"}}};
    {
        // As an earlier version left it: caches inside the settings file.
        auto old = Defaults::openFile(settingsPath);
        old->set("feedstore.snapshot.v3", snapshot);
        old->set("personalFeeds.items.v1", items);
        old->set("tickerSize", 2);
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        auto defaults = Defaults::openFile(settingsPath, cacheDir);
        StartupDecisions::moveCachesOutOfSettings(*defaults);
        ASSERT_TRUE(defaults->flush());
        EXPECT_EQ(defaults->caches().value("feedstore.snapshot.v3"), snapshot);
        EXPECT_EQ(defaults->caches().value("personalFeeds.items.v1"), items);
        EXPECT_EQ(defaults->keys(), QStringList{"tickerSize"});
    }
    QFile settings(settingsPath);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_FALSE(settings.readAll().contains("item_id"));
    EXPECT_TRUE(QFile::exists(cacheDir + "/feedstore.snapshot.v3"));

    // A plain file where the cache folder should be: nothing can be written
    // below it, and the cache stays in the settings.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto blocked = Defaults::openFile(dir.filePath("other.json"), blocker.fileName());
    blocked->set("feedstore.snapshot.v3", snapshot);
    StartupDecisions::moveCachesOutOfSettings(*blocked);
    EXPECT_EQ(blocked->value("feedstore.snapshot.v3"), snapshot);
}

const QRect kFull(0, 0, 1920, 1080);
const QString kLarge = R"([{"mix":"latest","speed":1,"size":4,"background":"Black"}])";

struct PlacementCase {
    const char* name;
    QJsonObject stored;
    bool onTop;
    StripEdge edge;
    QRect frame;
    ScreenInfo screen{kFull, kFull, 7};
};

// Every setting read from a real settings store, through to the frame,
// which lies along an edge of the area other panels leave free.
TEST(TickerPlacement, SettingsAndScreenDecideLevelEdgeAndFrame)
{
    const QList<PlacementCase> cases = {
        {"nothing stored", {}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"size 1", {{"tickerSize", 1}}, true, StripEdge::Top, {0, 0, 1920, 48}},
        {"size 2", {{"tickerSize", 2}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"size 4", {{"tickerSize", 4}}, true, StripEdge::Top, {0, 0, 1920, 108}},
        {"size 3 is not offered", {{"tickerSize", 3}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"size 0 counts as 2", {{"tickerSize", 0}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"size of the wrong type", {{"tickerSize", "4"}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"on top off", {{"alwaysOnTop", false}}, false, StripEdge::Top, {0, 0, 1920, 72}},
        {"on top not a bool counts as on", {{"alwaysOnTop", "no"}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"bottom", {{"tickerPosition", "bottom"}}, true, StripEdge::Bottom, {0, 1008, 1920, 72}},
        {"Bottom with a capital is top", {{"tickerPosition", "Bottom"}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"bottom with a space is top", {{"tickerPosition", "bottom "}}, true, StripEdge::Top, {0, 0, 1920, 72}},
        {"second strip from the main size", {{"secondTickerEnabled", true}, {"tickerSize", 4}}, true, StripEdge::Top,
         {0, 0, 1920, 216}},
        {"second strip stored large", {{"secondTickerEnabled", true}, {"stackedStripsJSON", kLarge}}, true,
         StripEdge::Top, {0, 0, 1920, 72 + 108}},
        {"second strip in mini mode", {{"secondTickerEnabled", true}, {"tickerMiniModeTransient", true}}, true,
         StripEdge::Top, {0, 0, 1920, 72}},
        {"mini mode without second strip", {{"tickerMiniModeTransient", true}, {"tickerSize", 1}}, true,
         StripEdge::Top, {0, 0, 1920, 48}},
        {"stored strips while second strip off", {{"stackedStripsJSON", kLarge}}, true, StripEdge::Top,
         {0, 0, 1920, 72}},
        {"under a top panel", {}, true, StripEdge::Top, {0, 28, 1920, 72}, {kFull, {0, 28, 1920, 1052}, 1}},
        {"above a bottom panel", {{"tickerPosition", "bottom"}}, true, StripEdge::Bottom, {0, 968, 1920, 72},
         {kFull, {0, 0, 1920, 1040}, 1}},
        {"beside a left panel", {}, true, StripEdge::Top, {64, 0, 1856, 72}, {kFull, {64, 0, 1856, 1080}, 1}},
        {"between side panels, at the bottom", {{"tickerPosition", "bottom"}}, true, StripEdge::Bottom,
         {48, 1008, 1824, 72}, {kFull, {48, 0, 1824, 1080}, 1}},
        {"second screen to the right", {{"tickerPosition", "bottom"}}, true, StripEdge::Bottom, {1920, 952, 1280, 72},
         {{1920, 0, 1280, 1024}, {1920, 30, 1280, 994}, 2}},
        {"screen above the first (negative y)", {}, true, StripEdge::Top, {0, -1200, 1600, 72},
         {{0, -1200, 1600, 1200}, {0, -1200, 1600, 1200}, 3}},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = Defaults::inMemory();
        for (auto it = c.stored.begin(); it != c.stored.end(); ++it)
            defaults->set(it.key(), it.value());
        const TickerPlacement p = TickerPlacement::compute(PlacementSettings::read(*defaults), {c.screen}, 0, 0);
        EXPECT_EQ(p.onTop, c.onTop);
        EXPECT_EQ(p.edge, c.edge);
        EXPECT_EQ(p.height, c.frame.height());
        EXPECT_EQ(p.frame, std::optional<QRect>(c.frame));
    }
}

struct ScreenCase {
    const char* name;
    QString preferred;
    std::optional<qsizetype> current;
    std::optional<qsizetype> main;
    std::optional<qsizetype> expected;
};

TEST(TickerPlacement, ScreenChoiceFallsBackInOrder)
{
    // Three screens side by side; the middle and last share a number 0 case.
    const QList<ScreenInfo> screens{{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}, 11},
                                    {{1920, 0, 2560, 1440}, {1920, 0, 2560, 1440}, 0},
                                    {{4480, 0, 1280, 1024}, {4480, 0, 1280, 1024}, 0}};
    const QList<ScreenCase> cases = {
        {"preferred wins over current", "11", 2, 1, 0},
        {"number 0 is the first such screen", "0", 0, 0, 1},
        {"unknown number: current screen", "99", 2, 1, 2},
        {"not a number: current screen", "left", 2, 1, 2},
        {"leading zero does not match", "011", 1, 2, 1},
        {"no choice, no current: main", "", std::nullopt, 2, 2},
        {"no current, no main: first", "", std::nullopt, std::nullopt, 0},
        {"stale indexes are ignored", "", 7, 9, 0},
    };
    for (const ScreenCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlacementSettings settings;
        settings.preferredMonitor = c.preferred;
        EXPECT_EQ(TickerPlacement::compute(settings, screens, c.current, c.main).screenIndex, c.expected);
    }
    // No screen at all keeps only the level.
    PlacementSettings settings;
    settings.alwaysOnTop = false;
    const TickerPlacement p = TickerPlacement::compute(settings, {}, 0, 0);
    EXPECT_FALSE(p.onTop);
    EXPECT_FALSE(p.screenIndex.has_value());
    EXPECT_FALSE(p.frame.has_value());
}

struct ScriptedPrompts final : MoveToApplications::Prompts {
    bool answerMove = false;
    std::optional<QString> folder;
    QStringList shown;  // every offer, chooser and alert, in order

    void offer(const QString& message, const QString& informative, std::function<void(bool)> answered) override
    {
        shown.append(message + "|" + informative);
        answered(answerMove);
    }
    void chooseFolder(const QString& start, std::function<void(std::optional<QString>)> chosen) override
    {
        shown.append("chooser in " + start);
        chosen(folder);
    }
    void alert(const QString& message, const QString& informative, std::function<void()> closed) override
    {
        shown.append(message + "|" + informative);
        closed();
    }
};

class MoveToApplicationsTest : public ::testing::Test {
protected:
    bool launch(std::optional<QString> appImage)
    {
        prompts.shown.clear();
        std::optional<bool> moved;
        MoveToApplications({
            .defaults = *defaults,
            .appImage = std::move(appImage),
            .folders = {.home = home.path(), .temporary = {}, .personal = {home.filePath("Downloads")}},
            .prompts = prompts,
            .setLaunchAtLogin = [this](bool on) { return loginCalls.append(on), true; },
            .startDetached = [this](const QString& program) { return started.append(program), startError; },
            .quit = [this] { ++quits; },
        }).offerIfNeeded([&moved](bool m) { moved = m; });
        EXPECT_TRUE(moved.has_value()) << "the offer never ended";
        return moved.value_or(false);
    }

    QTemporaryDir home;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    ScriptedPrompts prompts;
    QList<bool> loginCalls;
    QStringList started;
    std::optional<QString> startError;
    int quits = 0;
};

TEST_F(MoveToApplicationsTest, NextLaunchReRegistersLaunchAtLoginOnceWhenItIsOn)
{
    const QList<std::tuple<std::optional<bool>, bool, QList<bool>>> cases = {
        {true, true, {false, true}}, {true, false, {}}, {std::nullopt, true, {}}, {false, true, {}}};
    for (const auto& [marker, launchAtLogin, calls] : cases) {
        defaults = Defaults::inMemory();
        loginCalls.clear();
        if (marker)
            defaults->set("moveToApplicationsReassertLogin", *marker);
        defaults->set("launchAtLogin", launchAtLogin);
        EXPECT_FALSE(launch(std::nullopt));
        EXPECT_FALSE(launch(std::nullopt));
        EXPECT_EQ(loginCalls, calls) << "two launches; marker " << marker.value_or(-1) << " on " << launchAtLogin;
        EXPECT_EQ(defaults->contains("moveToApplicationsReassertLogin"), marker == false);
        EXPECT_TRUE(prompts.shown.isEmpty()) << "no AppImage, no offer";
    }
}

TEST_F(MoveToApplicationsTest, OfferAnswersAndTheirOutcomes)
{
    const QString image = home.filePath("Downloads/Tidewire-x86_64.AppImage");
    QDir().mkpath(home.filePath("Downloads"));
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("image");
    file.close();
    const QString applications = home.filePath("Applications");
    const QString copy = applications + "/Tidewire-x86_64.AppImage";
    const QString offer = "Move Tidewire to your Applications folder?|Tidewire is running from Downloads. Moving it to "
                          "Applications keeps launch at login and updates working. Tidewire reopens from "
                          "Applications when it is done.";
    const QString chooser = "chooser in " + applications;

    // Move, then cancel the chooser: nothing recorded, asked again.
    prompts.answerMove = true;
    EXPECT_FALSE(launch(image));
    EXPECT_EQ(prompts.shown, (QStringList{offer, chooser}));
    EXPECT_TRUE(QFileInfo(applications).isDir()) << "the chooser starts in a folder that exists";

    // The chosen folder is where it runs from: the copy fails, it keeps running.
    prompts.folder = home.filePath("Downloads");
    EXPECT_FALSE(launch(image));
    ASSERT_EQ(prompts.shown.size(), 3);
    EXPECT_TRUE(prompts.shown[2].startsWith("Couldn't move Tidewire|"));
    EXPECT_TRUE(prompts.shown[2].endsWith("\n\nDrag Tidewire to your Applications folder in your file manager "
                                          "instead, then open it from there."));
    EXPECT_TRUE(defaults->keys().isEmpty()) << defaults->keys().join(", ").toStdString();

    // Copied but the copy does not start: said so, and quit all the same.
    prompts.folder = applications;
    startError = "No such program";
    EXPECT_TRUE(launch(image));
    EXPECT_EQ(prompts.shown, (QStringList{offer, chooser, "Tidewire was copied, but didn't reopen|No such program\n\n"
                                                          "Open Tidewire from your Applications folder."}));
    EXPECT_TRUE(QFileInfo(copy).isExecutable());
    EXPECT_TRUE(defaults->boolValue("moveToApplicationsReassertLogin", false));
    EXPECT_EQ(quits, 1);

    startError.reset();
    EXPECT_TRUE(launch(image));
    EXPECT_EQ(prompts.shown, (QStringList{offer, chooser}));
    EXPECT_EQ(started, (QStringList{copy, copy}));
    EXPECT_EQ(quits, 2);

    // Removable media has its own text and is never marked for ejecting.
    prompts.answerMove = false;
    EXPECT_FALSE(launch("/media/ann/STICK/Tidewire.AppImage"));
    EXPECT_TRUE(prompts.shown.value(0).startsWith("Move Tidewire to your Applications folder?|Tidewire is running "
                                                  "from removable media. Apps run from an image stop working when "
                                                  "it is ejected, and cannot launch at login or update."));
    EXPECT_FALSE(defaults->contains("moveToApplicationsEjectVolume"));

    // "Not Now" was recorded: never asked again.
    EXPECT_TRUE(defaults->boolValue("moveToApplicationsDeclined", false));
    EXPECT_FALSE(launch(image));
    EXPECT_TRUE(prompts.shown.isEmpty());
}

// Runs `act` on the next modal dialog once it is on screen.
void onNextModal(std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            act(modal);
        }
    });
    poll->start(0);
}

// The dialog's button texts; clicks the one reading `text` when given.
QStringList buttons(QWidget* dialog, const QString& text = {})
{
    QStringList texts;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        texts << button->text();
        if (button->text() == text)
            button->click();
    }
    return texts;
}

struct RecordingOpener final : UrlOpener {
    bool open(const QUrl& u) override
    {
        opened << u;
        quitsThen = *quits;
        return succeed;
    }
    bool succeed = true;
    const int* quits = nullptr;
    QList<QUrl> opened;
    int quitsThen = -1;
};

TEST(UpdatePrompt, NotNowKeepsRunningDownloadOpensThenQuitsAndNoBrowserShowsTheAddress)
{
    const QUrl url("https://get.example/Tidewire-2.4.AppImage");
    struct Case {
        const char* answer;
        bool browserOpens;
        bool quits;
        bool showsAddress;
    };
    for (const Case& c : {Case{"Not Now", true, false, false}, Case{"Download and Quit", true, true, false},
                          Case{"Download and Quit", false, false, true}}) {
        SCOPED_TRACE(std::string(c.answer) + (c.browserOpens ? "" : ", no browser"));
        FakeTime time;
        FakeClipboard clipboard;
        int quits = 0;
        RecordingOpener opener;
        opener.succeed = c.browserOpens;
        opener.quits = &quits;
        UpdatePrompt prompt({opener, time, clipboard, [&quits] { ++quits; }});

        QString alertText;
        QStringList alertButtons;
        QString shownAddress;
        onNextModal([&](QWidget* alert) {
            alertText = static_cast<QMessageBox*>(alert)->text() + "|" + static_cast<QMessageBox*>(alert)->informativeText();
            alertButtons = buttons(alert, c.answer);
            if (c.showsAddress) {
                onNextModal([&](QWidget* fallback) {
                    const QList<QLineEdit*> fields = fallback->findChildren<QLineEdit*>();
                    shownAddress = fields.size() == 1 && fields.first()->isReadOnly() ? fields.first()->text() : "";
                    EXPECT_TRUE(buttons(fallback, "Copy Link").contains("Copy Link"));
                    qobject_cast<QDialog*>(fallback)->reject();
                });
            }
        });
        prompt.present("2.4 <b>beta</b>", url);
        ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::activeModalWidget(); })) << "a prompt stayed";

        EXPECT_EQ(alertText, "Update to 2.4 <b>beta</b>|The download will open in your browser.\n\nTidewire will quit so "
                             "the new version can replace it — an app cannot be installed over itself while it is "
                             "running. Replace the old copy with the new one, then open it.");
        EXPECT_EQ(alertButtons, (QStringList{"Download and Quit", "Not Now"}));
        EXPECT_EQ(opener.opened, c.answer == QString("Not Now") ? QList<QUrl>{} : QList<QUrl>{url});
        EXPECT_EQ(opener.quitsThen, opener.opened.isEmpty() ? -1 : 0) << "the browser first";
        time.advance(1499ms);
        EXPECT_EQ(quits, 0);
        time.advance(10s);
        EXPECT_EQ(quits, c.quits ? 1 : 0);
        EXPECT_EQ(shownAddress, c.showsAddress ? url.toString() : QString());
        EXPECT_EQ(clipboard.text(), shownAddress);
    }
}

// The strip's services with the real update prompt on fake time; every
// other call is ignored.
struct PromptingStripServices final : StripServices {
    explicit PromptingStripServices(UpdatePrompt::Services prompt) : prompt(std::move(prompt)) {}
    void reposition() override {}
    void setInputRegion(const std::optional<QRect>&) override {}
    void showSettings(FeedStore&, const std::optional<QString>&) override {}
    void showSearch(FeedStore&) override {}
    void showFullScreen(FeedStore&) override {}
    void presentUpdatePrompt(const QString& version, const QUrl& url) override { UpdatePrompt(prompt).present(version, url); }
    void quit() override {}
    void startNowPlaying(FeedStore&) override {}
    void startRoomListener(FeedStore&) override {}
    UpdatePrompt::Services prompt;
};

// The strip's menu goes once it has hidden: the prompt its entry opens must
// not wait for an answer inside the menu's own click, or the menu is gone
// under that click when it returns.
TEST(UpdatePrompt, OpenedFromTheStripMenuClosesByEveryRoadAndTheAppRunsOn)
{
    SearchHarness h;
    const QUrl url("https://get.example/Tidewire-9.9.9.AppImage");
    const QJsonObject release{{"version", "9.9.9"}, {"download_url", url.toString()}};
    h.server.route("/v1_manifest", LoopbackServer::Response::json(QJsonDocument(QJsonObject{
        {"topics", QJsonArray()}, {"feed_index", QJsonArray()}, {"client_release", release}}).toJson()));
    awaitTask(h.store->refresh());
    ASSERT_TRUE(h.store->availableUpdate());
    int quits = 0;
    PromptingStripServices services({h.opener, h.time, h.clipboard, [&quits] { ++quits; }});
    FilterStore filters(*h.defaults);
    MemorySecretStore secrets;
    Endpoints nowhere = Endpoints::builtIn();
    nowhere.finnhubBase = nowhere.coingeckoBase = QUrl("http://127.0.0.1:9/");
    MarketsStore markets(*h.defaults, secrets, h.time, h.time, nowhere);
    ClockMarqueeClock clock(h.time);
    TickerView strip(*h.store, TickerView::Services{*h.defaults, filters, services, markets, h.time, clock,
                                                    h.context(), nullptr});
    strip.resize(1200, strip.height());
    strip.show();

    const auto press = [](QWidget* prompt, const QString& text) {
        for (QPushButton* button : prompt->findChildren<QPushButton*>())
            if (button->text() == text)
                button->click();
    };
    const std::pair<const char*, std::function<void(QWidget*)>> roads[] = {
        {"Not Now", [&](QWidget* prompt) { press(prompt, "Not Now"); }},
        {"Escape", [](QWidget* prompt) { QTest::keyClick(prompt, Qt::Key_Escape); }},
        {"window closed", [](QWidget* prompt) { prompt->close(); }},
        {"Download and Quit", [&](QWidget* prompt) { press(prompt, "Download and Quit"); }},
    };
    for (const auto& [road, answer] : roads) {
        SCOPED_TRACE(road);
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, {20, 10}, strip.mapToGlobal(QPoint(20, 10)));
        QApplication::sendEvent(&strip, &rightClick);
        QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu) << "no menu on a right click";
        QAction* entry = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Update to 9.9.9…"))
                entry = action;
        ASSERT_NE(entry, nullptr);

        // A prompt that waits inside the click is answered there, so the
        // click returns; one that does not is answered after it.
        bool clicking = true;
        bool answeredInsideClick = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
            QWidget* prompt = QApplication::activeModalWidget();
            if (!clicking || !prompt || !prompt->isVisible())
                return;
            answeredInsideClick = true;
            answer(prompt);
        });
        watch.start(0);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        clicking = false;
        watch.stop();
        EXPECT_FALSE(answeredInsideClick) << "the prompt waited for its answer inside the menu's click";
        if (!answeredInsideClick) {
            QPointer<QWidget> prompt = QApplication::activeModalWidget();
            ASSERT_TRUE(prompt) << "the prompt did not open";
            EXPECT_EQ(static_cast<QMessageBox*>(prompt.data())->text(), "Update to 9.9.9");
            answer(prompt);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !prompt; })) << "the prompt stayed";
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu; })) << "the menu stayed";
        h.time.advance(2s);
        const bool download = road == std::string("Download and Quit");
        EXPECT_EQ(h.opener.opened, download ? QList<QUrl>{url} : QList<QUrl>{});
        EXPECT_EQ(quits, download ? 1 : 0);
        EXPECT_TRUE(strip.isVisible());
    }
}

// Steps of a script: p paints now, t turns the event loop once, r and u make
// the condition hold or stop holding, d destroys the widget; the digit after
// each is how many times the probe has fired once that step is done.
TEST(FirstFrameProbe, FiresOnceOnTheTurnAfterTheFirstPaintWhileReady)
{
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"fires after the first paint, on the next turn", true, "t0 p0 t1"},
        {"two paints before the next turn fire once", true, "p0 p0 t1 t1"},
        {"paints while the condition is false are passed over", false, "p0 t0 p0 t0"},
        {"fires on the first paint after the condition becomes true", false, "p0 t0 r0 t0 p0 t1"},
        {"the condition counts at the paint, not at the next turn", true, "p0 u0 t1"},
        {"a condition that held only between paints does not count", false, "r0 u0 p0 t0"},
        {"never fires twice", true, "p0 t1 p1 t1 u1 p1 r1 p1 t1"},
        {"widget gone before any paint", true, "d0 t0"},
        {"widget gone between the paint and the next turn", true, "p0 d0 t0"},
    };
    for (const auto& [name, readyAtStart, script] : cases) {
        SCOPED_TRACE(name);
        auto widget = std::make_unique<QWidget>();
        widget->resize(100, 20);
        widget->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
        QCoreApplication::processEvents();  // the paints of showing are done

        QPointer<QWidget> alive = widget.get();
        bool ready = readyAtStart;
        int fired = 0;
        const auto condition = [&] {
            EXPECT_FALSE(alive.isNull()) << "asked about a widget that is gone";
            return ready;
        };
        FirstFrameProbe::watch(widget.get(), condition, [&] { ++fired; });
        for (const QString& step : QString::fromLatin1(script).split(u' ')) {
            switch (step.at(0).toLatin1()) {
            case 'p': widget->repaint(); break;
            case 't': QCoreApplication::processEvents(); break;
            case 'r': ready = true; break;
            case 'u': ready = false; break;
            case 'd': widget.reset(); break;
            }
            EXPECT_EQ(fired, step.mid(1).toInt()) << "after " << step.toStdString();
        }
        if (widget && fired == 1) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_EQ(widget->findChild<FirstFrameProbe*>(), nullptr) << "the probe removes itself once it fired";
        }
    }
    int fired = 0;
    FirstFrameProbe::watch(nullptr, [] { return true; }, [&] { ++fired; });
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0) << "a null widget is ignored";
}

// Hands out scripted draws and counts them.
struct ScriptedDraw {
    QList<int> script;
    int calls = 0;
    LoadingSplashView::Draw draw()
    {
        return [this](int count) {
            EXPECT_EQ(count, 10);
            return script.value(calls++ % script.size());
        };
    }
};

QString phrase(int i)
{
    return LoadingSplashView::phrases().at(i);
}

// Phrases on the splash's timer, its breathing mark, its background from the
// theme, and what hiding and destroying it leave behind.
TEST(LoadingSplashView, PhrasesPulseAndBackgroundWhileShownAndNothingLeftWhenHidden)
{
    FakeTime time;
    auto defaults = Defaults::inMemory();
    ScriptedDraw draws{{3, 7, 7, 1, 0}};
    auto view = std::make_unique<LoadingSplashView>(2, *defaults, time, draws.draw());
    view->resize(600, 72);
    EXPECT_EQ(view->thought(), QString());
    EXPECT_DOUBLE_EQ(view->mark()->markOpacity(), 0.2);
    view->show();
    EXPECT_TRUE(view->isPulsing());
    EXPECT_EQ(view->thought(), phrase(3));
    EXPECT_EQ(draws.calls, 1);
    time.advance(2499ms);
    EXPECT_EQ(view->thought(), phrase(3));
    time.advance(1ms);
    EXPECT_EQ(view->thought(), phrase(7));
    time.advance(2500ms);
    EXPECT_EQ(view->thought(), phrase(7)) << "the same draw twice shows no change";
    EXPECT_EQ(draws.calls, 3);
    time.advance(5000ms);
    EXPECT_EQ(draws.calls, 5);
    EXPECT_EQ(view->thought(), phrase(0));

    // 1.2 s ease-in-out up, then the same back down, forever.
    auto* pulse = view->findChild<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(pulse, nullptr);
    EXPECT_EQ(pulse->loopCount(), -1);
    pulse->pause();  // driven by hand instead of the animation clock
    for (const auto& [ms, opacity] : QList<std::pair<int, qreal>>{{0, 0.2}, {600, 0.6}, {1200, 1.0}, {1800, 0.6},
                                                                   {2400, 0.2}, {2400 * 3 + 1200, 1.0}}) {
        pulse->setCurrentTime(ms);
        EXPECT_NEAR(view->mark()->markOpacity(), opacity, 1e-6) << ms;
    }
    pulse->resume();

    // The background follows the theme live; names compare exactly.
    for (const auto& [theme, colour] : QList<std::pair<QJsonValue, QColor>>{
             {QJsonValue(), Qt::black}, {"Blue", themeBackgroundColor(u"Blue")}, {"blue", Qt::black},
             {"Teal", themeBackgroundColor(u"Teal")}}) {
        defaults->set("themeBackground", theme);
        EXPECT_EQ(view->grab().toImage().pixelColor(2, 2).rgb(), colour.rgb()) << theme.toString().toStdString();
    }
    EXPECT_NE(themeBackgroundColor(u"Blue"), QColor(Qt::black));

    view->hide();
    EXPECT_FALSE(view->isPulsing());
    EXPECT_EQ(time.pendingCount(), 0);
    time.advance(30s);
    EXPECT_EQ(draws.calls, 5);
    view->show();  // shown again: a fresh phrase at once, and breathing again
    EXPECT_EQ(draws.calls, 6);
    EXPECT_EQ(view->thought(), phrase(3));
    EXPECT_TRUE(view->isPulsing());
    view.reset();
    EXPECT_EQ(time.pendingCount(), 0) << "a destroyed splash leaves no timer behind";
}

TEST(LoadingSplashView, ANewPhraseCountsUpIntoPlace)
{
    FakeTime time;
    auto defaults = Defaults::inMemory();
    ScriptedDraw draws{{3, 7, 7}};
    LoadingSplashView view(2, *defaults, time, draws.draw());
    view.resize(600, 72);
    view.show();
    RollingText* text = view.phraseView();
    EXPECT_EQ(text->transition(), nullptr) << "the first phrase shows at once";
    // The text alone, on a clear picture.
    auto drawn = [](QWidget& w) {
        QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    // The phrase as it stands when still: drawn alone at the same size.
    auto still = [&](const QString& phrase) {
        RollingText alone;
        alone.setFont(text->font());
        alone.setPalette(text->palette());
        alone.setText(phrase);
        alone.resize(text->size());
        return drawn(alone);
    };

    time.advance(LoadingSplashView::kPhraseInterval);
    ASSERT_EQ(view.thought(), phrase(7));
    QVariantAnimation* roll = text->transition();
    ASSERT_TRUE(roll);
    roll->pause();  // driven by hand from here
    EXPECT_EQ(roll->duration(), RollingText::transitionMs);
    const QImage from = still(phrase(3));
    const QImage to = still(phrase(7));
    ASSERT_NE(from, to);
    roll->setCurrentTime(0);
    EXPECT_EQ(drawn(*text), from) << "the old phrase, untouched, at the start";
    roll->setCurrentTime(RollingText::transitionMs / 2);
    const QImage halfway = drawn(*text);
    EXPECT_NE(halfway, from);
    EXPECT_NE(halfway, to);
    roll->setCurrentTime(RollingText::transitionMs);
    EXPECT_EQ(text->transition(), nullptr);
    EXPECT_EQ(drawn(*text), to) << "the new phrase in place at the end";

    time.advance(LoadingSplashView::kPhraseInterval);  // the same phrase drawn again
    ASSERT_EQ(view.thought(), phrase(7));
    EXPECT_EQ(text->transition(), nullptr) << "no change, nothing moves";
}

// Opacity of the picture at logical point `p` (sampled at its device pixel).
int alphaAt(const QImage& image, QPointF p)
{
    const qreal ratio = image.devicePixelRatio();
    return qAlpha(image.pixel(int(p.x() * ratio), int(p.y() * ratio)));
}

TEST(MenuBarMark, At16PixelsTheArcDotAndBarSitWhereTheMarkPutsThem)
{
    // Drawn finely enough to tell the parts apart: the arc passes over the
    // top of the dot and leaves its lower sides open.
    const QImage image = MenuBarMark::render(16, 8.0, Qt::red);
    ASSERT_FALSE(image.isNull());
    struct Spot {
        QPointF at;
        bool painted;
        const char* what;
    };
    for (const Spot& s : {Spot{{8, 3.36}, true, "arc top"}, Spot{{3.1, 6.5}, true, "arc's left end"},
                          Spot{{12.9, 6.5}, true, "arc's right end"}, Spot{{2.56, 8.8}, false, "left of the dot"},
                          Spot{{13.44, 8.8}, false, "right of the dot"}, Spot{{8, 5.4}, false, "under the arc"},
                          Spot{{8, 8.8}, true, "dot"}, Spot{{8, 11.5}, false, "between dot and bar"},
                          Spot{{1.0, 13.76}, true, "bar's left end"}, Spot{{15.0, 13.76}, true, "bar's right end"},
                          Spot{{0.3, 13.76}, false, "left of the bar"}, Spot{{8, 15.5}, false, "under the bar"}}) {
        EXPECT_EQ(alphaAt(image, s.at) > 128, s.painted) << s.what;
    }
    EXPECT_EQ(image.pixelColor(8 * 8, int(8.8 * 8)), QColor(Qt::red)) << "drawn in the colour asked for";
}

TEST(MenuBarMark, TrayPictureFallsBackWhenTheMarkCannotBeDrawn)
{
    {
        LogCapture log;
        const QIcon fallback = MenuBarController::statusImage([](int, qreal, const QColor&) { return QImage(); });
        EXPECT_FALSE(fallback.pixmap(16).isNull());
        ASSERT_EQ(LogCapture::lines().size(), 1);
        EXPECT_EQ(LogCapture::lines().first().type, QtCriticalMsg);
        EXPECT_EQ(LogCapture::lines().first().category, "tidewire.client.menubar");
        EXPECT_EQ(LogCapture::lines().first().message, "menu bar mark failed to render — falling back to a symbol");
    }
    int drawn = 0;
    MenuBarController::statusImage([&](int side, qreal ratio, const QColor&) {
        ++drawn;
        return QImage(int(side * ratio), int(side * ratio), QImage::Format_ARGB32_Premultiplied);
    });
    EXPECT_EQ(drawn, 8) << "each of the four tray sizes, at single and double density";
}

TEST(MenuBarMark, TheSymbolicIconHasThePaintedMarksShape)
{
    // Trays that tint draw the installed symbolic icon, the others the
    // painted pictures: both show the same mark.
    QSvgRenderer svg(QStringLiteral(TIDEWIRE_RESOURCES_DIR "/tidewire-symbolic.svg"));
    ASSERT_TRUE(svg.isValid());
    constexpr int side = 64;
    QImage symbolic(side, side, QImage::Format_ARGB32_Premultiplied);
    symbolic.fill(Qt::transparent);
    {
        QPainter painter(&symbolic);
        svg.render(&painter, QRectF(0, 0, side, side));
    }
    const QImage painted = MenuBarMark::render(side, 1.0, Qt::black).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int covered = 0, apart = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int a = qAlpha(symbolic.pixel(x, y)), b = qAlpha(painted.pixel(x, y));
            covered += b > 128;
            apart += std::abs(a - b) > 128;
        }
    }
    EXPECT_GT(covered, side * side / 10);
    EXPECT_LE(apart, side) << "of " << covered << " covered pixels";
}

TEST(MenuBarMark, TrayPictureStandsOutOnDarkAndLightPanelsWhateverTheAppsPalette)
{
    // Trays lay the picture on their own panel, whose colour the app's
    // palette does not know: a black top bar or a white one.
    auto defaults = Defaults::inMemory();
    FakeTime time;
    FeedStore store({*defaults, time, time, nullptr, nullptr, {}, QUrl("http://127.0.0.1:9/"), std::nullopt, {}, {}});
    const QPalette original = QApplication::palette();
    for (const QColor text : {QColor(Qt::black), QColor(Qt::white)}) {
        QPalette palette = original;
        palette.setColor(QPalette::WindowText, text);
        QApplication::setPalette(palette);
        MenuBarController controller;
        controller.install(store);
        const QIcon icon = controller.statusItem()->icon();
        ASSERT_EQ(icon.availableSizes().size(), 8);
        for (const QSize& size : icon.availableSizes()) {
            for (const QColor panel : {QColor(Qt::black), QColor(Qt::white)}) {
                const Contrast::Stroke stroke = Contrast::onPanel(icon.pixmap(size).toImage(), panel);
                EXPECT_GT(stroke.pixels, size.width()) << "a stroke, not a speck";
                EXPECT_GE(stroke.weakest, 3.0) << "at " << size.width() << " px on " << panel.name().toStdString()
                                               << " with text in " << text.name().toStdString();
            }
        }
    }
    QApplication::setPalette(original);
}

} // namespace
