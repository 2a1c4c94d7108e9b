// The checked reader every file the app keeps is read through: what it reads
// and what it refuses, and why, for each kind of thing a path can name; and
// the writer, which goes through a link only to a regular file.
#include "platform/storage/FileReader.h"
#include "platform/storage/FileWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using Kind = FileReader::Failure::Kind;

constexpr qint64 kCap = 64;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool link(const QString& target, const QString& path)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

TEST(FileReader, ReadsRegularFilesUpToTheCapAndRefusesEverythingElse)
{
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    ASSERT_TRUE(writeFile(at("small"), "{\"a\": 1}"));
    ASSERT_TRUE(writeFile(at("empty"), ""));
    ASSERT_TRUE(writeFile(at("at-cap"), QByteArray(kCap, 'x')));
    ASSERT_TRUE(writeFile(at("past-cap"), QByteArray(kCap + 1, 'x')));
    ASSERT_TRUE(link(at("small"), at("link-to-small")));
    ASSERT_TRUE(link(at("link-to-small"), at("link-to-link")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(link(at("fifo"), at("link-to-fifo")));
    ASSERT_TRUE(link(QStringLiteral("/dev/zero"), at("link-to-zero")));
    ASSERT_TRUE(QDir().mkpath(at("folder")));
    ASSERT_TRUE(link(at("nothing"), at("dangling")));

    const struct {
        const char* name;
        QString path;
        std::optional<QByteArray> bytes;  // nothing: refused
        Kind kind;
        const char* reason;
    } cases[] = {
        {"a regular file", at("small"), QByteArray("{\"a\": 1}"), {}, ""},
        {"an empty file", at("empty"), QByteArray(""), {}, ""},
        {"a file of exactly the cap", at("at-cap"), QByteArray(kCap, 'x'), {}, ""},
        {"a link to a regular file", at("link-to-small"), QByteArray("{\"a\": 1}"), {}, ""},
        {"a link to a link to a regular file", at("link-to-link"), QByteArray("{\"a\": 1}"), {}, ""},
        {"a file one byte past the cap", at("past-cap"), std::nullopt, Kind::TooLarge, "it is larger than 64 bytes"},
        // Its size says 0, as a file still growing may say less than it holds.
        {"a file longer than its size says", QStringLiteral("/proc/self/status"), std::nullopt, Kind::TooLarge,
         "it is larger than 64 bytes"},
        {"a FIFO", at("fifo"), std::nullopt, Kind::NotRegular, "it is a FIFO, not a regular file"},
        {"a link to a FIFO", at("link-to-fifo"), std::nullopt, Kind::NotRegular, "it is a FIFO, not a regular file"},
        {"a link to /dev/zero", at("link-to-zero"), std::nullopt, Kind::NotRegular,
         "it is a character device, not a regular file"},
        {"a folder", at("folder"), std::nullopt, Kind::NotRegular, "it is a folder, not a regular file"},
        {"nothing", at("nothing"), std::nullopt, Kind::Absent, ""},
        {"a link to nothing", at("dangling"), std::nullopt, Kind::Absent, ""},
        {"below a file", at("small") + QStringLiteral("/inside"), std::nullopt, Kind::Absent, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto read = FileReader::read(c.path, kCap);
        if (c.bytes) {
            ASSERT_TRUE(read.has_value()) << read.error().reason.toStdString();
            EXPECT_EQ(*read, *c.bytes);
            continue;
        }
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error().kind, c.kind);
        if (*c.reason) {
            EXPECT_EQ(read.error().reason, QString::fromLatin1(c.reason));
        }
    }
}

TEST(FileReader, AFileThatCannotBeOpenedIsUnreadableWithTheSystemsReason)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads a file whatever its permissions";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(writeFile(path, "{}"));
    ASSERT_TRUE(QFile::setPermissions(path, QFile::WriteOwner));
    const auto read = FileReader::read(path, kCap);
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error().kind, Kind::Unreadable);
    EXPECT_EQ(read.error().reason, QStringLiteral("Permission denied"));
}

TEST(FileWriter, WritesThroughALinkOnlyToARegularFile)
{
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    ASSERT_TRUE(writeFile(at("target"), "old"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
    // Run as root, a device of the test's own stands in for /dev/zero.
    const bool ownDevice = ::geteuid() == 0
        && ::mknod(QFile::encodeName(at("device")).constData(), S_IFCHR | 0666, makedev(1, 5)) == 0;
    struct Case {
        const char* name;
        QString target;
        mode_t type;  // of the target, before and after
        bool written;
    };
    QList<Case> cases = {
        {"a link to a regular file", at("target"), S_IFREG, true},
        {"a link to a FIFO", at("fifo"), S_IFIFO, false},
    };
    if (ownDevice)
        cases.append({"a link to a device", at("device"), S_IFCHR, false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString link = dir.filePath(QStringLiteral("link-") + QFileInfo(c.target).fileName());
        ASSERT_TRUE(::symlink(QFile::encodeName(c.target).constData(), QFile::encodeName(link).constData()) == 0);
        const Result<void> written = FileWriter::replace(link, "new");
        EXPECT_EQ(written.has_value(), c.written);
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(link).constData(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
        ASSERT_EQ(::lstat(QFile::encodeName(c.target).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, c.type) << "what the link names is still what it was";
        if (c.written) {
            EXPECT_EQ(FileReader::read(c.target, kCap).value_or("<unread>"), QByteArray("new"));
        } else {
            EXPECT_TRUE(written.error().description.startsWith(QStringLiteral("it is a link to ")))
                << written.error().description.toStdString();
        }
    }
}

} // namespace
