#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

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

} // namespace

// A writer process saving every file the app keeps (the settings with the
// personal feeds list and watchlist; the cached feed snapshot and personal
// feeds' items) again and again is killed with SIGKILL at random moments of
// its writing. After every kill each file holds one whole version, never older
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
    std::uniform_int_distribution<int> savesBeforeKill(0, 3);

    qint64 confirmed = 0;  // the newest version the writer reported saved
    for (int kill = 0; kill < 200; ++kill) {
        QProcess writer;
        writer.start(QStringLiteral(TIDEWIRE_CRASH_WRITER), {path, cacheFolder});
        ASSERT_TRUE(writer.waitForStarted());
        const QString loaded = readLine(writer);
        ASSERT_TRUE(loaded.startsWith(QStringLiteral("loaded "))) << loaded.toStdString();
        ASSERT_GE(loaded.mid(7).toLongLong(), confirmed) << "kill " << kill;

        // Kill right after the writer reported its n-th save (or right after
        // it loaded): the next save is then somewhere in progress.
        for (int n = savesBeforeKill(random); n > 0; --n) {
            const QString line = readLine(writer);
            ASSERT_FALSE(line.isEmpty()) << "the writer stopped: " << writer.readAllStandardError().toStdString();
            confirmed = std::max(confirmed, line.toLongLong());
        }
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished());
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit);

        QStringList files{path};
        for (const QString& name : QDir(cacheFolder).entryList(QDir::Files | QDir::Hidden))
            files.append(cacheFolder + u'/' + name);
        if (confirmed > 0)  // the settings file and the snapshot and personal items
            ASSERT_EQ(files.size(), 3) << "kill " << kill << ": " << files.join(u' ').toStdString();
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
