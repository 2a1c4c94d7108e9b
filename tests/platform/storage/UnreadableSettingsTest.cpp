// Settings that cannot be read whole: what the log says of a settings file
// that is no object, and a stored value kept aside before it is replaced.
#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "platform/storage/StoredList.h"
#include "FakeTime.h"
#include "LogCapture.h"
#include "ReadOnlyFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
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

TEST_F(UnreadableSettingsTest, AValueThatCannotBeKeptAsideFailsEverySaveThatWouldReplaceIt)
{
    // The settings "folder" is a file: nothing can be written there.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("folder")), "x"));
    FakeTime time;
    auto d = Defaults::openFile(dir.filePath(QStringLiteral("folder/defaults.json")), {}, time);
    const QString key = QStringLiteral("readItemIDs.v1");
    d->set(key, QJsonArray{QStringLiteral("a"), 5});
    EXPECT_FALSE(d->setAside(key).has_value());

    StoredList list(*d, key, lcPlatform, 100);
    EXPECT_EQ(list.readTexts(), QStringList{QStringLiteral("a")});
    list.aboutToReplace();
    d->set(key, QStringList{QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_FALSE(d->flush());
    EXPECT_FALSE(d->saveProblem().isEmpty()) << "a failed save, told as one";
    EXPECT_EQ(d->stringList(key), (QStringList{QStringLiteral("a"), QStringLiteral("b")})) << "kept for this run";
    time.advance(std::chrono::minutes(5));
    EXPECT_FALSE(d->saveProblem().isEmpty()) << "tried again, still refused";
    EXPECT_EQ(time.pendingCount(), 1) << "one try waiting, not one more per try";
}

// A save that cannot be made, whether the settings file or a stored value it
// replaces cannot be written, is a failed save: the file stays as it was, the
// problem is told, the value lives on in memory, and the save is tried again
// until the folder takes it; the first save that goes through writes the
// value kept aside first, and nothing is tried after it. Two owners of the
// list, each replacing it in turn, keep the value as it was stored aside.
TEST_F(UnreadableSettingsTest, AFailedSaveIsTriedAgainUntilItGoesThroughKeepingTheStoredValueAsideFirst)
{
    const QString key = QStringLiteral("mutedPhrases.v1");
    const struct { const char* name; QJsonValue stored; bool unreadable; QJsonValue edited; } cases[] = {
        {"a list that read whole", QJsonArray{QStringLiteral("a")}, false, QJsonArray{QStringLiteral("a"), QStringLiteral("b")}},
        {"a list with an unreadable record", QJsonArray{QStringLiteral("a"), 17}, true, QJsonArray{QStringLiteral("b")}},
        {"no list, removed", QJsonValue(QStringLiteral("a,b")), true, QJsonValue(QJsonValue::Null)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        FakeTime time;
        auto d = Defaults::openFile(path(), {}, time);
        d->set(key, c.stored);
        d->set(QStringLiteral("tickerSize"), 2);
        ASSERT_TRUE(d->flush());
        const QByteArray before = readFile(path());
        QSignalSpy told(d.get(), &Defaults::saveErrorChanged);
        StoredList list(*d, key, lcPlatform, 100);
        StoredList otherOwner(*d, key, lcPlatform, 100);
        list.readTexts();
        otherOwner.readTexts();
        {
            ReadOnlyFolder readOnly(dir.path());
            ASSERT_TRUE(readOnly.isReadOnly());
            list.aboutToReplace();
            d->set(key, QJsonArray{QStringLiteral("first edit")});
            otherOwner.aboutToReplace();
            d->set(key, c.edited);
            EXPECT_FALSE(d->flush());
            EXPECT_EQ(d->saveProblem(), QStringLiteral("Tidewire can't write its settings file %1 (Permission denied).").arg(path()));
            EXPECT_EQ(d->value(key), c.edited) << "kept for this run";
            time.advance(std::chrono::minutes(3));
            EXPECT_EQ(told.count(), 1);
            EXPECT_EQ(readFile(path()), before);
            EXPECT_TRUE(asideFiles(key).isEmpty());
        }
        time.advance(std::chrono::minutes(1));
        EXPECT_TRUE(d->saveProblem().isEmpty());
        EXPECT_EQ(told.count(), 2) << "the problem is gone with the first save that went through";
        EXPECT_EQ(time.pendingCount(), 0) << "nothing is tried after it";
        // What a start after a kill would read.
        auto next = Defaults::openFile(path());
        EXPECT_EQ(next->value(key), c.edited);
        EXPECT_EQ(next->contains(key), !c.edited.isNull());
        EXPECT_EQ(next->intValue(QStringLiteral("tickerSize"), 0), 2);
        const QStringList aside = asideFiles(key);
        ASSERT_EQ(aside.size(), c.unreadable ? 1 : 0);
        if (c.unreadable) {
            EXPECT_EQ(QJsonDocument::fromJson(readFile(dir.filePath(aside.first()))).object(), (QJsonObject{{key, c.stored}}));
        }
    }
}

// A settings file damaged after members that still read, in a folder that
// refuses to keep it aside: it stays where it is, byte for byte, until it can
// be kept aside and what still read of it is written in its place.
TEST_F(UnreadableSettingsTest, ADamagedFileStaysWhereItIsUntilItIsKeptAsideAndReplaced)
{
    const struct { const char* name; QByteArray bytes; QStringList readable; } cases[] = {
        {"settings before a slip", "{\"tickerSize\": 4, \"tickerPosition\": \"bottom\", broken", {QStringLiteral("tickerPosition"), QStringLiteral("tickerSize")}},
        {"nothing that reads", "[1, 2]", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        ASSERT_TRUE(writeFile(path(), c.bytes));
        FakeTime time;
        std::unique_ptr<Defaults> d;
        {
            ReadOnlyFolder readOnly(dir.path());
            ASSERT_TRUE(readOnly.isReadOnly());
            d = Defaults::openFile(path(), {}, time);
            QStringList keys = d->keys();
            keys.sort();
            EXPECT_EQ(keys, c.readable);
            d->set(QStringLiteral("alwaysOnTop"), true);
            EXPECT_FALSE(d->flush());
            EXPECT_FALSE(d->saveProblem().isEmpty());
            time.advance(std::chrono::minutes(2));
            EXPECT_EQ(readFile(path()), c.bytes);
        }
        time.advance(std::chrono::minutes(1));
        EXPECT_TRUE(d->saveProblem().isEmpty());
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(readFile(dir.filePath(aside.first())), c.bytes);
        auto next = Defaults::openFile(path());
        EXPECT_TRUE(next->boolValue(QStringLiteral("alwaysOnTop"), false));
        for (const QString& key : c.readable)
            EXPECT_EQ(next->value(key), d->value(key)) << qPrintable(key);
    }
}

// A damaged settings file that could not be kept aside, deleted since by
// the user: nothing is left to keep, and the next save writes what read of it
// with the change, so that saves stop failing.
TEST_F(UnreadableSettingsTest, ADamagedFileDeletedBeforeItCouldBeKeptAsideNoLongerStopsTheSaves)
{
    ASSERT_TRUE(writeFile(path(), "{\"tickerSize\": 4, broken"));
    FakeTime time;
    std::unique_ptr<Defaults> d;
    {
        ReadOnlyFolder readOnly(dir.path());
        ASSERT_TRUE(readOnly.isReadOnly());
        d = Defaults::openFile(path(), {}, time);
    }
    ASSERT_FALSE(d->saveProblem().isEmpty()) << "the file could not be kept aside";
    ASSERT_TRUE(QFile::remove(path()));
    d->set(QStringLiteral("alwaysOnTop"), true);
    EXPECT_TRUE(d->flush());
    EXPECT_TRUE(d->saveProblem().isEmpty());
    EXPECT_EQ(time.pendingCount(), 0) << "nothing is tried again";
    auto next = Defaults::openFile(path());
    EXPECT_EQ(next->intValue(QStringLiteral("tickerSize"), 0), 4);
    EXPECT_TRUE(next->boolValue(QStringLiteral("alwaysOnTop"), false));
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
            list.aboutToReplace();
            d->set(key, QStringList{QStringLiteral("saved %1").arg(save)});
        }
        EXPECT_EQ(asideFiles(key).size(), c.skipped > 0 ? 1 : 0);
    }
}

} // namespace
