#include "Await.h"
#include "BoardHarness.h"
#include "LoopbackServer.h"
#include "PaintedText.h"
#include "../ticker/TickerTestUtil.h"
#include "ambient/AmbientBoardView.h"
#include "ambient/BoardCard.h"
#include "ambient/FullScreenWindowManager.h"
#include "ambient/IdleScreensaver.h"
#include "api/ReadableText.h"
#include "platform/session/IdleSource.h"
#include "widgets/ParagraphLabel.h"
#include "ticker/ArticleThumbnail.h"
#include "ticker/StripServices.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QString shown(const AmbientBoardView& view)
{
    QStringList ids;
    for (const auto& item : view.shownItems())
        ids.append(item.stableId);
    return ids.join(QLatin1Char(' '));
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

class BoardTest : public ::testing::Test {
protected:
    // A headline from `source` with a link and a time.
    static FeedItem datedItem(const QString& source)
    {
        FeedItem item = boardItem(S("a"), S("Title"), S("https://news.example/a"), source);
        item.publishedAt = QDateTime(QDate(2001, 3, 4), QTime(18, 56), Qt::UTC);
        return item;
    }
    // The meta line's pieces as the card composes them.
    static FeedItem::MetaLineParts metaParts(const FeedItem& item)
    {
        return ReadableText::withReadableSource(item).metaLineParts(MetaLineContext::current());
    }
    // A card of the board's size, shown.
    std::unique_ptr<BoardCard> shownCard(const FeedItem& item)
    {
        auto card = std::make_unique<BoardCard>(item, board.context());
        card->resize(380, 250);
        card->show();
        return card;
    }
    // The label showing a card's meta line.
    static ParagraphLabel* metaLabel(const BoardCard& card)
    {
        for (ParagraphLabel* label : card.findChildren<ParagraphLabel*>())
            if (label->text() == card.metaText())
                return label;
        return nullptr;
    }

    BoardHarness board;
};

TEST_F(BoardTest, ShowsTheTickerItemsThatFitTheGridWithoutMutedOnesAndItsGearOpensTheSettings)
{
    // Margins 48, cards 380 × 250, spacing 24; never less than one card.
    const std::pair<QSize, QSize> grids[] = {{{1920, 1080}, {4, 3}}, {{380 * 2 + 24 + 96, 250 * 2 + 24 + 96}, {2, 2}},
                                             {{380 * 2 + 23 + 96, 250 * 2 + 23 + 96}, {1, 1}}, {{100, 100}, {1, 1}}};
    for (const auto& [size, grid] : grids)
        EXPECT_EQ(AmbientBoardView::gridFor(size), grid) << size.width() << "x" << size.height();

    QList<FeedItem> items;
    for (int i = 1; i <= 6; ++i)
        items.append(boardItem(S("i%1").arg(i), S("Story %1").arg(i)));
    items[1].title = S("Rust 2.0 released");
    board.showItems(items);
    board.filters.mute(S("rust"));
    AmbientBoardView view(*board.store, board.context(), board.filters);
    view.show();
    view.resize(380 * 2 + 24 + 96, 250 * 2 + 24 + 96);  // 2 × 2
    EXPECT_EQ(shown(view), S("i1 i3 i4 i5"));
    EXPECT_EQ(view.cards().size(), 4);
    board.filters.setMuted({});
    board.filters.save();
    EXPECT_EQ(shown(view), S("i1 i2 i3 i4")) << "unmuting shows the item again";
    board.showItems({items[5]});
    EXPECT_EQ(shown(view), S("i6")) << "the board follows the store";
    ASSERT_EQ(view.cards().size(), 1);
    EXPECT_EQ(view.cards()[0]->item().stableId, S("i6"));
    view.resize(380 + 96, 250 + 96);
    board.showItems(items);
    EXPECT_EQ(shown(view), S("i1"));

    // The gear sits in the top right corner, above the cards, so a click reaches it.
    SettingsRequests services;
    StripServices::install(&services);
    view.resize(1280, 800);
    QToolButton* gear = view.settingsButton();
    EXPECT_EQ(gear->geometry().topRight(), QPoint(1280 - 1 - 14, 14));
    EXPECT_FALSE(gear->icon().isNull());
    EXPECT_EQ(view.childAt(gear->geometry().center()), gear);
    QTest::mouseClick(gear, Qt::LeftButton);
    StripServices::install(nullptr);
    ASSERT_EQ(services.requests.size(), 1);
    EXPECT_EQ(services.requests[0].first, board.store.get());
    EXPECT_FALSE(services.requests[0].second.has_value()) << "no particular tab";
}

// The card's meta line reads as its source and its time set apart, each in
// its own direction: "6:56 PM" stays one unit after a right-to-left source.
TEST_F(BoardTest, CardMetaLinesKeepTheSourceAndTheTimeEachInItsOwnDirection)
{
    using PaintedText::leftToRight;
    for (const QString& source : {S("חדשות ישראל"), S("الجزيرة نت"), S("ערוץ 12"), S("Reuters")}) {
        SCOPED_TRACE(source.toStdString());
        const FeedItem item = datedItem(source);
        const std::unique_ptr<BoardCard> card = shownCard(item);
        const FeedItem::MetaLineParts parts = metaParts(item);
        ASSERT_TRUE(parts.time);
        const ParagraphLabel* meta = metaLabel(*card);
        ASSERT_TRUE(meta);
        EXPECT_EQ(leftToRight(PaintedText::record(*card), meta->geometry()).toStdString(),
                  (leftToRight(parts.label) + leftToRight(FeedItem::metaSeparator.toString()) + leftToRight(*parts.time))
                      .toStdString());
    }
}

// A source's name too long for the card's meta line is cut and the time
// stays whole after it, in either direction.
TEST_F(BoardTest, ALongSourceNameGivesWayToTheTimeOnTheCard)
{
    for (const QString& source : {S("Pneumonoultramicroscopicsilicovolcanoconiosis Weekly Review of Lungs"),
                                  S("חדשות ").repeated(12).trimmed()}) {
        SCOPED_TRACE(source.toStdString());
        ASSERT_GE(source.size(), 60);
        const FeedItem item = datedItem(source);
        const std::unique_ptr<BoardCard> card = shownCard(item);
        const FeedItem::MetaLineParts parts = metaParts(item);
        ASSERT_TRUE(parts.time);
        const ParagraphLabel* meta = metaLabel(*card);
        ASSERT_TRUE(meta);
        const QStringList lines = meta->shownLines();
        ASSERT_EQ(lines.size(), 1);
        QString line = lines.first();
        line.removeIf([](QChar c) { return c.unicode() >= 0x2066 && c.unicode() <= 0x2069; });  // isolates
        EXPECT_TRUE(line.endsWith(FeedItem::metaSeparator.toString() + *parts.time)) << line.toStdString();
        const QString name = line.chopped(FeedItem::metaSeparator.size() + parts.time->size());
        ASSERT_TRUE(name.endsWith(QChar(0x2026))) << "the name is cut: " << line.toStdString();
        EXPECT_GE(name.size(), 10) << "and keeps what fits of it";
        EXPECT_TRUE(parts.label.startsWith(name.chopped(1)));
        EXPECT_LE(QFontMetricsF(meta->font()).horizontalAdvance(lines.first()), meta->contentsRect().width());
    }
}

// A card's picture fills the place the card keeps for it, once it arrives.
TEST_F(BoardTest, ACardsPictureFillsItsPlace)
{
    LoopbackServer server;
    server.route(S("/pic.png"), LoopbackServer::Response::text(pngBytes(160, 100, Qt::green), "image/png"));

    BoardCard card(boardItem(S("p"), S("Title"), S("https://p.example/1"), S("Wire"), server.url(S("pic.png")).toString()),
                   board.context());
    card.resize(380, 250);
    card.show();
    ASSERT_TRUE(card.hasThumbnail());
    const auto* thumbnail = card.findChild<ArticleThumbnail*>();
    ASSERT_TRUE(thumbnail);
    const QRect place = thumbnail->geometry();
    EXPECT_GT(place.width(), 300) << "as wide as the card's column";
    const auto green = [&](QPoint at) {
        const QImage image = card.grab().toImage();
        const QColor shown = image.pixelColor((QPointF(at) * image.devicePixelRatio()).toPoint());
        return shown.green() > 200 && shown.red() < 60 && shown.blue() < 60;
    };
    EXPECT_TRUE(waitUntil([&] { return green(place.center()); })) << "the picture shows";
    EXPECT_TRUE(green(QPoint(place.left() + 12, place.center().y()))) << "from the left of its place";
    EXPECT_TRUE(green(QPoint(place.right() - 12, place.center().y()))) << "to the right";
    board.network.clearConnectionCache();  // the server need not wait for the connection to idle out
}

TEST_F(BoardTest, CardsShowCleanPlainTextAndAClickMarksReadAndOpensOnlyWebLinks)
{
    // {item, title shown, thumbnail}
    const std::tuple<FeedItem, const char*, bool> cases[] = {
        {boardItem(S("a"), S("  <b>Tom &amp; Jerry</b> &lt;3 "), S("https://a.example/1"), S("Cartoons"), S("https://img.example/a.jpg")),
         "Tom & Jerry <3", true},
        {boardItem(S("b"), S("<img src=x onerror=alert(1)>Plain"), S("https://b.example/1")), "Plain", false},
        {boardItem(S("c"), S("No picture"), std::nullopt, S("Wire"), S("")), "No picture", false},
    };
    for (const auto& [item, title, thumbnail] : cases) {
        BoardCard card(item, board.context());
        EXPECT_EQ(card.titleText(), S(title)) << item.stableId.toStdString();
        EXPECT_EQ(card.metaText(), item.metaLine()) << item.stableId.toStdString();
        EXPECT_EQ(card.hasThumbnail(), thumbnail) << item.stableId.toStdString();
        for (const QLabel* label : card.findChildren<QLabel*>())
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << "feed text is never markup";
    }

    // {id, link, opened}
    const std::tuple<const char*, std::optional<QString>, bool> clicks[] = {
        {"x", S(" https://news.example/x "), true}, {"none", std::nullopt, false}, {"js", S("javascript:alert(1)"), false},
        {"file", S("file:///etc/passwd"), false}};
    for (const auto& [id, url, opened] : clicks) {
        BoardCard card(boardItem(S(id), S("Title"), url), board.context());
        card.resize(380, 250);
        QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(190, 125));
        EXPECT_EQ(board.reads.isRead(S(id)), opened) << id;
    }
    EXPECT_EQ(board.opener.opened, (QList<QUrl>{QUrl(S("https://news.example/x"))}));
    EXPECT_TRUE(board.opener.refused.isEmpty()) << "nothing unopenable is even handed on";
}

// A title far too long to read is cut on its card, at a word, with the
// ellipsis at its logical end, and set in its own direction.
TEST_F(BoardTest, AHugeTitleIsCutOnItsCardAndSetInItsOwnDirection)
{
    const auto words = [](const QString& word, qsizetype length) {
        QString text;
        text.reserve(length + word.size() + 1);
        while (text.size() < length)
            text += word + u' ';
        return text;
    };
    const std::pair<QString, Qt::LayoutDirection> cases[] = {
        {words(S("harbour"), 2'500'000), Qt::LeftToRight},
        {words(S("\u05E9\u05DC\u05D5\u05DD"), 100 * 1024), Qt::RightToLeft},
    };
    for (const auto& [title, direction] : cases) {
        BoardCard card(boardItem(S("h"), title, S("https://h.example/1")), board.context());
        const QString shown = card.titleText();
        ASSERT_TRUE(shown.endsWith(QChar(0x2026)));
        EXPECT_LT(shown.size(), 1000);
        EXPECT_TRUE(title.startsWith(shown.chopped(1) + u' '));
        const QList<QLabel*> labels = card.findChildren<QLabel*>();
        const auto label = std::find_if(labels.cbegin(), labels.cend(), [&](QLabel* l) { return l->text() == shown; });
        ASSERT_NE(label, labels.cend());
        EXPECT_EQ((*label)->layoutDirection(), direction);
    }
}

// Opening, placing on the chosen monitor and Escape run on a real X server
// (window/BoardWindowTest.cpp); here what the manager keeps track of.
TEST_F(BoardTest, ManagerOpensOnceClosesOnceAndForgetsAWindowClosedFromOutside)
{
    FullScreenWindowManager manager{*board.defaults, board.context(), board.filters};
    board.showItems({boardItem(S("a"), S("First")), boardItem(S("b"), S("Second"))});
    QSignalSpy opened(&manager, &FullScreenWindowManager::opened);
    QSignalSpy closed(&manager, &FullScreenWindowManager::closed);
    board.defaults->set(FullScreenWindowManager::PreferredMonitorKey, "not a number");
    manager.show(*board.store);
    QWidget* window = manager.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_EQ(window->windowHandle()->screen(), QGuiApplication::primaryScreen()) << "an unknown monitor";
    auto* view = window->findChild<AmbientBoardView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(shown(*view), S("a b"));
    EXPECT_FALSE(manager.isOpenedByIdle());
    manager.show(*board.store);
    EXPECT_EQ(manager.window(), window) << "show() while open does nothing";
    EXPECT_EQ(opened.count(), 1);

    QPointer<QWidget> guard = window;
    QTest::keyClick(view, Qt::Key_A);
    EXPECT_EQ(manager.window(), window) << "other keys leave the board open";
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(manager.window(), nullptr);
    FakeTime::settle();
    EXPECT_TRUE(guard.isNull()) << "the closed board window is deleted";
    manager.close();
    EXPECT_EQ(closed.count(), 1) << "closing a closed board changes nothing";

    manager.show(*board.store);
    guard = manager.window();
    ASSERT_FALSE(guard.isNull()) << "the board opens again";
    guard->close();  // the window manager closed it
    FakeTime::settle();
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(manager.window(), nullptr);
    EXPECT_EQ(closed.count(), 2) << "announced once";
    manager.show(*board.store);
    EXPECT_NE(manager.window(), nullptr) << "and it can open again";
    manager.close();
}

TEST_F(BoardTest, IdleScreensaverChecksEveryTwoSecondsBetweenStartAndStopWithOneTimerAndTheLatestStore)
{
    FakeIdleSource source;
    IdleScreensaver watcher{source, board.time};
    source.setIdleSeconds(5.0);
    board.time.advanceSeconds(10);
    EXPECT_EQ(watcher.checks(), 0) << "nothing runs before start()";
    EXPECT_FALSE(watcher.isRunning());

    BoardHarness other;
    watcher.start(*other.store);
    watcher.start(*board.store);  // one timer, the newer store
    EXPECT_TRUE(watcher.isRunning());
    EXPECT_EQ(std::tuple(source.starts, board.time.pendingCount()), std::tuple(1, 1));
    EXPECT_EQ(watcher.store(), board.store.get());
    board.time.advanceSeconds(1.999);
    EXPECT_EQ(watcher.checks(), 0);
    EXPECT_FALSE(watcher.idleSeconds().has_value());
    board.time.advanceSeconds(0.001);
    EXPECT_EQ(watcher.checks(), 1);
    EXPECT_EQ(watcher.idleSeconds(), std::optional<double>(5.0));

    source.setIdleSeconds(0.5);  // the user came back
    board.time.advanceSeconds(8);
    EXPECT_EQ(watcher.checks(), 5);
    EXPECT_EQ(watcher.idleSeconds(), std::optional<double>(0.5));
    source.setIdleSeconds(std::nullopt);  // a display that cannot tell
    board.store.reset();
    EXPECT_EQ(watcher.store(), nullptr) << "the store is held weakly";
    board.time.advanceSeconds(2);
    EXPECT_FALSE(watcher.idleSeconds().has_value());
    EXPECT_EQ(watcher.checks(), 6);

    watcher.stop();
    EXPECT_FALSE(watcher.isRunning());
    board.time.advanceSeconds(10);
    EXPECT_EQ(watcher.checks(), 6);
    source.setLocked(true);
    EXPECT_FALSE(watcher.isScreenLocked()) << "no signals followed once stopped";
    EXPECT_EQ(board.time.pendingCount(), 0);
    watcher.start(*other.store);  // and it can start again
    board.time.advanceSeconds(2);
    EXPECT_EQ(watcher.checks(), 7);
}

TEST_F(BoardTest, IdleScreensaverFollowsScreensaverAndLockSignalsOnceStarted)
{
    FakeIdleSource source;
    IdleScreensaver watcher{source, board.time};
    QSignalSpy changes(&watcher, &IdleScreensaver::idleStateChanged);
    source.setScreensaver(true);
    EXPECT_FALSE(watcher.isScreensaverActive()) << "signals count only once started";
    watcher.start(*board.store);
    // {screensaver, locked, announced}
    for (const auto& [screensaver, locked, announced] : {std::tuple{true, false, true}, {true, false, false}, {true, true, true},
                                                         {false, true, true}, {false, false, true}, {false, false, false}}) {
        const auto before = changes.count();
        source.setScreensaver(screensaver);
        source.setLocked(locked);
        EXPECT_EQ(std::tuple(watcher.isScreensaverActive(), watcher.isScreenLocked(), changes.count() > before),
                  std::tuple(screensaver, locked, announced));
    }
}

TEST(SystemIdleSource, CannotTellWithoutAnXDisplay)
{
    if (QGuiApplication::platformName() == S("xcb"))
        GTEST_SKIP() << "runs on the offscreen platform";
    auto source = IdleSource::createSystem();
    source->start();  // no screensaver or login service to follow: quietly nothing
    EXPECT_FALSE(source->idleSeconds().has_value());
}

} // namespace
