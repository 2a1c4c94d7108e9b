#include "platform/Defaults.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
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

TEST_F(ReadStoreTest, DuplicateStoredIdsAreDroppedAtLoad)
{
    defaults->set(ReadStore::StorageKey, QStringList{S("a"), S("b"), S("a"), S("c"), S("b")});
    ReadStore store(*defaults);
    EXPECT_EQ(store.order(), (QStringList{S("a"), S("b"), S("c")}));
    EXPECT_EQ(store.ids().size(), store.order().size());
}

TEST_F(ReadStoreTest, DuplicatesDoNotLeaveEvictedIdsMarkedRead)
{
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

TEST_F(ReadStoreTest, WrongStoredTypeReadsAsEmpty)
{
    defaults->set(ReadStore::StorageKey, QJsonValue(S("a,b")));
    ReadStore store(*defaults);
    EXPECT_TRUE(store.order().isEmpty());
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
}

TEST_F(FilterStoreTest, LowercasedListsKeepOrder)
{
    FilterStore store(*defaults);
    store.mute(S("Zeta"));
    store.mute(S("ÉCOLE"));
    store.mute(S("alpha"));
    EXPECT_EQ(store.mutedLowercased(), (QStringList{S("zeta"), S("école"), S("alpha")}));
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

} // namespace
