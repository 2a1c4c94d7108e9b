// Starts of the real application under one home and one session: a second
// start hands over to the running copy and leaves, a copy killed with SIGKILL
// keeps no later start out, a start while the running copy quits ends with
// one copy running, and starts at the same moment end with one copy that the
// others handed over to. With a session bus of the test's own, and with no
// bus at all. Races are held open with the application's test pauses
// (TIDEWIRE_TEST_PAUSE).
#include "X11Probe.h"
#include "XvfbDisplay.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// One start of the application; its log is collected as it comes.
struct App {
    explicit App(const QProcessEnvironment& env)
    {
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { log += process.readAllStandardError(); });
        process.start(TIDEWIRE_EXECUTABLE, {});
        process.waitForStarted(10000);
    }
    ~App()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    bool running() const { return process.state() != QProcess::NotRunning; }
    qint64 pid() const { return process.processId(); }
    // Sends `signal` to this start only: once it has ended there is no id,
    // and a signal to id 0 would reach the test and its window manager.
    void signal(int signal) const
    {
        if (const qint64 id = pid(); id > 0)
            ::kill(pid_t(id), signal);
    }
    // Started with the strip up: the running copy.
    bool up() const { return log.contains("menu bar item installed"); }
    // Left with status 0 after the running copy took its request.
    bool handedOver() const
    {
        return !running() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
            && log.contains("handed over to the running copy") && !log.contains("did not answer");
    }

    QProcess process;
    QByteArray log;
};

// A session bus of the test's own, on which nothing can be activated.
struct PrivateBus {
    PrivateBus()
    {
        daemon.start("dbus-daemon", {"--config-file=" TIDEWIRE_TEST_BUS_CONFIG, "--nofork", "--print-address=1"});
        waitFor([&] { return (address += daemon.readAllStandardOutput()).contains('\n'); });
        address = address.trimmed();
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished(10000);
    }
    QProcess daemon;
    QByteArray address;
};

// Every file under `root` with a digest of its bytes: what a start wrote.
QMap<QString, QByteArray> filesUnder(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        const QByteArray digest = file.open(QIODevice::ReadOnly)
                                      ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                      : QByteArray("unreadable");
        files.insert(QDir(root).relativeFilePath(path), digest);
    }
    return files;
}

// The visible windows titled "Tidewire Settings" and the processes they belong to.
QList<qint64> settingsWindowOwners()
{
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", "^Tidewire Settings$"});
    search.waitForFinished(10000);
    QList<qint64> owners;
    for (const QByteArray& id : search.readAllStandardOutput().split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        const auto pid = X11Probe::cardinals(WId(id.trimmed().toULongLong()), "_NET_WM_PID");
        owners.append(pid && !pid->isEmpty() ? pid->first() : -1);
    }
    return owners;
}

// A home and a session for the application: settings of a user who has
// launched it before, a runtime folder of its own, and the given bus (none:
// an address where no bus listens).
struct Session {
    explicit Session(const PrivateBus* bus, const QString& runtimeName = QStringLiteral("runtime"))
    {
        runtime = home.filePath(runtimeName);
        ok = QDir().mkpath(home.filePath("config/tidewire")) && QDir().mkpath(runtime);
        QFile(runtime).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Not a first launch: the settings window opens only when asked for.
        QFile file(settingsPath());
        ok = ok && file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size();
        file.close();

        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("TIDEWIRE_API_BASE", "http://127.0.0.1:9/");  // nothing answers: the store keeps booting
        env.insert("DBUS_SESSION_BUS_ADDRESS",
                   bus ? QString::fromLatin1(bus->address) : "unix:path=" + home.filePath("no-bus"));
        env.remove("QT_QPA_PLATFORM");
    }
    QString settingsPath() const { return home.filePath("config/tidewire/defaults.json"); }

    const QByteArray settings = R"({"hasLaunchedBefore": true, "tickerPosition": "top"})";
    QTemporaryDir home;
    QString runtime;
    QProcessEnvironment env;
    bool ok = false;
};

TEST(SingleInstance, ASecondStartHandsOverAndAKilledCopyKeepsNoStartOut)
{
    TIDEWIRE_REQUIRE_XVFB();
    // Deeper than a socket's path (107 bytes) can reach.
    QString longRuntime = QStringLiteral("runtime");
    while (longRuntime.size() < 160)
        longRuntime += QStringLiteral("/a-runtime-folder-with-a-long-name");
    const struct {
        const char* name;
        bool withBus;
        QString runtime;
    } cases[] = {
        {"session bus", true, QStringLiteral("runtime")},
        {"no session bus", false, QStringLiteral("runtime")},
        {"no session bus, a long runtime folder", false, longRuntime},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<PrivateBus> bus;
        if (c.withBus) {
            bus = std::make_unique<PrivateBus>();
            ASSERT_FALSE(bus->address.isEmpty()) << "dbus-daemon did not start";
        }
        const Session session(bus.get(), c.runtime);
        ASSERT_TRUE(session.ok);
        const QTemporaryDir& home = session.home;
        const QString& runtime = session.runtime;
        const QProcessEnvironment& env = session.env;
        const QByteArray& settings = session.settings;
        QFile settingsFile(session.settingsPath());

        auto first = std::make_unique<App>(env);
        ASSERT_TRUE(waitFor([&] { return first->log.contains("menu bar item installed"); })) << first->log.data();
        ASSERT_TRUE(settingsWindowOwners().isEmpty());
        const QMap<QString, QByteArray> before = filesUnder(home.path());

        QElapsedTimer clock;
        clock.start();
        App second(env);
        // Well under the bus's own 25-second default for an answer, so a start
        // that waits on the running copy without a limit of its own is caught;
        // wide enough for a start of the whole application on a loaded machine.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !second.running(); }, 15000))
            << "still running after " << clock.elapsed() << " ms\n"
            << second.log.data();
        EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.process.exitCode(), 0) << second.log.data();
        EXPECT_TRUE(second.log.contains("Tidewire is already running")) << second.log.data();

        const qint64 firstPid = first->process.processId();
        EXPECT_TRUE(waitFor([&] { return settingsWindowOwners() == QList<qint64>{firstPid}; }))
            << first->log.data();
        EXPECT_TRUE(first->running());
        // Nothing written by the second start, nor by the first in answer.
        EXPECT_EQ(filesUnder(home.path()), before);
        ASSERT_TRUE(settingsFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(settingsFile.readAll(), settings);
        settingsFile.close();

        ::kill(pid_t(firstPid), SIGKILL);
        ASSERT_TRUE(waitFor([&] { return !first->running(); }));
        first.reset();
        // Its lock stays behind, naming a process that is gone.
        EXPECT_TRUE(QFile::exists(runtime + "/tidewire.lock"));
        App third(env);
        EXPECT_TRUE(waitFor([&] { return third.log.contains("menu bar item installed"); })) << third.log.data();
        EXPECT_TRUE(third.running()) << third.log.data();
        third.process.terminate();
        EXPECT_TRUE(waitFor([&] { return !third.running(); }));
    }
}

// A lock left in the runtime folder that names no running copy: written only
// in part by a copy that crashed or lost power, or naming a process that is
// gone or whose number another program has since been given.
TEST(SingleInstance, ALockNamingNoRunningCopyKeepsNoStartOut)
{
    TIDEWIRE_REQUIRE_XVFB();
    QProcess foreign;  // a live process that is not the application
    foreign.start("sleep", {"600"});
    ASSERT_TRUE(foreign.waitForStarted(10000));
    QProcess ended;
    ended.start("true", {});
    ASSERT_TRUE(ended.waitForFinished(10000));
    const struct {
        const char* name;
        QByteArray contents;
    } locks[] = {
        {"garbage", QByteArray("\x01\x02 no pid here\n")},
        {"an empty line", QByteArray("\n")},
        {"a process that ended", QByteArray::number(ended.processId()) + "\ntidewire\n"},
        {"a live process of another program", QByteArray::number(foreign.processId()) + "\ntidewire\n"},
    };
    for (const bool withBus : {true, false}) {
        std::unique_ptr<PrivateBus> bus;
        if (withBus) {
            bus = std::make_unique<PrivateBus>();
            ASSERT_FALSE(bus->address.isEmpty()) << "dbus-daemon did not start";
        }
        for (const auto& lock : locks) {
            SCOPED_TRACE(std::string(withBus ? "session bus, " : "no session bus, ") + lock.name);
            const Session session(bus.get());
            ASSERT_TRUE(session.ok);
            QFile file(session.runtime + "/tidewire.lock");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(lock.contents);
            file.close();

            App app(session.env);
            EXPECT_TRUE(waitFor([&] { return app.log.contains("menu bar item installed") || !app.running(); }));
            EXPECT_TRUE(app.running()) << app.log.data();
            EXPECT_FALSE(app.log.contains("Tidewire is already running")) << app.log.data();
            app.process.terminate();
            EXPECT_TRUE(waitFor([&] { return !app.running(); }));
        }
    }
    foreign.kill();
    foreign.waitForFinished(10000);
}

// The environment of a start that pauses at `pause` ("<point>:<ms>").
QProcessEnvironment pausing(QProcessEnvironment env, const char* pause)
{
    env.insert("TIDEWIRE_TEST_PAUSE", QString::fromLatin1(pause));
    return env;
}

// Asked to quit as a log-out asks (SIGTERM), the running copy is slow to go,
// held where it waits for the keyring, or before it has written anything;
// a start made meanwhile. One copy runs in the end, the new one, and it holds
// the whole claim: a later start hands over to it.
TEST(SingleInstance, AStartWhileTheRunningCopyQuitsEndsWithOneCopyRunning)
{
    TIDEWIRE_REQUIRE_XVFB();
    const struct {
        const char* name;
        bool withBus;
        const char* pause;
        // Still on its way out (waiting for the keyring) once the new copy runs.
        bool stillQuitting;
    } cases[] = {
        {"session bus, quitting before it writes", true, "quit:2500", false},
        {"no session bus, quitting before it writes", false, "quit:2500", false},
        {"session bus, waiting for the keyring", true, "keyring:120000", true},
        {"no session bus, waiting for the keyring", false, "keyring:120000", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<PrivateBus> bus;
        if (c.withBus) {
            bus = std::make_unique<PrivateBus>();
            ASSERT_FALSE(bus->address.isEmpty()) << "dbus-daemon did not start";
        }
        const Session session(bus.get());
        ASSERT_TRUE(session.ok);
        auto quitting = std::make_unique<App>(pausing(session.env, c.pause));
        ASSERT_TRUE(waitFor([&] { return quitting->up(); })) << quitting->log.data();
        quitting->signal(SIGTERM);
        ASSERT_TRUE(waitFor([&] { return quitting->log.contains("test pause at "); })) << quitting->log.data();

        // A copy paused before it writes still holds its claim: held still
        // until the new start has found it, since on a loaded machine a start
        // can take longer than the pause, and would find it gone.
        if (!c.stillQuitting)
            quitting->signal(SIGSTOP);
        App next(session.env);
        if (!c.stillQuitting) {
            const bool found =
                waitFor([&] { return next.log.contains("Tidewire is already running") || !next.running(); });
            quitting->signal(SIGCONT);
            ASSERT_TRUE(found) << next.log.data();
        }
        EXPECT_TRUE(waitFor([&] { return next.up() || !next.running(); }));
        EXPECT_TRUE(next.running()) << next.log.data();
        EXPECT_FALSE(next.log.contains("did not answer")) << next.log.data();
        // A copy that still held its claim was waited for, not handed over to.
        if (!c.stillQuitting) {
            EXPECT_TRUE(next.log.contains("the copy that was running let go; this one runs now")) << next.log.data();
        }
        if (c.stillQuitting) {
            EXPECT_TRUE(quitting->running()) << "the copy waiting for the keyring had let go";
        } else {
            EXPECT_TRUE(waitFor([&] { return !quitting->running(); }));
            EXPECT_EQ(quitting->process.exitCode(), 0) << quitting->log.data();
        }
        quitting.reset();

        App later(session.env);
        EXPECT_TRUE(waitFor([&] { return !later.running(); }));
        EXPECT_TRUE(later.handedOver()) << later.log.data();
        const qint64 nextPid = next.pid();
        EXPECT_TRUE(waitFor([&] { return settingsWindowOwners() == QList<qint64>{nextPid}; })) << next.log.data();
        EXPECT_TRUE(next.running());
        next.process.terminate();
        EXPECT_TRUE(waitFor([&] { return !next.running(); }));
    }
}

// Two starts without a session bus, the first held between making its lock
// file and locking it, the second made in that moment: one copy runs, and the
// other hands over to it.
TEST(SingleInstance, TwoStartsAtOnceWithoutABusEndWithOneCopy)
{
    TIDEWIRE_REQUIRE_XVFB();
    const Session session(nullptr);
    ASSERT_TRUE(session.ok);
    App first(pausing(session.env, "lock:3000"));
    ASSERT_TRUE(waitFor([&] { return first.log.contains("test pause at lock"); })) << first.log.data();
    App second(session.env);

    ASSERT_TRUE(waitFor([&] { return (first.up() || second.up()) && (!first.running() || !second.running()); }))
        << "first:\n" << first.log.data() << "second:\n" << second.log.data();
    EXPECT_NE(first.running(), second.running()) << "first:\n" << first.log.data() << "second:\n" << second.log.data();
    const App& runs = first.running() ? first : second;
    const App& left = first.running() ? second : first;
    EXPECT_TRUE(left.handedOver()) << left.log.data();
    const qint64 runsPid = runs.pid();
    EXPECT_TRUE(waitFor([&] { return settingsWindowOwners() == QList<qint64>{runsPid}; })) << runs.log.data();
}

// Starts made together without a session bus while the one that took the
// lock is not listening yet: every other start hands over to it.
TEST(SingleInstance, EveryStartOfACrowdHandsOverToTheCopyThatRuns)
{
    TIDEWIRE_REQUIRE_XVFB();
    const Session session(nullptr);
    ASSERT_TRUE(session.ok);
    const QProcessEnvironment env = pausing(session.env, "listen:2000");
    App first(env);
    ASSERT_TRUE(waitFor([&] { return first.log.contains("test pause at listen"); })) << first.log.data();
    std::vector<std::unique_ptr<App>> crowd;
    for (int i = 0; i < 6; ++i)
        crowd.push_back(std::make_unique<App>(env));

    for (const auto& start : crowd) {
        EXPECT_TRUE(waitFor([&] { return !start->running(); }));
        EXPECT_TRUE(start->handedOver()) << start->log.data();
    }
    EXPECT_TRUE(first.running()) << first.log.data();
    const qint64 firstPid = first.pid();
    EXPECT_TRUE(waitFor([&] { return settingsWindowOwners() == QList<qint64>{firstPid}; })) << first.log.data();
}

} // namespace
