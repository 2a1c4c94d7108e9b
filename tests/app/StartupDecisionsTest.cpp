#include "app/StartupDecisions.h"
#include "platform/Defaults.h"

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
