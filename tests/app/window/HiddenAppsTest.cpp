// The strip stepping aside for chosen applications, on a private X server
// managed by openbox, with other applications' windows from separate
// processes, activated the way the window manager does on a click.
#include "XvfbDisplay.h"
#include "X11Probe.h"
#include "app/HiddenStripHook.h"
#include "app/TickerWindowController.h"
#include "app/TickerWindowSetup.h"
#include "platform/Defaults.h"
#include "platform/HiddenAppsController.h"
#include "platform/WindowPlacement.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <csignal>

namespace {

const QRect kStrip(0, 0, 1920, 72);
const QRect kBelowStrip(0, 72, 1920, 1008);

// The windows openbox manages, as xprop lists them.
QList<qint64> clientList()
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

class HiddenAppsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        windows = std::make_unique<TickerWindowController>(*defaults, WindowPlacement::system());
        monitor = FrontAppMonitor::createX11();
        ASSERT_TRUE(monitor);
        configureTickerWindow(&strip, *windows);
        strip.show();
        ASSERT_TRUE(waitFor([] { return X11Probe::workArea() == kBelowStrip; }))
            << "work area " << X11Probe::workArea().y() << "+" << X11Probe::workArea().height() << ", strip at "
            << X11Probe::geometry(strip.winId()).y() << "+" << X11Probe::geometry(strip.winId()).height();
    }

    void TearDown() override
    {
        for (auto& app : apps)
            app->kill(), app->waitForFinished();
    }

    // Another application's window; its X window id once openbox has it.
    WId startApp(const QString& appClass, const QString& title)
    {
        auto& app = apps.emplace_back(std::make_unique<QProcess>());
        app->start(QStringLiteral(FOREIGN_WINDOW), {appClass, title});
        const WId id = app->waitForReadyRead(5000) ? app->readLine().trimmed().toULongLong() : 0;
        waitFor([id] { return clientList().contains(qint64(id)); });
        return id;
    }

    // Activates `window` and waits until the monitor has reported it (a
    // window just mapped is usually active already: then `since`, made
    // before it was mapped, must hold the report).
    void activate(WId window, const QString& appClass, QSignalSpy* since = nullptr)
    {
        if (!since && monitor->frontApp() == appClass)
            return;
        QSignalSpy own(monitor.get(), &FrontAppMonitor::frontAppChanged);
        QSignalSpy& reported = since ? *since : own;
        QProcess::execute("xdotool", {"windowactivate", "--sync", QString::number(window)});
        ASSERT_TRUE(waitFor([&] {
            return !reported.isEmpty() && reported.last().value(0).value<std::optional<QString>>() == appClass;
        })) << "never reported " << appClass.toStdString();
    }

    void makeController(const QStringList& stored)
    {
        defaults->set("hiddenForBundleIDs", stored);
        hidden = std::make_unique<HiddenAppsController>(*defaults, *monitor);
        installHiddenStripHook(*hidden, *windows);
    }

    // What the server shows: the strip mapped, managed, placed and counted
    // for the work area; or none of it.
    bool stripShown(const QRect& frame = kStrip) const
    {
        return strip.isVisible() && clientList().contains(qint64(strip.winId()))
               && X11Probe::geometry(strip.winId()) == frame
               && X11Probe::workArea() == QRect(0, frame.height(), 1920, 1080 - frame.height());
    }
    bool stripGone() const
    {
        return !strip.isVisible() && !clientList().contains(qint64(strip.winId())) && X11Probe::workArea() == QRect(0, 0, 1920, 1080);
    }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    std::unique_ptr<TickerWindowController> windows;
    std::unique_ptr<FrontAppMonitor> monitor;
    QWidget strip;
    std::unique_ptr<HiddenAppsController> hidden;
    std::vector<std::unique_ptr<QProcess>> apps;
};

TEST_F(HiddenAppsTest, AListedAppInFrontHidesTheStripUntilAnotherAppComesForward)
{
    const WId slides = startApp("libreoffice-impress", "Quarterly slides");
    const WId browser = startApp("firefox", "News – Browser");
    activate(browser, "firefox");
    makeController({"libreoffice-impress"});
    EXPECT_FALSE(hidden->isSuppressed());
    QStringList running;
    for (const auto& app : hidden->runningApps())
        running.append(app.appClass + "=" + app.title);
    EXPECT_EQ(running, (QStringList{"libreoffice-impress=Quarterly slides", "firefox=News – Browser"}))
        << "other applications' windows only";

    activate(slides, "libreoffice-impress");
    EXPECT_TRUE(waitFor([this] { return stripGone(); })) << "the strip or its reserved edge stayed";

    // Our own settings window in front changes nothing.
    QWidget settings;
    settings.setWindowTitle("Tidewire Settings");
    QSignalSpy reported(monitor.get(), &FrontAppMonitor::frontAppChanged);
    settings.show();
    ASSERT_TRUE(waitFor([&] { return clientList().contains(qint64(settings.winId())); }));
    activate(settings.winId(), FrontAppMonitor::ownAppClass(), &reported);
    EXPECT_TRUE(hidden->isSuppressed());
    EXPECT_TRUE(stripGone());

    // Back with the size chosen meanwhile.
    defaults->set("tickerSize", 1);
    activate(browser, "firefox");
    EXPECT_FALSE(hidden->isSuppressed());
    EXPECT_TRUE(waitFor([this] { return stripShown({0, 0, 1920, 48}); }));
}

// Closing or minimising the listed application with no other window to take
// the focus leaves the desktop itself in front: the strip comes back at once.
TEST_F(HiddenAppsTest, TheDesktopLeftInFrontBringsTheStripBack)
{
    const WId slides = startApp("libreoffice-impress", "Quarterly slides");
    activate(slides, "libreoffice-impress");
    makeController({"libreoffice-impress"});
    ASSERT_TRUE(waitFor([this] { return stripGone(); }));

    QProcess::execute("xdotool", {"windowminimize", "--sync", QString::number(slides)});
    EXPECT_TRUE(QTest::qWaitFor([this] { return !hidden->isSuppressed() && strip.isVisible(); }, 1000))
        << "still hidden with the listed window minimised";
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));

    activate(slides, "libreoffice-impress");
    ASSERT_TRUE(waitFor([this] { return stripGone(); }));
    apps.back()->kill();
    apps.back()->waitForFinished();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !hidden->isSuppressed() && strip.isVisible(); }, 1000))
        << "still hidden with the listed window closed";
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));
}

TEST_F(HiddenAppsTest, EditingTheListActsOnTheAppInFrontAtOnceAndIsKeptForTheNextStart)
{
    activate(startApp("firefox", "Browser"), "firefox");
    makeController({});
    QSignalSpy changes(hidden.get(), &HiddenAppsController::bundleIDsChanged);

    hidden->add("firefox");
    EXPECT_FALSE(strip.isVisible()) << "hidden at once";
    EXPECT_TRUE(waitFor([this] { return stripGone(); }));
    hidden->add("firefox");
    hidden->add("");
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(defaults->stringList("hiddenForBundleIDs"), QStringList{"firefox"});

    hidden->remove("firefox");
    EXPECT_TRUE(strip.isVisible()) << "shown at once";
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));
    EXPECT_EQ(defaults->stringList("hiddenForBundleIDs"), QStringList{});

    // The next start with the same application in front and a stored list
    // naming it twice: hidden from the first moment; one removal takes both.
    hidden.reset();
    makeController({"firefox", "gimp", "firefox"});
    EXPECT_TRUE(waitFor([this] { return stripGone(); }));
    hidden->remove("firefox");
    EXPECT_EQ(defaults->stringList("hiddenForBundleIDs"), QStringList{"gimp"});
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));
}

// A change of level maps the strip again at its new level: it is taken off
// the screen until the window manager has let go of it. A listed
// application coming to the front meanwhile keeps it off until another one
// comes forward.
TEST_F(HiddenAppsTest, AStripBeingReplacedStaysHiddenWhileAListedAppIsInFront)
{
    // The browser is mapped last and activated again: the monitor's last
    // report is the browser's, whatever order the two mappings reach it in.
    const WId notes = startApp("gedit", "Notes");
    QSignalSpy reported(monitor.get(), &FrontAppMonitor::frontAppChanged);
    const WId browser = startApp("firefox", "Browser");
    activate(browser, "firefox", &reported);
    makeController({});
    ASSERT_TRUE(waitFor([this] { return stripShown(); }));
    auto keptBelow = [this] { return X11Probe::atoms(strip.winId(), "_NET_WM_STATE").contains("_NET_WM_STATE_BELOW"); };

    // Held still, the window manager cannot let go of the strip before the
    // listed app is in front.
    const pid_t wm = pid_t(qEnvironmentVariableIntValue("TIDEWIRE_WM_PID"));
    ASSERT_GT(wm, 0);
    ::kill(wm, SIGSTOP);
    defaults->set("alwaysOnTop", false);
    windows->reposition();
    hidden->add("firefox");
    ::kill(wm, SIGCONT);
    EXPECT_TRUE(hidden->isSuppressed());
    ASSERT_TRUE(waitFor([&] { return keptBelow(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(strip.isVisible()) << "shown again while the listed app is in front";
    EXPECT_TRUE(waitFor([this] { return stripGone(); }));

    // Another application in front: back, at the level it has now.
    activate(notes, "gedit");
    EXPECT_FALSE(hidden->isSuppressed());
    EXPECT_TRUE(waitFor([&] {
        return strip.isVisible() && clientList().contains(qint64(strip.winId())) && keptBelow()
               && X11Probe::geometry(strip.winId()) == kStrip && X11Probe::workArea() == QRect(0, 0, 1920, 1080);
    }));

    // Hidden and let go again while the next change of level is under way:
    // back once it is done, docked.
    ::kill(wm, SIGSTOP);
    defaults->set("alwaysOnTop", true);
    windows->reposition();
    hidden->add("gedit");
    hidden->remove("gedit");
    ::kill(wm, SIGCONT);
    EXPECT_FALSE(hidden->isSuppressed());
    EXPECT_TRUE(waitFor([&] { return !keptBelow() && stripShown(); }));
}

} // namespace
