// The desktop around the app: clipboard, links, where the copy runs from, autostart entry.
#include "platform/session/AppLocation.h"
#include "platform/session/Clipboard.h"
#include "platform/session/LaunchAtLogin.h"
#include "platform/session/UrlOpener.h"
#include "LogCapture.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(SystemClipboard, SetTextReplacesEverythingWithPlainText)
{
    auto* rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>old</b>"));
    rich->setText(QStringLiteral("old"));
    rich->setUrls({QUrl(QStringLiteral("https://old.example"))});
    QGuiApplication::clipboard()->setMimeData(rich);

    const QList<QString> texts = {
        QStringLiteral("https://example.com/story?id=1&ref=ticker"),
        QStringLiteral("Schlagzeile \u2014 \u201cZitat\u201d \U0001F4F0"),
        QString(),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(qPrintable(text));
        Clipboard::system().setText(text);
        EXPECT_EQ(Clipboard::system().text(), text);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(now, nullptr);
        EXPECT_FALSE(now->hasHtml()) << "older rich content must not linger";
        EXPECT_FALSE(now->hasUrls());
    }
}

// Stands in for the browser: QDesktopServices hands links of a registered
// scheme to it instead of the desktop.
class Browser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> received;
    Q_INVOKABLE void openUrl(const QUrl& url) { received << url; }
};

const char* const kSchemes[] = {"http", "https", "file", "mailto", "javascript", "tidewire", "data", "ftp"};

// Only http and https links with a host are opened; the rest are refused with
// a log line that leaves the link itself out.
TEST(UrlOpener, HandsWebLinksToTheDesktopAndRefusesTheRestWithALogLine)
{
    Browser browser;
    for (const char* scheme : kSchemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &browser, "openUrl");
    const QString refused = QStringLiteral("Refused to open a link with scheme \"%1\"");
    const QString malformed = QStringLiteral("Refused to open a malformed web link");
    const std::tuple<const char*, bool, QString> cases[] = {
        {"http://example.com", true, {}},
        {"https://example.com/a/b?c=d#e", true, {}},
        {"HTTPS://Example.COM:8443/path", true, {}},
        {"https://127.0.0.1:9/x", true, {}},
        {"file:///home/user/.ssh/id_rsa", false, refused.arg("file")},
        {"javascript:alert(document.cookie)", false, refused.arg("javascript")},
        {"mailto:someone@example.com", false, refused.arg("mailto")},
        {"data:text/html,<b>hi</b>", false, refused.arg("data")},
        {"ftp://example.com/file", false, refused.arg("ftp")},
        {"TIDEWIRE://settings", false, refused.arg("tidewire")},
        {"http:no-host", false, malformed},
        {"https://", false, malformed},
        {"//example.com/path", false, refused.arg("")},
        {"example.com", false, refused.arg("")},
        {"", false, refused.arg("")},
    };
    for (const auto& [text, opened, logged] : cases) {
        SCOPED_TRACE(text);
        browser.received.clear();
        LogCapture capture;
        const QUrl url(QString::fromUtf8(text));
        EXPECT_EQ(isOpenableUrl(url), opened);
        EXPECT_EQ(UrlOpener::system().open(url), opened);
        EXPECT_EQ(browser.received, opened ? QList<QUrl>{url} : QList<QUrl>{});
        ASSERT_EQ(LogCapture::lines().size(), opened ? 0 : 1);
        if (opened)
            continue;
        EXPECT_EQ(LogCapture::lines().first().category, QStringLiteral("tidewire.client.platform"));
        EXPECT_EQ(LogCapture::lines().first().message, logged);
        if (url.path().size() > 1) {
            EXPECT_FALSE(capture.anyContains(url.path())) << "the refused link itself stays out of the log";
        }
    }
    for (const char* scheme : kSchemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

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
        EXPECT_TRUE(read(entry).contains(c.execLine)) << read(entry).toStdString();
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
        write(entry, text);
        LaunchAtLogin launch(entry, program);
        EXPECT_EQ(launch.isEnabled(), enabled) << text.toStdString();
        // On over this copy's entry keeps it as written; over any other it
        // is replaced by one that starts this copy.
        EXPECT_TRUE(launch.setEnabled(true));
        EXPECT_EQ(read(entry) == text, enabled) << text.toStdString();
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
            write(config.filePath("autostart"), "not a folder");
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

#include "DesktopTest.moc"
