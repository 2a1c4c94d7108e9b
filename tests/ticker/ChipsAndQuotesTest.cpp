#include "ticker/FocusChip.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/OfflineChip.h"
#include "ticker/QuoteCell.h"

#include "RowFixture.h"
#include "TickerTestUtil.h"
#include "ticker/MarqueeClock.h"

#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

namespace {

MarketQuote quote(const QString& symbol, std::optional<double> price, std::optional<double> pct, bool ok = true,
                  std::optional<Holding> holding = std::nullopt)
{
    MarketQuote q;
    q.symbol = symbol;
    q.name = symbol;
    q.price = price;
    q.changePct = pct;
    q.ok = ok;
    q.holding = holding;
    return q;
}

TEST(QuoteKeyTest, OneStringPerQuoteWithShortestNumbers)
{
    struct Case {
        MarketQuote quote;
        QString key;
    };
    const QList<Case> cases = {
        {quote("SPY", 512.3, -0.42), "SPY=512.3/-0.42/true/0.0@0.0"},
        {quote("BTC", std::nullopt, std::nullopt, false), "BTC=-1.0/0.0/false/0.0@0.0"},
        {quote("AAPL", 190, 1, true, Holding{10, 150.25}), "AAPL=190.0/1.0/true/10.0@150.25"},
        {quote("X", 0.1 + 0.2, -0.0), "X=0.30000000000000004/-0.0/true/0.0@0.0"},
        {quote("BIG", 1e20, 0.00001), "BIG=1e+20/1e-05/true/0.0@0.0"},
        {quote("NAN", std::numeric_limits<double>::quiet_NaN(), 2.5), "NAN=nan/2.5/true/0.0@0.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QuoteCell::key(c.quote), c.key);
}

TEST(ChipTest, Texts)
{
    EXPECT_EQ(OfflineChip().text(), QStringLiteral("Offline"));
    EXPECT_EQ(OfflineChip(QStringLiteral("2m ago")).text(), QStringLiteral("Offline · 2m ago"));
    OfflineChip chip;
    chip.setRelative(QStringLiteral("1h ago"));
    EXPECT_EQ(chip.text(), QStringLiteral("Offline · 1h ago"));

    FocusChip focus(QStringLiteral("Interest rates"), [] {});
    EXPECT_EQ(focus.text(), QStringLiteral("INTEREST RATES"));
    EXPECT_EQ(focus.toolTip(), QStringLiteral("Exit focus"));
}

TEST(ChipTest, OnlyTheCloseButtonLeavesTheFocus)
{
    int exits = 0;
    FocusChip focus(QStringLiteral("Markets"), [&] { ++exits; });
    focus.resize(focus.sizeHint());
    focus.show();
    QTest::mouseClick(&focus, Qt::LeftButton, {}, QPoint(4, focus.height() / 2));
    EXPECT_EQ(exits, 0);
    QTest::mouseClick(&focus, Qt::LeftButton, {}, focus.closeButtonRect().center().toPoint());
    EXPECT_EQ(exits, 1);
}

class TickerViewTest : public ::testing::Test {
protected:
    RowFixture f;
    ClockMarqueeClock clock{f.time};
    MarqueeTickerView view{f.context(), clock};
    QList<FeedItem> items{makeItem("a", "Alpha", "https://a.com/1"), makeItem("b", "Beta", "https://b.com/2")};
};

TEST_F(TickerViewTest, ItemsAreKeyedByStableId)
{
    view.updateContent(items, std::nullopt, 2, false, 1);
    EXPECT_EQ(view.itemKey(), (QStringList{"a", "b"}));
    EXPECT_EQ(view.cellCount(), 2);
    // Same ids with other fields: equal content, no rebuild.
    QList<FeedItem> renamed = items;
    renamed[0].title = QStringLiteral("Alpha, updated");
    view.updateContent(renamed, std::nullopt, 2, false, 1);
    EXPECT_EQ(view.rebuildCount(), 1);
}

TEST_F(TickerViewTest, QuotesReplaceItemsEvenWhenEmpty)
{
    view.updateContent(items, QList<MarketQuote>{}, 2, false, 1);
    EXPECT_EQ(view.cellCount(), 0);
    EXPECT_TRUE(view.itemKey().isEmpty());
    EXPECT_DOUBLE_EQ(view.stripWidth(), 0);

    const QList<MarketQuote> quotes{quote("SPY", 512.3, -0.42)};
    view.updateContent(items, quotes, 2, false, 1);
    EXPECT_EQ(view.itemKey(), QStringList{"SPY=512.3/-0.42/true/0.0@0.0"});
    EXPECT_EQ(view.cellCount(), 1);
    EXPECT_GT(view.stripWidth(), 0);
    const int built = view.rebuildCount();
    view.updateContent({}, quotes, 2, false, 1);
    EXPECT_EQ(view.rebuildCount(), built) << "same keyed values: no rebuild";
    view.updateContent({}, QList<MarketQuote>{quote("SPY", 512.4, -0.42)}, 2, false, 1);
    EXPECT_EQ(view.rebuildCount(), built + 1);
}

TEST_F(TickerViewTest, ReadingAnItemRedrawsOnlyItsCell)
{
    view.resize(800, 72);
    view.updateContent(items, std::nullopt, 2, false, 1);
    const quint64 before0 = view.cell(0)->appearance();
    const quint64 before1 = view.cell(1)->appearance();
    f.reads.markRead("b");
    EXPECT_EQ(view.cell(0)->appearance(), before0);
    EXPECT_NE(view.cell(1)->appearance(), before1);
}

} // namespace
