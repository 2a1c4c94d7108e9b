#include "store/ItemComposition.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using namespace ItemComposition;

// "c1@10" is an item "c1" published at minute 10; "c1" alone is undated.
FeedItem item(const QString& pattern)
{
    FeedItem it;
    const QStringList parts = pattern.split(QLatin1Char('@'));
    it.stableId = parts.at(0);
    it.title = QStringLiteral("Title ") + parts.at(0);
    if (parts.size() > 1)
        it.publishedAt = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * parts.at(1).toInt());
    return it;
}

QList<FeedItem> items(const QString& patterns)
{
    QList<FeedItem> out;
    for (const QString& s : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out.append(item(s));
    return out;
}

QString ids(const QList<FeedItem>& list)
{
    QStringList out;
    for (const auto& it : list)
        out.append(it.stableId);
    return out.join(QLatin1Char(' '));
}

struct MergeCase {
    const char* name;
    const char* curated;
    const char* personal;
    const char* expected;
};

void PrintTo(const MergeCase& c, std::ostream* os)
{
    *os << c.name;
}

class MergeByDate : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeByDate, OrdersOnePass)
{
    const MergeCase& c = GetParam();
    EXPECT_EQ(ids(mergeByDate(items(QString::fromUtf8(c.curated)), items(QString::fromUtf8(c.personal)))),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, MergeByDate, ::testing::Values(
    MergeCase{"no personal keeps curated order whatever the dates", "c1@1 c2@9 c3@5", "", "c1 c2 c3"},
    MergeCase{"no curated keeps personal order", "", "p1@1 p2@9", "p1 p2"},
    MergeCase{"newest first", "c1@9 c2@5 c3@1", "p1@7 p2@3", "c1 p1 c2 p2 c3"},
    MergeCase{"ties go to curated", "c1@5", "p1@5", "c1 p1"},
    MergeCase{"undated curated waits for every dated personal", "c1 c2@9", "p1@1 p2@0", "p1 p2 c1 c2"},
    MergeCase{"undated personal sorts after dated curated", "c1@1 c2@0", "p1 p2@9", "c1 c2 p1 p2"},
    MergeCase{"both undated: curated first", "c1", "p1", "c1 p1"},
    MergeCase{"item in both lists is taken twice", "x@5", "x@5", "x x"},
    MergeCase{"curated remainder appended", "c1@9 c2@8 c3@7", "p1@10", "p1 c1 c2 c3"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

struct BlendCase {
    const char* name;
    const char* music;
    const char* feeds;
    const char* expected;
};

void PrintTo(const BlendCase& c, std::ostream* os)
{
    *os << c.name;
}

class BlendMusic : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendMusic, PatternIsOneMusicTwoFeeds)
{
    const BlendCase& c = GetParam();
    EXPECT_EQ(ids(blendMusic(items(QString::fromUtf8(c.music)), items(QString::fromUtf8(c.feeds)))),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, BlendMusic, ::testing::Values(
    BlendCase{"two music five feeds", "m1 m2", "f1 f2 f3 f4 f5", "m1 f1 f2 m2 f3 f4 f5"},
    BlendCase{"feeds run out", "m1 m2 m3 m4", "f1 f2 f3", "m1 f1 f2 m2 f3 m3 m4"},
    BlendCase{"no feeds", "m1 m2", "", "m1 m2"},
    BlendCase{"no music", "", "f1 f2", "f1 f2"},
    BlendCase{"odd feed count", "m1", "f1", "m1 f1"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(MergeAndBlend, EqualsBlendingTheMergedList)
{
    const struct {
        const char* curated;
        const char* personal;
        const char* music;
    } cases[] = {
        {"c1@9 c2@5 c3@1", "p1@7 p2", "m1 m2"},
        {"", "p1@7 p2@1", "m1"},
        {"c1@3", "", "m1 m2 m3"},
        {"", "", "m1 m2"},
        {"c1@3 c2@2", "p1@4", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.curated);
        const auto curated = items(QString::fromUtf8(c.curated));
        const auto personal = items(QString::fromUtf8(c.personal));
        const auto music = items(QString::fromUtf8(c.music));
        EXPECT_EQ(ids(mergeAndBlend(curated, personal, music)), ids(blendMusic(music, mergeByDate(curated, personal))));
    }
}

TEST(InterleaveBundles, QuotasThreeTwoOneWithoutDuplicates)
{
    struct Case {
        const char* name;
        QList<const char*> bundles;
        const char* expected;
    };
    const Case cases[] = {
        {"single bundle keeps its order", {"a1 a2 a3 a4 a5"}, "a1 a2 a3 a4 a5"},
        {"single bundle drops repeats", {"a1 a2 a1 a3"}, "a1 a2 a3"},
        {"three artists", {"a1 a2 a3 a4 a5 a6 a7", "b1 b2 b3 b4", "c1 c2 c3"},
         "a1 a2 a3 b1 b2 c1 a4 a5 a6 b3 b4 c2 a7 c3"},
        {"shared item taken where first visited", {"a1 s a2 a3", "s b1 b2"},
         "a1 s a2 b1 b2 a3"},
        {"a skipped duplicate does not count towards the quota", {"a1 a2 a3 a4", "a1 a2 b1 b2 b3"},
         "a1 a2 a3 b1 b2 a4 b3"},
        {"fourth position still gets one", {"a1", "b1", "c1 c2", "d1 d2"}, "a1 b1 c1 d1 c2 d2"},
        {"empty lists", {"", ""}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<QList<FeedItem>> bundles;
        for (const char* b : c.bundles)
            bundles.append(items(QString::fromUtf8(b)));
        EXPECT_EQ(ids(interleaveBundles(bundles)), QString::fromUtf8(c.expected));
    }
}

TEST(InterleaveRoundRobin, OneFromEachListPerPassFirstOccurrenceWins)
{
    QList<QList<FeedItem>> lists{items(QStringLiteral("a1 a2 a3")), items(QString()),
                                 items(QStringLiteral("b1 a1")), items(QStringLiteral("c1"))};
    EXPECT_EQ(ids(interleaveRoundRobin(lists)), QStringLiteral("a1 b1 c1 a2 a3"));
    EXPECT_TRUE(interleaveRoundRobin({}).isEmpty());
}

TEST(SameContent, EveryFieldCounts)
{
    const FeedItem base = item(QStringLiteral("x@5"));
    EXPECT_TRUE(sameContent(base, base));
    FeedItem retitled = base;
    retitled.title = QStringLiteral("Other");
    EXPECT_TRUE(retitled == base);  // identity equality
    EXPECT_FALSE(sameContent(retitled, base));
    FeedItem sourced = base;
    sourced.source = FeedSource{QStringLiteral("f"), {}, {}, {}, {}, {}, {}};
    EXPECT_FALSE(sameContent(sourced, base));
    FeedItem undated = base;
    undated.publishedAt.reset();
    EXPECT_FALSE(sameContent(undated, base));
    EXPECT_FALSE(sameContent(QList<FeedItem>{base}, QList<FeedItem>{base, base}));
}

} // namespace
