// A settings path that names no settings file to read: a folder, or a file
// larger than any settings reach. It is not read, it is moved aside as it
// is, the log says why and where, and the settings saved from then on have a
// file of their own.
#include "platform/storage/Defaults.h"
#include "LogCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Settings that parse, padded to `size` bytes.
QByteArray settingsOfSize(qint64 size)
{
    const QByteArray head = R"({"tickerSize": 4, "padding": ")";
    const QByteArray tail = "\"}";
    return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
}

TEST(SettingsFileKinds, AFolderOrAFileTooLargeIsMovedAsideUnreadAndSavingGoesOn)
{
    const struct {
        const char* name;
        std::function<bool(const QString& path, const QTemporaryDir& dir)> make;
        mode_t keptAs;
        QString says;
    } cases[] = {
        {"a folder", [](const QString& path, const QTemporaryDir&) { return QDir().mkpath(path); }, S_IFDIR,
         QStringLiteral("it is a folder, not a regular file")},
        {"a link to a folder",
         [](const QString& path, const QTemporaryDir& dir) {
             return QDir().mkpath(dir.filePath("elsewhere")) && QFile::link(dir.filePath("elsewhere"), path);
         },
         S_IFLNK, QStringLiteral("it is a folder, not a regular file")},
        {"settings one byte past the cap",
         [](const QString& path, const QTemporaryDir&) {
             return writeFile(path, settingsOfSize(Defaults::kMaxFileBytes + 1));
         },
         S_IFREG, QStringLiteral("it is larger than %1 bytes").arg(Defaults::kMaxFileBytes)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        ASSERT_TRUE(c.make(path, dir));
        LogCapture log;
        auto defaults = Defaults::openFile(path);
        EXPECT_TRUE(defaults->keys().isEmpty()) << "nothing read";
        EXPECT_TRUE(log.anyContains("Settings file " + path + " cannot be read (" + c.says + "); kept it as " + path
                                    + ".corrupt-"));

        const QStringList aside = QDir(dir.path()).entryList({"defaults.json.corrupt-*"}, QDir::AllEntries | QDir::System);
        ASSERT_EQ(aside.size(), 1);
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(dir.filePath(aside.first())).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, c.keptAs) << "kept as it was";

        ASSERT_TRUE(defaults->setAndSave("tickerSize", 2).has_value())
            << defaults->saveProblem().toStdString();
        QFile saved(path);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(saved.readAll()).object(), (QJsonObject{{"tickerSize", 2}}));
    }
}

TEST(SettingsFileKinds, SettingsJustWithinTheCapAreRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    ASSERT_TRUE(writeFile(path, settingsOfSize(Defaults::kMaxFileBytes)));
    auto defaults = Defaults::openFile(path);
    EXPECT_EQ(defaults->intValue("tickerSize", 0), 4);
    EXPECT_TRUE(QDir(dir.path()).entryList({"defaults.json.corrupt-*"}, QDir::AllEntries | QDir::System).isEmpty());
}

} // namespace
