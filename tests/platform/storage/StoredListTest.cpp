// A stored list read up to its limit from either end, with records that do
// not read among them: what is read, what the log says, and that the stored
// value is kept aside once before it is replaced.
#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "platform/storage/StoredList.h"
#include "LogCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Keep = StoredList::Keep;

QStringList linesAbout(const QString& key)
{
    QStringList found;
    for (const LogCapture::Line& line : LogCapture::lines())
        if (line.message.contains(key))
            found.append(line.message);
    return found;
}

TEST(StoredListLimit, ReadsUpToTheLimitFromItsEndAndSaysWhatWasLeftOut)
{
    const QString key = QStringLiteral("someList.v1");
    QJsonArray numbers;
    for (int i = 0; i < 30; ++i)
        numbers.append(i);
    const QJsonArray twentyNumbers = QJsonArray::fromVariantList(numbers.toVariantList().first(20));
    const struct {
        const char* name;
        QJsonArray stored;
        qsizetype limit;
        Keep keep;
        QStringList read;
        QStringList lines;  // each the start of one log line about the list, in order
        const char* keptAside = "unreadable";  // why, by its file's name; nullptr: not kept aside
    } cases[] = {
        {"within the limit", {"a", "b"}, 2, Keep::First, {"a", "b"}, {}, nullptr},
        {"the first kept", {"a", "b", "c", "d", "e"}, 3, Keep::First, {"a", "b", "c"},
         {"Stored someList.v1 holds 5 records, more than the 3 it keeps; left out: 2 at its end"}, "past-limit"},
        {"the last kept, in their order", {"a", "b", "c", "d", "e"}, 3, Keep::Last, {"c", "d", "e"},
         {"Stored someList.v1 holds 5 records, more than the 3 it keeps; left out: 2 at its start"}, "past-limit"},
        {"unreadable records do not count", {5, "a", 6, "b", "c", "d"}, 2, Keep::First, {"a", "b"},
         {"Stored someList.v1 record 1 of 6 cannot be read", "Stored someList.v1 record 3 of 6 cannot be read",
          "Stored someList.v1 holds 6 records, more than the 2 it keeps; left out: 2 at its end"}},
        {"unreadable records from the end", {"a", "b", 5, "c"}, 2, Keep::Last, {"b", "c"},
         {"Stored someList.v1 record 3 of 4 cannot be read",
          "Stored someList.v1 holds 4 records, more than the 2 it keeps; left out: 1 at its start"}},
        {"unreadable all through", numbers, 100, Keep::First, {}, {}},
        {"as many unreadable as are named", twentyNumbers, 100, Keep::First, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        auto defaults = Defaults::openFile(dir.filePath("defaults.json"));
        defaults->set(key, c.stored);
        LogCapture log;
        StoredList list(*defaults, key, lcPlatform, c.limit, c.keep);
        EXPECT_EQ(list.readTexts(), c.read);
        const QStringList lines = linesAbout(key);
        if (QLatin1String(c.name) == QLatin1String("unreadable all through")) {
            // A line for each of the first records only, then one for the rest.
            ASSERT_EQ(lines.size(), 21);
            EXPECT_TRUE(lines.at(19).startsWith("Stored someList.v1 record 20 of 30 cannot be read"));
            EXPECT_EQ(lines.at(20), "Stored someList.v1: 10 more of its 30 records cannot be read and are left out");
        } else if (QLatin1String(c.name) == QLatin1String("as many unreadable as are named")) {
            ASSERT_EQ(lines.size(), 20) << "a line for each, and none to count more";
            EXPECT_TRUE(lines.last().startsWith("Stored someList.v1 record 20 of 20 cannot be read"));
        } else {
            ASSERT_EQ(lines.size(), c.lines.size()) << lines.join('\n').toStdString();
            for (qsizetype i = 0; i < lines.size(); ++i)
                EXPECT_TRUE(lines.at(i).startsWith(c.lines.at(i))) << lines.at(i).toStdString();
        }
        // Kept aside before the first replacement only, and only when
        // something was left out.
        for (int save = 0; save < 2; ++save) {
            list.aboutToReplace();
            defaults->set(key, QStringList{QStringLiteral("saved %1").arg(save)});
        }
        const QStringList aside = QDir(dir.path()).entryList({key + ".*"}, QDir::Files);
        ASSERT_EQ(aside.size(), c.keptAside ? 1 : 0);
        if (c.keptAside) {
            EXPECT_TRUE(aside.first().startsWith(key + '.' + c.keptAside + '-')) << aside.first().toStdString();
        }
    }
}

// Two owners of one key that read the same damaged list: the first keeps it
// aside and stores a list that reads; the second, replacing that in turn,
// keeps nothing more. The one file kept aside holds the damaged list as it
// was.
TEST(StoredListAside, TwoOwnersOfADamagedListKeepOnlyTheDamagedOriginalAside)
{
    const QString key = QStringLiteral("someList.v1");
    const struct {
        const char* name;
        QJsonValue stored;
        qsizetype limit;
    } cases[] = {
        {"an unreadable record", QJsonArray{"a", 5, "b"}, 10},
        {"no list", QJsonValue("a,b"), 10},
        {"past the limit", QJsonArray{"a", "b", "c"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        auto defaults = Defaults::openFile(dir.filePath("defaults.json"));
        defaults->set(key, c.stored);
        StoredList first(*defaults, key, lcPlatform, c.limit);
        StoredList second(*defaults, key, lcPlatform, c.limit);
        const QStringList read = first.readTexts();
        EXPECT_EQ(second.readTexts(), read);
        first.aboutToReplace();
        defaults->set(key, read + QStringList{"first"});
        second.aboutToReplace();
        defaults->set(key, read + QStringList{"second"});
        ASSERT_TRUE(defaults->flush());

        const QStringList aside = QDir(dir.path()).entryList({key + ".*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1) << aside.join(' ').toStdString();
        QFile file(dir.filePath(aside.first()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object(), (QJsonObject{{key, c.stored}}));
    }
}

} // namespace
