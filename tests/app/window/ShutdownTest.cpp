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

TEST(Shutdown, SignalsQuitThroughTheNormalPathAndWritePendingSettings)
{
    TIDEWIRE_REQUIRE_XVFB();
    for (const SignalCase c : {SignalCase{SIGTERM, "SIGTERM"}, SignalCase{SIGINT, "SIGINT"},
                               SignalCase{SIGHUP, "SIGHUP"}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        ASSERT_TRUE(QDir().mkpath(home.filePath("config/tidewire")));
        const QString settings = home.filePath("config/tidewire/defaults.json");
        {
            // The legacy switch: start-up turns it into "secondTickerEnabled"
            // just before the tray item is installed.
            QFile file(settings);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(R"({"stackedTickersSpike": true, "hasLaunchedBefore": true})");
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        // Nothing answers there: the store fails fast and keeps booting.
        env.insert("TIDEWIRE_API_BASE", "http://127.0.0.1:9/");
        // No session bus: the user's own desktop services stay out of it.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));
        env.remove("QT_QPA_PLATFORM");
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::SeparateChannels);
        QByteArray log;
        QObject::connect(&app, &QProcess::readyReadStandardError, &app, [&] { log += app.readAllStandardError(); });
        app.start(TIDEWIRE_EXECUTABLE, {});
        ASSERT_TRUE(app.waitForStarted(10000));

        ASSERT_TRUE(QTest::qWaitFor([&] { return log.contains("menu bar item installed"); }, 20000)) << log.data();
        ::kill(pid_t(app.processId()), c.signal);
        ASSERT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 20000)) << log.data();

        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << "died on " << c.name;
        EXPECT_EQ(app.exitCode(), 0);
        EXPECT_TRUE(log.contains(QByteArray("received ") + c.name + "; quitting")) << log.data();
        const QJsonObject stored = readJson(settings);
        EXPECT_EQ(stored.value("secondTickerEnabled"), QJsonValue(true)) << QJsonDocument(stored).toJson().data();
        EXPECT_EQ(stored.value("stackedTickersSpike"), QJsonValue(true)) << "the rest of the file kept";
    }
}

} // namespace
