// Starts of the real application under one home and one session: a second
// start hands over to the running copy and leaves, and a copy killed with
// SIGKILL keeps no later start out. With a session bus of the test's own, and
// with no bus at all.
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

TEST(SingleInstance, ASecondStartHandsOverAndAKilledCopyKeepsNoStartOut)
{
    TIDEWIRE_REQUIRE_XVFB();
    for (const bool withBus : {true, false}) {
        SCOPED_TRACE(withBus ? "session bus" : "no session bus");
        std::unique_ptr<PrivateBus> bus;
        if (withBus) {
            bus = std::make_unique<PrivateBus>();
            ASSERT_FALSE(bus->address.isEmpty()) << "dbus-daemon did not start";
        }
        QTemporaryDir home;
        const QString runtime = home.filePath("runtime");
        ASSERT_TRUE(QDir().mkpath(home.filePath("config/tidewire")) && QDir().mkpath(runtime));
        QFile(runtime).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Not a first launch: the settings window opens only when asked for.
        const QByteArray settings = R"({"hasLaunchedBefore": true, "tickerPosition": "top"})";
        QFile settingsFile(home.filePath("config/tidewire/defaults.json"));
        ASSERT_TRUE(settingsFile.open(QIODevice::WriteOnly));
        settingsFile.write(settings);
        settingsFile.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("TIDEWIRE_API_BASE", "http://127.0.0.1:9/");  // nothing answers: the store keeps booting
        env.insert("DBUS_SESSION_BUS_ADDRESS",
                   withBus ? QString::fromLatin1(bus->address) : "unix:path=" + home.filePath("no-bus"));
        env.remove("QT_QPA_PLATFORM");

        auto first = std::make_unique<App>(env);
        ASSERT_TRUE(waitFor([&] { return first->log.contains("menu bar item installed"); })) << first->log.data();
        ASSERT_TRUE(settingsWindowOwners().isEmpty());
        const QMap<QString, QByteArray> before = filesUnder(home.path());

        QElapsedTimer clock;
        clock.start();
        App second(env);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !second.running(); }, 2000))
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

} // namespace
