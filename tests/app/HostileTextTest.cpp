// Versions, headlines, folder names and error texts from outside through the
// tray menu, the search results and the application's message boxes: each
// reads as written, none is taken for markup or a shortcut, and no file an
// <img> names is read.
#include "SearchHarness.h"
#include "ShownText.h"

#include "Await.h"
#include "app/MenuBarController.h"
#include "app/MoveToApplications.h"
#include "app/SearchResultsView.h"
#include "app/UpdatePrompt.h"
#include "platform/session/Clipboard.h"
#include "platform/session/UrlOpener.h"

#include <QApplication>
#include <QDialog>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

void PrintTo(const QString& value, std::ostream* out)
{
    *out << value.toStdString();
}

namespace {

// The main and informative texts of the next message box as shown, read
// once it is on screen; the box is then dismissed.
struct ShownMessage {
    QString text, informative;
};

void readNextMessage(ShownMessage& shown)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        const auto text = [box](const char* name) {
            const auto* label = box->findChild<QLabel*>(QLatin1String(name));
            return label ? ShownText::label(label) : QString();
        };
        shown = {text("qt_msgbox_label"), text("qt_msgbox_informativelabel")};
        box->reject();
    });
    poll->start(0);
}

TEST(HostileText, MoveAndUpdateMessagesShowTheirTextsAsWritten)
{
    ReadWatch watch;
    MoveToApplications::Prompts& prompts = MoveToApplications::Prompts::dialogs();
    FakeUrlOpener opener;
    FakeTime time;
    FakeClipboard clipboard;
    UpdatePrompt update({opener, time, clipboard, [] {}});
    for (const QString& text : watch.hostileTexts()) {
        SCOPED_TRACE(text.toStdString());
        const QString running = QStringLiteral("Tidewire is running from ") + text + QStringLiteral(".");
        ShownMessage shown;
        bool closed = false;
        readNextMessage(shown);
        prompts.offer(QStringLiteral("Move Tidewire to your Applications folder?"), running,
                      [&closed](bool) { closed = true; });
        ASSERT_TRUE(QTest::qWaitFor([&closed] { return closed; }));
        EXPECT_EQ(shown.informative, running);

        const QString failure = QStringLiteral("Could not write ") + text;
        closed = false;
        readNextMessage(shown);
        prompts.alert(QStringLiteral("Couldn't move Tidewire"), failure, [&closed] { closed = true; });
        ASSERT_TRUE(QTest::qWaitFor([&closed] { return closed; }));
        EXPECT_EQ(shown.informative, failure);

        readNextMessage(shown);
        update.present(text, QUrl(QStringLiteral("https://get.example/tw")));
        ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::activeModalWidget(); }));
        EXPECT_EQ(shown.text, QStringLiteral("Update to ") + text);
    }
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_FALSE(watch.wasRead()) << "a text was read as markup and its image loaded";
}

TEST(HostileText, TrayMenuShowsTheOfferedVersionAsWritten)
{
    ReadWatch watch;
    SearchHarness h;
    ASSERT_TRUE(h.load({}, {}));
    MenuBarController controller;
    controller.install(*h.store);
    for (const QString& text : watch.hostileTexts()) {
        SCOPED_TRACE(text.toStdString());
        const QString version = QStringLiteral("9.1 ") + text;
        const QJsonObject release{{QStringLiteral("version"), version},
                                  {QStringLiteral("download_url"), QStringLiteral("https://get.example/tw")}};
        const QJsonObject manifest{{QStringLiteral("topics"), QJsonArray()},
                                   {QStringLiteral("feed_index"), QJsonArray()},
                                   {QStringLiteral("client_release"), release}};
        h.server.route(QStringLiteral("/v1_manifest"),
                       LoopbackServer::Response::json(QJsonDocument(manifest).toJson()));
        awaitTask(h.store->refresh());
        ASSERT_TRUE(h.store->availableUpdate());
        Q_EMIT controller.menu()->aboutToShow();
        const QStringList shown = ShownText::menuEntries(*controller.menu());
        EXPECT_TRUE(shown.contains(QStringLiteral("Update to ") + version + QStringLiteral("…")))
            << shown.join(u'|').toStdString();
    }
    EXPECT_FALSE(watch.wasRead());
}

TEST(HostileText, SearchResultToolTipsShowTheHeadlineAsWritten)
{
    ReadWatch watch;
    SearchHarness h;
    QList<FeedItem> headlines;
    for (const QString& text : watch.hostileTexts()) {
        FeedItem item;
        item.stableId = text;
        // Entity-escaped, as feeds send markup they mean as text.
        item.title = text.toHtmlEscaped();
        item.url = QStringLiteral("https://news.example/a");
        headlines.append(item);
    }
    SearchResultsView view(h.context(), [] {});
    view.setResults(headlines, headlines.size(), {}, 0);
    view.setLayoutWidth(520);
    view.show();
    for (qsizetype row = 0; row < headlines.size(); ++row) {
        SCOPED_TRACE(headlines.at(row).stableId.toStdString());
        // The cleaned title reads "&amp;" before the other entities, so an
        // escaped "&amp;" arrives as "&" and "&lt;b&gt;" as "<b>".
        const QString shown = headlines.at(row).cleanedTitle();
        EXPECT_EQ(ShownText::toolTip(&view, view.headlineRect(row).center()), QStringLiteral("Open ") + shown);
    }
    EXPECT_FALSE(watch.wasRead());
}

} // namespace
