#include "platform/Defaults.h"
#include "store/FeedSelection.h"

#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

TEST(FeedSelectionText, ParsesWithoutEmptyPiecesAndWritesSorted)
{
    struct Case {
        const char* text;
        QSet<QString> ids;
    };
    const Case cases[] = {
        {"", {}},
        {",", {}},
        {",b,,a,", {S("b"), S("a")}},
        {"a,a", {S("a")}},
        {" a", {S(" a")}},  // ids are not trimmed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FeedSelection::parseIds(S(c.text)), c.ids);
    }
    EXPECT_EQ(FeedSelection::joinIds({S("b"), S("a"), S("c")}), S("a,b,c"));
    EXPECT_EQ(FeedSelection::joinIds({}), QString());
}

TEST(FeedSelectionText, CuratedSetsFallBackToTheOlderKeyAndSavingDropsIt)
{
    auto d = Defaults::inMemory();
    EXPECT_TRUE(FeedSelection::loadActiveCurated(*d).isEmpty());
    d->set(FeedSelection::LegacyActiveCuratedKey, S("pulse,x"));
    EXPECT_EQ(FeedSelection::loadActiveCurated(*d), QSet<QString>{S("pulse,x")});  // not split
    d->set(FeedSelection::ActiveCuratedKey, S("tech,pulse"));
    EXPECT_EQ(FeedSelection::loadActiveCurated(*d), (QSet<QString>{S("pulse"), S("tech")}));
    d->set(FeedSelection::ActiveCuratedKey, S(""));  // present and empty wins over the older key
    EXPECT_TRUE(FeedSelection::loadActiveCurated(*d).isEmpty());

    FeedSelection::saveActiveCurated(*d, {S("b"), S("a")});
    EXPECT_EQ(d->stringValue(FeedSelection::ActiveCuratedKey), S("a,b"));
    EXPECT_FALSE(d->contains(FeedSelection::LegacyActiveCuratedKey));
    FeedSelection::saveActiveCurated(*d, {});
    EXPECT_FALSE(d->contains(FeedSelection::ActiveCuratedKey));

    FeedSelection::saveDisabled(*d, {});
    EXPECT_TRUE(d->contains(FeedSelection::DisabledKey));  // empty text, not removed
    EXPECT_EQ(d->stringValue(FeedSelection::DisabledKey, S("x")), QString());
}

} // namespace
