// The move offer and its follow-up, with a real file in a temporary home and
// scripted answers in place of the dialogs.
#include "app/MoveToApplications.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ScriptedPrompts final : MoveToApplications::Prompts {
    bool answerMove = false;
    std::optional<QString> folder;
    QStringList offers;        // informative texts
    QStringList chooserStarts;
    QStringList alerts;        // message + "|" + informative

    bool offer(const QString& message, const QString& informative) override
    {
        EXPECT_EQ(message, "Move Tidewire to your Applications folder?");
        offers.append(informative);
        return answerMove;
    }
    std::optional<QString> chooseFolder(const QString& start) override
    {
        chooserStarts.append(start);
        return folder;
    }
    void alert(const QString& message, const QString& informative) override
    {
        alerts.append(message + "|" + informative);
    }
};

class MoveToApplicationsTest : public ::testing::Test {
protected:
    MoveToApplications make(std::optional<QString> appImage)
    {
        return MoveToApplications({
            .defaults = *defaults,
            .appImage = std::move(appImage),
            .folders = {.home = home.path(), .temporary = {}, .personal = {home.filePath("Downloads")}},
            .prompts = prompts,
            .setLaunchAtLogin = [this](bool on) {
                loginCalls.append(on);
                return true;
            },
            .startDetached = [this](const QString& program) -> std::optional<QString> {
                started.append(program);
                return startError;
            },
            .quit = [this] { ++quits; },
        });
    }
    QString downloaded()
    {
        const QString path = home.filePath("Downloads/Tidewire-x86_64.AppImage");
        QDir().mkpath(home.filePath("Downloads"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("image");
        return path;
    }

    QTemporaryDir home;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    ScriptedPrompts prompts;
    QList<bool> loginCalls;
    QStringList started;
    std::optional<QString> startError;
    int quits = 0;
};

TEST_F(MoveToApplicationsTest, NextLaunchReRegistersLaunchAtLoginOnceWhenItIsOn)
{
    struct Case {
        const char* name;
        std::optional<bool> reassert;
        bool launchAtLogin;
        QList<bool> calls;
    };
    const QList<Case> cases = {
        {"after a move, on", true, true, {false, true}},
        {"after a move, off", true, false, {}},
        {"no move", std::nullopt, true, {}},
        {"marker false", false, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults = Defaults::inMemory();
        loginCalls.clear();
        if (c.reassert)
            defaults->set("moveToApplicationsReassertLogin", *c.reassert);
        defaults->set("launchAtLogin", c.launchAtLogin);
        // Two launches: only the first after the move re-registers.
        EXPECT_FALSE(make(std::nullopt).offerIfNeeded());
        EXPECT_FALSE(make(std::nullopt).offerIfNeeded());
        EXPECT_EQ(loginCalls, c.calls);
        EXPECT_EQ(defaults->contains("moveToApplicationsReassertLogin"), c.reassert == false);
        EXPECT_TRUE(prompts.offers.isEmpty()) << "no AppImage, no offer";
    }
}

TEST_F(MoveToApplicationsTest, NotNowIsRememberedAndACancelledChooserAsksAgain)
{
    const QString image = downloaded();
    prompts.answerMove = true;  // ...but the chooser is cancelled
    EXPECT_FALSE(make(image).offerIfNeeded());
    EXPECT_EQ(prompts.chooserStarts, QStringList{home.filePath("Applications")});
    EXPECT_TRUE(QFileInfo(home.filePath("Applications")).isDir()) << "the chooser starts in a folder that exists";
    EXPECT_FALSE(defaults->contains("moveToApplicationsDeclined"));
    EXPECT_FALSE(defaults->contains("moveToApplicationsReassertLogin"));

    prompts.answerMove = false;
    EXPECT_FALSE(make(image).offerIfNeeded());
    EXPECT_EQ(prompts.offers.size(), 2);
    EXPECT_EQ(prompts.offers.last(), "Tidewire is running from Downloads. Moving it to Applications keeps launch at "
                                     "login and updates working. Tidewire reopens from Applications when it is done.");
    EXPECT_TRUE(defaults->boolValue("moveToApplicationsDeclined", false));
    EXPECT_FALSE(make(image).offerIfNeeded());
    EXPECT_EQ(prompts.offers.size(), 2) << "never asked again";
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(MoveToApplicationsTest, AMoveCopiesReopensAndQuitsOrExplainsWhatWentWrong)
{
    const QString image = downloaded();
    const QString applications = home.filePath("Applications");
    prompts.answerMove = true;
    prompts.folder = applications;

    // Opening the copy fails: say so, then quit all the same.
    startError = "No such program";
    EXPECT_TRUE(make(image).offerIfNeeded());
    EXPECT_EQ(started, QStringList{applications + "/Tidewire-x86_64.AppImage"});
    EXPECT_TRUE(QFileInfo(started.value(0)).isExecutable());
    EXPECT_EQ(prompts.alerts, QStringList{"Tidewire was copied, but didn't reopen|No such program\n\n"
                                          "Open Tidewire from your Applications folder."});
    EXPECT_TRUE(defaults->boolValue("moveToApplicationsReassertLogin", false));
    EXPECT_EQ(quits, 1);

    // The copy cannot be made (the chosen folder is where it runs from):
    // the old copy keeps running and nothing is recorded.
    defaults = Defaults::inMemory();
    prompts.alerts.clear();
    started.clear();
    prompts.folder = home.filePath("Downloads");
    EXPECT_FALSE(make(image).offerIfNeeded());
    ASSERT_EQ(prompts.alerts.size(), 1);
    EXPECT_TRUE(prompts.alerts[0].startsWith("Couldn't move Tidewire|"));
    EXPECT_TRUE(prompts.alerts[0].endsWith("\n\nDrag Tidewire to your Applications folder in your file manager "
                                           "instead, then open it from there."));
    EXPECT_FALSE(defaults->contains("moveToApplicationsReassertLogin"));
    EXPECT_FALSE(defaults->contains("moveToApplicationsDeclined"));
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(quits, 1);

    // A copy that opens: no alert.
    prompts.alerts.clear();
    prompts.folder = applications;
    startError.reset();
    EXPECT_TRUE(make(image).offerIfNeeded());
    EXPECT_EQ(started, QStringList{applications + "/Tidewire-x86_64.AppImage"});
    EXPECT_TRUE(prompts.alerts.isEmpty());
    EXPECT_EQ(quits, 2);

    // From removable media (not there to copy): its own text; the medium
    // is never marked for ejecting.
    EXPECT_FALSE(make("/media/ann/STICK/Tidewire.AppImage").offerIfNeeded());
    EXPECT_EQ(prompts.offers.last(), "Tidewire is running from removable media. Apps run from an image stop working "
                                     "when it is ejected, and cannot launch at login or update. Moving takes a "
                                     "moment; Tidewire reopens from Applications when it is done.");
    EXPECT_TRUE(prompts.alerts.value(0).startsWith("Couldn't move Tidewire|"));
    EXPECT_FALSE(defaults->contains("moveToApplicationsEjectVolume"));
    EXPECT_EQ(quits, 2);
}

} // namespace
