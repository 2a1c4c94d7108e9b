// The autostart entry as real files in the run's private folders.
#include "LogCapture.h"
#include "platform/LaunchAtLogin.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

class LaunchAtLoginTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    QString entry = config.filePath("autostart/tidewire.desktop");
};

// Written so that the desktop's own validator accepts it and it starts
// exactly this file, however odd its path.
TEST_F(LaunchAtLoginTest, EntryStartsThisCopyWhateverItsPath)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate is missing: run scripts/install-deps";
    struct Case {
        QString program;
        QByteArray execLine;
    };
    const QList<Case> cases = {
        {"/home/ann/Applications/Tidewire-x86_64.AppImage", "\nExec=/home/ann/Applications/Tidewire-x86_64.AppImage\n"},
        {"/home/ann/my apps/tidewire", "\nExec=\"/home/ann/my apps/tidewire\"\n"},
        {R"(/tmp/odd "name" $HOME 100% back\slash/tidewire)", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        QFile::remove(entry);
        LaunchAtLogin launch(entry, c.program);
        EXPECT_FALSE(launch.isEnabled());
        ASSERT_TRUE(launch.setEnabled(true)) << launch.lastError().toStdString();
        EXPECT_TRUE(launch.isEnabled());
        EXPECT_FALSE(LaunchAtLogin(entry, c.program + "-other").isEnabled()) << "another copy is not this one";
        EXPECT_TRUE(readAll(entry).contains(c.execLine)) << readAll(entry).toStdString();
        QProcess validate;
        validate.start(validator, {entry});
        ASSERT_TRUE(validate.waitForFinished());
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
        EXPECT_TRUE(launch.setEnabled(false));
        EXPECT_FALSE(QFile::exists(entry));
    }
}

TEST_F(LaunchAtLoginTest, OnlyAValidVisibleEntryForThisCopyCountsAndOnWhenOnWritesNothing)
{
    const QString program = "/home/ann/bin/tidewire";
    const QList<std::pair<QByteArray, bool>> cases = {
        {"# mine\n[Desktop Entry]\nType=Application\nName=T\nExec=/home/ann/bin/tidewire --x\n", true},
        {"[Desktop Entry]\nName=T\nType=Application\nExec=\"/home/ann/bin/tidewire\"\n", true},
        {"[Desktop Entry]\nType=Application\nName=T\nExec=/home/ann/bin/tidewire\nHidden=true\n", false},
        {"[Desktop Entry]\nType=Application\nName=T\nExec=/usr/bin/tidewire\n", false},
        {"[Desktop Entry]\nType=Application\nName=T\nExec=\"/home/ann/bin/tidewire\n", false},
        {"[Other]\nType=Application\nName=T\nExec=/home/ann/bin/tidewire\n", false},
        {"", false},
    };
    for (const auto& [text, enabled] : cases) {
        writeFile(entry, text);
        LaunchAtLogin launch(entry, program);
        EXPECT_EQ(launch.isEnabled(), enabled) << text.toStdString();
        // On over this copy's entry keeps it as written; over any other it
        // is replaced by one that starts this copy.
        EXPECT_TRUE(launch.setEnabled(true));
        EXPECT_EQ(readAll(entry) == text, enabled) << text.toStdString();
        EXPECT_TRUE(launch.isEnabled());
    }
}

TEST_F(LaunchAtLoginTest, FailuresAreReportedAndLogged)
{
    LaunchAtLogin launch(entry, "/home/ann/bin/tidewire");
    const QString line = "Launch-at-login toggle failed: ";
    // Off with nothing registered; on where the autostart folder cannot be
    // made (a file has its name).
    for (bool on : {false, true}) {
        if (on)
            writeFile(config.filePath("autostart"), "not a folder");
        LogCapture log;
        EXPECT_FALSE(launch.setEnabled(on));
        EXPECT_FALSE(launch.isEnabled());
        EXPECT_FALSE(launch.lastError().isEmpty());
        ASSERT_EQ(LogCapture::lines().size(), 1);
        EXPECT_EQ(LogCapture::lines()[0].message, line + launch.lastError());
        EXPECT_EQ(LogCapture::lines()[0].category, "tidewire.client.launch");
        EXPECT_EQ(LogCapture::lines()[0].type, QtCriticalMsg);
    }
}

} // namespace
