// What the search finds and how its panel shows it: the matching rules on
// headlines and feeds, the order of what is found, and the panel's bodies,
// texts and caps over a store fed from loopback.
#include "SearchHarness.h"
#include "api/Palette.h"
#include "app/SearchMatching.h"
#include "app/SearchPanel.h"
#include "app/SearchResultsView.h"

#include <QAccessible>
#include <QLineEdit>
#include <QLocale>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

FeedItem item(const QString& id, const QString& title, std::optional<QString> source = std::nullopt,
              std::optional<QDateTime> at = std::nullopt)
{
    FeedItem i;
    i.stableId = id;
    i.title = title;
    i.publishedAt = at;
    if (source) {
        FeedSource feed;
        feed.id = QStringLiteral("f");
        feed.title = source;
        i.source = feed;
    }
    return i;
}

FeedIndexItem feed(const QString& id, const QString& title, std::optional<QString> category = std::nullopt)
{
    FeedIndexItem f;
    f.id = id;
    f.title = title;
    if (category) {
        FeedCategory c;
        c.name = category;
        f.category = c;
    }
    return f;
}

template <class T>
QStringList ids(const QList<T>& list, QString T::*id)
{
    QStringList out;
    for (const T& entry : list)
        out.append(entry.*id);
    return out;
}

struct MatchCase {
    const char* what;
    const char* query;
    const char* title;   // headline or feed title
    const char* second;  // source title or category name; nullptr: none
    bool isFeed;
    bool found;
};

TEST(SearchMatching, FindsWhatTheRulesSay)
{
    const MatchCase cases[] = {
        {"empty query", "", "Anything", nullptr, false, false},
        {"one letter", "a", "Apple", nullptr, false, false},
        {"one letter with spaces around", "  a  ", "Apple", nullptr, false, false},
        {"two letters", "ap", "Apple", nullptr, false, true},
        {"upper case query", "AP", "apple", nullptr, false, true},
        {"spaces around are trimmed", "  pl ", "Apple", nullptr, false, true},
        {"plain letter does not find an accent", "cafe", "Café society", nullptr, false, false},
        {"accent does not find the plain letter", "café", "Cafe society", nullptr, false, false},
        {"accent in either case", "CAFÉ", "café society", nullptr, false, true},
        {"decomposed query finds precomposed title", "cafe\xCC\x81", "Caf\xC3\xA9 society", nullptr, false, true},
        {"precomposed query finds decomposed title", "caf\xC3\xA9", "CAFE\xCC\x81 SOCIETY", nullptr, false, true},
        {"one accented letter is one character", "e\xCC\x81", "\xC3\xA9t\xC3\xA9", nullptr, false, false},
        {"dotted capital I lower-cases with its dot", "\xC4\xB0st", "\xC4\xB0stanbul", nullptr, false, true},
        {"dotted capital I finds its lower-case spelling", "\xC4\xB0ST", "i\xCC\x87stanbul", nullptr, false, true},
        {"plain i is not the dotted one", "ist", "\xC4\xB0stanbul", nullptr, false, false},
        {"a match never ends inside a character", "ki", "K\xC4\xB0RA", nullptr, false, false},
        {"the dotted capital I alone is one character", "\xC4\xB0", "\xC4\xB0stanbul", nullptr, false, false},
        {"an emoji with its skin tone is one character", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",
         "Nice \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", nullptr, false, false},
        {"entity matched in its clean form", "a & b", "A &amp; B merge", nullptr, false, true},
        {"entity text itself is gone", "amp", "A &amp; B", nullptr, false, false},
        {"markup matched in its clean form", "big move", "<b>Big</b> move", nullptr, false, true},
        {"markup itself is gone", "b>", "<b>Big</b> move", nullptr, false, false},
        {"two words standing together", "new york", "New York rally", nullptr, false, true},
        {"two words spaced otherwise", "new york", "New  York rally", nullptr, false, false},
        {"two words in another order", "york new", "New York rally", nullptr, false, false},
        {"source title", "verge", "Phones", "The Verge", false, true},
        {"no source", "verge", "Phones", nullptr, false, false},
        {"feed title", "wire", "Tidewire Daily", nullptr, true, true},
        {"feed category name", "scien", "Daily", "Science", true, true},
        {"feed without category", "scien", "Daily", nullptr, true, false},
        {"feed category case", "SCIENCE", "Daily", "science", true, true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString query = QString::fromUtf8(c.query);
        const std::optional<QString> second = c.second ? std::optional<QString>(QString::fromUtf8(c.second)) : std::nullopt;
        if (c.isFeed) {
            const QList<FeedIndexItem> found = SearchMatching::feedResults({feed("f", QString::fromUtf8(c.title), second)}, query);
            EXPECT_EQ(found.size(), c.found ? 1 : 0);
        } else {
            const QList<FeedItem> found = SearchMatching::headlineResults({item("i", QString::fromUtf8(c.title), second)}, query);
            EXPECT_EQ(found.size(), c.found ? 1 : 0);
        }
    }
}

TEST(SearchMatching, HeadlinesNewestFirstUndatedLastFeedsInLocalisedTitleOrder)
{
    const QDateTime noon(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);
    const QList<FeedItem> items{
        item("undated-1", "News one"),
        item("old", "News old", std::nullopt, noon.addDays(-1)),
        item("tie-1", "News tie", std::nullopt, noon),
        item("other", "Sports"),
        item("newest", "Plain", "News Wire", noon.addSecs(60)),
        item("undated-2", "News two"),
        item("tie-2", "News tie again", std::nullopt, noon),
    };
    EXPECT_EQ(ids(SearchMatching::headlineResults(items, "news"), &FeedItem::stableId),
              (QStringList{"newest", "tie-1", "tie-2", "old", "undated-1", "undated-2"}));
    // A headline or feed given again under a new title is found by its new words only.
    SearchIndex index({item("a", "Sports")}, {feed("f", "Sports Daily")});
    index.setItems({item("a", "Weather")});
    index.setFeeds({feed("f", "Weather Daily")});
    EXPECT_TRUE(index.matchingItems(u"sports").isEmpty() && index.matchingFeeds(u"sports").isEmpty());
    EXPECT_EQ(index.matchingItems(u"weather").size(), 1);
    EXPECT_EQ(index.matchingFeeds(u"weather").size(), 1);

    const QLocale before;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const QList<FeedIndexItem> feeds{
        feed("zeta", "Zeta Daily"),   feed("emile", "\xC3\x89mile Daily"),
        feed("beta-1", "Beta Daily"), feed("alpha", "alpha daily"),
        feed("beta-2", "Beta Daily"), feed("sport", "Sports", "Dailies"),
    };
    // Accented É sorts with E, not after Z; equal titles keep catalogue order.
    EXPECT_EQ(ids(SearchMatching::feedResults(feeds, "dail"), &FeedIndexItem::id),
              (QStringList{"alpha", "beta-1", "beta-2", "emile", "sport", "zeta"}));
    QLocale::setDefault(before);
}

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

// The results are painted, so assistive technologies get them from the
// view's interface: a row per headline and feed, and in a headline its
// source badge by the name of its kind, where the badge is painted.
TEST(SearchResultsView, RowsAndTheirSourceBadgesReachAssistiveTechnologies)
{
    SearchHarness h;
    FeedItem reddit = item(QStringLiteral("r"), QStringLiteral("Rates hold"), QStringLiteral("Example"));
    reddit.source->sourceType = SourceType::Reddit;
    FeedItem rss = item(QStringLiteral("p"), QStringLiteral("Markets\nrally"), QStringLiteral("Example"));
    rss.source->sourceType = SourceType::Rss;
    const FeedItem bare = item(QStringLiteral("b"), QStringLiteral("No source"));
    SearchResultsView view(h.context(), [] {});
    view.setResults({reddit, rss, bare}, 3, {feed(QStringLiteral("f"), QStringLiteral("Rally feed"))}, 1);
    view.setLayoutWidth(480);
    view.show();

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 4);
    const QImage painted = view.grab().toImage();
    const auto isReddit = [](const QColor& c) { return c.red() > 200 && c.green() < 140 && c.blue() < 80; };
    const struct {
        QString name, badge;
        QRect rect;
    } expected[] = {{"Rates hold", "Reddit", view.headlineRect(0)},
                    {"Markets rally", "", view.headlineRect(1)},
                    {"No source", "", view.headlineRect(2)},
                    {"Rally feed", "", view.feedRect(0)}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        QAccessibleInterface* row = list->child(i);
        ASSERT_TRUE(row && row->isValid());
        EXPECT_EQ(row->role(), QAccessible::ListItem);
        EXPECT_EQ(row->text(QAccessible::Name), expected[i].name);
        EXPECT_EQ(row->rect(), QRect(view.mapToGlobal(expected[i].rect.topLeft()), expected[i].rect.size()));
        ASSERT_EQ(row->childCount(), expected[i].badge.isEmpty() ? 0 : 1);
        if (expected[i].badge.isEmpty())
            continue;
        QAccessibleInterface* badge = row->child(0);
        ASSERT_TRUE(badge);
        EXPECT_EQ(badge->text(QAccessible::Name), expected[i].badge);
        EXPECT_EQ(badge->parent(), row);
        // Where the badge's symbol is painted, in the kind's colour.
        const QRect local(view.mapFromGlobal(badge->rect().topLeft()), badge->rect().size());
        EXPECT_TRUE(expected[i].rect.contains(local));
        int inside = 0, elsewhere = 0;
        for (int y = expected[i].rect.top(); y <= expected[i].rect.bottom(); ++y) {
            for (int x = 0; x < painted.width(); ++x) {
                if (isReddit(painted.pixelColor(x, y)))
                    ++(local.contains(x, y) ? inside : elsewhere);
            }
        }
        EXPECT_GT(inside, 4);
        EXPECT_EQ(elsewhere, 0);
    }
}

// A headline, a source or a feed title far too long to read costs what a
// readable one does: the rows, what assistive technologies read and the tool
// tip hold only the readable start, ending in an ellipsis, and the rows keep
// the two lines and one line they have room for.
TEST(SearchResultsView, TitlesTooLongToReadAreCutBeforeTheyAreLaidOut)
{
    SearchHarness h;
    const QString huge = QStringLiteral("Rally ") + QStringLiteral("word ").repeated(500'000);
    FeedItem headline = item(QStringLiteral("h"), huge, QStringLiteral("Source ").repeated(100'000));
    headline.url = QStringLiteral("https://example.com/a");
    const FeedItem ordinary = item(QStringLiteral("o"), QStringLiteral("Rally of the day"), QStringLiteral("Example"));
    SearchResultsView view(h.context(), [] {});
    view.setResults({headline, ordinary}, 2, {feed(QStringLiteral("f"), huge)}, 1);
    view.setLayoutWidth(480);
    view.show();

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->childCount(), 3);
    const QString headlineName = list->child(0)->text(QAccessible::Name);
    const QString feedName = list->child(2)->text(QAccessible::Name);
    for (const QString& name : {headlineName, feedName}) {
        EXPECT_LE(name.size(), 250);
        EXPECT_TRUE(name.startsWith(QStringLiteral("Rally word")));
        EXPECT_TRUE(name.endsWith(QStringLiteral("…")));
    }
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), QStringLiteral("Rally of the day"));

    const QString tip = SearchResultRow(headline, {}, h.context()).toolTip();
    EXPECT_LE(tip.size(), 260);
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Open Rally word")));
    EXPECT_EQ(SearchResultRow(ordinary, {}, h.context()).toolTip(), QString());

    // Two lines of title and a meta line, as a long but readable title has.
    FeedItem readable = headline;
    readable.title = QStringLiteral("Rally ") + QStringLiteral("word ").repeated(40);
    readable.source->title = QStringLiteral("Example");
    SearchResultsView reference(h.context(), [] {});
    reference.setResults({readable}, 1, {feed(QStringLiteral("f"), readable.title)}, 1);
    reference.setLayoutWidth(480);
    EXPECT_EQ(view.headlineRect(0).height(), reference.headlineRect(0).height());
    EXPECT_EQ(view.feedRect(0).height(), reference.feedRect(0).height());
}

} // namespace

// A result opens what the strip would open for the same headline: addresses
// as feeds write them (raw spaces, bars, braces) still open; other schemes,
// hostless and unparsable text do not.
TEST(SearchResultRow, TargetIsTheWebAddressFeedsWrite)
{
    struct Case {
        std::optional<QString> url;
        std::optional<QString> target;
    };
    const QList<Case> cases = {
        {QStringLiteral("https://example.com/a"), QStringLiteral("https://example.com/a")},
        {QStringLiteral("HTTP://Example.com/x"), QStringLiteral("http://example.com/x")},
        {QStringLiteral("https://example.com/a b|c"), QStringLiteral("https://example.com/a%20b%7Cc")},
        {QStringLiteral("https://example.com/{id}?q=a|b"), QStringLiteral("https://example.com/%7Bid%7D?q=a%7Cb")},
        {QStringLiteral("ftp://example.com/b"), std::nullopt},
        {QStringLiteral("https:///b"), std::nullopt},
        {QStringLiteral("https:news"), std::nullopt},
        {QStringLiteral("not a link"), std::nullopt},
        {QString(), std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        FeedItem headline;
        headline.stableId = QStringLiteral("a");
        headline.title = QStringLiteral("A");
        headline.url = c.url;
        const std::optional<QUrl> target = SearchResultRow::targetURL(headline);
        const QString none = QStringLiteral("<none>");
        EXPECT_EQ((target ? target->toString(QUrl::FullyEncoded) : none).toStdString(),
                  c.target.value_or(none).toStdString())
            << c.url.value_or(none).toStdString();
    }
}
