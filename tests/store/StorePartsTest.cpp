#include "store/ItemComposition.h"
#include "platform/storage/Defaults.h"
#include "store/FeedSelection.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "store/ArtworkLookup.h"

#include "Await.h"
#include "LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

using namespace ItemComposition;

// "c1@10" is an item "c1" published at minute 10; "c1" alone is undated.
QList<FeedItem> items(const char* patterns)
{
    QList<FeedItem> out;
    for (const QString& s : S(patterns).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        FeedItem it;
        const QStringList parts = s.split(QLatin1Char('@'));
        it.stableId = parts.at(0);
        it.title = S("Title ") + parts.at(0);
        if (parts.size() > 1)
            it.publishedAt = QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC).addSecs(60 * parts.at(1).toInt());
        out.append(it);
    }
    return out;
}

QString ids(const QList<FeedItem>& list)
{
    QStringList out;
    for (const auto& it : list)
        out.append(it.stableId);
    return out.join(QLatin1Char(' '));
}

TEST(ItemComposition, MergeByDateBlendMusicAndBoth)
{
    // {curated, personal, music, expected}: no music merges by date, no feeds blends alone.
    const std::array<const char*, 5> cases[] = {
        {"no personal keeps curated order whatever the dates", "c1@1 c2@9 c3@5", "", "", "c1 c2 c3"},
        {"no curated keeps personal order", "", "p1@1 p2@9", "", "p1 p2"},
        {"newest first", "c1@9 c2@5 c3@1", "p1@7 p2@3", "", "c1 p1 c2 p2 c3"},
        {"ties go to curated", "c1@5", "p1@5", "", "c1 p1"},
        {"undated curated waits for every dated personal", "c1 c2@9", "p1@1 p2@0", "", "p1 p2 c1 c2"},
        {"undated personal sorts after dated curated", "c1@1 c2@0", "p1 p2@9", "", "c1 c2 p1 p2"},
        {"both undated: curated first", "c1", "p1", "", "c1 p1"},
        {"item in both lists is taken twice", "x@5", "x@5", "", "x x"},
        {"curated remainder appended", "c1@9 c2@8 c3@7", "p1@10", "", "p1 c1 c2 c3"},
        {"one music two feeds", "c1@9 c2@5 c3@1", "p1@7 p2", "m1 m2", "m1 c1 p1 m2 c2 c3 p2"},
        {"feeds run out", "", "p1@7 p2@1", "m1 m2 m3 m4", "m1 p1 p2 m2 m3 m4"},
        {"one feed", "c1@3", "", "m1 m2 m3", "m1 c1 m2 m3"},
        {"music alone", "", "", "m1 m2", "m1 m2"},
    };
    for (const auto& [name, curated, personal, music, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ids(mergeAndBlend(items(curated), items(personal), items(music))), S(expected));
        EXPECT_EQ(ids(blendMusic(items(music), mergeByDate(items(curated), items(personal)))), S(expected));
    }
    EXPECT_EQ(ids(blendMusic({}, items("f1 f2"))), S("f1 f2"));
}

TEST(ItemComposition, InterleaveBundlesByQuotasThreeTwoOneAndStreamsRoundRobinWithoutDuplicates)
{
    struct Case {
        const char* name;
        QList<const char*> bundles;
        const char* expected;
    };
    const Case cases[] = {
        {"single bundle keeps its order", {"a1 a2 a3 a4 a5"}, "a1 a2 a3 a4 a5"},
        {"single bundle drops repeats", {"a1 a2 a1 a3"}, "a1 a2 a3"},
        {"three artists", {"a1 a2 a3 a4 a5 a6 a7", "b1 b2 b3 b4", "c1 c2 c3"}, "a1 a2 a3 b1 b2 c1 a4 a5 a6 b3 b4 c2 a7 c3"},
        {"shared item taken where first visited", {"a1 s a2 a3", "s b1 b2"}, "a1 s a2 b1 b2 a3"},
        {"a skipped duplicate does not count towards the quota", {"a1 a2 a3 a4", "a1 a2 b1 b2 b3"}, "a1 a2 a3 b1 b2 a4 b3"},
        {"fourth position still gets one", {"a1", "b1", "c1 c2", "d1 d2"}, "a1 b1 c1 d1 c2 d2"},
        {"empty lists", {"", ""}, ""},
    };
    for (const Case& c : cases) {
        QList<QList<FeedItem>> bundles;
        for (const char* b : c.bundles)
            bundles.append(items(b));
        EXPECT_EQ(ids(interleaveBundles(bundles)), S(c.expected)) << c.name;
    }
    EXPECT_EQ(ids(interleaveRoundRobin({items("a1 a2 a3"), items(""), items("b1 a1"), items("c1")})), S("a1 b1 c1 a2 a3"));
    EXPECT_TRUE(interleaveRoundRobin({}).isEmpty());
}

TEST(ItemComposition, SameContentComparesEveryField)
{
    const FeedItem base = items("x@5").first();
    EXPECT_TRUE(sameContent(base, base));
    FeedItem retitled = base, sourced = base, undated = base;
    retitled.title = S("Other");
    sourced.source = FeedSource{S("f"), {}, {}, {}, {}, {}, {}};
    undated.publishedAt.reset();
    EXPECT_TRUE(retitled == base);  // identity equality
    EXPECT_FALSE(sameContent(retitled, base) || sameContent(sourced, base) || sameContent(undated, base));
    EXPECT_FALSE(sameContent(QList<FeedItem>{base}, QList<FeedItem>{base, base}));
}

TEST(FeedSelectionText, ParsesWithoutEmptyPiecesWritesSortedAndCuratedSetsFallBackToTheOlderKey)
{
    // Ids are not trimmed.
    const std::pair<const char*, QSet<QString>> cases[] = {{"", {}}, {",", {}}, {",b,,a,", {S("b"), S("a")}}, {"a,a", {S("a")}}, {" a", {S(" a")}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(FeedSelection::parseIds(S(text)), expected) << text;
    EXPECT_EQ(FeedSelection::joinIds({S("b"), S("a"), S("c")}), S("a,b,c"));
    EXPECT_EQ(FeedSelection::joinIds({}), QString());

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

TEST_F(ReadStoreTest, MarkingRecordsOncePersistsPublishesAndClears)
{
    {
        ReadStore store(*defaults);
        QSignalSpy revisions(&store, &ReadStore::revisionChanged);
        store.clear();  // nothing to forget: nothing published
        for (const char* id : {"a", "b", "a", ""})  // a repeat or an empty id: nothing
            store.markRead(S(id));
        EXPECT_EQ(store.order(), (QStringList{S("a"), S("b")}));
        EXPECT_TRUE(store.isRead(S("a")) && !store.isRead(S("c")));
        EXPECT_EQ(std::tuple(store.revision(), int(revisions.count())), std::tuple(2, 2));
    }
    restart();
    ReadStore again(*defaults);
    EXPECT_EQ(again.order(), (QStringList{S("a"), S("b")}));
    EXPECT_EQ(again.revision(), 0);
    // A repeated id does not rewrite the settings.
    defaults->set(ReadStore::StorageKey, QStringList{S("sentinel")});
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    again.markRead(S("a"));
    EXPECT_EQ(writes.count(), 0);
    EXPECT_EQ(defaults->stringList(ReadStore::StorageKey), QStringList{S("sentinel")});
    again.clear();
    EXPECT_EQ(again.revision(), 1);
    EXPECT_FALSE(again.isRead(S("a")));
    EXPECT_TRUE(defaults->contains(ReadStore::StorageKey));
    EXPECT_TRUE(defaults->stringList(ReadStore::StorageKey, {S("x")}).isEmpty());
}

TEST_F(ReadStoreTest, CapDropsTheOldestIds)
{
    // {stored, after one mark}: below the cap grows, at the cap drops one, a
    // longer history is cut to its newest ids as it is read.
    for (const auto& [stored, expectedAfterMark] : {std::pair<qsizetype, qsizetype>{4998, 4999}, {5000, 5000}, {5200, 5000}}) {
        SCOPED_TRACE(stored);
        QStringList list;
        for (qsizetype i = 0; i < stored; ++i)
            list.append(S("id-%1").arg(i));
        defaults->set(ReadStore::StorageKey, list);
        ReadStore store(*defaults);
        EXPECT_EQ(store.order().size(), std::min(stored, ReadStore::Capacity));
        store.markRead(S("new"));
        ASSERT_EQ(store.order().size(), expectedAfterMark);
        EXPECT_EQ(store.ids().size(), expectedAfterMark);
        EXPECT_EQ(store.order().last(), S("new"));
        const qsizetype dropped = stored + 1 - expectedAfterMark;
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

using FilterStoreTest = SettingsFileTest;

TEST_F(FilterStoreTest, AddingPhrasesTrimsDeduplicatesAndMovesBetweenLists)
{
    struct Step {
        bool mute;
        const char* phrase;
        QStringList muted, followed;
    };
    const Step steps[] = {
        {true, "  Apple\n", {S("Apple")}, {}}, {true, "apple", {S("Apple")}, {}}, {true, "   \n\t", {S("Apple")}, {}},
        {true, "Pear", {S("Apple"), S("Pear")}, {}}, {false, "APPLE", {S("Pear")}, {S("APPLE")}}, {false, "apple ", {S("Pear")}, {S("APPLE")}},
        {true, "Ápple", {S("Pear"), S("Ápple")}, {S("APPLE")}},  // diacritics are not folded
        {true, "apple", {S("Pear"), S("Ápple"), S("apple")}, {}},
    };
    FilterStore store(*defaults);
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    int index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(index++);
        const auto before = std::tuple(writes.count(), store.muted(), store.followed());
        QSignalSpy mutedSpy(&store, &FilterStore::mutedChanged), followedSpy(&store, &FilterStore::followedChanged);
        s.mute ? store.mute(S(s.phrase)) : store.follow(S(s.phrase));
        EXPECT_EQ(store.muted(), s.muted);
        EXPECT_EQ(store.followed(), s.followed);
        EXPECT_EQ(defaults->stringList(FilterStore::MutedKey), s.muted);
        EXPECT_EQ(defaults->stringList(FilterStore::FollowedKey), s.followed);
        // Each list announces exactly its own changes; a repeat writes nothing.
        EXPECT_EQ(std::tuple(mutedSpy.count(), followedSpy.count()), std::tuple(std::get<1>(before) != s.muted, std::get<2>(before) != s.followed));
        if (std::get<1>(before) == s.muted && std::get<2>(before) == s.followed) {
            EXPECT_EQ(writes.count(), std::get<0>(before));
        }
    }
    // Membership ignores case but not surrounding space; the lowercased list keeps the order.
    EXPECT_TRUE(store.isMuted(S("PEAR")) && store.isMuted(S("ápple")) && store.isFollowed(S("apple")) == false);
    EXPECT_FALSE(store.isMuted(S(" pear")) || store.isMuted(S("Qt")));
    store.follow(S("Qt"));
    EXPECT_TRUE(store.isFollowed(S("qt")));
    store.mute(S("ÉCOLE"));
    EXPECT_EQ(store.mutedLowercased(), (QStringList{S("pear"), S("ápple"), S("apple"), S("école")}));
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

// A stored history or phrase list with entries that are not texts keeps
// every text in it; the first change keeps the stored value aside, then
// stores the list with what was kept, and later changes keep nothing more.
TEST_F(SettingsFileTest, ListsWithEntriesThatAreNoTextsKeepTheRestAndAreSetAsideOnce)
{
    const struct {
        const char* name;
        const QString& key;
        // Opens the store, adds "new" and "newer", and returns what it read.
        std::function<QStringList(Defaults&)> readThenAdd;
    } cases[] = {
        {"read history", ReadStore::StorageKey, [](Defaults& d) {
             ReadStore s(d);
             const QStringList read = s.order();
             s.markRead(S("new"));
             s.markRead(S("newer"));
             return read;
         }},
        {"muted", FilterStore::MutedKey, [](Defaults& d) {
             FilterStore s(d);
             const QStringList read = s.muted();
             s.mute(S("new"));
             s.mute(S("newer"));
             return read;
         }},
        {"followed", FilterStore::FollowedKey, [](Defaults& d) {
             FilterStore s(d);
             const QStringList read = s.followed();
             s.follow(S("new"));
             s.follow(S("newer"));
             return read;
         }},
    };
    const QJsonArray stored{S("a"), 5, QJsonObject{{S("id"), S("x")}}, S("b")};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->set(c.key, stored);
        restart();
        EXPECT_EQ(c.readThenAdd(*defaults), (QStringList{S("a"), S("b")}));
        restart();
        EXPECT_EQ(defaults->stringList(c.key), (QStringList{S("a"), S("b"), S("new"), S("newer")}));
        const QStringList aside = QDir(dir.path()).entryList({c.key + S(".unreadable-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir.filePath(aside.first()));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(kept.readAll()).object(), (QJsonObject{{c.key, stored}}));
    }
    // An edit of the other phrase list leaves a damaged one as it is.
    defaults->set(FilterStore::FollowedKey, stored);
    FilterStore(*defaults).mute(S("only muted"));
    EXPECT_EQ(defaults->value(FilterStore::FollowedKey), stored);
}

TEST(ArtworkLookup, ReadsTheFirstResultWidenedTo600)
{
    // {body, expected address or "none"}
    const std::pair<const char*, const char*> cases[] = {
        {R"({"results":[{"artworkUrl100":"https://a.example/x/100x100bb.jpg"},{"artworkUrl100":"https://b"}]})", "https://a.example/x/600x600bb.jpg"},
        {R"({"results":[{"artworkUrl100":"https://h/100x100/100x100.jpg"}]})", "https://h/600x600/600x600.jpg"},  // every occurrence
        {R"({"results":[]})", "none"}, {R"({"results":{}})", "none"}, {R"({"results":[{"trackName":"x"}]})", "none"},
        {R"({"results":[{"artworkUrl100":5}]})", "none"}, {"<html>", "none"}, {"[]", "none"},
        {R"({"results":[{"artworkUrl100":"no scheme here"}]})", "none"},
    };
    for (const auto& [body, expected] : cases) {
        const auto url = ArtworkLookup::artworkFromReply(QByteArray(body));
        EXPECT_EQ(url ? url->toString() : S("none"), S(expected)) << body;
    }
}

TEST(ArtworkLookup, AsksTheSearchServiceForOneSongAndATransportFailureGivesNothing)
{
    LoopbackServer server;
    server.route(S("/search"), LoopbackServer::Response::json(R"({"results":[{"artworkUrl100":"http://img/100x100.png"}]})", 404));
    QNetworkAccessManager network;
    const auto url = awaitTask(ArtworkLookup::lookUp(&network, server.baseUrl(), S("AC/DC & Co"), S("T.N.T."), {}));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(*url, QUrl(S("http://img/600x600.png")));  // the status is not consulted
    ASSERT_EQ(server.requestCount(S("/search")), 1);
    const QUrlQuery query = server.requestsFor(S("/search")).first().query;
    EXPECT_EQ(query.queryItemValue(S("term"), QUrl::FullyDecoded) + S("|") + query.queryItemValue(S("entity")) + S("|") + query.queryItemValue(S("limit")),
              S("AC/DC & Co T.N.T.|song|1"));

    const QUrl base = server.baseUrl();
    network.clearConnectionCache();
    server.stop();
    const auto failed = awaitTask(ArtworkLookup::lookUp(&network, base, S("a"), S("b"), {}));
    ASSERT_TRUE(failed.has_value());
    EXPECT_FALSE(failed->has_value());
}

} // namespace
