// Where a copy runs from, and moving it with real files in a temporary home.
#include "platform/AppLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(AppLocationTest, OfferedOnlyFromMediaTemporaryDownloadAndDesktopFolders)
{
    const AppLocation::Folders ann{.home = "/home/ann", .temporary = {"/tmp", "/var/tmp/ann"},
                                   .personal = {QString::fromUtf8("/home/ann/Téléchargements"), "/home/ann/Desktop"}};
    // A home inside /tmp, whose desktop folder is the home folder itself.
    const AppLocation::Folders tmpHome{.home = "/tmp/bo", .temporary = {"/tmp"}, .personal = {"/tmp/bo"}};
    const QList<std::tuple<const AppLocation::Folders*, const char*, bool>> cases = {
        {&ann, "/home/ann/Applications/Tools/T.AppImage", false},
        {&ann, "/opt/tidewire/T.AppImage", false},
        {&ann, "/usr/bin/T.AppImage", false},
        {&ann, "/media/ann/STICK/T.AppImage", true},
        {&ann, "/run/media/ann/STICK/T.AppImage", true},
        {&ann, "/mediafiles/T.AppImage", false},
        {&ann, "/tmp/T.AppImage", true},
        {&ann, "/tmpx/T.AppImage", false},
        {&ann, "/var/tmp/ann/x/T.AppImage", true},
        {&ann, "/home/ann/Téléchargements/T.AppImage", true},
        {&ann, "/home/ann/Downloads/T.AppImage", false},
        {&ann, "/home/ann/Desktop/T.AppImage", true},
        {&ann, "/home/ann/desktop/T.AppImage", false},
        {&ann, "/home/ann/bin/T.AppImage", false},
        {&tmpHome, "/tmp/bo/Applications/T.AppImage", false},
        {&tmpHome, "/tmp/bo/T.AppImage", true},
    };
    for (const auto& [folders, path, offered] : cases)
        EXPECT_EQ(AppLocation::shouldOffer(QString::fromUtf8(path), *folders), offered) << path;
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

TEST(AppLocationTest, CopyReplacesAnOlderCopyOnlyWhenComplete)
{
    QTemporaryDir home;
    const QString applications = AppLocation::applicationsFolder(home.path());
    auto entries = [&] { return QDir(applications).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name); };
    const QString source = home.filePath("Downloads/Tidewire.AppImage");
    const QByteArray image = QByteArray(3 << 20, 'x') + "end";  // more than one buffer
    for (const QByteArray& content : {image, QByteArray("newer")}) {
        write(source, content);
        const auto copied = AppLocation::copyInto(source, applications);
        ASSERT_TRUE(copied.has_value()) << copied.error().description.toStdString();
        EXPECT_EQ(*copied, applications + "/Tidewire.AppImage");
        EXPECT_EQ(read(*copied), content);
        EXPECT_TRUE(QFileInfo(*copied).isExecutable());
        EXPECT_EQ(entries(), QStringList{"Tidewire.AppImage"});
    }

    // /proc files claim no size but read as text: the copy is found short
    // only after it was written, and the older "status" must survive.
    write(applications + "/status", "old copy");
    EXPECT_FALSE(AppLocation::copyInto("/proc/self/status", applications).has_value());
    EXPECT_EQ(read(applications + "/status"), "old copy");
    EXPECT_EQ(entries(), (QStringList{"Tidewire.AppImage", "status"})) << "no half-written copy is left behind";

    // Onto itself, directly or through a link to its folder.
    QFile::link(applications, home.filePath("link"));
    for (const QString& folder : {applications, home.filePath("link")}) {
        const auto copied = AppLocation::copyInto(applications + "/Tidewire.AppImage", folder);
        ASSERT_FALSE(copied.has_value()) << folder.toStdString();
        EXPECT_FALSE(copied.error().description.isEmpty());
        EXPECT_EQ(read(applications + "/Tidewire.AppImage"), "newer");
    }
}

} // namespace
