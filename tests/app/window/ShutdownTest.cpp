// The real application process on every road out: a logout's SIGTERM, a
// terminal's Ctrl+C (SIGINT) or its closing (SIGHUP), or the X server going
// away with the session. Each comes right after a setting changed, before the
// coalesced save would have written it, and the change must be on disk.
#include "X11Probe.h"
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

TEST(Shutdown, EveryRoadOutWritesThePendingSettings)
{
    TIDEWIRE_REQUIRE_XVFB();
    struct Road {
        const char* name;
        int signal;  // 0: the X server goes away
    };
    for (const Road road : {Road{"SIGTERM", SIGTERM}, Road{"SIGINT", SIGINT}, Road{"SIGHUP", SIGHUP},
                            Road{"X server gone", 0}}) {
        SCOPED_TRACE(road.name);
        // A display of the app's own, so that it can go away.
        QProcess server;
        server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x720x24", "-nolisten", "tcp"});
        QByteArray display;
        ASSERT_TRUE(waitFor([&] { return (display += server.readAllStandardOutput()).contains('\n'); }));

        // The legacy second-strip switch: start-up turns it into
        // "secondTickerEnabled" just before it installs the tray item.
        QTemporaryDir home;
        const QString settings = home.filePath("config/tidewire/defaults.json");
        QDir().mkpath(home.filePath("config/tidewire"));
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"stackedTickersSpike": true, "hasLaunchedBefore": true})");
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":" + QString::fromLatin1(display.trimmed()));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        env.insert("TIDEWIRE_API_BASE", "http://127.0.0.1:9/");  // nothing answers: the store keeps booting
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));  // not the user's bus
        env.insert("XDG_RUNTIME_DIR", home.path());  // not the user's running copy
        env.remove("QT_QPA_PLATFORM");
        QProcess app;
        app.setProcessEnvironment(env);
        QByteArray log;
        QObject::connect(&app, &QProcess::readyReadStandardError, &app, [&] { log += app.readAllStandardError(); });
        app.start(TIDEWIRE_EXECUTABLE, {});
        ASSERT_TRUE(waitFor([&] { return log.contains("menu bar item installed"); })) << log.data();

        // An ended start has no id, and a signal to id 0 would reach this test.
        ASSERT_GT(app.processId(), 0) << log.data();
        if (road.signal)
            ::kill(pid_t(app.processId()), road.signal);
        else
            server.terminate();
        ASSERT_TRUE(waitFor([&] { return app.state() == QProcess::NotRunning; })) << log.data();
        server.terminate();
        server.waitForFinished(10000);

        if (road.signal) {
            EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << "died on the signal";
            EXPECT_EQ(app.exitCode(), 0);
            EXPECT_TRUE(log.contains(QByteArray("received ") + road.name + "; quitting")) << log.data();
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QJsonObject stored = QJsonDocument::fromJson(file.readAll()).object();
        EXPECT_EQ(stored.value("secondTickerEnabled"), QJsonValue(true)) << log.data();
        EXPECT_EQ(stored.value("stackedTickersSpike"), QJsonValue(true)) << "the rest of the file kept";
    }
}

} // namespace
