#include "platform/UrlOpener.h"

#include "LogCapture.h"

#include <QDesktopServices>
#include <QObject>
#include <gtest/gtest.h>

namespace {

const struct {
    const char* url;
    bool openable;
} kLinks[] = {
    {"http://example.com", true},
    {"https://example.com/a/b?c=d#e", true},
    {"HTTPS://Example.COM:8443/path", true},
    {"https://127.0.0.1:9/x", true},
    {"file:///etc/passwd", false},
    {"javascript:alert(1)", false},
    {"mailto:someone@example.com", false},
    {"data:text/html,<b>hi</b>", false},
    {"ftp://example.com/file", false},
    {"tidewire://open", false},
    {"http:no-host", false},
    {"https://", false},
    {"//example.com/path", false},
    {"example.com", false},
    {"", false},
};

TEST(UrlOpener, OnlyHttpAndHttpsLinksWithAHostAreOpenable)
{
    for (const auto& link : kLinks) {
        SCOPED_TRACE(link.url);
        EXPECT_EQ(isOpenableUrl(QUrl(QString::fromUtf8(link.url))), link.openable);
    }
}

TEST(UrlOpener, FakeRecordsOpenedAndRefusedLinks)
{
    FakeUrlOpener fake;
    LogCapture capture;
    for (const auto& link : kLinks) {
        SCOPED_TRACE(link.url);
        EXPECT_EQ(fake.open(QUrl(QString::fromUtf8(link.url))), link.openable);
    }
    int openable = 0;
    for (const auto& link : kLinks)
        openable += link.openable ? 1 : 0;
    EXPECT_EQ(fake.opened.size(), openable);
    EXPECT_EQ(fake.refused.size(), int(std::size(kLinks)) - openable);
    EXPECT_EQ(fake.opened.first(), QUrl(QStringLiteral("http://example.com")));
    EXPECT_EQ(fake.refused.first(), QUrl(QStringLiteral("file:///etc/passwd")));
}

// Stands in for the browser: QDesktopServices hands links of a registered
// scheme to it instead of the desktop.
class Browser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> received;
    Q_INVOKABLE void openUrl(const QUrl& url) { received << url; }
};

class SystemUrlOpener : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* scheme : {"http", "https", "file", "mailto", "javascript", "tidewire"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &browser, "openUrl");
    }
    void TearDown() override
    {
        for (const char* scheme : {"http", "https", "file", "mailto", "javascript", "tidewire"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        UrlOpener::setSystem(nullptr);
    }
    Browser browser;
};

TEST_F(SystemUrlOpener, HandsWebLinksToTheDesktopAndRefusesTheRestWithALogLine)
{
    const struct {
        const char* url;
        bool opened;
        const char* logged;  // expected log text, or nullptr for none
    } cases[] = {
        {"https://example.com/story?id=1", true, nullptr},
        {"http://example.com", true, nullptr},
        {"file:///home/user/.ssh/id_rsa", false, "Refused to open a link with scheme \"file\""},
        {"javascript:alert(document.cookie)", false, "Refused to open a link with scheme \"javascript\""},
        {"TIDEWIRE://settings", false, "Refused to open a link with scheme \"tidewire\""},
        {"http:no-host", false, "Refused to open a malformed web link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        browser.received.clear();
        LogCapture capture;
        const QUrl url(QString::fromUtf8(c.url));
        EXPECT_EQ(UrlOpener::system().open(url), c.opened);
        EXPECT_EQ(browser.received, c.opened ? QList<QUrl>{url} : QList<QUrl>{});
        if (!c.logged) {
            EXPECT_TRUE(LogCapture::lines().isEmpty());
            continue;
        }
        ASSERT_EQ(LogCapture::lines().size(), 1);
        EXPECT_EQ(LogCapture::lines().first().category, QStringLiteral("tidewire.client.platform"));
        EXPECT_EQ(LogCapture::lines().first().message, QString::fromUtf8(c.logged));
        if (!url.path().isEmpty()) {
            EXPECT_FALSE(capture.anyContains(url.path())) << "the refused link itself stays out of the log";
        }
    }
}

TEST_F(SystemUrlOpener, AnInstalledOpenerReplacesTheDesktopUntilReset)
{
    FakeUrlOpener fake;
    UrlOpener::setSystem(&fake);
    EXPECT_EQ(&UrlOpener::system(), &fake);
    EXPECT_TRUE(UrlOpener::system().open(QUrl(QStringLiteral("https://example.com"))));
    EXPECT_EQ(fake.opened.size(), 1);
    EXPECT_TRUE(browser.received.isEmpty());

    UrlOpener::setSystem(nullptr);
    EXPECT_NE(&UrlOpener::system(), &fake);
    EXPECT_TRUE(UrlOpener::system().open(QUrl(QStringLiteral("https://example.com"))));
    EXPECT_EQ(browser.received.size(), 1);
    EXPECT_EQ(fake.opened.size(), 1);
}

}  // namespace

#include "UrlOpenerTest.moc"
