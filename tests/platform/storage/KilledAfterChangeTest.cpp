// A change the user makes (feeds, watchlist, phrases, read marks, a tab's
// setting, hidden applications, the second strip) is in the settings file
// when the call that made it returns: a real app process makes one change and is
// killed with SIGKILL as soon as it reports the call done; a new process then
// reads the settings and finds the change.
#include "LoopbackServer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <span>

namespace {

// One run of the change writer over a settings file.
class ChangeWriter {
public:
    explicit ChangeWriter(const QString& settingsFile)
    {
        m_process.start(QStringLiteral(TIDEWIRE_CHANGE_WRITER), {settingsFile});
        m_ready = m_process.waitForStarted(10000) && readLine() == QStringLiteral("ready");
    }
    ~ChangeWriter()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();  // it ends on its own, as a quit would
        if (!m_process.waitForFinished(30000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    ChangeWriter(const ChangeWriter&) = delete;
    ChangeWriter& operator=(const ChangeWriter&) = delete;

    bool ready() const { return m_ready; }
    // Sends one command and returns the process's answer once it comes.
    QString ask(const QString& command)
    {
        m_process.write((command + u'\n').toUtf8());
        return readLine();
    }
    // SIGKILL: nothing of the process's own runs any more.
    bool kill()
    {
        m_process.kill();
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::CrashExit;
    }
    QString log() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QString readLine()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return QStringLiteral("<no answer>");
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess m_process;
    bool m_ready = false;
};

QByteArray oneItemFeed()
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>One Item Feed</title>"
           "<item><title>The one story</title><link>https://site.example/one</link></item></channel></rss>";
}

struct Change {
    const char* name;
    QString command;
    QString answer;
    QString readBack;  // what a new process finds: the answer to "show" or "show-settings"
};

// Each change in its own process, killed as soon as it answers; a new
// process then answers `show` with what it reads.
void expectEachKeptAfterAKill(const QString& settings, std::span<const Change> changes, const QString& show)
{
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        ChangeWriter writer(settings);
        ASSERT_TRUE(writer.ready()) << writer.log().toStdString();
        ASSERT_EQ(writer.ask(change.command).toStdString(), change.answer.toStdString()) << writer.log().toStdString();
        ASSERT_TRUE(writer.kill());

        ChangeWriter reader(settings);
        ASSERT_TRUE(reader.ready()) << reader.log().toStdString();
        EXPECT_EQ(reader.ask(show).toStdString(), (QStringLiteral("done ") + change.readBack).toStdString());
    }
}

TEST(KilledAfterChange, EveryFeedAndWatchlistChangeOutlivesAKillRightAfterIt)
{
    LoopbackServer server;
    server.route(QStringLiteral("/one.rss"), LoopbackServer::Response::text(oneItemFeed(), "application/rss+xml"));
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("tidewire/defaults.json"));
    {
        ChangeWriter seeding(settings);
        ASSERT_TRUE(seeding.ready()) << seeding.log().toStdString();
        ASSERT_EQ(seeding.ask(QStringLiteral("seed AAPL MSFT")).toStdString(), "done saved");
    }

    const Change changes[] = {
        {"add a feed", QStringLiteral("add ") + server.url(QStringLiteral("one.rss")).toString(),
         QStringLiteral("done added"), QStringLiteral("One Item Feed:1 | AAPL:0:0,MSFT:0:0")},
        {"switch it off", QStringLiteral("switch 0 0"), QStringLiteral("done"),
         QStringLiteral("One Item Feed:0 | AAPL:0:0,MSFT:0:0")},
        {"switch it on", QStringLiteral("switch 0 1"), QStringLiteral("done"),
         QStringLiteral("One Item Feed:1 | AAPL:0:0,MSFT:0:0")},
        {"record a holding", QStringLiteral("hold AAPL 2 150.5"), QStringLiteral("done"),
         QStringLiteral("One Item Feed:1 | AAPL:2:150.5,MSFT:0:0")},
        {"remove a symbol", QStringLiteral("unwatch MSFT"), QStringLiteral("done"),
         QStringLiteral("One Item Feed:1 | AAPL:2:150.5")},
        {"remove the feed", QStringLiteral("remove 0"), QStringLiteral("done"), QStringLiteral(" | AAPL:2:150.5")},
    };
    expectEachKeptAfterAKill(settings, changes, QStringLiteral("show"));
}

TEST(KilledAfterChange, EverySettingChangeOutlivesAKillRightAfterIt)
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("tidewire/defaults.json"));
    const Change changes[] = {
        {"follow a phrase", QStringLiteral("follow Eclipse"), QStringLiteral("done"),
         QStringLiteral("muted: followed:Eclipse read: mix:shuffle hidden: strip:latest")},
        {"mute a phrase", QStringLiteral("mute Celebrity"), QStringLiteral("done"),
         QStringLiteral("muted:Celebrity followed:Eclipse read: mix:shuffle hidden: strip:latest")},
        {"mute the followed phrase", QStringLiteral("mute eclipse"), QStringLiteral("done"),
         QStringLiteral("muted:Celebrity,eclipse followed: read: mix:shuffle hidden: strip:latest")},
        {"open a headline", QStringLiteral("read item-1"), QStringLiteral("done"),
         QStringLiteral("muted:Celebrity,eclipse followed: read:item-1 mix:shuffle hidden: strip:latest")},
        {"pick a mix in a tab", QStringLiteral("mix latest"), QStringLiteral("done"),
         QStringLiteral("muted:Celebrity,eclipse followed: read:item-1 mix:latest hidden: strip:latest")},
        {"hide for an app", QStringLiteral("hide Gimp"), QStringLiteral("done"),
         QStringLiteral("muted:Celebrity,eclipse followed: read:item-1 mix:latest hidden:Gimp strip:latest")},
        {"pick the second strip's mix", QStringLiteral("strip-mix markets"), QStringLiteral("done"),
         QStringLiteral("muted:Celebrity,eclipse followed: read:item-1 mix:latest hidden:Gimp strip:markets")},
    };
    expectEachKeptAfterAKill(settings, changes, QStringLiteral("show-settings"));
}

} // namespace
