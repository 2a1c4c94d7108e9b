// The strip stepping aside for chosen applications, on a private X server
// managed by openbox, with other applications' windows from separate
// processes and the active window switched the way a user's click does.
#include "XvfbDisplay.h"
#include "X11Probe.h"
#include "app/HiddenStripHook.h"
#include "app/TickerWindowController.h"
#include "app/TickerWindowSetup.h"
#include "platform/Defaults.h"
#include "platform/FrontAppMonitor.h"
#include "platform/HiddenAppsController.h"
#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QRect kRoot(0, 0, 1920, 1080);
const QRect kBelowStrip(0, 72, 1920, 1008);

bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 5000);
}

class HiddenAppsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        defaults = Defaults::inMemory();
        windows = std::make_unique<TickerWindowController>(*defaults, WindowPlacement::system());
        monitor = FrontAppMonitor::createX11();
        ASSERT_TRUE(monitor);
        strip = std::make_unique<QWidget>();
        configureTickerWindow(strip.get(), *windows);
        strip->show();
        ASSERT_TRUE(waitFor([this] { return workArea() == kBelowStrip; })) << "the strip never reserved its edge";
    }

    void TearDown() override
    {
        hidden.reset();
        for (QProcess* app : apps) {
            app->kill();
            app->waitForFinished();
            delete app;
        }
        strip.reset();
        settings.reset();
    }

    // Another application's window; its X window id.
    WId startApp(const QString& appClass, const QString& title)
    {
        auto* app = new QProcess;
        apps.append(app);
        app->start(QStringLiteral(FOREIGN_WINDOW), {appClass, title});
        if (!app->waitForReadyRead(5000))
            return 0;
        const WId id = app->readLine().trimmed().toULongLong();
        // Taken on by the window manager once it lists it as a client.
        waitFor([id] { return clientList().contains(qint64(id)); });
        return id;
    }

    // Activates `window` as a click would and waits until the monitor has
    // reported it.
    void activate(WId window, const QString& expectedClass)
    {
        // A new window is often activated when it appears.
        if (monitor->frontApp() == std::optional(expectedClass)) {
            QCoreApplication::processEvents();
            return;
        }
        QSignalSpy reported(monitor.get(), &FrontAppMonitor::frontAppChanged);
        QProcess xdotool;
        xdotool.start("xdotool", {"windowactivate", "--sync", QString::number(window)});
        ASSERT_TRUE(xdotool.waitForFinished());
        ASSERT_TRUE(waitFor([&] {
            return !reported.isEmpty()
                   && reported.last().value(0).value<std::optional<QString>>() == std::optional(expectedClass);
        })) << "never reported " << expectedClass.toStdString();
    }

    void makeController(const QStringList& stored)
    {
        defaults->set("hiddenForBundleIDs", stored);
        hidden = std::make_unique<HiddenAppsController>(*defaults, *monitor);
        installHiddenStripHook(*hidden, *windows);
    }

    // The windows the window manager manages, as xprop lists them.
    static QList<qint64> clientList()
    {
        QProcess xprop;
        xprop.start("xprop", {"-root", "_NET_CLIENT_LIST"});
        xprop.waitForFinished();
        QList<qint64> ids;
        static const QRegularExpression hex("0x[0-9a-fA-F]+");
        for (const auto& match : hex.globalMatch(QString::fromLatin1(xprop.readAllStandardOutput())))
            ids.append(match.captured().toLongLong(nullptr, 16));
        return ids;
    }
    static QRect workArea()
    {
        const auto area = X11Probe::rootCardinals("_NET_WORKAREA");
        return area && area->size() >= 4 ? QRect(int((*area)[0]), int((*area)[1]), int((*area)[2]), int((*area)[3]))
                                          : QRect();
    }
    // Whether the server shows the strip: mapped, and counted by the window
    // manager for the work area.
    bool stripShown(const QRect& frame = {0, 0, 1920, 72}, const QRect& area = kBelowStrip) const
    {
        return strip->isVisible() && clientList().contains(qint64(strip->winId())) && workArea() == area
               && X11Probe::geometry(strip->winId()) == frame;
    }
    bool stripGone() const
    {
        return !strip->isVisible() && !clientList().contains(qint64(strip->winId())) && workArea() == kRoot;
    }

    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<TickerWindowController> windows;
    std::unique_ptr<FrontAppMonitor> monitor;
    std::unique_ptr<HiddenAppsController> hidden;
    std::unique_ptr<QWidget> strip;
    std::unique_ptr<QWidget> settings;
    QList<QProcess*> apps;
};

TEST_F(HiddenAppsTest, AListedAppInFrontHidesTheStripUntilAnotherAppComesForward)
{
    const WId slides = startApp("libreoffice-impress", "Quarterly slides");
    const WId browser = startApp("firefox", "News – Browser");
    ASSERT_NE(slides, 0u);
    ASSERT_NE(browser, 0u);
    activate(browser, "firefox");
    makeController({"libreoffice-impress"});
    EXPECT_FALSE(hidden->isSuppressed());

    // Other applications' windows to choose from, never our own.
    QStringList running;
    for (const auto& app : hidden->runningApps())
        running.append(app.appClass + "=" + app.title);
    EXPECT_TRUE(running.contains("libreoffice-impress=Quarterly slides")) << running.join(", ").toStdString();
    EXPECT_TRUE(running.contains("firefox=News – Browser")) << running.join(", ").toStdString();
    EXPECT_EQ(running.size(), 2) << running.join(", ").toStdString();

    activate(slides, "libreoffice-impress");
    EXPECT_TRUE(hidden->isSuppressed());
    EXPECT_TRUE(waitFor([this] { return stripGone(); })) << "the strip and its reserved edge stay";

    // Our own settings window in front changes nothing.
    settings = std::make_unique<QWidget>();
    settings->setWindowTitle("Tidewire Settings");
    settings->show();
    ASSERT_TRUE(waitFor([this] { return clientList().contains(qint64(settings->winId())); }));
    activate(settings->winId(), FrontAppMonitor::ownAppClass());
    EXPECT_TRUE(hidden->isSuppressed());
    EXPECT_TRUE(stripGone());

    // The size changes meanwhile: the strip comes back placed from the
    // settings as they are now.
    defaults->set("tickerSize", 1);
    activate(browser, "firefox");
    EXPECT_FALSE(hidden->isSuppressed());
    EXPECT_TRUE(waitFor([this] { return stripShown({0, 0, 1920, 48}, {0, 48, 1920, 1032}); }))
        << "the strip came back unplaced";
}

TEST_F(HiddenAppsTest, EditingTheListActsOnTheAppInFrontAtOnceAndIsKeptForTheNextStart)
{
    const WId browser = startApp("firefox", "Browser");
    ASSERT_NE(browser, 0u);
    activate(browser, "firefox");
    makeController({});
    QSignalSpy changes(hidden.get(), &HiddenAppsController::bundleIDsChanged);

    hidden->add("firefox");
    EXPECT_TRUE(hidden->isSuppressed());
    EXPECT_FALSE(strip->isVisible()) << "hidden at once";
    EXPECT_TRUE(waitFor([this] { return stripGone(); }));
    hidden->add("firefox");
    hidden->add("");
    EXPECT_EQ(hidden->bundleIDs(), QStringList{"firefox"});
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(defaults->stringList("hiddenForBundleIDs"), QStringList{"firefox"});

    hidden->remove("firefox");
    EXPECT_FALSE(hidden->isSuppressed());
    EXPECT_TRUE(strip->isVisible()) << "shown at once";
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));
    EXPECT_EQ(defaults->stringList("hiddenForBundleIDs"), QStringList{});

    // The next start, with the same application in front and a stored list
    // that names it twice: hidden from the first moment; one removal takes
    // both entries.
    hidden.reset();
    makeController({"firefox", "gimp", "firefox"});
    EXPECT_TRUE(hidden->isSuppressed());
    EXPECT_TRUE(waitFor([this] { return stripGone(); }));
    hidden->remove("firefox");
    EXPECT_EQ(hidden->bundleIDs(), QStringList{"gimp"});
    EXPECT_EQ(defaults->stringList("hiddenForBundleIDs"), QStringList{"gimp"});
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));
}

} // namespace
