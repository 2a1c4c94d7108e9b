#include "BoardHarness.h"
#include "ambient/AmbientBoardView.h"
#include "ambient/BoardCard.h"
#include "ambient/FullScreenWindowManager.h"
#include "ticker/StripServices.h"

#include <QGuiApplication>
#include <QLabel>
#include <QWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList titlesOf(const AmbientBoardView& view)
{
    QStringList titles;
    for (const auto& item : view.shownItems())
        titles.append(item.stableId);
    return titles;
}

class BoardTest : public ::testing::Test {
protected:
    BoardHarness board;
};

TEST_F(BoardTest, GridFitsTheScreen)
{
    struct Case {
        QSize size;
        QSize grid;
    };
    // Margins 48, cards 380 × 250, spacing 24.
    const Case cases[] = {
        {{1920, 1080}, {4, 3}},
        {{1280, 800}, {2, 2}},
        {{380 + 96, 250 + 96}, {1, 1}},
        {{380 * 2 + 24 + 96, 250 * 2 + 24 + 96}, {2, 2}},
        {{380 * 2 + 23 + 96, 250 * 2 + 23 + 96}, {1, 1}},
        {{100, 100}, {1, 1}},  // never less than one card
    };
    for (const auto& c : cases)
        EXPECT_EQ(AmbientBoardView::gridFor(c.size), c.grid) << c.size.width() << "x" << c.size.height();
}

// Asks for the settings window the way the strip's gear does.
struct SettingsRequests final : StripServices {
    void reposition() override {}
    void setInputRegion(const std::optional<QRect>&) override {}
    void showSettings(FeedStore& store, const std::optional<QString>& tab) override { requests.append({&store, tab}); }
    void showSearch(FeedStore&) override {}
    void showFullScreen(FeedStore&) override {}
    void presentUpdatePrompt(const QString&, const QUrl&) override {}
    void quit() override {}
    void startNowPlaying(FeedStore&) override {}
    void startRoomListener(FeedStore&) override {}
    QList<std::pair<FeedStore*, std::optional<QString>>> requests;
};

TEST_F(BoardTest, GearInTheTopRightCornerOpensTheSettingsWindow)
{
    SettingsRequests services;
    StripServices::install(&services);
    AmbientBoardView view(*board.store, board.context(), board.filters);
    view.resize(1280, 800);
    view.show();
    QToolButton* gear = view.settingsButton();
    EXPECT_EQ(gear->geometry().right(), 1280 - 1 - 14);
    EXPECT_EQ(gear->geometry().top(), 14);
    EXPECT_FALSE(gear->icon().isNull());
    // Above the cards, so a click reaches it.
    EXPECT_EQ(view.childAt(gear->geometry().center()), gear);
    QTest::mouseClick(gear, Qt::LeftButton);
    StripServices::install(nullptr);
    ASSERT_EQ(services.requests.size(), 1);
    EXPECT_EQ(services.requests[0].first, board.store.get());
    EXPECT_EQ(services.requests[0].second, std::nullopt) << "no particular tab";
}

TEST_F(BoardTest, ShowsTheTickerItemsThatFitWithoutMutedOnes)
{
    QList<FeedItem> items;
    for (int i = 1; i <= 6; ++i)
        items.append(boardItem(QStringLiteral("i%1").arg(i), QStringLiteral("Story %1").arg(i)));
    items[1].title = S("Rust 2.0 released");
    board.showItems(items);
    board.filters.mute(S("rust"));

    AmbientBoardView view(*board.store, board.context(), board.filters);
    view.show();
    view.resize(380 * 2 + 24 + 96, 250 * 2 + 24 + 96);  // 2 × 2
    EXPECT_EQ(titlesOf(view), (QStringList{"i1", "i3", "i4", "i5"}));
    EXPECT_EQ(view.cards().size(), 4);

    board.filters.setMuted({});
    board.filters.save();
    EXPECT_EQ(titlesOf(view), (QStringList{"i1", "i2", "i3", "i4"})) << "unmuting shows the item again";

    board.showItems({items[5]});
    EXPECT_EQ(titlesOf(view), (QStringList{"i6"})) << "the board follows the store";
    ASSERT_EQ(view.cards().size(), 1);
    EXPECT_EQ(view.cards()[0]->item().stableId, S("i6"));

    view.resize(380 + 96, 250 + 96);
    board.showItems(items);
    EXPECT_EQ(titlesOf(view), (QStringList{"i1"}));
}

TEST_F(BoardTest, CardsShowCleanPlainTextAndThePictureWhenThereIsOne)
{
    struct Case {
        FeedItem item;
        const char* title;
        bool thumbnail;
    };
    const Case cases[] = {
        {boardItem(S("a"), S("  <b>Tom &amp; Jerry</b> &lt;3 "), S("https://a.example/1"), S("Cartoons"),
                   S("https://img.example/a.jpg")),
         "Tom & Jerry <3", true},
        {boardItem(S("b"), S("<img src=x onerror=alert(1)>Plain"), S("https://b.example/1")), "Plain", false},
        {boardItem(S("c"), S("No picture"), std::nullopt, S("Wire"), S("")), "No picture", false},
    };
    for (const auto& c : cases) {
        BoardCard card(c.item, board.context());
        EXPECT_EQ(card.titleText(), S(c.title)) << c.item.stableId.toStdString();
        EXPECT_EQ(card.metaText(), c.item.metaLine()) << c.item.stableId.toStdString();
        EXPECT_EQ(card.hasThumbnail(), c.thumbnail) << c.item.stableId.toStdString();
        for (const QLabel* label : card.findChildren<QLabel*>())
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << "feed text is never markup";
    }
}

TEST_F(BoardTest, AClickMarksTheItemReadAndOpensItsLink)
{
    BoardCard linked(boardItem(S("x"), S("Linked"), S(" https://news.example/x ")), board.context());
    linked.resize(380, 250);
    QTest::mouseClick(&linked, Qt::LeftButton, {}, QPoint(190, 125));
    EXPECT_TRUE(board.reads.isRead(S("x")));
    EXPECT_EQ(board.opener.opened, (QList<QUrl>{QUrl(S("https://news.example/x"))}));

    const struct {
        const char* id;
        std::optional<QString> url;
    } unopenable[] = {{"none", std::nullopt}, {"js", S("javascript:alert(1)")}, {"file", S("file:///etc/passwd")}};
    for (const auto& c : unopenable) {
        BoardCard card(boardItem(S(c.id), S("Title"), c.url), board.context());
        card.resize(380, 250);
        QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(190, 125));
        EXPECT_FALSE(board.reads.isRead(S(c.id))) << c.id;
    }
    EXPECT_EQ(board.opener.opened.size(), 1);
    EXPECT_TRUE(board.opener.refused.isEmpty()) << "nothing unopenable is even handed on";
}

class BoardWindowTest : public BoardTest {
protected:
    FullScreenWindowManager manager{*board.defaults, board.context(), board.filters};
};

TEST_F(BoardWindowTest, OpensFullScreenWithCardsAndEscapeClosesIt)
{
    board.showItems({boardItem(S("a"), S("First")), boardItem(S("b"), S("Second"))});
    QSignalSpy opened(&manager, &FullScreenWindowManager::opened);
    QSignalSpy closed(&manager, &FullScreenWindowManager::closed);
    ASSERT_EQ(manager.window(), nullptr);

    manager.show(*board.store);
    QWidget* window = manager.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_EQ(window->geometry(), QGuiApplication::primaryScreen()->geometry());
    auto* view = window->findChild<AmbientBoardView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(titlesOf(*view), (QStringList{"a", "b"}));
    EXPECT_FALSE(manager.isOpenedByIdle());

    manager.show(*board.store);
    EXPECT_EQ(manager.window(), window) << "show() while open does nothing";
    EXPECT_EQ(opened.count(), 1);

    QPointer<QWidget> guard = window;
    QTest::keyClick(view, Qt::Key_A);
    EXPECT_EQ(manager.window(), window) << "other keys leave the board open";
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(manager.window(), nullptr);
    EXPECT_EQ(closed.count(), 1);
    FakeTime::settle();
    EXPECT_TRUE(guard.isNull()) << "the closed board window is deleted";

    QWidget other;
    other.show();
    QTest::keyClick(&other, Qt::Key_Escape);  // the monitor went with the board
    manager.close();
    EXPECT_EQ(closed.count(), 1) << "closing a closed board changes nothing";

    manager.show(*board.store);
    ASSERT_NE(manager.window(), nullptr) << "the board opens again";
    EXPECT_NE(manager.window(), window);
    manager.close();
    EXPECT_EQ(manager.window(), nullptr);
}

TEST_F(BoardWindowTest, AnUnknownMonitorFallsBackToThePrimaryScreen)
{
    const char* choices[] = {"", "12345", "not a number"};
    for (const char* choice : choices) {
        board.defaults->set(FullScreenWindowManager::PreferredMonitorKey, choice);
        manager.show(*board.store);
        ASSERT_NE(manager.window(), nullptr) << choice;
        EXPECT_EQ(manager.window()->windowHandle()->screen(), QGuiApplication::primaryScreen()) << choice;
        manager.close();
    }
}

TEST_F(BoardWindowTest, ClosedFromOutsideTheBoardIsForgotten)
{
    manager.show(*board.store);
    QPointer<QWidget> window = manager.window();
    window->close();  // the window manager closed it
    FakeTime::settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(manager.window(), nullptr);
    manager.show(*board.store);
    EXPECT_NE(manager.window(), nullptr) << "and it can open again";
    manager.close();
}

} // namespace
