// Each file the app reads back (the settings, a cache file, the autostart
// entry, a site icon) replaced by a FIFO nothing writes to, or by a link to a
// device that never ends: the reader answers at once, in bounded memory, as
// for a file it cannot use, and the next save gives the path a file again.
// Each read runs in a process of its own (read_child), so a read that blocks
// or grows fails the test instead of hanging it.
#include "ResidentMemory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Far more than any of these reads needs; a read of /dev/zero passes it in
// about a second.
constexpr qint64 kMaxResidentBytes = 512LL * 1024 * 1024;

struct Outcome {
    bool finished = false;
    qint64 resident = 0;
    QString out;
    QString log;
};

Outcome runReader(const QStringList& args)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(TIDEWIRE_READ_CHILD), args);
    Outcome outcome;
    if (!child.waitForStarted(10000))
        return outcome;
    (void)QTest::qWaitFor(
        [&] {
            outcome.resident = std::max(outcome.resident, residentBytes(child.processId()));
            return child.state() == QProcess::NotRunning || outcome.resident > kMaxResidentBytes;
        },
        60000);
    outcome.finished = child.state() == QProcess::NotRunning && child.exitStatus() == QProcess::NormalExit
        && child.exitCode() == 0;
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished(10000);
    }
    outcome.out = QString::fromUtf8(child.readAllStandardOutput());
    outcome.log = QString::fromUtf8(child.readAllStandardError());
    return outcome;
}

mode_t typeAt(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

// A device that reads as zeros without end. Run as root, a device of the
// test's own: a writer that went through the link would replace the device
// node itself, and the system's /dev/zero must not be the one at stake.
QString zeroDevice(const QTemporaryDir& dir)
{
    if (::geteuid() != 0)
        return QStringLiteral("/dev/zero");
    const QString own = dir.filePath(QStringLiteral("zero-device"));
    return ::mknod(QFile::encodeName(own).constData(), S_IFCHR | 0666, makedev(1, 5)) == 0 ? own : QString();
}

enum class Make { Fifo, LinkToZero };

bool make(Make what, const QString& path, const QString& device)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    return what == Make::Fifo ? ::mkfifo(name.constData(), 0600) == 0
                              : ::symlink(QFile::encodeName(device).constData(), name.constData()) == 0;
}

TEST(UnreadableFiles, AFifoOrADeviceReadsAsAFileThatCannotBeUsedAndTheNextSaveReplacesIt)
{
    const QString fifo = QStringLiteral("it is a FIFO, not a regular file");
    const QString device = QStringLiteral("it is a character device, not a regular file");
    const struct {
        const char* name;
        const char* reader;
        const char* file;  // made in the folder
        QStringList extra;
        Make make;
        QString out;
        QString log;         // a line that says so, with the file's path before it
        bool regularAfter;   // the path holds a regular file after the reader's save
    } cases[] = {
        {"settings, a FIFO", "settings", "defaults.json", {}, Make::Fifo, "values 0\nsaved\n",
         " cannot be read (" + fifo + "); kept it as ", true},
        {"settings, a link to /dev/zero", "settings", "defaults.json", {}, Make::LinkToZero, "values 0\nsaved\n",
         " cannot be read (" + device + "); kept it as ", true},
        {"cache file, a FIFO", "cache", "feedstore.snapshot.v3", {"feedstore.snapshot.v3"}, Make::Fifo, "none\n",
         " cannot be read: " + fifo, false},
        {"cache file, a link to /dev/zero", "cache", "feedstore.snapshot.v3", {"feedstore.snapshot.v3"},
         Make::LinkToZero, "none\n", " cannot be read: " + device, false},
        {"autostart entry, a FIFO", "autostart", "tidewire.desktop", {}, Make::Fifo, "disabled\n", {}, false},
        {"autostart entry, a link to /dev/zero", "autostart", "tidewire.desktop", {}, Make::LinkToZero, "disabled\n", {},
         false},
        {"site icon, a FIFO", "favicon", "site.example_64.img", {}, Make::Fifo, "shown\n", {}, true},
        // Shown, and not kept: the link is the user's, and no icon is written
        // through it.
        {"site icon, a link to /dev/zero", "favicon", "site.example_64.img", {}, Make::LinkToZero, "shown\n",
         " : it is a link to ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString device = zeroDevice(dir);
        if (c.make == Make::LinkToZero && device.isEmpty()) {
            ADD_FAILURE() << "no device of the test's own could be made";
            continue;
        }
        const QString file = dir.filePath(QString::fromLatin1(c.file));
        ASSERT_TRUE(make(c.make, file, device));
        const bool inFolder = c.extra.size() > 0 || QLatin1String(c.reader) == QLatin1String("favicon");
        const Outcome outcome = runReader(QStringList{QString::fromLatin1(c.reader), inFolder ? dir.path() : file} + c.extra);
        ASSERT_TRUE(outcome.finished) << "resident " << outcome.resident / (1024 * 1024) << " MiB\n"
                                      << outcome.log.toStdString();
        EXPECT_EQ(outcome.out, c.out) << outcome.log.toStdString();
        if (!c.log.isEmpty()) {
            EXPECT_TRUE(outcome.log.contains(file + c.log)) << outcome.log.toStdString();
        }
        if (c.regularAfter) {
            EXPECT_EQ(typeAt(file), mode_t(S_IFREG));
        }
        if (c.make == Make::LinkToZero) {
            EXPECT_EQ(typeAt(device), mode_t(S_IFCHR)) << "a save went through the link";
        }
    }
}

} // namespace
