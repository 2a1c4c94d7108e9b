#include "markets/QuoteRow.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QLocale kEnUS(QLocale::English, QLocale::UnitedStates);

MarketQuote liveQuote()
{
    MarketQuote q;
    q.symbol = QStringLiteral("SPY");
    q.name = QStringLiteral("S&P 500 ETF");
    q.kind = QStringLiteral("equity");
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence::Live;
    q.price = 512.3;
    q.change = 2.1;
    q.changePct = 0.41;
    q.source = QStringLiteral("finnhub");
    q.ok = true;
    return q;
}

TEST(QuoteRowLayout, IdealSizesAreFiniteAndGrowWithTheSizeCode)
{
    for (const MarketQuote& q : {liveQuote(), [] { MarketQuote u = liveQuote(); u.ok = false; u.price.reset(); return u; }()}) {
        QSizeF previous;
        for (int size : {1, 2, 4}) {
            const QSizeF ideal = QuoteRowLayout::make(q, size, kEnUS).idealSize;
            EXPECT_TRUE(std::isfinite(ideal.width()) && std::isfinite(ideal.height())) << size;
            EXPECT_GT(ideal.width(), 0) << size;
            EXPECT_GT(ideal.height(), 0) << size;
            if (previous.isValid()) {
                EXPECT_GT(ideal.width(), previous.width()) << size;
                EXPECT_GT(ideal.height(), previous.height()) << size;
            }
            previous = ideal;
        }
        EXPECT_EQ(QuoteRowLayout::make(q, 3, kEnUS).idealSize, QuoteRowLayout::make(q, 2, kEnUS).idealSize);
        EXPECT_EQ(QuoteRowLayout::make(q, 0, kEnUS).idealSize, QuoteRowLayout::make(q, 2, kEnUS).idealSize);
    }
}

TEST(QuoteRowLayout, FontSizesPerSizeCode)
{
    struct Case {
        int size;
        int symbol, price, change, name, badge;
    };
    for (const Case& c : {Case{1, 9, 15, 11, 10, 8}, Case{2, 10, 22, 18, 11, 9}, Case{3, 10, 22, 18, 11, 9},
                          Case{4, 13, 30, 26, 14, 12}}) {
        const auto l = QuoteRowLayout::make(liveQuote(), c.size, kEnUS);
        EXPECT_EQ(l.symbol.font.pixelSize(), c.symbol) << c.size;
        EXPECT_EQ(l.price.font.pixelSize(), c.price) << c.size;
        EXPECT_EQ(l.change.font.pixelSize(), c.change) << c.size;
        EXPECT_EQ(l.name.font.pixelSize(), c.name) << c.size;
    }
}

TEST(QuoteRowLayout, TextsBadgesAndColoursPerQuoteState)
{
    const QColor white = Qt::white;
    QColor dim = Qt::white;
    dim.setAlphaF(0.45f);
    struct Case {
        const char* name;
        std::function<void(MarketQuote&)> edit;
        QString price;
        QString change;
        QColor changeColor;
        QColor strong;  // symbol and price
        std::optional<QString> badge;
        bool unavailable;
        std::optional<QString> holding;
        QColor holdingColor;
    };
    const Case cases[] = {
        {"live and up", [](MarketQuote&) {}, QStringLiteral("512.30"), QStringLiteral("▲ 0.41%"),
         QuoteRowLayout::quoteUp(), white, std::nullopt, false, std::nullopt, {}},
        {"down", [](MarketQuote& q) { q.changePct = -1.5; }, QStringLiteral("512.30"), QStringLiteral("▼ 1.50%"),
         QuoteRowLayout::quoteDown(), white, std::nullopt, false, std::nullopt, {}},
        {"exactly flat", [](MarketQuote& q) { q.changePct = 0.0; }, QStringLiteral("512.30"), QStringLiteral("● 0.00%"),
         QuoteRowLayout::quoteFlat(), white, std::nullopt, false, std::nullopt, {}},
        {"no change percentage", [](MarketQuote& q) { q.changePct.reset(); }, QStringLiteral("512.30"),
         QStringLiteral("—"), QuoteRowLayout::quoteFlat(), white, std::nullopt, false, std::nullopt, {}},
        {"unavailable, no price",
         [](MarketQuote& q) { q.ok = false; q.price.reset(); q.holding = Holding{1, 1}; },
         QStringLiteral("—"), QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteFlat(), dim, std::nullopt, true,
         std::nullopt, {}},
        {"delayed", [](MarketQuote& q) { q.cadence = QuoteCadence::Delayed; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, QStringLiteral("DELAYED"), false, std::nullopt, {}},
        {"daily ECB fix",
         [](MarketQuote& q) { q.cadence = QuoteCadence::Daily; q.source = QStringLiteral("frankfurter"); q.kind = QStringLiteral("fx"); q.price = 1.0842; },
         QStringLiteral("1.0842"), QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, QStringLiteral("ECB FIX"),
         false, std::nullopt, {}},
        {"daily elsewhere", [](MarketQuote& q) { q.cadence = QuoteCadence::Daily; q.price = 1.0842; },
         QStringLiteral("1.08"), QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, QStringLiteral("DAILY"),
         false, std::nullopt, {}},
        {"thousands without digits", [](MarketQuote& q) { q.price = 43210.7; }, QStringLiteral("43,211"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false, std::nullopt, {}},
        {"holding in profit", [](MarketQuote& q) { q.holding = Holding{10, 500}; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false,
         QStringLiteral("▲ 123.00 (2.5%)"), QuoteRowLayout::quoteUp()},
        {"holding at a loss", [](MarketQuote& q) { q.holding = Holding{1, 600}; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false,
         QStringLiteral("▼ 87.70 (14.6%)"), QuoteRowLayout::quoteDown()},
        {"holding at cost", [](MarketQuote& q) { q.holding = Holding{3, 512.3}; }, QStringLiteral("512.30"),
         QStringLiteral("▲ 0.41%"), QuoteRowLayout::quoteUp(), white, std::nullopt, false,
         QStringLiteral("● 0.00 (0.0%)"), QuoteRowLayout::quoteFlat()},
    };
    for (const Case& c : cases) {
        MarketQuote q = liveQuote();
        c.edit(q);
        const auto l = QuoteRowLayout::make(q, 2, kEnUS);
        EXPECT_EQ(l.symbol.text, QStringLiteral("SPY")) << c.name;
        EXPECT_EQ(l.price.text, c.price) << c.name;
        EXPECT_EQ(l.change.text, c.change) << c.name;
        EXPECT_EQ(l.change.color, c.changeColor) << c.name;
        EXPECT_EQ(l.symbol.color, c.strong) << c.name;
        EXPECT_EQ(l.price.color, c.strong) << c.name;
        EXPECT_EQ(l.name.text, q.name) << c.name;
        EXPECT_EQ(l.badge ? std::optional<QString>(l.badge->text) : std::nullopt, c.badge) << c.name;
        EXPECT_EQ(l.unavailable.has_value(), c.unavailable) << c.name;
        if (l.unavailable) {
            EXPECT_EQ(l.unavailable->text, QStringLiteral("UNAVAILABLE")) << c.name;
        }
        EXPECT_EQ(l.holding ? std::optional<QString>(l.holding->text) : std::nullopt, c.holding) << c.name;
        if (l.holding) {
            EXPECT_EQ(l.holding->color, c.holdingColor) << c.name;
        }
    }
}

TEST(QuoteRowLayout, AccessibleLabel)
{
    MarketQuote q = liveQuote();
    EXPECT_EQ(QuoteRowLayout::make(q, 2, kEnUS).accessibleLabel, QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41%"));
    q.holding = Holding{10, 500};
    EXPECT_EQ(QuoteRowLayout::make(q, 2, kEnUS).accessibleLabel,
              QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41% holding ▲ 123.00 (2.5%)"));
    q.price.reset();
    q.holding.reset();
    EXPECT_EQ(QuoteRowLayout::make(q, 2, kEnUS).accessibleLabel, QStringLiteral("S&P 500 ETF — ▲ 0.41%"));
}

TEST(QuoteRowLayout, PartsStayInsideTheCellWithoutOverlapping)
{
    MarketQuote q = liveQuote();
    q.cadence = QuoteCadence::Delayed;
    q.holding = Holding{1, 1};
    for (int size : {1, 2, 4}) {
        const auto l = QuoteRowLayout::make(q, size, kEnUS);
        const QRectF cell(QPointF(), l.idealSize);
        QList<QRectF> rects{l.chip, l.price.rect, l.change.rect, l.name.rect, l.holding->rect, l.badge->rect};
        for (const QRectF& r : rects)
            EXPECT_TRUE(cell.contains(r)) << size;
        EXPECT_TRUE(l.chip.contains(l.symbol.rect)) << size;
        for (int i = 0; i < rects.size(); ++i) {
            for (int j = i + 1; j < rects.size(); ++j)
                EXPECT_FALSE(rects[i].intersects(rects[j])) << size << " parts " << i << "," << j;
        }
        EXPECT_LT(l.price.rect.bottom(), l.name.rect.top() + 0.001) << "line 1 above line 2";
    }
}

QImage paint(const MarketQuote& q, int size)
{
    const auto l = QuoteRowLayout::make(q, size, kEnUS);
    QImage image(l.idealSize.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    l.paint(painter);
    painter.end();
    return image;
}

int countPixels(const QImage& image, const std::function<bool(QColor)>& match)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixelColor(x, y)) ? 1 : 0;
    }
    return n;
}

TEST(QuoteRowLayout, PaintsTextInTheChangeColour)
{
    auto greenish = [](QColor c) { return c.alpha() > 200 && c.green() > 180 && c.red() < 140; };
    auto reddish = [](QColor c) { return c.alpha() > 200 && c.red() > 200 && c.green() < 150; };
    MarketQuote up = liveQuote();
    MarketQuote down = liveQuote();
    down.changePct = -2;
    const QImage upImage = paint(up, 2);
    const QImage downImage = paint(down, 2);
    EXPECT_GT(countPixels(upImage, [](QColor c) { return c.alpha() > 0; }), 100) << "painted output not empty";
    EXPECT_GT(countPixels(upImage, greenish), 10);
    EXPECT_EQ(countPixels(upImage, reddish), 0);
    EXPECT_GT(countPixels(downImage, reddish), 10);
    EXPECT_EQ(countPixels(downImage, greenish), 0);
}

// A font whose digit characters differ in width: the URW dingbats font
// maps them to symbols of their own sizes.
QFont unevenDigits()
{
    QFont font(QStringLiteral("D050000L"));
    font.setPixelSize(22);
    return font;
}

TEST(QuoteRowLayout, FiguresKeepTheirWidthAsValuesChange)
{
    const QFont uneven = unevenDigits();
    const QFontMetricsF metrics(uneven);
    ASSERT_NE(metrics.horizontalAdvance(u'1'), metrics.horizontalAdvance(u'8')) << "needs fonts-urw-base35";
    for (const char* text : {"$8,808.80", "$4,567.89", "$1,111.11"})
        EXPECT_DOUBLE_EQ(QuoteRowLayout::tabularWidth(text, uneven), QuoteRowLayout::tabularWidth("$0,000.00", uneven))
            << text;
    // Each digit sits in a cell of its own: "81" is "8" with "1" one cell on.
    auto drawn = [&](const QList<std::pair<QString, qreal>>& pieces) {
        QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setPen(Qt::white);
        for (const auto& [text, x] : pieces)
            QuoteRowLayout::drawTabular(painter, QRectF(x, 0, 100, 40), text, uneven);
        return image;
    };
    const qreal cell = QuoteRowLayout::tabularWidth(QStringLiteral("0"), uneven);
    EXPECT_EQ(drawn({{"81", 0}}), drawn({{"8", 0}, {"1", cell}}));

    // The row's figures: price, change and holding.
    MarketQuote low = liveQuote();
    low.price = 1111.11;
    low.changePct = 1.11;
    low.holding = Holding{1, 0};
    MarketQuote high = low;
    high.price = 8888.88;
    high.changePct = 8.88;
    high.holding = Holding{1, 0};
    for (int size : {1, 2, 4}) {
        SCOPED_TRACE(size);
        const auto a = QuoteRowLayout::make(low, size, kEnUS);
        const auto b = QuoteRowLayout::make(high, size, kEnUS);
        ASSERT_EQ(a.price.text.size(), b.price.text.size());
        ASSERT_EQ(a.holding->text.size(), b.holding->text.size());
        EXPECT_EQ(a.price.rect.width(), b.price.rect.width());
        EXPECT_EQ(a.change.rect.width(), b.change.rect.width());
        EXPECT_EQ(a.holding->rect.width(), b.holding->rect.width());
        EXPECT_EQ(a.idealSize, b.idealSize) << "the row does not jitter";
    }
}

TEST(QuoteRowWidget, IsAPlainWidgetAtItsIdealSize)
{
    MarketQuote q = liveQuote();
    QuoteRow row(q, 4);
    row.setLocale(kEnUS);
    const QSizeF ideal = QuoteRowLayout::make(q, 4, kEnUS).idealSize;
    EXPECT_EQ(row.sizeHint(), ideal.toSize());
    EXPECT_EQ(row.accessibleName(), QStringLiteral("S&P 500 ETF 512.30 ▲ 0.41%"));
    row.resize(row.sizeHint());
    const QImage grabbed = row.grab().toImage();
    EXPECT_GT(countPixels(grabbed, [](QColor c) { return c.lightness() > 200; }), 50);
    q.symbol = QStringLiteral("A");
    q.name = QStringLiteral("A");
    row.setQuote(q, 1);
    EXPECT_LT(row.sizeHint().width(), ideal.width());
    EXPECT_EQ(row.sizeCode(), 1);
}

} // namespace
