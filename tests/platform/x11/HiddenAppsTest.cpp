// The strip stepping aside for listed applications, driven by a monitor that
// reports whatever application the test puts in front.
#include "platform/storage/Defaults.h"
#include "platform/x11/HiddenAppsController.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ScriptedFront final : public FrontAppMonitor {
public:
    std::optional<QString> front;

    std::optional<QString> frontApp() const override { return front; }
    QList<RunningApp> runningApps() const override { return {}; }
    void bringForward(const std::optional<QString>& appClass)
    {
        front = appClass;
        Q_EMIT frontAppChanged(appClass);
    }
};

struct FrontStep {
    const char* name;
    std::optional<QString> front;
    bool suppressed;
};

// Each step follows the one before it: only a listed application hides the
// strip, and only another application, or the desktop, shows it again.
TEST(HiddenApps, OnlyAnotherApplicationOrTheDesktopInFrontEndsTheHiding)
{
    const QString desktop;  // no window in front
    const QList<FrontStep> steps = {
        {"unlisted", QString("gedit"), false},
        {"listed", QString("vlc"), true},
        {"own window", FrontAppMonitor::ownAppClass(), true},
        {"a window without a class", std::nullopt, true},
        {"the desktop", desktop, false},
        {"listed again", QString("vlc"), true},
        {"another listed", QString("zoom"), true},
        {"unlisted again", QString("gedit"), false},
        {"own window while shown", FrontAppMonitor::ownAppClass(), false},
        {"a listed name differing in case", QString("VLC"), false},
    };
    auto defaults = Defaults::inMemory();
    // A stored list edited by hand may hold an empty entry: it names no
    // application, so the desktop never counts as listed.
    defaults->set("hiddenForBundleIDs", QStringList{"vlc", "", "zoom"});
    ScriptedFront monitor;
    HiddenAppsController hidden(*defaults, monitor);
    QList<bool> told;
    hidden.setStripHook([&told](bool hide) { told.append(hide); });
    QList<bool> expectedTold;
    bool last = false;
    for (const FrontStep& step : steps) {
        SCOPED_TRACE(step.name);
        monitor.bringForward(step.front);
        EXPECT_EQ(hidden.isSuppressed(), step.suppressed);
        if (step.suppressed != last)
            expectedTold.append(step.suppressed);
        last = step.suppressed;
        EXPECT_EQ(told, expectedTold) << "the strip is told only of a change";
    }

    // The desktop in front at the start leaves the strip shown, whatever
    // the list holds.
    monitor.front = desktop;
    HiddenAppsController atStart(*defaults, monitor);
    EXPECT_FALSE(atStart.isSuppressed());
}

// An entry that names no application by text costs that entry only; the
// first change keeps the stored list aside before it replaces it.
TEST(HiddenApps, AListedEntryThatIsNoTextCostsOnlyItself)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    const QJsonArray stored{"vlc", 3, "zoom"};
    {
        auto defaults = Defaults::openFile(path);
        defaults->set("hiddenForBundleIDs", stored);
        ScriptedFront monitor;
        monitor.front = QString("zoom");
        HiddenAppsController hidden(*defaults, monitor);
        EXPECT_EQ(hidden.bundleIDs(), (QStringList{"vlc", "zoom"}));
        EXPECT_TRUE(hidden.isSuppressed());
        hidden.add("gimp");
        ASSERT_TRUE(defaults->flush());
    }
    EXPECT_EQ(Defaults::openFile(path)->stringList("hiddenForBundleIDs"), (QStringList{"vlc", "zoom", "gimp"}));
    const QStringList aside = QDir(dir.path()).entryList({"hiddenForBundleIDs.unreadable-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(kept.readAll()).object(), (QJsonObject{{"hiddenForBundleIDs", stored}}));
}

} // namespace
