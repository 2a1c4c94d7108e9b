// Windows showing texts from outside with a word wider than any of them, on
// a private 1920 × 1080 X server with a window manager: the search window
// keeps its size and its texts, and the update prompt and its fallback stay
// on the screen.
#include "../SearchHarness.h"
#include "WideWords.h"
#include "X11Probe.h"
#include "XvfbDisplay.h"
#include "app/SearchPanel.h"
#include "app/SearchResultsView.h"
#include "app/SearchWindowManager.h"
#include "app/UpdatePrompt.h"
#include "widgets/ParagraphLabel.h"
#include "platform/session/Clipboard.h"
#include "platform/session/UrlOpener.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QRect kScreen(0, 0, 1920, 1080);

QRect within(const QWidget* widget, const QWidget* ancestor)
{
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

// Once the next modal dialog is on screen and placed by the window manager
// (which has taken it on: it placed it first), records where the server
// shows it with its frame, then hands it to `then`.
void onNextModal(QRect& frame, std::function<void(QWidget*)> then)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &frame, then] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !X11Probe::managed(modal->winId()))
            return;
        poll->stop();
        poll->deleteLater();
        frame = X11Probe::frameGeometry(modal->winId());
        then(modal);
    });
    poll->start(20);
}

struct RefusingOpener final : UrlOpener {
    bool open(const QUrl&) override { return false; }
};

TEST(WideWordsWindows, SearchWindowKeepsItsSizeAndItsTextsWhateverTheWords)
{
    TIDEWIRE_REQUIRE_XVFB();
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), kScreen);
    SearchHarness h;
    const QString addressTitle = QStringLiteral("Report: ") + WideWords::address() + QStringLiteral(" now");
    ASSERT_TRUE(h.load({catalogueFeed(QStringLiteral("f1"), WideWords::compound(), QStringLiteral("Category").repeated(12)),
                        catalogueFeed(QStringLiteral("f2"), WideWords::hebrew(), WideWords::hebrew())},
                       {headline(QStringLiteral("a"), WideWords::compound(), 5, QStringLiteral("https://a.example/1"),
                                 QStringLiteral("Source").repeated(12)),
                        headline(QStringLiteral("b"), addressTitle, 4, QStringLiteral("https://b.example/1")),
                        headline(QStringLiteral("c"), WideWords::hebrew(), 3, QStringLiteral("https://c.example/1"))}));
    SearchWindowManager manager(h.context());
    manager.show(*h.store);
    SearchPanel* panel = manager.panel();
    QWidget* window = manager.window();
    ASSERT_TRUE(waitFor([&] { return window->isVisible() && X11Probe::geometry(window->winId()).isValid(); }));

    const struct {
        const char* name;
        QString query;
        SearchPanel::Body body;
    } queries[] = {
        {"a compound word", QStringLiteral("donau"), SearchPanel::Body::Results},
        {"an address", QStringLiteral("segment"), SearchPanel::Body::Results},
        {"a hebrew word", WideWords::hebrew().left(4), SearchPanel::Body::Results},
        {"a long word found nowhere", QStringLiteral("Zanzibar").repeated(25), SearchPanel::Body::NothingFound},
        {"a hebrew word found nowhere", WideWords::hebrew().repeated(2), SearchPanel::Body::NothingFound},
    };
    for (const auto& q : queries) {
        SCOPED_TRACE(q.name);
        panel->queryField()->setText(q.query);
        ASSERT_EQ(panel->body(), q.body);
        QCoreApplication::processEvents();
        EXPECT_EQ(window->size(), QSize(SearchPanel::panelWidth, SearchPanel::panelHeight));
        EXPECT_TRUE(kScreen.contains(window->frameGeometry()));
        if (q.body == SearchPanel::Body::Results) {
            auto* scroll = panel->findChild<QScrollArea*>();
            ASSERT_NE(scroll, nullptr);
            EXPECT_LE(panel->resultsView()->width(), scroll->viewport()->width());
            continue;
        }
        QLabel* said = nullptr;
        for (QLabel* label : panel->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(panel) || label->text().isEmpty())
                continue;
            EXPECT_TRUE(panel->rect().contains(within(label, panel)))
                << label->text().left(20).toStdString() << " is " << label->width() << " px wide";
            if (label->text() == panel->nothingFoundTitle())
                said = label;
        }
        // Every letter of the sentence shows: the query breaks inside the
        // panel rather than running past both sides of its centred line.
        auto* paragraph = qobject_cast<ParagraphLabel*>(said);
        ASSERT_NE(paragraph, nullptr) << "a text from outside in a label that breaks long words";
        EXPECT_EQ(paragraph->shownLines().join(QString()), panel->nothingFoundTitle());
    }
    manager.close();
}

// The offered version and the download address come from the server.
TEST(WideWordsWindows, UpdatePromptAndItsFallbackStayOnTheScreen)
{
    TIDEWIRE_REQUIRE_XVFB();
    FakeTime time;
    FakeClipboard clipboard;
    RefusingOpener opener;
    UpdatePrompt prompt({opener, time, clipboard, [] {}});
    const QString version = QStringLiteral("2.4-") + QStringLiteral("x").repeated(1000);
    const QUrl address(QStringLiteral("https://get.example/") + WideWords::address(1000).mid(8));
    QRect alert;
    QRect fallback;
    QString asked;
    onNextModal(alert, [&](QWidget* box) {
        asked = static_cast<QMessageBox*>(box)->text();
        onNextModal(fallback, [](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
        for (QPushButton* button : box->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Download and Quit"))
                button->click();
    });
    prompt.present(version, address);
    ASSERT_TRUE(waitFor([] { return !QApplication::activeModalWidget(); })) << "a prompt stayed";
    EXPECT_EQ(asked, QStringLiteral("Update to ") + version);
    EXPECT_TRUE(kScreen.contains(alert)) << alert.width() << "x" << alert.height();
    EXPECT_TRUE(fallback.isValid()) << "no browser: the address is shown";
    EXPECT_TRUE(kScreen.contains(fallback)) << fallback.width() << "x" << fallback.height();
}

} // namespace
