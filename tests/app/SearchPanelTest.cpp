// The search panel's bodies, texts and caps over a store fed from loopback.
#include "SearchHarness.h"
#include "api/Palette.h"
#include "app/SearchPanel.h"
#include "app/SearchResultsView.h"

#include <QLineEdit>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

using Body = SearchPanel::Body;

TEST(SearchPanel, ShowsPromptNothingFoundOrCappedResultsWithFullCounts)
{
    SearchHarness h;
    QJsonArray items;
    for (int i = 0; i < 55; ++i)  // "Rally 0" is the oldest
        items.append(headline(QStringLiteral("r%1").arg(i), QStringLiteral("Rally %1").arg(i), i));
    for (int i = 0; i < 65; ++i)
        items.append(headline(QStringLiteral("o%1").arg(i), QStringLiteral("Other %1").arg(i), 100 + i));
    QJsonArray feeds;
    for (int i = 0; i < 25; ++i)
        feeds.append(catalogueFeed(QStringLiteral("f%1").arg(i), QStringLiteral("Rally feed %1").arg(i)));
    ASSERT_TRUE(h.load(feeds, items));
    h.store->setFeeds({QStringLiteral("f3")}, false);

    int dismissed = 0;
    SearchPanel panel(*h.store, [&] { ++dismissed; }, h.context());
    panel.show();
    QLineEdit* field = panel.queryField();
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Search headlines and feeds…"));
    EXPECT_EQ(panel.body(), Body::Prompt);
    EXPECT_TRUE(panel.clearButton()->isHidden());

    // Spaces alone: still the prompt, but the field is not empty, so it can be cleared.
    for (const QString& text : {QStringLiteral("r"), QStringLiteral("  r  "), QStringLiteral("   ")}) {
        field->setText(text);
        EXPECT_EQ(panel.body(), Body::Prompt) << text.toStdString();
        EXPECT_FALSE(panel.clearButton()->isHidden());
    }
    QTest::mouseClick(panel.clearButton(), Qt::LeftButton);
    EXPECT_EQ(panel.query(), QString());
    EXPECT_TRUE(panel.clearButton()->isHidden());

    field->setText(QStringLiteral(" zz "));
    EXPECT_EQ(panel.body(), Body::NothingFound);
    EXPECT_EQ(panel.nothingFoundTitle(), QStringLiteral("Nothing for “ zz ”"));
    EXPECT_EQ(panel.nothingFoundDetail(),
              QStringLiteral("Search covers the 120 headlines currently loaded, not the whole archive."));

    field->setText(QStringLiteral("RALLY"));
    ASSERT_EQ(panel.body(), Body::Results);
    SearchResultsView* view = panel.resultsView();
    ASSERT_EQ(view->sections().size(), 2);
    EXPECT_EQ(view->sections()[0].title, QStringLiteral("HEADLINES"));
    EXPECT_EQ(view->sections()[0].count, 55);
    EXPECT_EQ(view->sections()[1].title, QStringLiteral("FEEDS"));
    EXPECT_EQ(view->sections()[1].count, 25);
    ASSERT_EQ(view->headlineRowCount(), 40);
    EXPECT_EQ(view->headlineAt(0).stableId, QStringLiteral("r54"));
    EXPECT_EQ(view->headlineAt(39).stableId, QStringLiteral("r15"));
    EXPECT_EQ(view->feedRowCount(), 20);
    // A switched-off feed is still found.
    const QList<FeedIndexItem> found = panel.feedResults();
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const FeedIndexItem& f) { return f.id == "f3"; }));
    // Rows stack without overlapping, inside the view.
    for (qsizetype i = 1; i < view->headlineRowCount(); ++i)
        EXPECT_EQ(view->headlineRect(i).top(), view->headlineRect(i - 1).bottom() + 1);
    EXPECT_LT(view->headlineRect(39).bottom(), view->feedRect(0).top());
    EXPECT_LE(view->feedRect(19).bottom(), view->height());

    // The dot of a feed: green while on, dim while switched off, following the store.
    qsizetype off = -1;
    for (qsizetype row = 0; row < view->feedRowCount(); ++row)
        if (view->feedAt(row).id == QStringLiteral("f3"))
            off = row;
    ASSERT_GE(off, 0);
    auto* scroll = qobject_cast<QScrollArea*>(view->parentWidget()->parentWidget());
    ASSERT_NE(scroll, nullptr);
    const auto dot = [&](qsizetype row) {
        scroll->ensureVisible(19, view->feedRect(row).center().y());
        const QPoint centre = view->mapTo(&panel, QPoint(19, view->feedRect(row).center().y()));
        return panel.grab().toImage().pixelColor(centre);
    };
    const QColor green = QColor(0x34, 0xC7, 0x59);
    EXPECT_EQ(dot(off == 0 ? 1 : 0), green);
    EXPECT_LT(dot(off).green(), 128) << dot(off).name().toStdString();
    h.store->setFeeds({QStringLiteral("f3")}, true);
    EXPECT_EQ(dot(off), green);

    // The theme is read when the panel paints.
    h.defaults->set(SearchPanel::themeKey, QStringLiteral("Blue"));
    EXPECT_EQ(panel.grab().toImage().pixelColor(QPoint(2, 2)).rgb(), themeBackgroundColor(u"Blue").rgb());

    QTest::mouseClick(panel.closeButton(), Qt::LeftButton);
    EXPECT_EQ(dismissed, 1);
}

} // namespace
