#include "store/ItemComposition.h"
#include "platform/Defaults.h"
#include "store/FeedSelection.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "store/ArtworkLookup.h"

#include "Await.h"
#include "LoopbackServer.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

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

// Cases: name, first list, second list, expected order.
using OrderCase = std::tuple<const char*, const char*, const char*, const char*>;

TEST(MergeByDate, OrdersOnePass)
{
    const OrderCase cases[] = {
        {"no personal keeps curated order whatever the dates", "c1@1 c2@9 c3@5", "", "c1 c2 c3"},
        {"no curated keeps personal order", "", "p1@1 p2@9", "p1 p2"},
        {"newest first", "c1@9 c2@5 c3@1", "p1@7 p2@3", "c1 p1 c2 p2 c3"},
        {"ties go to curated", "c1@5", "p1@5", "c1 p1"},
        {"undated curated waits for every dated personal", "c1 c2@9", "p1@1 p2@0", "p1 p2 c1 c2"},
        {"undated personal sorts after dated curated", "c1@1 c2@0", "p1 p2@9", "c1 c2 p1 p2"},
        {"both undated: curated first", "c1", "p1", "c1 p1"},
        {"item in both lists is taken twice", "x@5", "x@5", "x x"},
        {"curated remainder appended", "c1@9 c2@8 c3@7", "p1@10", "p1 c1 c2 c3"},
    };
    for (const auto& [name, curated, personal, expected] : cases)
        EXPECT_EQ(ids(mergeByDate(items(S(curated)), items(S(personal)))), S(expected)) << name;
}

TEST(BlendMusic, PatternIsOneMusicTwoFeeds)
{
    const OrderCase cases[] = {
        {"two music five feeds", "m1 m2", "f1 f2 f3 f4 f5", "m1 f1 f2 m2 f3 f4 f5"},
        {"feeds run out", "m1 m2 m3 m4", "f1 f2 f3", "m1 f1 f2 m2 f3 m3 m4"},
        {"no feeds", "m1 m2", "", "m1 m2"},
        {"no music", "", "f1 f2", "f1 f2"},
        {"odd feed count", "m1", "f1", "m1 f1"},
    };
    for (const auto& [name, music, feeds, expected] : cases)
        EXPECT_EQ(ids(blendMusic(items(S(music)), items(S(feeds)))), S(expected)) << name;
}

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

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults = open();

    std::unique_ptr<Defaults> open() { return Defaults::openFile(dir.path() + S("/defaults.json")); }
    // Writes the current settings and opens them again, as after a restart.
    void restart()
    {
        ASSERT_TRUE(defaults->flush());
        defaults = open();
    }
};

using ReadStoreTest = SettingsFileTest;

TEST_F(ReadStoreTest, MarkingRecordsOncePersistsAndPublishes)
{
    ReadStore store(*defaults);
    QSignalSpy revisions(&store, &ReadStore::revisionChanged);
    store.markRead(S("a"));
    store.markRead(S("b"));
    store.markRead(S("a"));  // already read: nothing
    store.markRead(QString());  // empty: nothing
    EXPECT_EQ(store.order(), (QStringList{S("a"), S("b")}));
    EXPECT_TRUE(store.isRead(S("a")));
    EXPECT_FALSE(store.isRead(S("c")));
    EXPECT_EQ(store.revision(), 2);
    EXPECT_EQ(revisions.count(), 2);

    restart();
    ReadStore again(*defaults);
    EXPECT_EQ(again.order(), (QStringList{S("a"), S("b")}));
    EXPECT_EQ(again.revision(), 0);
}

TEST_F(ReadStoreTest, RepeatedIdDoesNotRewriteTheSettings)
{
    ReadStore store(*defaults);
    store.markRead(S("a"));
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    defaults->set(ReadStore::StorageKey, QStringList{S("sentinel")});
    writes.clear();
    store.markRead(S("a"));
    EXPECT_EQ(writes.count(), 0);
    EXPECT_EQ(defaults->stringList(ReadStore::StorageKey), QStringList{S("sentinel")});
}

TEST_F(ReadStoreTest, CapDropsTheOldestIds)
{
    struct Case {
        const char* name;
        qsizetype stored;
        qsizetype expectedAfterMark;
    };
    const Case cases[] = {
        {"below the cap grows", 4998, 4999},
        {"at the cap drops one", 5000, 5000},
        {"longer history is cut on the next mark", 5200, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList stored;
        for (qsizetype i = 0; i < c.stored; ++i)
            stored.append(S("id-%1").arg(i));
        defaults->set(ReadStore::StorageKey, stored);
        ReadStore store(*defaults);
        EXPECT_EQ(store.order().size(), c.stored);  // loads whole
        store.markRead(S("new"));
        ASSERT_EQ(store.order().size(), c.expectedAfterMark);
        EXPECT_EQ(store.ids().size(), c.expectedAfterMark);
        EXPECT_EQ(store.order().last(), S("new"));
        const qsizetype dropped = c.stored + 1 - c.expectedAfterMark;
        for (qsizetype i = 0; i < dropped; ++i)
            EXPECT_FALSE(store.isRead(S("id-%1").arg(i)));
        EXPECT_TRUE(store.isRead(S("id-%1").arg(dropped)));
        EXPECT_EQ(store.order().first(), S("id-%1").arg(dropped));
        EXPECT_EQ(defaults->stringList(ReadStore::StorageKey), store.order());
    }
}

TEST_F(ReadStoreTest, UnusualStoredHistories)
{
    defaults->set(ReadStore::StorageKey, QJsonValue(S("a,b")));
    EXPECT_TRUE(ReadStore(*defaults).order().isEmpty()) << "a wrong stored type reads as empty";
    defaults->set(ReadStore::StorageKey, QStringList{S("a"), S("b"), S("a"), S("c"), S("b")});
    const ReadStore deduplicated(*defaults);
    EXPECT_EQ(deduplicated.order(), (QStringList{S("a"), S("b"), S("c")}));
    EXPECT_EQ(deduplicated.ids().size(), 3);

    // 5000 entries of which "dup" appears twice: after one new mark the
    // oldest entry goes, and the history and the read set must still agree.
    QStringList stored{S("dup")};
    for (int i = 0; i < 4998; ++i)
        stored.append(S("id-%1").arg(i));
    stored.append(S("dup"));
    defaults->set(ReadStore::StorageKey, stored);
    ReadStore store(*defaults);
    store.markRead(S("new"));
    EXPECT_EQ(store.ids().size(), store.order().size());
    EXPECT_EQ(store.order().contains(S("dup")), store.isRead(S("dup")));
}

TEST_F(ReadStoreTest, ClearForgetsAndPublishesOnlyWhenThereWasHistory)
{
    ReadStore store(*defaults);
    store.clear();
    EXPECT_EQ(store.revision(), 0);
    store.markRead(S("a"));
    store.clear();
    EXPECT_EQ(store.revision(), 2);
    EXPECT_FALSE(store.isRead(S("a")));
    EXPECT_TRUE(defaults->contains(ReadStore::StorageKey));
    EXPECT_TRUE(defaults->stringList(ReadStore::StorageKey, {S("x")}).isEmpty());
}

using FilterStoreTest = SettingsFileTest;

TEST_F(FilterStoreTest, AddingPhrasesTrimsDeduplicatesAndMovesBetweenLists)
{
    struct Step {
        enum { Mute, Follow } action;
        const char* phrase;
        QStringList muted;
        QStringList followed;
    };
    const Step steps[] = {
        {Step::Mute, "  Apple\n", {S("Apple")}, {}},
        {Step::Mute, "apple", {S("Apple")}, {}},
        {Step::Mute, "   \n\t", {S("Apple")}, {}},
        {Step::Mute, "Pear", {S("Apple"), S("Pear")}, {}},
        {Step::Follow, "APPLE", {S("Pear")}, {S("APPLE")}},
        {Step::Follow, "apple ", {S("Pear")}, {S("APPLE")}},
        {Step::Mute, "Ápple", {S("Pear"), S("Ápple")}, {S("APPLE")}},  // diacritics are not folded
        {Step::Mute, "apple", {S("Pear"), S("Ápple"), S("apple")}, {}},
    };
    FilterStore store(*defaults);
    int index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(index++);
        if (s.action == Step::Mute)
            store.mute(S(s.phrase));
        else
            store.follow(S(s.phrase));
        EXPECT_EQ(store.muted(), s.muted);
        EXPECT_EQ(store.followed(), s.followed);
        EXPECT_EQ(defaults->stringList(FilterStore::MutedKey), s.muted);
        EXPECT_EQ(defaults->stringList(FilterStore::FollowedKey), s.followed);
    }
}

TEST_F(FilterStoreTest, MembershipIgnoresCaseButNotSurroundingSpace)
{
    FilterStore store(*defaults);
    store.mute(S("Rust Lang"));
    store.follow(S("Qt"));
    EXPECT_TRUE(store.isMuted(S("rust lang")));
    EXPECT_TRUE(store.isMuted(S("RUST LANG")));
    EXPECT_FALSE(store.isMuted(S(" rust lang")));
    EXPECT_FALSE(store.isMuted(S("Qt")));
    EXPECT_TRUE(store.isFollowed(S("qt")));
    store.mute(S("ÉCOLE"));
    store.mute(S("alpha"));
    EXPECT_EQ(store.mutedLowercased(), (QStringList{S("rust lang"), S("école"), S("alpha")})) << "in order";
}

TEST_F(FilterStoreTest, RepeatedPhraseChangesNothingAndWritesNothing)
{
    FilterStore store(*defaults);
    store.mute(S("Apple"));
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    QSignalSpy mutedSpy(&store, &FilterStore::mutedChanged);
    store.mute(S("APPLE"));
    EXPECT_EQ(writes.count(), 0);
    EXPECT_EQ(mutedSpy.count(), 0);
}

TEST_F(FilterStoreTest, ListsSurviveARestartAndLoadAsStored)
{
    {
        FilterStore store(*defaults);
        store.mute(S("Apple"));
        store.follow(S("Qt"));
        // A direct removal by a caller, then save.
        store.setMuted({});
        store.save();
        store.mute(S("Pear"));
    }
    restart();
    FilterStore store(*defaults);
    EXPECT_EQ(store.muted(), QStringList{S("Pear")});
    EXPECT_EQ(store.followed(), QStringList{S("Qt")});

    // Stored lists are not normalised at load; a wrongly typed one is empty.
    defaults->set(FilterStore::MutedKey, QStringList{S(" Spaced "), S("spaced")});
    defaults->set(FilterStore::FollowedKey, QJsonValue(42));
    FilterStore raw(*defaults);
    EXPECT_EQ(raw.muted(), (QStringList{S(" Spaced "), S("spaced")}));
    EXPECT_TRUE(raw.followed().isEmpty());
}

TEST(ArtworkLookup, ReadsTheFirstResultWidenedTo600)
{
    struct Case {
        const char* name;
        const char* body;
        const char* expected;  // nullptr: nothing
    };
    const Case cases[] = {
        {"first result", R"({"results":[{"artworkUrl100":"https://a.example/x/100x100bb.jpg"},{"artworkUrl100":"https://b"}]})",
         "https://a.example/x/600x600bb.jpg"},
        {"every occurrence replaced", R"({"results":[{"artworkUrl100":"https://h/100x100/100x100.jpg"}]})",
         "https://h/600x600/600x600.jpg"},
        {"no results", R"({"results":[]})", nullptr},
        {"results not an array", R"({"results":{}})", nullptr},
        {"missing artwork key", R"({"results":[{"trackName":"x"}]})", nullptr},
        {"artwork not a string", R"({"results":[{"artworkUrl100":5}]})", nullptr},
        {"not JSON", "<html>", nullptr},
        {"top level array", "[]", nullptr},
        {"not an address", R"({"results":[{"artworkUrl100":"no scheme here"}]})", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto url = ArtworkLookup::artworkFromReply(QByteArray(c.body));
        if (c.expected)
            EXPECT_EQ(url, QUrl(QString::fromUtf8(c.expected)));
        else
            EXPECT_FALSE(url.has_value());
    }
}

TEST(ArtworkLookup, AsksTheSearchServiceForOneSong)
{
    LoopbackServer server;
    server.route(QStringLiteral("/search"),
                 LoopbackServer::Response::json(R"({"results":[{"artworkUrl100":"http://img/100x100.png"}]})", 404));
    QNetworkAccessManager network;
    const auto url = awaitTask(ArtworkLookup::lookUp(&network, server.baseUrl(), QStringLiteral("AC/DC & Co"),
                                                     QStringLiteral("T.N.T."), {}));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(*url, QUrl(QStringLiteral("http://img/600x600.png")));  // the status is not consulted
    ASSERT_EQ(server.requestCount(QStringLiteral("/search")), 1);
    const auto request = server.requestsFor(QStringLiteral("/search")).first();
    EXPECT_EQ(request.query.queryItemValue(QStringLiteral("term"), QUrl::FullyDecoded), QStringLiteral("AC/DC & Co T.N.T."));
    EXPECT_EQ(request.query.queryItemValue(QStringLiteral("entity")), QStringLiteral("song"));
    EXPECT_EQ(request.query.queryItemValue(QStringLiteral("limit")), QStringLiteral("1"));
}

TEST(ArtworkLookup, TransportFailureGivesNothing)
{
    QNetworkAccessManager network;
    LoopbackServer server;
    const QUrl base = server.baseUrl();
    server.stop();
    const auto url = awaitTask(ArtworkLookup::lookUp(&network, base, QStringLiteral("a"), QStringLiteral("b"), {}));
    ASSERT_TRUE(url.has_value());
    EXPECT_FALSE(url->has_value());
}

} // namespace
