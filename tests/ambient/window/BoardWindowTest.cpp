// The board on a private X server with a window manager (run-with-xvfb.sh):
// the display is split into two monitors with xrandr, and the board must
// open on the one "preferredMonitor" names.
#include "Await.h"
#include "BoardHarness.h"
#include "WideWords.h"
#include "ambient/AmbientBoardView.h"
#include "ambient/BoardCard.h"
#include "ambient/FullScreenWindowManager.h"
#include "platform/session/IdleSource.h"
#include "platform/x11/ScreenNumbers.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QWindow>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

namespace {

bool xrandr(const QStringList& arguments)
{
    QProcess process;
    process.start(S("xrandr"), arguments);
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

bool setMonitor(const QString& name, const QRect& rect, const QString& output)
{
    return xrandr({S("--setmonitor"), name, S("%1/300x%2/200+%3+%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y()), output});
}

QScreen* screenNamed(const QString& name)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == name)
            return screen;
    return nullptr;
}

class BoardWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString environment = qEnvironmentVariable("TIDEWIRE_DISPLAY_TEST");
        if (environment.startsWith(S("missing:")))
            GTEST_SKIP() << environment.mid(8).toStdString();
        ASSERT_EQ(environment, S("xvfb")) << "run through tests/support/run-with-xvfb.sh (ctest does)";
        if (QStandardPaths::findExecutable(S("xrandr")).isEmpty())
            GTEST_SKIP() << "xrandr is not installed (scripts/install-deps installs it)";
    }
    void TearDown() override
    {
        manager.close();
        xrandr({S("--delmonitor"), S("side")});
        xrandr({S("--delmonitor"), S("left")});
        waitUntil([] { return QGuiApplication::screens().size() == 1; });
    }

    BoardHarness board;
    FullScreenWindowManager manager{*board.defaults, board.context(), board.filters};
};

TEST_F(BoardWindow, OpensFullScreenOnTheChosenMonitorAndEscapeClosesIt)
{
    ASSERT_TRUE(setMonitor(S("left"), {0, 0, 1280, 1080}, S("screen")));
    ASSERT_TRUE(setMonitor(S("side"), {1280, 0, 640, 1080}, S("none")));
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::screens().size() == 2; }));
    QScreen* side = screenNamed(S("side"));
    ASSERT_NE(side, nullptr);

    board.showItems({boardItem(S("a"), S("Tides turn"), S("https://news.example/a"), S("Harbour News"))});
    board.defaults->set(FullScreenWindowManager::PreferredMonitorKey,
                        QString::number(ScreenNumbers::screenNumber(side)));
    manager.show(*board.store);
    QWidget* window = manager.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(waitUntil([&] { return window->isVisible() && window->geometry() == QRect(1280, 0, 640, 1080); }))
        << window->geometry().x() << "," << window->geometry().y() << " " << window->width() << "x" << window->height();
    EXPECT_EQ(window->windowHandle()->screen(), side);
    EXPECT_TRUE(waitUntil([&] { return window->isActiveWindow(); })) << "the board takes the keyboard";
    auto* view = window->findChild<AmbientBoardView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->cards().size(), 1);

    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(manager.window(), nullptr);

    // The choice gone: the primary screen.
    board.defaults->set(FullScreenWindowManager::PreferredMonitorKey, S("1"));
    manager.show(*board.store);
    ASSERT_NE(manager.window(), nullptr);
    EXPECT_EQ(manager.window()->windowHandle()->screen(), QGuiApplication::primaryScreen());
    EXPECT_TRUE(waitUntil([&] { return manager.window()->geometry() == QGuiApplication::primaryScreen()->geometry(); }));
}

// Titles holding words far wider than a card: a long compound word, an
// address used as a title, right-to-left words, and a source name without
// spaces. The board still covers exactly its screen, every card and every
// text of it lies on the screen, each title begins at its card's leading
// edge, and the application stays up.
TEST_F(BoardWindow, WordsWiderThanACardKeepTheBoardToItsScreen)
{
    const QString addressTitle = S("Report: ") + WideWords::address() + S(" now");
    const QList<std::pair<FeedItem, QString>> cards = {
        {boardItem(S("a"), WideWords::compound(), S("https://a.example/1"), S("Wire")), S("Don")},
        {boardItem(S("b"), addressTitle, S("https://b.example/1"), S("Wire")), S("Rep")},
        {boardItem(S("c"), WideWords::hebrew(), S("https://c.example/1"), S("Wire")), WideWords::hebrew().left(3)},
        {boardItem(S("d"), WideWords::arabic(), S("https://d.example/1"), S("Wire")), QString()},
        {boardItem(S("e"), S("Tides turn"), S("https://e.example/1"), S("Source").repeated(12)), S("Tid")},
    };
    QList<FeedItem> items;
    for (const auto& card : cards)
        items.append(card.first);
    board.showItems(items);

    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->geometry(), QRect(0, 0, 1920, 1080));
    manager.show(*board.store);
    QPointer<QWidget> window = manager.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(waitUntil([&] {
        return window && window->isVisible() && window->windowHandle()->isExposed() &&
               window->geometry() == screen->geometry();
    })) << (window ? window->width() : 0) << "x" << (window ? window->height() : 0);
    ASSERT_FALSE(window.isNull()) << "the board is still open";
    auto* view = window->findChild<AmbientBoardView*>();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->cards().size(), cards.size());
    for (qsizetype i = 0; i < cards.size(); ++i) {
        BoardCard* card = view->cards().at(i);
        SCOPED_TRACE(card->item().stableId.toStdString());
        const QRect cardRect(card->mapTo(window, QPoint(0, 0)), card->size());
        EXPECT_TRUE(window->rect().contains(cardRect)) << cardRect.x() << "," << cardRect.y() << " " << cardRect.width();
        QLabel* title = nullptr;
        for (QLabel* label : card->findChildren<QLabel*>()) {
            const QRect labelRect(label->mapTo(window, QPoint(0, 0)), label->size());
            EXPECT_TRUE(cardRect.contains(labelRect)) << label->text().left(20).toStdString() << " is "
                                                      << labelRect.width() << " px wide";
            if (label->text() == card->titleText())
                title = label;
        }
        ASSERT_NE(title, nullptr);
        const QString& start = cards.at(i).second;
        if (!start.isEmpty()) {
            EXPECT_TRUE(WideWords::showsStartAtLeadingEdge(title, start, start.isRightToLeft() ? Qt::RightToLeft
                                                                                               : Qt::LeftToRight));
        }
    }
}

TEST(SystemIdleSource, ReadsTheIdleTimeFromTheXServer)
{
    if (qEnvironmentVariable("TIDEWIRE_DISPLAY_TEST") != S("xvfb"))
        GTEST_SKIP() << "needs the private X server";
    auto source = IdleSource::createSystem();
    source->start();
    const auto first = source->idleSeconds();
    ASSERT_TRUE(first.has_value()) << "Xvfb has the screensaver extension";
    EXPECT_GE(*first, 0.0);
    EXPECT_LT(*first, 3600.0);
}

} // namespace
