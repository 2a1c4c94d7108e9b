// Headlines of any length on the strip: a title far too long to read is cut
// to a readable length before it is measured, so the cell, its cached
// picture and what assistive technologies read stay small; the cut title
// ends with an ellipsis at its logical end, in its own direction, and the
// site's host still follows it. Ordinary titles are shown whole.
#include "RowFixture.h"
#include "api/Palette.h"
#include "ticker/TickerRow.h"
#include "ticker/TickerRowLayout.h"

#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QString ellipsis = QStringLiteral("\u2026");

QString wordsOf(const QString& word, qsizetype length)
{
    QString text;
    text.reserve(length + word.size() + 1);
    while (text.size() < length)
        text += word + u' ';
    text.truncate(length);
    return text;
}

// A cell as wide as this passes a point of the screen in under four minutes
// at the slowest speed; a whole title of 100 KB would be two thousand times
// wider.
constexpr double boundedWidth = 12'000;

TEST(LongTitleTest, HugeTitlesMakeCellsOfReadableWidthThatKeepTheirHost)
{
    const std::pair<const char*, QString> titles[] = {
        {"100 KB of words", wordsOf(QStringLiteral("harbour"), 100 * 1024)},
        {"2.5 MB of words", wordsOf(QStringLiteral("council"), 2'500'000)},
        {"right to left", wordsOf(QStringLiteral("\u05E9\u05DC\u05D5\u05DD"), 100 * 1024)},
        {"no spaces", QStringLiteral("W").repeated(100 * 1024)},
        {"emoji", QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467").repeated(20'000)},
        {"wide letters", QStringLiteral("\u6F22").repeated(100 * 1024)},
        {"markup around it", QStringLiteral("<p>") + wordsOf(QStringLiteral("storm"), 100 * 1024) + QStringLiteral("</p>")},
    };
    RowFixture f;
    for (const auto& [name, title] : titles) {
        const FeedItem item = makeItem("long", title, "https://www.example.com/story", "Example");
        for (const int size : {1, 2, 4}) {
            SCOPED_TRACE(QStringLiteral("%1 at size %2").arg(name).arg(size).toStdString());
            const TickerRowLayout l = TickerRowLayout::make(item, size);
            ASSERT_LT(l.idealSize.width(), boundedWidth);
            EXPECT_TRUE(l.titleText.endsWith(ellipsis));
            EXPECT_TRUE(item.cleanedTitle().startsWith(l.titleText.chopped(1)));
            EXPECT_EQ(l.hostText, "example.com");
            EXPECT_DOUBLE_EQ(l.host.left(), l.title.right() + TickerRowLayout::titleSpacing);
            EXPECT_GT(l.host.width(), 0);
            EXPECT_LE(l.host.right(), l.idealSize.width());

            const TickerRow row(item, size, f.context());
            EXPECT_EQ(row.accessibleRow().name, l.titleText) << "read as shown, not megabytes long";
        }
    }
}

// A feed's name is cut on the meta tag like a title, and the tag keeps the
// item's time; the headline and the source's colour are the whole item's.
TEST(LongTitleTest, AHugeSourceNameLeavesTheMetaTagItsTime)
{
    // Its colour comes from a word far past the cut.
    const QString name = wordsOf(QStringLiteral("wire"), 1000) + QStringLiteral(" sport ")
        + wordsOf(QStringLiteral("wire"), 100 * 1024);
    FeedItem item = makeItem("s", "Rates hold", "https://example.com/s", name);
    item.publishedAt = QDateTime::currentDateTimeUtc();
    const QString time = item.metaLine().section(QStringLiteral(" \u2022 "), -1);
    for (const int size : {1, 2, 4}) {
        SCOPED_TRACE(size);
        const TickerRowLayout l = TickerRowLayout::make(item, size);
        ASSERT_LT(l.idealSize.width(), boundedWidth);
        EXPECT_TRUE(l.metaLine.startsWith(QStringLiteral("WIRE WIRE")));
        EXPECT_TRUE(l.metaLine.endsWith(ellipsis + QStringLiteral(" \u2022 ") + time)) << l.metaLine.toStdString();
        EXPECT_EQ(l.titleText, "Rates hold");
        EXPECT_EQ(l.tint, categoryTint(QStringLiteral("sport")));
    }
}

TEST(LongTitleTest, OrdinaryTitlesAreShownWhole)
{
    const QString titles[] = {
        QStringLiteral("Rates hold"),
        QStringLiteral("Council votes to rebuild the harbour wall after the winter storms, with work to start in "
                       "spring and the quay closed to traffic until the autumn, the mayor says"),
        QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD"),
        QStringLiteral("Caf\u00E9 reopens \U0001F389"),
    };
    for (const QString& title : titles) {
        SCOPED_TRACE(title.toStdString());
        const FeedItem item = makeItem("t", title, "https://example.com/t");
        const TickerRowLayout l = TickerRowLayout::make(item, 2);
        EXPECT_EQ(l.titleText, title);
        EXPECT_NEAR(l.title.width(), QFontMetricsF(l.titleFont).horizontalAdvance(title), 1e-6);
    }
}

// The cut title is one paragraph in its own direction: the ellipsis, its
// logical last character, is painted at the left end of a right-to-left
// title and at the right end of a left-to-right one, whatever the direction
// of the widget painted on. Three low dots have no
// ink in the upper part of the line, where every letter has some.
TEST(LongTitleTest, TheEllipsisIsPaintedWhereTheTitleEnds)
{
    const QString hebrew = wordsOf(QStringLiteral("\u05E9\u05DC\u05D5\u05DD"), 100 * 1024);
    const QString english = wordsOf(QStringLiteral("harbour"), 100 * 1024);
    // {title, right to left, the painter's direction}
    const std::tuple<QString, bool, Qt::LayoutDirection> cases[] = {
        {hebrew, true, Qt::LeftToRight}, {english, false, Qt::LeftToRight},
        {hebrew, true, Qt::RightToLeft}, {english, false, Qt::RightToLeft},
    };
    RowFixture f;
    for (const auto& [title, rightToLeft, painterDirection] : cases) {
        SCOPED_TRACE(QStringLiteral("%1 title, %2 painter")
                         .arg(rightToLeft ? "right-to-left" : "left-to-right",
                              painterDirection == Qt::RightToLeft ? "right-to-left" : "left-to-right")
                         .toStdString());
        const TickerRow row(makeItem("e", title, "https://example.com/e"), 2, f.context());
        const TickerRowLayout& l = row.layout();
        ASSERT_LT(l.idealSize.width(), boundedWidth);
        QImage canvas(l.idealSize.toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::black);
        {
            QPainter p(&canvas);
            p.setLayoutDirection(painterDirection);  // as one opened on a widget laid out that way
            row.paint(p, QRectF(QPointF(0, 0), l.idealSize), false);
        }
        const QFontMetricsF fm(l.titleFont);
        const double dots = fm.horizontalAdvance(ellipsis);
        // Rows from the cap height down to halfway to the baseline.
        const int top = int(l.titleBaseline - fm.capHeight());
        const int bottom = int(l.titleBaseline - fm.capHeight() / 2);
        const auto inkedHigh = [&](double from, double to) {
            for (int x = int(from); x < int(to); ++x) {
                for (int y = top; y < bottom; ++y) {
                    if (canvas.pixelColor(x, y).red() > 128)
                        return true;
                }
            }
            return false;
        };
        const QRectF leftEnd(l.title.left() + 1, 0, dots * 0.8, 0);
        const QRectF rightEnd(l.title.right() - dots * 0.8, 0, dots * 0.8 - 1, 0);
        const QRectF& dotsEnd = rightToLeft ? leftEnd : rightEnd;
        const QRectF& lettersEnd = rightToLeft ? rightEnd : leftEnd;
        EXPECT_FALSE(inkedHigh(dotsEnd.left(), dotsEnd.right())) << "the ellipsis is not at the title's end";
        EXPECT_TRUE(inkedHigh(lettersEnd.left(), lettersEnd.right())) << "letters start the title";
    }
}

} // namespace
