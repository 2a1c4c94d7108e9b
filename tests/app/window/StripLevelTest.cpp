// The strip's level and focus under whichever window manager
// run-with-xvfb.sh runs (TIDEWIRE_WM): a full-screen window in front and
// the app's own board cover it, ordinary windows do so only while it is not
// on top, it keeps its edge at either level, and it never takes the focus.
#include "BoardHarness.h"
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "ambient/FullScreenWindowManager.h"
#include "app/TickerWindowController.h"
#include "app/TickerWindowSetup.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/WindowPlacement.h"

#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

const QRect kRoot(0, 0, 1920, 1080);

// What the window manager's own bars leave free; i3 publishes no work area,
// so the whole screen.
QRect freeArea()
{
    const QRect area = X11Probe::workArea();
    return area.isEmpty() ? kRoot : area;
}

// The free area as the run starts, before any test has shown a window.
QRect g_freeAtStart;
class FreeAreaAtStart final : public ::testing::Environment {
public:
    void SetUp() override { g_freeAtStart = freeArea(); }
};
[[maybe_unused]] const auto* const kFreeAreaAtStart = ::testing::AddGlobalTestEnvironment(new FreeAreaAtStart);

QString windowManager()
{
    return qEnvironmentVariable("TIDEWIRE_WM", QStringLiteral("openbox"));
}

// An ordinary window the user works in, shown by this process. The window
// manager passes a close request on to it only once it has handled all it
// was asked before, so a request (refused) is a round trip through it.
class OrdinaryWindow final : public QWidget {
public:
    explicit OrdinaryWindow(const QString& title)
    {
        setWindowTitle(title);
        auto* layout = new QVBoxLayout(this);
        field = new QLineEdit(this);
        layout->addWidget(field);
        setGeometry(300, 300, 400, 300);
    }

    // Shows the window, waits until the window manager has taken it on,
    // and activates it as a pager or a click would.
    bool showActive()
    {
        show();
        const WId id = winId();
        if (!waitFor([id] { return X11Probe::managed(id); }))
            return false;
        return activate();
    }
    bool activate()
    {
        const WId id = winId();
        // A synthetic request can be lost on a loaded machine before the
        // window manager reads it: asked again every five seconds, for as
        // long as waitFor() waits.
        QDeadlineTimer deadline(30000);
        do {
            QProcess::execute("xdotool", {"windowactivate", QString::number(id)});
            if (QTest::qWaitFor([id] { return X11Probe::activeWindow() == id; }, 5000))
                return true;
        } while (!deadline.hasExpired());
        return false;
    }
    bool roundTrip()
    {
        const int before = m_closes;
        X11Probe::requestClose(winId());
        return waitFor([&] { return m_closes > before; });
    }

    QLineEdit* field = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (!event->spontaneous())
            return QWidget::closeEvent(event);
        ++m_closes;
        event->ignore();
    }

private:
    int m_closes = 0;
};

class StripLevel : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        defaults = Defaults::inMemory();
        controller = std::make_unique<TickerWindowController>(*defaults, WindowPlacement::system());
        // Where the strip goes: along the edges of what the window
        // manager's own bars leave free (fluxbox's toolbar at the top,
        // IceWM's taskbar at the bottom).
        // A strip of an earlier test, or of an app one ran, may still hold
        // its edge until the window manager sees it gone.
        ASSERT_TRUE(waitFor([] { return freeArea() == g_freeAtStart; }))
            << "work area top " << freeArea().y() << ", not " << g_freeAtStart.y() << " as before any window came";
        top = QRect(0, g_freeAtStart.top(), 1920, 72);
        bottom = QRect(0, g_freeAtStart.bottom() - 71, 1920, 72);
    }

    void TearDown() override
    {
        for (auto& app : apps)
            app->kill(), app->waitForFinished();
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void showStrip()
    {
        window = std::make_unique<QWidget>();
        configureTickerWindow(window.get(), *controller);
        window->show();
        ASSERT_TRUE(waitFor([this] { return X11Probe::managed(id()); })) << "the window manager never took the strip on";
    }

    WId id() const { return window->winId(); }
    QStringList states() const { return X11Probe::atoms(id(), "_NET_WM_STATE"); }

    // Shown again and managed after a change of level, reserving its edge
    // only on top.
    bool settledAt(bool onTop) const
    {
        return window->isVisible() && X11Probe::managed(id()) &&
               X11Probe::cardinals(id(), "_NET_WM_STRUT_PARTIAL").has_value() == onTop;
    }

    void setLevel(bool onTop)
    {
        defaults->set("alwaysOnTop", onTop);
        controller->reposition();
    }

    // Another application's window, from a process of its own; its X
    // window id once the window manager shows it.
    WId startApp(const QString& appClass, const QString& title, const QStringList& mode = {})
    {
        auto& app = apps.emplace_back(std::make_unique<QProcess>());
        app->start(QStringLiteral(FOREIGN_WINDOW), QStringList{appClass, title} + mode);
        // Started on a loaded machine, a program may take seconds to say it is up.
        const WId started = app->waitForReadyRead(30000) ? app->readLine().trimmed().toULongLong() : 0;
        waitFor([started] { return started != 0 && X11Probe::managed(started); });
        return started;
    }

    // An ordinary window in front stays under the strip on top, and covers
    // it otherwise; i3 tiles ordinary windows beside its docks.
    void expectStackedWith(WId ordinary, bool onTop) const
    {
        if (windowManager() == "i3")
            EXPECT_FALSE(X11Probe::frameGeometry(ordinary).intersects(X11Probe::frameGeometry(id())))
                << "tiled into the strip's edge";
        else if (onTop)
            EXPECT_EQ(X11Probe::stackedAbove(id(), ordinary), true) << "an ordinary window covers the strip";
        else
            EXPECT_EQ(X11Probe::stackedAbove(ordinary, id()), true) << "kept over ordinary windows";
    }

    // Whether `upper` hides the strip: stacked above it, or the window
    // manager took the strip off the screen for it (i3 does for a full
    // screen).
    bool coveredBy(WId upper) const
    {
        return !X11Probe::viewable(id()) || X11Probe::stackedAbove(upper, id()) == true;
    }

    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<TickerWindowController> controller;
    std::unique_ptr<QWidget> window;
    std::vector<std::unique_ptr<QProcess>> apps;
    QRect top;
    QRect bottom;
};

// Docked on top, the strip stays over an ordinary window in front, yet a
// full-screen window in front covers it; once that one goes, the strip is
// back on its edge.
TEST_F(StripLevel, AFullScreenWindowInFrontCoversTheStripOrdinaryWindowsDoNot)
{
    showStrip();
    ASSERT_TRUE(waitFor([this] { return X11Probe::frameGeometry(id()) == top; }));
    OrdinaryWindow notes("Notes");
    ASSERT_TRUE(notes.showActive());
    notes.raise();
    ASSERT_TRUE(notes.roundTrip());
    expectStackedWith(notes.winId(), true);

    const WId film = startApp("player", "Film", {"full"});
    QProcess::execute("xdotool", {"windowactivate", QString::number(film)});
    ASSERT_TRUE(waitFor([film] {
        return X11Probe::activeWindow() == film && X11Probe::frameGeometry(film) == kRoot;
    })) << "the film never came up full screen and active";
    EXPECT_TRUE(waitFor([&] { return coveredBy(film); })) << "the strip lies over the full-screen window";

    apps.back()->kill();
    apps.back()->waitForFinished();
    EXPECT_TRUE(waitFor([this] { return X11Probe::viewable(id()) && X11Probe::frameGeometry(id()) == top; }));
}

// The board, full screen and active, covers the strip; closed, it leaves
// the strip as it was.
TEST_F(StripLevel, TheBoardCoversTheStrip)
{
    showStrip();
    BoardHarness board;
    FullScreenWindowManager boards(*board.defaults, board.context(), board.filters);
    boards.show(*board.store);
    QWidget* shown = boards.window();
    ASSERT_NE(shown, nullptr);
    const WId boardId = shown->winId();
    ASSERT_TRUE(waitFor([boardId] {
        return X11Probe::activeWindow() == boardId && X11Probe::frameGeometry(boardId) == kRoot;
    })) << "the board never came up full screen and active";
    EXPECT_TRUE(waitFor([&] { return coveredBy(boardId); })) << "the strip lies over the board";

    boards.close();
    EXPECT_TRUE(waitFor([this] { return X11Probe::viewable(id()) && X11Probe::frameGeometry(id()) == top; }))
        << "viewable " << X11Probe::viewable(id()) << ", frame " << X11Probe::frameGeometry(id()).y() << " "
        << X11Probe::frameGeometry(id()).height() << ", work area top " << X11Probe::workArea().y() << ", expected "
        << top.y();
}

struct LevelCase {
    const char* name;
    bool onTop;
    const char* position;
};

// At either level, from the start and after every change, the strip sits
// on its edge and reserves it only while on top; ordinary windows cover it
// only while it is not.
TEST_F(StripLevel, KeepsItsEdgeAtEitherLevel)
{
    const QList<LevelCase> cases = {
        {"not on top from the start", false, "top"},
        {"on top", true, "top"},
        {"not on top again", false, "top"},
        {"not on top, at the bottom", false, "bottom"},
        {"on top, at the bottom", true, "bottom"},
        {"not on top, back at the top", false, "top"},
    };
    OrdinaryWindow notes("Notes");
    ASSERT_TRUE(notes.showActive());
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect frame = QLatin1String(c.position) == "bottom" ? bottom : top;
        defaults->set("tickerPosition", c.position);
        if (!window) {
            defaults->set("alwaysOnTop", c.onTop);
            showStrip();
        } else {
            setLevel(c.onTop);
        }
        ASSERT_TRUE(waitFor([&] { return settledAt(c.onTop); })) << states().join(' ').toStdString();
        EXPECT_TRUE(waitFor([&] {
            return X11Probe::frameGeometry(id()) == frame && X11Probe::geometry(id()) == frame;
        })) << "frame " << X11Probe::frameGeometry(id()).x() << "," << X11Probe::frameGeometry(id()).y() << " "
            << X11Probe::frameGeometry(id()).width() << "x" << X11Probe::frameGeometry(id()).height();

        // Placed again as it is (as a change of screens or panels does):
        // the window manager is asked for nothing the strip already has
        // (i3 lists a state once more for every request).
        controller->reposition();
        controller->reposition();
        ASSERT_TRUE(notes.roundTrip());
        QStringList listed = states();
        EXPECT_EQ(listed.removeDuplicates(), 0) << states().join(' ').toStdString();

        // The user turns to the other window, which comes forward.
        ASSERT_TRUE(notes.activate());
        notes.raise();
        ASSERT_TRUE(notes.roundTrip());
        expectStackedWith(notes.winId(), c.onTop);
    }
}

// The window the user works in keeps the focus while the strip changes
// level, each time (a change of level maps the strip again), and when the
// strip is clicked.
TEST_F(StripLevel, ChangingTheLevelLeavesTheFocusWhereItWas)
{
    showStrip();
    OrdinaryWindow settings("Tidewire Settings");
    ASSERT_TRUE(settings.showActive()) << "the stand-in settings window never became active";
    const WId settingsId = settings.winId();
    ASSERT_TRUE(waitFor([&] { return X11Probe::inputFocus() == settingsId && settings.field->hasFocus(); }));
    // Whatever the window manager does on taking the strip on is done once
    // it has passed on a request made after that.
    const auto roundTrip = [&] { return settings.roundTrip(); };
    const auto focusStayed = [&] {
        return X11Probe::activeWindow() == settingsId && X11Probe::inputFocus() == settingsId;
    };

    for (int round = 1; round <= 3; ++round) {
        for (const bool onTop : {false, true}) {
            SCOPED_TRACE(testing::Message() << "round " << round << (onTop ? ", on top" : ", not on top"));
            setLevel(onTop);
            ASSERT_TRUE(waitFor([&] { return settledAt(onTop); })) << states().join(' ').toStdString();
            ASSERT_TRUE(roundTrip());
            EXPECT_TRUE(focusStayed()) << "active " << X11Probe::activeWindow() << ", focus "
                                       << X11Probe::inputFocus() << ", settings " << settingsId;
        }
    }

    // The strip offers to take no focus, and it is mapped with a user time
    // of 0 (on the window Qt keeps it on).
    const WId timeWindow = X11Probe::windowValue(id(), "_NET_WM_USER_TIME_WINDOW");
    EXPECT_EQ(X11Probe::cardinals(timeWindow != 0 ? timeWindow : id(), "_NET_WM_USER_TIME"), QList<qint64>{0});
    const QStringList protocols = X11Probe::protocols(id());
    EXPECT_TRUE(protocols.contains("WM_DELETE_WINDOW")) << protocols.join(' ').toStdString();
    EXPECT_FALSE(protocols.contains("WM_TAKE_FOCUS"));

    const QRect strip = X11Probe::geometry(id());
    QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(strip.center().x()),
                                  QString::number(strip.center().y()), "click", "1"});
    ASSERT_TRUE(roundTrip());
    EXPECT_TRUE(focusStayed()) << "a click gave the strip the focus";
    EXPECT_TRUE(settings.field->hasFocus());
}

} // namespace
