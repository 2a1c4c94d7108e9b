// Every writer of the app on a full disk: a child process whose files cannot
// grow past a limit (RLIMIT_FSIZE, SIGXFSZ ignored) saves one file, small
// enough to sit in Qt's write buffer or large enough to be written at once.
// The old file stays byte for byte, no temporary file is left, the failure
// is logged with the path and the reason, and the caller is told.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct WriterCase {
    const char* name;
    const char* writer;
    QString file;        // relative to the test folder
    qint64 payload;      // bytes the writer is asked to save (0: its own)
    qint64 limit;        // the child's file size limit
    QByteArray old;      // what the file held before
    QString logPrefix;   // the log line before the path
};

struct WriterRun {
    QString out, err;
    int exitCode = -1;
};

WriterRun runWriter(const WriterCase& c, const QString& target, qint64 limit)
{
    QProcess child;
    QStringList args{QString::number(limit), QString::fromLatin1(c.writer), target};
    if (c.payload > 0)
        args << QString::number(c.payload);
    child.start(QStringLiteral(TIDEWIRE_LIMITED_WRITER), args);
    if (!child.waitForFinished(60000))
        child.kill();
    return {QString::fromUtf8(child.readAllStandardOutput()), QString::fromUtf8(child.readAllStandardError()),
            child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1};
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const QByteArray kOldSettings = "{\n    \"tickerPosition\": \"top\"\n}\n";
const QByteArray kOldEntry = "[Desktop Entry]\nType=Application\nName=Tidewire\nExec=/opt/old/tidewire\nHidden=true\n";

const WriterCase kCases[] = {
    {"settings, buffered", "settings", QStringLiteral("tidewire/defaults.json"), 3000, 1024, kOldSettings,
     QStringLiteral("Could not save settings to ")},
    {"settings, written at once", "settings", QStringLiteral("tidewire/defaults.json"), 2'000'000, 65536, kOldSettings,
     QStringLiteral("Could not save settings to ")},
    {"cache file, buffered", "cache", QStringLiteral("cache/payload"), 3000, 1024, "{\"payload\":\"old\"}",
     QStringLiteral("Could not save ")},
    {"cache file, written at once", "cache", QStringLiteral("cache/payload"), 2'000'000, 65536, "{\"payload\":\"old\"}",
     QStringLiteral("Could not save ")},
    {"site icon, buffered", "favicon", QStringLiteral("favicons/site.example_64.img"), 3000, 512, "not an image",
     QStringLiteral("Could not save ")},
    {"site icon, written at once", "favicon", QStringLiteral("favicons/site.example_64.img"), 600'000, 65536,
     "not an image", QStringLiteral("Could not save ")},
    {"autostart entry", "autostart", QStringLiteral("autostart/tidewire.desktop"), 0, 64, kOldEntry,
     QStringLiteral("Could not save ")},
};

TEST(FullDisk, AFailedWriteKeepsTheOldFileAndIsReported)
{
    for (const WriterCase& c : kCases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(c.file);
        const QString folder = QFileInfo(path).path();
        QDir().mkpath(folder);
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.old);
        }
        const bool folderTarget = QByteArray(c.writer) == "cache" || QByteArray(c.writer) == "favicon";
        const QString target = folderTarget ? folder : path;

        const WriterRun limited = runWriter(c, target, c.limit);
        ASSERT_EQ(limited.exitCode, 0) << limited.err.toStdString();
        EXPECT_EQ(contents(path), c.old) << "the old file stays byte for byte";
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()})
            << "nothing is left beside it";
        EXPECT_TRUE(limited.err.contains(c.logPrefix + path + QStringLiteral(" : File too large")))
            << limited.err.toStdString();
        if (folderTarget && QByteArray(c.writer) == "favicon") {
            EXPECT_EQ(limited.out, QStringLiteral("shown\n")) << "the icon is shown all the same";
        } else {
            EXPECT_TRUE(limited.out.startsWith(QStringLiteral("failed: "))) << limited.out.toStdString();
            EXPECT_TRUE(limited.out.contains(QStringLiteral("File too large"))) << limited.out.toStdString();
        }
        if (QByteArray(c.writer) == "settings") {
            EXPECT_TRUE(limited.out.contains(QStringLiteral("problem: Tidewire can't write its settings file %1 (File too large).")
                                                 .arg(path)))
                << limited.out.toStdString();
        }

        // With room on the disk the same save goes through.
        const WriterRun roomy = runWriter(c, target, qint64(1) << 40);
        ASSERT_EQ(roomy.exitCode, 0) << roomy.err.toStdString();
        EXPECT_NE(contents(path), c.old);
        EXPECT_FALSE(roomy.err.contains(QStringLiteral("Could not save"))) << roomy.err.toStdString();
        if (QByteArray(c.writer) == "favicon")
            EXPECT_EQ(roomy.out, QStringLiteral("shown\n"));
        else
            EXPECT_TRUE(roomy.out.startsWith(QStringLiteral("saved\n"))) << roomy.out.toStdString();
    }
}

// A start over a damaged settings file: the limited writer opens it, says
// what it read and the notice, and is killed once it is ready. What it
// printed before "ready", a line each.
QString startAndKill(const QString& settings, qint64 limit)
{
    QProcess child;
    child.start(QStringLiteral(TIDEWIRE_LIMITED_WRITER), {QString::number(limit), QStringLiteral("open"), settings});
    QStringList lines;
    while (!lines.contains(QStringLiteral("ready")) && child.waitForReadyRead(30000)) {
        while (child.canReadLine())
            lines.append(QString::fromUtf8(child.readLine()).trimmed());
    }
    child.kill();
    child.waitForFinished(10000);
    lines.removeAll(QStringLiteral("ready"));
    return lines.join(u'\n');
}

// Settings readable up to a slip a crash or another program left: a start
// on a full disk can write nothing, and is killed; the next start, with room
// again, still finds every setting that read, and writes them.
TEST(FullDisk, ADamagedSettingsFileOutlivesAStartThatCouldNotWriteWhatStillReads)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tidewire/defaults.json"));
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray damaged = "{\n    \"hasLaunchedBefore\": true,\n    \"tickerPosition\": \"bottom\",\n"
                               "    \"tickerSize\": 4,\n    \"mutedPhrases.v1\": [\"rumour\"],\n"
                               "    \"personalFeeds.v1\": [{\"id\": \"pf-a\", \"url\": \"https://a.example/feed\"}],\n"
                               "    \"scrollSpeed\": 1.5x,\n    \"alwaysOnTop\": tru";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }

    const QString full = startAndKill(path, 64);
    EXPECT_EQ(full.toStdString(),
              QStringLiteral("read 5\nproblem: Tidewire can't write its settings file %1 (File too large).").arg(path).toStdString());
    EXPECT_EQ(contents(path), damaged) << "the file stays until what read of it is on disk in its place";

    const QString roomy = startAndKill(path, qint64(1) << 40);
    EXPECT_EQ(roomy.toStdString(), "read 5\nproblem:");
    const QJsonObject written = QJsonDocument::fromJson(contents(path)).object();
    EXPECT_EQ(written.keys(), (QStringList{QStringLiteral("hasLaunchedBefore"), QStringLiteral("mutedPhrases.v1"),
                                           QStringLiteral("personalFeeds.v1"), QStringLiteral("tickerPosition"),
                                           QStringLiteral("tickerSize")}));
    const QStringList aside = QDir(QFileInfo(path).path()).entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
    ASSERT_FALSE(aside.isEmpty());
    for (const QString& name : aside)
        EXPECT_EQ(contents(QFileInfo(path).path() + u'/' + name), damaged) << name.toStdString();
}

// The stored feeds hold a record that cannot be read and more than the disk
// has room for: removing a feed cannot keep them aside first, so the save
// fails as a whole and says so, and the file stays; with room, the same
// removal keeps them aside and then saves.
TEST(FullDisk, AStoredValueThatCannotBeKeptAsideFailsTheSaveThatWouldReplaceIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tidewire/defaults.json"));
    QDir().mkpath(QFileInfo(path).path());
    const QJsonArray stored{
        QJsonObject{{QStringLiteral("id"), QStringLiteral("pf-a")}, {QStringLiteral("url"), QStringLiteral("https://a.example/feed")},
                    {QStringLiteral("title"), QStringLiteral("A")}, {QStringLiteral("isEnabled"), true},
                    {QStringLiteral("addedAt"), QStringLiteral("2026-02-02T08:00:00Z")}, {QStringLiteral("itemCount"), 3}},
        QJsonObject{{QStringLiteral("id"), 5}, {QStringLiteral("title"), QString(20000, u'x')}}};
    const QByteArray old = QJsonDocument(QJsonObject{{QStringLiteral("personalFeeds.v1"), stored},
                                                     {QStringLiteral("tickerSize"), 4}})
                               .toJson();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const WriterCase feeds{"feeds", "feeds", {}, 0, 0, {}, {}};

    const WriterRun limited = runWriter(feeds, path, 4096);
    ASSERT_EQ(limited.exitCode, 0) << limited.err.toStdString();
    EXPECT_EQ(limited.out, QStringLiteral("failed: File too large\nproblem: Tidewire can't write its settings file %1 (File too large).\n")
                               .arg(path));
    EXPECT_EQ(contents(path), old);
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("defaults.json")});
    EXPECT_TRUE(limited.err.contains(QStringLiteral("Could not keep the stored personalFeeds.v1 aside"))) << limited.err.toStdString();

    const WriterRun roomy = runWriter(feeds, path, qint64(1) << 40);
    ASSERT_EQ(roomy.exitCode, 0) << roomy.err.toStdString();
    EXPECT_EQ(roomy.out, QStringLiteral("saved\nproblem: \n"));
    const QJsonObject written = QJsonDocument::fromJson(contents(path)).object();
    EXPECT_EQ(written.value(QStringLiteral("personalFeeds.v1")), QJsonArray());
    EXPECT_EQ(written.value(QStringLiteral("tickerSize")), 4);
    const QStringList aside = QDir(QFileInfo(path).path()).entryList({QStringLiteral("personalFeeds.v1.unreadable-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(contents(QFileInfo(path).path() + u'/' + aside.first())).object(),
              (QJsonObject{{QStringLiteral("personalFeeds.v1"), stored}}));
}

} // namespace
