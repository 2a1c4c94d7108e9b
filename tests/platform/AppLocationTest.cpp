// Where a copy runs from, and moving it with real files in a temporary home.
#include "platform/AppLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(AppLocationTest, OfferedOnlyFromMediaTemporaryDownloadAndDesktopFolders)
{
    const AppLocation::Folders folders{
        .home = "/home/ann",
        .temporary = {"/tmp", "/var/tmp/ann"},
        .personal = {QString::fromUtf8("/home/ann/Téléchargements"), "/home/ann/Desktop"},
    };
    struct Case {
        const char* path;
        bool offered;
    };
    const QList<Case> cases = {
        {"/home/ann/Applications/Tidewire.AppImage", false},
        {"/home/ann/Applications/Tools/Tidewire.AppImage", false},
        {"/home/ann/ApplicationsOld/Tidewire.AppImage", false},
        {"/opt/tidewire/Tidewire.AppImage", false},
        {"/usr/bin/Tidewire.AppImage", false},
        {"/media/ann/STICK/Tidewire.AppImage", true},
        {"/run/media/ann/STICK/Tidewire.AppImage", true},
        {"/mediafiles/Tidewire.AppImage", false},
        {"/tmp/Tidewire.AppImage", true},
        {"/tmpx/Tidewire.AppImage", false},
        {"/var/tmp/ann/x/Tidewire.AppImage", true},
        {"/home/ann/Téléchargements/Tidewire.AppImage", true},
        {"/home/ann/Downloads/Tidewire.AppImage", false},
        {"/home/ann/Desktop/Tidewire.AppImage", true},
        {"/home/ann/desktop/Tidewire.AppImage", false},
        {"/home/ann/bin/Tidewire.AppImage", false},
        {"/home/bob/Desktop/Tidewire.AppImage", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AppLocation::shouldOffer(QString::fromUtf8(c.path), folders), c.offered) << c.path;

    // The first rule wins: a home inside /tmp keeps its Applications folder.
    const AppLocation::Folders tmpHome{.home = "/tmp/ann", .temporary = {"/tmp"}, .personal = {}};
    EXPECT_FALSE(AppLocation::shouldOffer("/tmp/ann/Applications/Tidewire.AppImage", tmpHome));
    EXPECT_TRUE(AppLocation::shouldOffer("/tmp/ann/Tidewire.AppImage", tmpHome));
    // A desktop folder that is the home folder itself offers nothing.
    const AppLocation::Folders homeDesktop{.home = "/home/ann", .temporary = {}, .personal = {"/home/ann"}};
    EXPECT_FALSE(AppLocation::shouldOffer("/home/ann/Tidewire.AppImage", homeDesktop));
}

class AppLocationCopyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static void write(const QString& path, const QByteArray& data)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    QStringList entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir home;
    QString applications = AppLocation::applicationsFolder(home.path());
};

TEST_F(AppLocationCopyTest, CopiesIntoACreatedFolderAndReplacesAnOlderCopyWhole)
{
    const QString source = home.filePath("Downloads/Tidewire.AppImage");
    const QByteArray image = QByteArray(3 << 20, 'x') + "end";  // more than one buffer
    write(source, image);

    auto copied = AppLocation::copyInto(source, applications);
    ASSERT_TRUE(copied.has_value()) << copied.error().description.toStdString();
    EXPECT_EQ(*copied, applications + "/Tidewire.AppImage");
    EXPECT_EQ(read(*copied), image);
    EXPECT_TRUE(QFileInfo(*copied).isExecutable());
    EXPECT_EQ(entries(applications), QStringList{"Tidewire.AppImage"});

    write(source, "newer");
    copied = AppLocation::copyInto(source, applications);
    ASSERT_TRUE(copied.has_value());
    EXPECT_EQ(read(*copied), "newer");
    EXPECT_EQ(read(source), "newer");
    EXPECT_EQ(entries(applications), QStringList{"Tidewire.AppImage"});
}

TEST_F(AppLocationCopyTest, AFailedOrRefusedCopyLeavesTheOldCopyAsItWas)
{
    // /proc files claim no size but read as text: the copy is found short
    // only after it was written, and the older "status" must survive.
    write(applications + "/status", "old copy");
    auto copied = AppLocation::copyInto("/proc/self/status", applications);
    ASSERT_FALSE(copied.has_value());
    EXPECT_FALSE(copied.error().description.isEmpty());
    EXPECT_EQ(read(applications + "/status"), "old copy");
    EXPECT_EQ(entries(applications), QStringList{"status"}) << "no half-written copy is left behind";

    // Onto itself, directly or through a link to its folder.
    write(applications + "/Tidewire.AppImage", "running");
    QFile::link(applications, home.filePath("link"));
    for (const QString& folder : {applications, home.filePath("link")}) {
        copied = AppLocation::copyInto(applications + "/Tidewire.AppImage", folder);
        ASSERT_FALSE(copied.has_value()) << folder.toStdString();
        EXPECT_EQ(read(applications + "/Tidewire.AppImage"), "running");
    }

    EXPECT_FALSE(AppLocation::copyInto(home.filePath("missing.AppImage"), applications).has_value());
}

} // namespace
