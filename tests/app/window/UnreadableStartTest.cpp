// The real application started over a settings file or a cache file that is
// no file to read: a FIFO, or a link to a device that never ends. It must
// start (its tray item installed) within bounded memory, say in its log what
// it found and where it put it, and leave a settings file of its own at quit.
#include "ResidentMemory.h"
#include "XvfbDisplay.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Far more than the application ever uses; a start that reads a device
// without end passes it within seconds.
constexpr qint64 kMaxResidentBytes = 1024LL * 1024 * 1024;

// The entries of `folder` whose names start with `prefix`, by type.
QStringList entriesOfType(const QString& folder, const QString& prefix, mode_t type)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden)) {
        struct stat info {};
        if (name.startsWith(prefix) && ::lstat(QFile::encodeName(folder + u'/' + name).constData(), &info) == 0
            && (info.st_mode & S_IFMT) == type)
            found.append(name);
    }
    return found;
}

enum class Make { Fifo, LinkToZero, LinkToFull };

// A FIFO, or a link to a device: run as root, to a device of the test's own
// (beside the home), so that a save through the link could never replace the
// system's own device node.
bool make(Make what, const QString& path, const QTemporaryDir& home)
{
    const QByteArray name = QFile::encodeName(path);
    if (what == Make::Fifo)
        return ::mkfifo(name.constData(), 0600) == 0;
    const bool zero = what == Make::LinkToZero;
    QByteArray device = zero ? "/dev/zero" : "/dev/full";
    if (::geteuid() == 0) {
        device = QFile::encodeName(home.filePath(zero ? "zero-device" : "full-device"));
        if (::mknod(device.constData(), S_IFCHR | 0666, makedev(1, zero ? 5 : 7)) != 0)
            return false;
    }
    return ::symlink(device.constData(), name.constData()) == 0;
}

TEST(UnreadableStart, TheAppStartsOverAFifoOrADeviceWhereItsFilesShouldBe)
{
    TIDEWIRE_REQUIRE_XVFB();
    const struct {
        const char* name;
        bool settings;  // the settings file, else the feed snapshot in the caches
        Make make;
        const char* says;
        mode_t keptAs;
    } cases[] = {
        {"settings: a FIFO", true, Make::Fifo, "it is a FIFO, not a regular file", S_IFIFO},
        {"settings: a link to /dev/zero", true, Make::LinkToZero, "it is a character device, not a regular file", S_IFLNK},
        {"settings: a link to /dev/full", true, Make::LinkToFull, "it is a character device, not a regular file", S_IFLNK},
        {"feed snapshot: a FIFO", false, Make::Fifo, "it is a FIFO, not a regular file", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString configFolder = home.filePath("config/tidewire");
        const QString cacheFolder = home.filePath("cache/tidewire");
        ASSERT_TRUE(QDir().mkpath(configFolder) && QDir().mkpath(cacheFolder) && QDir().mkpath(home.filePath("runtime")));
        const QString settings = configFolder + "/defaults.json";
        const QString snapshot = cacheFolder + "/feedstore.snapshot.v3";
        if (c.settings) {
            ASSERT_TRUE(make(c.make, settings, home));
        } else {
            QFile file(settings);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(R"({"hasLaunchedBefore": true})");
            file.close();
            ASSERT_TRUE(make(c.make, snapshot, home));
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.insert("TIDEWIRE_API_BASE", "http://127.0.0.1:9/");  // nothing answers: the store keeps booting
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));  // not the user's bus
        env.remove("QT_QPA_PLATFORM");
        const QString path = c.settings ? settings : snapshot;
        const QString reason = QString::fromLatin1(c.says);
        const QByteArray said = (c.settings ? "Settings file " + path + " cannot be read (" + reason + "); kept it as "
                                                  + path + ".corrupt-"
                                            : "Cache file " + path + " cannot be read: " + reason)
                                    .toUtf8();
        QProcess app;
        app.setProcessEnvironment(env);
        QByteArray log;
        QObject::connect(&app, &QProcess::readyReadStandardError, &app, [&] { log += app.readAllStandardError(); });
        app.start(TIDEWIRE_EXECUTABLE, {});
        ASSERT_TRUE(app.waitForStarted(10000));
        qint64 resident = 0;
        // A start that hangs or eats memory fails here instead of hanging the suite.
        (void)QTest::qWaitFor(
            [&] {
                resident = std::max(resident, residentBytes(app.processId()));
                return (log.contains("menu bar item installed") && log.contains(said))
                    || app.state() == QProcess::NotRunning || resident > kMaxResidentBytes;
            },
            60000);
        const bool started = log.contains("menu bar item installed") && app.state() == QProcess::Running;
        if (!started || resident > kMaxResidentBytes) {
            app.kill();
            app.waitForFinished(10000);
        }
        ASSERT_TRUE(started) << "resident " << resident / (1024 * 1024) << " MiB\n" << log.data();
        EXPECT_LE(resident, kMaxResidentBytes);
        EXPECT_TRUE(log.contains(said)) << log.data();
        if (c.settings) {
            // Kept aside as it was, not read, not replaced.
            EXPECT_EQ(entriesOfType(configFolder, "defaults.json.corrupt-", c.keptAs).size(), 1);
        }

        app.terminate();
        ASSERT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 20000)) << log.data();
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0) << log.data();
        // The settings saved from then on have a file of their own.
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(QJsonDocument::fromJson(file.readAll()).object().value("hasLaunchedBefore").toBool()) << log.data();
    }
}

} // namespace
