// Settings that cannot be read whole: what the log says of a settings file
// that is no object, and a stored value kept aside before it is replaced.
#include "platform/Defaults.h"
#include "platform/Logging.h"
#include "platform/StoredList.h"
#include "LogCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class UnreadableSettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("defaults.json")); }
    QStringList asideFiles(const QString& key) const
    {
        return QDir(dir.path()).entryList({key + QStringLiteral(".unreadable-*")}, QDir::Files, QDir::Name);
    }
};

TEST_F(UnreadableSettingsTest, TheLogSaysWhatASettingsFileHoldsInsteadOfAnObject)
{
    const struct { const char* bytes; const char* says; } cases[] = {
        {"[1, 2]", "(the file holds an array)"},
        {"", "(the file is empty)"},
        {" \n", "(the file is empty)"},
        {"{\"tickerSize\": 4, broken", "at byte"},
        {"\"text\"", "at byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        ASSERT_TRUE(writeFile(path(), c.bytes));
        LogCapture log;
        Defaults::openFile(path());
        EXPECT_TRUE(log.anyContains(QStringLiteral("is not a JSON object"))) << "no line about the file";
        EXPECT_TRUE(log.anyContains(QString::fromUtf8(c.says)));
        EXPECT_FALSE(log.anyContains(QStringLiteral("no error occurred")));
    }
}

TEST_F(UnreadableSettingsTest, AValueIsKeptAsideAsASettingsObjectAndNoKeptOneIsReplaced)
{
    const QString key = QStringLiteral("personalFeeds.v1");
    const QJsonArray first{QJsonObject{{QStringLiteral("itemCount"), QStringLiteral("5")}}, 7};
    const QJsonValue second(QStringLiteral("not a list"));
    auto d = Defaults::openFile(path());
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    d->set(key, first);
    const std::optional<QString> kept = d->setAside(key);
    d->set(key, second);
    const std::optional<QString> keptAgain = d->setAside(key);
    ASSERT_TRUE(kept && keptAgain);
    EXPECT_NE(*kept, *keptAgain);
    EXPECT_EQ(QFileInfo(*kept).absolutePath(), QFileInfo(path()).absolutePath()) << "beside the settings file";
    EXPECT_TRUE(QFileInfo(*kept).fileName().startsWith(key + QStringLiteral(".unreadable-") + stamp.left(8)));
    EXPECT_EQ(asideFiles(key).size(), 2);
    EXPECT_EQ(QJsonDocument::fromJson(readFile(*kept)).object(), (QJsonObject{{key, first}}));
    EXPECT_EQ(QJsonDocument::fromJson(readFile(*keptAgain)).object(), (QJsonObject{{key, second}}));
    EXPECT_EQ(d->value(key), second) << "setting aside leaves the value in place";

    EXPECT_EQ(d->setAside(QStringLiteral("absent")), QString()) << "nothing to keep";
    EXPECT_TRUE(asideFiles(QStringLiteral("absent")).isEmpty());
    auto memory = Defaults::inMemory();
    memory->set(key, first);
    EXPECT_EQ(memory->setAside(key), QString());
}

TEST_F(UnreadableSettingsTest, AValueThatCannotBeKeptAsideIsNotReplaced)
{
    // The settings "folder" is a file: nothing can be written there.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("folder")), "x"));
    auto d = Defaults::openFile(dir.filePath(QStringLiteral("folder/defaults.json")));
    const QString key = QStringLiteral("readItemIDs.v1");
    d->set(key, QJsonArray{QStringLiteral("a"), 5});
    EXPECT_FALSE(d->setAside(key).has_value());

    StoredList list(*d, key, lcPlatform, 100);
    EXPECT_EQ(list.readTexts(), QStringList{QStringLiteral("a")});
    EXPECT_FALSE(list.readyToReplace());
    EXPECT_FALSE(list.readyToReplace()) << "tried again, still refused";
}

TEST_F(UnreadableSettingsTest, EachUnreadableRecordIsLoggedAndTheValueIsSetAsideOnce)
{
    const QString key = QStringLiteral("hiddenForBundleIDs");
    const struct { const char* name; QJsonValue stored; QStringList read; int skipped; } cases[] = {
        {"readable", QJsonArray{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("a"), QStringLiteral("b")}, 0},
        {"two bad records", QJsonArray{5, QStringLiteral("a"), QJsonValue::Null, QStringLiteral("b")}, {QStringLiteral("a"), QStringLiteral("b")}, 2},
        {"no list", QJsonValue(QStringLiteral("a,b")), {}, 1},
        {"absent", QJsonValue(QJsonValue::Undefined), {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        auto d = Defaults::openFile(path());
        d->set(key, c.stored);
        LogCapture log;
        StoredList list(*d, key, lcPlatform, 100);
        EXPECT_EQ(list.readTexts(), c.read);
        qsizetype lines = 0;
        for (const LogCapture::Line& line : LogCapture::lines())
            lines += line.message.contains(key) ? 1 : 0;
        EXPECT_EQ(lines, c.skipped);
        for (int save = 0; save < 2; ++save) {
            EXPECT_TRUE(list.readyToReplace());
            d->set(key, QStringList{QStringLiteral("saved %1").arg(save)});
        }
        EXPECT_EQ(asideFiles(key).size(), c.skipped > 0 ? 1 : 0);
    }
}

} // namespace
