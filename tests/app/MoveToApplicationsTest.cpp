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
    QStringList shown;  // every offer, chooser and alert, in order

    bool offer(const QString& message, const QString& informative) override
    {
        shown.append(message + "|" + informative);
        return answerMove;
    }
    std::optional<QString> chooseFolder(const QString& start) override
    {
        shown.append("chooser in " + start);
        return folder;
    }
    void alert(const QString& message, const QString& informative) override
    {
        shown.append(message + "|" + informative);
    }
};

class MoveToApplicationsTest : public ::testing::Test {
protected:
    bool launch(std::optional<QString> appImage)
    {
        prompts.shown.clear();
        return MoveToApplications({
                                      .defaults = *defaults,
                                      .appImage = std::move(appImage),
                                      .folders = {.home = home.path(), .temporary = {},
                                                  .personal = {home.filePath("Downloads")}},
                                      .prompts = prompts,
                                      .setLaunchAtLogin = [this](bool on) {
                                          loginCalls.append(on);
                                          return true;
                                      },
                                      .startDetached = [this](const QString& program) {
                                          started.append(program);
                                          return startError;
                                      },
                                      .quit = [this] { ++quits; },
                                  })
            .offerIfNeeded();
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
    const QList<std::tuple<std::optional<bool>, bool, QList<bool>>> cases = {
        {true, true, {false, true}}, {true, false, {}}, {std::nullopt, true, {}}, {false, true, {}}};
    for (const auto& [marker, launchAtLogin, calls] : cases) {
        defaults = Defaults::inMemory();
        loginCalls.clear();
        if (marker)
            defaults->set("moveToApplicationsReassertLogin", *marker);
        defaults->set("launchAtLogin", launchAtLogin);
        EXPECT_FALSE(launch(std::nullopt));
        EXPECT_FALSE(launch(std::nullopt));
        EXPECT_EQ(loginCalls, calls) << "two launches; marker " << marker.value_or(-1) << " on " << launchAtLogin;
        EXPECT_EQ(defaults->contains("moveToApplicationsReassertLogin"), marker == false);
        EXPECT_TRUE(prompts.shown.isEmpty()) << "no AppImage, no offer";
    }
}

TEST_F(MoveToApplicationsTest, OfferAnswersAndTheirOutcomes)
{
    const QString image = home.filePath("Downloads/Tidewire-x86_64.AppImage");
    QDir().mkpath(home.filePath("Downloads"));
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("image");
    file.close();
    const QString applications = home.filePath("Applications");
    const QString copy = applications + "/Tidewire-x86_64.AppImage";
    const QString offer = "Move Tidewire to your Applications folder?|Tidewire is running from Downloads. Moving it to "
                          "Applications keeps launch at login and updates working. Tidewire reopens from "
                          "Applications when it is done.";
    const QString chooser = "chooser in " + applications;

    // Move, then cancel the chooser: nothing recorded, asked again.
    prompts.answerMove = true;
    EXPECT_FALSE(launch(image));
    EXPECT_EQ(prompts.shown, (QStringList{offer, chooser}));
    EXPECT_TRUE(QFileInfo(applications).isDir()) << "the chooser starts in a folder that exists";

    // The chosen folder is where it runs from: the copy fails, it keeps running.
    prompts.folder = home.filePath("Downloads");
    EXPECT_FALSE(launch(image));
    ASSERT_EQ(prompts.shown.size(), 3);
    EXPECT_TRUE(prompts.shown[2].startsWith("Couldn't move Tidewire|"));
    EXPECT_TRUE(prompts.shown[2].endsWith("\n\nDrag Tidewire to your Applications folder in your file manager "
                                          "instead, then open it from there."));
    EXPECT_TRUE(defaults->keys().isEmpty()) << defaults->keys().join(", ").toStdString();

    // Copied but the copy does not start: said so, and quit all the same.
    prompts.folder = applications;
    startError = "No such program";
    EXPECT_TRUE(launch(image));
    EXPECT_EQ(prompts.shown, (QStringList{offer, chooser, "Tidewire was copied, but didn't reopen|No such program\n\n"
                                                          "Open Tidewire from your Applications folder."}));
    EXPECT_TRUE(QFileInfo(copy).isExecutable());
    EXPECT_TRUE(defaults->boolValue("moveToApplicationsReassertLogin", false));
    EXPECT_EQ(quits, 1);

    startError.reset();
    EXPECT_TRUE(launch(image));
    EXPECT_EQ(prompts.shown, (QStringList{offer, chooser}));
    EXPECT_EQ(started, (QStringList{copy, copy}));
    EXPECT_EQ(quits, 2);

    // Removable media has its own text and is never marked for ejecting.
    prompts.answerMove = false;
    EXPECT_FALSE(launch("/media/ann/STICK/Tidewire.AppImage"));
    EXPECT_TRUE(prompts.shown.value(0).startsWith("Move Tidewire to your Applications folder?|Tidewire is running "
                                                  "from removable media. Apps run from an image stop working when "
                                                  "it is ejected, and cannot launch at login or update."));
    EXPECT_FALSE(defaults->contains("moveToApplicationsEjectVolume"));

    // "Not Now" was recorded: never asked again.
    EXPECT_TRUE(defaults->boolValue("moveToApplicationsDeclined", false));
    EXPECT_FALSE(launch(image));
    EXPECT_TRUE(prompts.shown.isEmpty());
}

} // namespace
