// The strip stepping aside for chosen applications, on a private X server
// managed by openbox, with other applications' windows from separate
// processes, activated the way the window manager does on a click.
#include "XvfbDisplay.h"
#include "X11Probe.h"
#include "app/HiddenStripHook.h"
#include "app/TickerWindowController.h"
#include "app/TickerWindowSetup.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/x11/WindowPlacement.h"

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
        QObject::connect(monitor.get(), &FrontAppMonitor::frontAppChanged, monitor.get(),
                         [this](const std::optional<QString>& appClass) {
                             reports << (!appClass ? QStringLiteral("<no class>")
                                         : appClass->isEmpty() ? QStringLiteral("<desktop>") : *appClass);
                         });
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
        const WId id = app->waitForReadyRead(30000) ? app->readLine().trimmed().toULongLong() : 0;
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

    // Returns once the monitor has read every change the window manager made
    // before this call: the window manager answers a request of its own,
    // then the active window is named again as it is (`active`), and the
    // monitor reports that.
    void reportsCaughtUp(WId active)
    {
        ASSERT_TRUE(X11Probe::windowManagerRoundTrip());
        const qsizetype before = reports.size();
        X11Probe::nameActiveWindow(active);
        ASSERT_TRUE(waitFor([&] { return reports.size() > before; })) << "the monitor never read the active window";
    }
    std::string history() const { return "reported: " + reports.join(' ').toStdString(); }

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
    QStringList reports;  // every front application the monitor reported
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
    reportsCaughtUp(settings.winId());
    EXPECT_TRUE(hidden->isSuppressed()) << history();
    EXPECT_TRUE(stripGone()) << history();

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
    EXPECT_TRUE(waitFor([this] { return !hidden->isSuppressed() && strip.isVisible(); }))
        << "still hidden with the listed window minimised";
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));

    activate(slides, "libreoffice-impress");
    ASSERT_TRUE(waitFor([this] { return stripGone(); }));
    apps.back()->kill();
    apps.back()->waitForFinished();
    EXPECT_TRUE(waitFor([this] { return !hidden->isSuppressed() && strip.isVisible(); }))
        << "still hidden with the listed window closed";
    EXPECT_TRUE(waitFor([this] { return stripShown(); }));
}

// While the focus moves from one window to the next, a window manager may
// name no window active for a moment (openbox does when the new window's
// focus reaches it late, as on a loaded machine). The window holding the
// keyboard focus then is in front, not the desktop. Each case holds the
// window manager still in that moment: the focus moved, no window named.
TEST_F(HiddenAppsTest, NoWindowNamedActiveMeansTheWindowHoldingTheFocusIsInFront)
{
    const WId browser = startApp("firefox", "News – Browser");
    const WId slides = startApp("libreoffice-impress", "Quarterly slides");
    QWidget settings;
    settings.setWindowTitle("Tidewire Settings");
    settings.show();
    ASSERT_TRUE(waitFor([&] { return clientList().contains(qint64(settings.winId())); }));
    makeController({"libreoffice-impress"});
    const pid_t wm = pid_t(qEnvironmentVariableIntValue("TIDEWIRE_WM_PID"));
    ASSERT_GT(wm, 0);
    const struct {
        const char* name;
        WId focus;
        bool suppressed;
    } cases[] = {
        {"our own settings window", settings.winId(), true},
        {"the listed application's window", slides, true},
        {"another application's window", browser, false},
        {"no window: the desktop", X11Probe::rootWindow(), false},
    };
    activate(slides, "libreoffice-impress");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(waitFor([this] { return hidden->isSuppressed() && stripGone(); })) << history();

        ::kill(wm, SIGSTOP);
        X11Probe::setInputFocus(c.focus);
        const qsizetype before = reports.size();
        X11Probe::nameActiveWindow(0);
        const bool reported = waitFor([&] { return reports.size() > before; });
        const bool suppressed = hidden->isSuppressed();
        // Back as the window manager left it, which it finds so on resuming:
        // the listed application focused and named active.
        X11Probe::setInputFocus(slides);
        X11Probe::nameActiveWindow(slides);
        ::kill(wm, SIGCONT);
        ASSERT_TRUE(reported) << "the monitor never read the active window";
        EXPECT_EQ(suppressed, c.suppressed) << history();
        ASSERT_TRUE(X11Probe::windowManagerRoundTrip());
    }
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
