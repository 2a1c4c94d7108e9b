#include "app/StartupDecisions.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A value that is not stored at all.
const QJsonValue kAbsent = QJsonObject().value(QStringLiteral("absent"));

QJsonValue stored(const Defaults& defaults, const QString& key)
{
    return defaults.contains(key) ? defaults.value(key) : kAbsent;
}

struct MigrationCase {
    const char* name;
    QJsonValue secondTicker;  // undefined: nothing stored
    QJsonValue legacy;
    QJsonValue expected;      // undefined: still nothing stored
};

TEST(StartupDecisions, LegacySecondTickerMovesOnlyIntoAnEmptyKey)
{
    const QList<MigrationCase> cases = {
        {"absent and legacy on", kAbsent, true, true},
        {"absent and legacy off", kAbsent, false, kAbsent},
        {"absent and no legacy", kAbsent, kAbsent, kAbsent},
        {"stored false is kept", false, true, false},
        {"stored true is kept", true, false, true},
        {"a stored value of another type is still a value", "off", true, "off"},
        {"legacy of the wrong type is not on", kAbsent, "true", kAbsent},
    };
    for (const MigrationCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = Defaults::inMemory();
        if (!c.secondTicker.isUndefined())
            defaults->set("secondTickerEnabled", c.secondTicker);
        if (!c.legacy.isUndefined())
            defaults->set("stackedTickersSpike", c.legacy);
        StartupDecisions::migrateLegacySecondTicker(*defaults);
        EXPECT_EQ(stored(*defaults, "secondTickerEnabled"), c.expected);
        EXPECT_EQ(stored(*defaults, "stackedTickersSpike"), c.legacy) << "the older key is never touched";
    }
}

struct LaunchCase {
    const char* name;
    QJsonValue launchedBefore;
    QJsonValue showAtStartup;
    bool opens;
};

TEST(StartupDecisions, SettingsOpenOnFirstLaunchOrWhenAsked)
{
    const QList<LaunchCase> cases = {
        {"first launch", kAbsent, kAbsent, true},
        {"first launch with the switch off", kAbsent, false, true},
        {"later launch", true, kAbsent, false},
        {"later launch, switch off", true, false, false},
        {"later launch, switch on", true, true, true},
        {"stored false counts as first", false, kAbsent, true},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto defaults = Defaults::inMemory();
        if (!c.launchedBefore.isUndefined())
            defaults->set("hasLaunchedBefore", c.launchedBefore);
        if (!c.showAtStartup.isUndefined())
            defaults->set("showSettingsAtStartup", c.showAtStartup);
        EXPECT_EQ(StartupDecisions::takeOpenSettingsAtLaunch(*defaults), c.opens);
        EXPECT_EQ(defaults->value("hasLaunchedBefore"), QJsonValue(true));
    }
}

// The first launch is recorded in the settings file, so the next process
// does not open the settings window again.
TEST(StartupDecisions, FirstLaunchIsRememberedAcrossRestarts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    {
        auto defaults = Defaults::openFile(path);
        EXPECT_TRUE(StartupDecisions::takeOpenSettingsAtLaunch(*defaults));
        ASSERT_TRUE(defaults->flush());
    }
    auto reopened = Defaults::openFile(path);
    EXPECT_FALSE(StartupDecisions::takeOpenSettingsAtLaunch(*reopened));
    reopened->set("showSettingsAtStartup", true);
    EXPECT_TRUE(StartupDecisions::takeOpenSettingsAtLaunch(*reopened));
}

} // namespace

TEST(StartupDecisions, CachesKeptInAnOldSettingsFileMoveToTheirOwnFilesOnce)
{
    QTemporaryDir dir;
    const QString settingsPath = dir.filePath(QStringLiteral("defaults.json"));
    const QString cacheDir = dir.filePath(QStringLiteral("cache"));
    const QJsonObject snapshot{{QStringLiteral("items"), QJsonArray{QJsonObject{{QStringLiteral("item_id"), 1}}}}};
    const QJsonArray items{QJsonObject{{QStringLiteral("item_id"), QStringLiteral("p1")}}};
    {
        // As an earlier version left it: caches inside the settings file.
        auto old = Defaults::openFile(settingsPath);
        old->set(QStringLiteral("feedstore.snapshot.v3"), snapshot);
        old->set(QStringLiteral("personalFeeds.items.v1"), items);
        old->set(QStringLiteral("tickerSize"), 2);
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        auto defaults = Defaults::openFile(settingsPath, cacheDir);
        StartupDecisions::moveCachesOutOfSettings(*defaults);
        ASSERT_TRUE(defaults->flush());
        EXPECT_EQ(defaults->caches().value(QStringLiteral("feedstore.snapshot.v3")), snapshot);
        EXPECT_EQ(defaults->caches().value(QStringLiteral("personalFeeds.items.v1")), items);
        EXPECT_EQ(defaults->keys(), QStringList{QStringLiteral("tickerSize")});
    }
    QFile settings(settingsPath);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_FALSE(settings.readAll().contains("item_id"));
    EXPECT_TRUE(QFile::exists(cacheDir + QStringLiteral("/feedstore.snapshot.v3")));
}

TEST(StartupDecisions, ACacheThatCannotBeWrittenStaysInTheSettings)
{
    QTemporaryDir dir;
    // A plain file where the cache folder should be: nothing can be written below it.
    QFile blocker(dir.filePath(QStringLiteral("cache")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto defaults = Defaults::openFile(dir.filePath(QStringLiteral("defaults.json")), blocker.fileName());
    const QJsonObject snapshot{{QStringLiteral("items"), QJsonArray{}}};
    defaults->set(QStringLiteral("feedstore.snapshot.v3"), snapshot);
    StartupDecisions::moveCachesOutOfSettings(*defaults);
    EXPECT_EQ(defaults->value(QStringLiteral("feedstore.snapshot.v3")), snapshot);
}
