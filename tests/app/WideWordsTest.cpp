// The search results' feed rows with a category name of one word far longer
// than a row: the name is cut inside its row, and the rest of the row shows
// as it does for any other feed.
#include "SearchHarness.h"
#include "WideWords.h"
#include "app/SearchResultsView.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

FeedIndexItem categorised(const QString& id, const QString& category)
{
    FeedIndexItem feed;
    feed.id = id;
    feed.title = QStringLiteral("Harbour News");
    feed.isActive = true;
    feed.category = FeedCategory{{}, category, {}, {}};
    return feed;
}

// Against a feed of the same title in a short category: the dot and the
// title's start on the left, and the state on the right, are the same pixels.
TEST(WideWords, SearchFeedRowsCutACategoryTooLongForTheirRow)
{
    SearchHarness h;
    SearchResultsView view(h.context(), [] {});
    view.setResults({}, 0,
                    {categorised(QStringLiteral("plain"), QStringLiteral("News")),
                     categorised(QStringLiteral("wide"), QStringLiteral("Category").repeated(12)),
                     categorised(QStringLiteral("hebrew"), WideWords::hebrew())},
                    3);
    view.setLayoutWidth(480);
    view.show();
    const QImage shown = view.grab().toImage();
    const QRect plain = view.feedRect(0);
    const auto part = [&](const QRect& row, int left, int width) {
        return shown.copy(QRect(row.left() + left, row.top(), width, row.height()));
    };
    for (int row : {1, 2}) {
        SCOPED_TRACE(view.feedAt(row).id.toStdString());
        const QRect wide = view.feedRect(row);
        ASSERT_EQ(wide.height(), plain.height());
        EXPECT_EQ(part(wide, 0, 110), part(plain, 0, 110)) << "the title keeps its room";
        EXPECT_EQ(part(wide, wide.width() - 60, 60), part(plain, plain.width() - 60, 60)) << "the state shows";
    }
}

} // namespace
