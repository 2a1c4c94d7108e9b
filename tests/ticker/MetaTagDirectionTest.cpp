// A strip cell's meta tag reads as its source and its time set apart, each in
// its own direction: "6:56 PM" stays one unit after a right-to-left source,
// on the main strip and on the second strip, at every size.
#include "PaintedText.h"
#include "RowFixture.h"
#include "api/ReadableText.h"
#include "ticker/TickerRow.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using PaintedText::leftToRight;

// What a meta line of `item` should read from left to right: its source,
// the separator, its time, each as it reads alone.
QString piecesApart(const FeedItem& item)
{
    const FeedItem::MetaLineParts parts =
        ReadableText::withReadableSource(item).metaLineParts(MetaLineContext::current());
    if (!parts.time)
        return leftToRight(parts.label);
    return leftToRight(parts.label) + leftToRight(FeedItem::metaSeparator.toString()) + leftToRight(*parts.time);
}

TEST(TickerRowTest, MetaTagsKeepTheSourceAndTheTimeEachInItsOwnDirection)
{
    RowFixture fixture;
    const QDateTime published(QDate(2001, 3, 4), QTime(18, 56), Qt::UTC);  // never today: date and time
    const struct {
        const char* name;
        std::optional<QString> source;
        std::optional<QDateTime> at;
    } cases[] = {
        {"Hebrew source", QStringLiteral("חדשות ישראל"), published},
        {"Arabic source", QStringLiteral("الجزيرة نت"), published},
        {"Hebrew source ending in a number", QStringLiteral("ערוץ 12"), published},
        {"Hebrew source, no date", QStringLiteral("חדשות ישראל"), std::nullopt},
        {"Latin source", QStringLiteral("Reuters"), published},
        {"no source", std::nullopt, published},
    };
    // Size 2 is the main strip's default; the second strip draws the same
    // cells at its own size, compact or large.
    for (const int size : {1, 2, 4}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", size " << size);
            FeedItem item = makeItem(QStringLiteral("a"), QStringLiteral("Title"),
                                     QStringLiteral("https://news.example/a"), c.source);
            item.publishedAt = c.at;
            const TickerRow row(item, size, fixture.context());
            const TickerRowLayout& layout = row.layout();
            // A fresh painter, as on the cell's cached picture.
            const QList<PaintedText::Run> runs =
                PaintedText::record(layout.idealSize.toSize(), [&](QPainter& painter) {
                    row.paint(painter, QRectF(QPointF(), layout.idealSize), false);
                });
            EXPECT_EQ(leftToRight(runs, layout.metaTag).toStdString(), piecesApart(item).toStdString());
        }
    }
}

} // namespace
