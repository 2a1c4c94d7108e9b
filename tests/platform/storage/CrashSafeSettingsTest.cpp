#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Every string under `value`, with the version its "#<n>" suffix names.
void collectVersions(const QJsonValue& value, QList<qint64>& out)
{
    if (value.isString()) {
        const QString text = value.toString();
        const qsizetype hash = text.lastIndexOf(u'#');
        out.append(hash < 0 ? -1 : text.mid(hash + 1).toLongLong());
    } else if (value.isArray()) {
        for (const QJsonValue& v : value.toArray())
            collectVersions(v, out);
    } else if (value.isObject()) {
        for (const QJsonValue& v : value.toObject())
            collectVersions(v, out);
    }
}

// The version a kept file holds: it parses, says how many strings it stores,
// and every one of them carries the same version. -1 with a message otherwise.
qint64 completeVersion(const QString& path, std::string& problem)
{
    const std::string name = QFileInfo(path).fileName().toStdString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = name + " is missing";
        return -1;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || doc.isEmpty()) {
        problem = name + " does not parse: " + error.errorString().toStdString();
        return -1;
    }
    const QJsonValue whole = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    const QJsonObject head = doc.isObject() ? doc.object() : doc.array().first().toObject();
    const qint64 expected = head.value(QStringLiteral("crashWriter.strings")).toInteger(-1);
    QList<qint64> versions;
    collectVersions(whole, versions);
    const qint64 version = versions.isEmpty() ? -1 : versions.first();
    if (version < 1 || versions.size() != expected || versions.count(version) != versions.size()) {
        problem = name + " mixes versions or is incomplete (version " + std::to_string(version) + ", "
            + std::to_string(versions.size()) + " of " + std::to_string(expected) + " strings)";
        return -1;
    }
    return version;
}

QString readLine(QProcess& process)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(30000))
            return {};
    }
    return QString::fromLatin1(process.readLine()).trimmed();
}

// File events (created, written, renamed in) in the watched folders.
class FolderEvents {
public:
    explicit FolderEvents(const QStringList& folders) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const QString& folder : folders)
            inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                              IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE);
    }
    ~FolderEvents() { ::close(m_fd); }
    FolderEvents(const FolderEvents&) = delete;
    FolderEvents& operator=(const FolderEvents&) = delete;

    // Waits until at least `count` more events happened; false when none
    // comes for 30 s.
    bool waitFor(int count)
    {
        while (count > 0) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, 30000) <= 0)
                return false;
            count -= drain();
        }
        return true;
    }

    // Forgets the events so far; how many there were.
    int drain()
    {
        int count = 0;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (const char* at = buffer; at < buffer + n;
                 at += sizeof(inotify_event) + reinterpret_cast<const inotify_event*>(at)->len)
                ++count;
        }
        return count;
    }

private:
    int m_fd;
};

} // namespace

// A writer process saving every file the app keeps (the settings with the
// personal feeds list and watchlist; the cached feed snapshot and personal
// feeds' items) again and again is killed with SIGKILL at random moments of
// its writing (as one of its files is created, written or renamed into
// place). After every kill each file holds one whole version, never older
// than the last save the writer reported finished, and the next writer starts
// from the settings.
TEST(CrashSafeSettings, EveryKillLeavesOneCompleteVersion)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/tidewire/defaults.json");
    const QString cacheFolder = dir.path() + QStringLiteral("/cache");
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // A save makes a few events per file: kills land in any part of the
    // first two or three saves after a start.
    std::uniform_int_distribution<int> eventsBeforeKill(1, 24);
    QDir().mkpath(QFileInfo(path).path());
    QDir().mkpath(cacheFolder);
    FolderEvents events({QFileInfo(path).path(), cacheFolder});

    qint64 confirmed = 0;  // the newest version the writer reported saved
    for (int kill = 0; kill < 200; ++kill) {
        events.drain();
        QProcess writer;
        writer.start(QStringLiteral(TIDEWIRE_CRASH_WRITER), {path, cacheFolder});
        ASSERT_TRUE(writer.waitForStarted());
        QStringList files{path};
        QString loaded = readLine(writer);
        for (; loaded.startsWith(QStringLiteral("file ")); loaded = readLine(writer))
            files.append(loaded.mid(5));
        ASSERT_EQ(files.size(), 3) << "the settings, the snapshot and the personal items";
        ASSERT_TRUE(loaded.startsWith(QStringLiteral("loaded "))) << loaded.toStdString();
        ASSERT_GE(loaded.mid(7).toLongLong(), confirmed) << "kill " << kill;

        ASSERT_TRUE(events.waitFor(eventsBeforeKill(random)))
            << "the writer stopped: " << writer.readAllStandardError().toStdString();
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished());
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit);
        // Every save it reported before the kill is finished.
        for (QString line; !(line = readLine(writer)).isEmpty();)
            confirmed = std::max(confirmed, line.toLongLong());

        for (const QString& file : files) {
            if (confirmed == 0 && !QFile::exists(file))
                continue;  // killed before its first save finished
            std::string problem;
            const qint64 version = completeVersion(file, problem);
            ASSERT_GE(version, confirmed) << "kill " << kill << ": " << problem;
        }
    }
    ASSERT_GT(confirmed, 100);
    // Nothing was moved aside as unreadable.
    EXPECT_TRUE(QDir(dir.path() + QStringLiteral("/tidewire")).entryList({QStringLiteral("*.corrupt*")}, QDir::Files).isEmpty());
}
