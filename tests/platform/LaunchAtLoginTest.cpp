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

const QString kFailurePrefix = QStringLiteral("Launch-at-login toggle failed: ");

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

bool loggedFailure(const LogCapture& log)
{
    for (const LogCapture::Line& line : LogCapture::lines())
        if (line.type == QtCriticalMsg && line.category == "tidewire.client.launch"
            && line.message.startsWith(kFailurePrefix) && line.message.size() > kFailurePrefix.size())
            return true;
    Q_UNUSED(log);
    return false;
}

class LaunchAtLoginTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    QString entry = config.filePath("autostart/tidewire.desktop");
};

// Each program path is written so that the desktop's own tools accept the
// entry and start exactly that file.
TEST_F(LaunchAtLoginTest, EntryStartsThisCopyWhateverItsPath)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate is missing: run scripts/install-deps";
    const QStringList programs = {
        "/home/ann/Applications/Tidewire-x86_64.AppImage",
        "/home/ann/my apps/tidewire",
        R"(/tmp/odd "name" $HOME 100% back\slash/tidewire)",
    };
    for (const QString& program : programs) {
        SCOPED_TRACE(program.toStdString());
        QFile::remove(entry);
        LaunchAtLogin launch(entry, program);
        EXPECT_FALSE(launch.isEnabled());
        ASSERT_TRUE(launch.setEnabled(true)) << launch.lastError().toStdString();
        EXPECT_TRUE(launch.isEnabled());
        EXPECT_FALSE(LaunchAtLogin(entry, program + "-other").isEnabled()) << "another copy is not this one";

        QProcess validate;
        validate.start(validator, {entry});
        ASSERT_TRUE(validate.waitForFinished());
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString()
                                          << readAll(entry).toStdString();
    }
    // The plain path needs no quoting; a space does.
    QFile::remove(entry);
    LaunchAtLogin(entry, "/home/ann/my apps/tidewire").setEnabled(true);
    EXPECT_TRUE(readAll(entry).contains("\nExec=\"/home/ann/my apps/tidewire\"\n")) << readAll(entry).toStdString();
    QFile::remove(entry);
    LaunchAtLogin(entry, "/opt/Tidewire.AppImage").setEnabled(true);
    EXPECT_TRUE(readAll(entry).contains("\nExec=/opt/Tidewire.AppImage\n"));
}

TEST_F(LaunchAtLoginTest, OnlyAValidVisibleEntryForThisCopyCounts)
{
    const QString program = "/home/ann/bin/tidewire";
    struct Case {
        const char* name;
        QByteArray text;
        bool enabled;
    };
    const QList<Case> cases = {
        {"written by hand", "# mine\n[Desktop Entry]\nType=Application\nName=Ticker\nExec=/home/ann/bin/tidewire --x\n", true},
        {"quoted", "[Desktop Entry]\nName=T\nType=Application\nExec=\"/home/ann/bin/tidewire\"\n", true},
        {"hidden", "[Desktop Entry]\nType=Application\nName=T\nExec=/home/ann/bin/tidewire\nHidden=true\n", false},
        {"another program", "[Desktop Entry]\nType=Application\nName=T\nExec=/usr/bin/tidewire\n", false},
        {"broken quoting", "[Desktop Entry]\nType=Application\nName=T\nExec=\"/home/ann/bin/tidewire\n", false},
        {"no entry group", "[Other]\nType=Application\nName=T\nExec=/home/ann/bin/tidewire\n", false},
        {"not an application", "[Desktop Entry]\nType=Link\nName=T\nExec=/home/ann/bin/tidewire\n", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(entry, c.text);
        EXPECT_EQ(LaunchAtLogin(entry, program).isEnabled(), c.enabled);
    }

    // Switching on over an entry that already starts this copy leaves it as
    // it is; over one that does not, it is replaced.
    writeFile(entry, cases[0].text);
    EXPECT_TRUE(LaunchAtLogin(entry, program).setEnabled(true));
    EXPECT_EQ(readAll(entry), cases[0].text);
    writeFile(entry, cases[2].text);
    EXPECT_TRUE(LaunchAtLogin(entry, program).setEnabled(true));
    EXPECT_FALSE(readAll(entry).contains("Hidden"));
    EXPECT_TRUE(LaunchAtLogin(entry, program).isEnabled());
}

TEST_F(LaunchAtLoginTest, FailuresAreReportedAndLogged)
{
    LaunchAtLogin launch(entry, "/home/ann/bin/tidewire");
    {
        LogCapture log;
        EXPECT_FALSE(launch.setEnabled(false)) << "nothing was registered";
        EXPECT_FALSE(launch.lastError().isEmpty());
        EXPECT_TRUE(loggedFailure(log));
    }
    {
        LogCapture log;
        ASSERT_TRUE(launch.setEnabled(true));
        EXPECT_TRUE(launch.setEnabled(false));
        EXPECT_TRUE(launch.lastError().isEmpty());
        EXPECT_FALSE(QFile::exists(entry));
        EXPECT_FALSE(loggedFailure(log));
    }
    {
        // The autostart folder cannot exist: a file has its name.
        QDir(config.path()).rmdir("autostart");
        writeFile(config.filePath("autostart"), "not a folder");
        LogCapture log;
        EXPECT_FALSE(launch.setEnabled(true));
        EXPECT_FALSE(launch.isEnabled());
        EXPECT_TRUE(loggedFailure(log));
        EXPECT_EQ(readAll(config.filePath("autostart")), "not a folder");
    }
}

} // namespace
