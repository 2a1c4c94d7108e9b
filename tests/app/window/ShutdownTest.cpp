// The real application process ending on a signal: a logout's SIGTERM, a
// terminal's Ctrl+C (SIGINT) or its closing (SIGHUP) arrives right after a
// setting changed, before the coalesced save would have written it; the app
// must quit on its normal road and leave the change on disk.
#include "XvfbDisplay.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

struct SignalCase {
    int signal;
    const char* name;
};

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The application on DISPLAY `display` with its settings under `home`,
// which start with the legacy second-strip switch: start-up turns it into
// "secondTickerEnabled" just before the tray item is installed, and the
// coalesced save would write it a quarter of a second later.
class AppRun {
public:
    AppRun(const QTemporaryDir& home, const QString& display) : m_settings(home.filePath("config/tidewire/defaults.json"))
    {
        QDir().mkpath(home.filePath("config/tidewire"));
        QFile file(m_settings);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"stackedTickersSpike": true, "hasLaunchedBefore": true})");
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        // Nothing answers there: the store fails fast and keeps booting.
        env.insert("TIDEWIRE_API_BASE", "http://127.0.0.1:9/");
        // No session bus: the user's own desktop services stay out of it.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));
        env.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { log += process.readAllStandardError(); });
        process.start(TIDEWIRE_EXECUTABLE, {});
    }
    ~AppRun()
    {
        process.kill();
        process.waitForFinished(5000);
    }

    bool waitForLog(const char* text)
    {
        return QTest::qWaitFor([&] { return log.contains(text) || process.state() == QProcess::NotRunning; },
                               20000) &&
               log.contains(text);
    }
    bool waitForExit()
    {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000);
    }
    QJsonObject stored() const { return readJson(m_settings); }

    QProcess process;
    QByteArray log;

private:
    QString m_settings;
};

TEST(Shutdown, SignalsQuitThroughTheNormalPathAndWritePendingSettings)
{
    TIDEWIRE_REQUIRE_XVFB();
    for (const SignalCase c : {SignalCase{SIGTERM, "SIGTERM"}, SignalCase{SIGINT, "SIGINT"},
                               SignalCase{SIGHUP, "SIGHUP"}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        AppRun app(home, qEnvironmentVariable("DISPLAY"));
        ASSERT_TRUE(app.waitForLog("menu bar item installed")) << app.log.data();
        ::kill(pid_t(app.process.processId()), c.signal);
        ASSERT_TRUE(app.waitForExit()) << app.log.data();

        EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit) << "died on " << c.name;
        EXPECT_EQ(app.process.exitCode(), 0);
        EXPECT_TRUE(app.log.contains(QByteArray("received ") + c.name + "; quitting")) << app.log.data();
        const QJsonObject stored = app.stored();
        EXPECT_EQ(stored.value("secondTickerEnabled"), QJsonValue(true)) << QJsonDocument(stored).toJson().data();
        EXPECT_EQ(stored.value("stackedTickersSpike"), QJsonValue(true)) << "the rest of the file kept";
    }
}

// The session ending under the app: its X server goes away. Qt leaves the
// process at once from inside the event loop; what is pending is written on
// the way out all the same.
TEST(Shutdown, XServerGoingAwayStillWritesPendingSettings)
{
    TIDEWIRE_REQUIRE_XVFB();
    QProcess server;
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x720x24", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted(10000));
    QByteArray number;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        number += server.readAllStandardOutput();
        return number.contains('\n');
    }, 20000));

    QTemporaryDir home;
    AppRun app(home, ":" + QString::fromLatin1(number.trimmed()));
    ASSERT_TRUE(app.waitForLog("menu bar item installed")) << app.log.data();
    server.terminate();
    ASSERT_TRUE(app.waitForExit()) << app.log.data();
    server.waitForFinished(10000);

    EXPECT_EQ(app.stored().value("secondTickerEnabled"), QJsonValue(true)) << app.log.data();
}

} // namespace
