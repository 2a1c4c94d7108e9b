#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QList>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class SystemClipboard : public ::testing::Test {
protected:
    void TearDown() override { Clipboard::setSystem(nullptr); }
};

TEST_F(SystemClipboard, SetTextReplacesEverythingWithPlainText)
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

TEST_F(SystemClipboard, AnInstalledClipboardReplacesTheDesktopUntilReset)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("desktop"));
    FakeClipboard fake;
    Clipboard::setSystem(&fake);
    Clipboard::system().setText(QStringLiteral("https://example.com"));
    EXPECT_EQ(fake.text(), QStringLiteral("https://example.com"));
    EXPECT_EQ(fake.writes, 1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("desktop"));

    Clipboard::setSystem(nullptr);
    EXPECT_EQ(Clipboard::system().text(), QStringLiteral("desktop"));
}

}  // namespace
