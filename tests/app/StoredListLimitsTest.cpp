// Stored lists longer than their owners keep, written into the settings file
// by hand or by another program: each store reads its list only up to its
// limit (the feeds' 20, the watchlist's 10, the newest 5000 read headlines,
// the phrase and application caps), logs what it left out, keeps the whole
// stored list aside (as past the limit) before its first save replaces it,
// and what it saves it reads back the same. The window showing a list that
// was cut says how many records it left out and where they are kept.
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/FrontAppMonitor.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/session/SecretStore.h"
#include "settings/FiltersTab.h"
#include "settings/GeneralTab.h"
#include "settings/ListCutNotice.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/WatchlistEditor.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"

#include "FakeTime.h"
#include "LogCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>

namespace {

class NoFront final : public FrontAppMonitor {
public:
    std::optional<QString> frontApp() const override { return QString(); }
    QList<RunningApp> runningApps() const override { return {}; }
};

// What one store reads of the settings, as ids, and one edit of its list.
struct Stores {
    explicit Stores(Defaults& defaults) : defaults(defaults) {}
    Defaults& defaults;
    FakeTime time;
    MemorySecretStore secrets;
    NoFront front;
};

QStringList idsOf(const QList<PersonalFeed>& feeds)
{
    QStringList ids;
    for (const PersonalFeed& feed : feeds)
        ids.append(feed.id);
    return ids;
}

QStringList idsOf(const QList<WatchSymbol>& watchlist)
{
    QStringList ids;
    for (const WatchSymbol& entry : watchlist)
        ids.append(entry.symbol);
    return ids;
}

struct LimitCase {
    const char* name;
    QString key;
    qsizetype stored;
    qsizetype limit;
    bool keepsNewest;  // the last records of the stored list, else the first
    std::function<QJsonValue(qsizetype i)> record;
    std::function<QString(qsizetype i)> id;
    // Builds the store over the settings and returns the ids it holds;
    // with `edit`, makes one change that saves its list first.
    std::function<QStringList(Stores&, bool edit)> run;
};

void PrintTo(const LimitCase& c, std::ostream* out)
{
    *out << c.name;
}

const LimitCase kCases[] = {
    {"personal feeds", PersonalFeedStore::kFeedsKey, 300, PersonalFeedStore::kMaxFeeds, false,
     [](qsizetype i) -> QJsonValue {
         return QJsonObject{{"id", QString("pf-%1").arg(i)},
                            {"url", QString("https://feeds.example/%1").arg(i)},
                            {"title", QString("Feed %1").arg(i)},
                            {"isEnabled", true},
                            {"addedAt", "2026-02-02T08:00:00Z"},
                            {"itemCount", 0}};
     },
     [](qsizetype i) { return QString("pf-%1").arg(i); },
     [](Stores& s, bool edit) {
         PersonalFeedStore store(s.defaults, s.time, s.time);
         if (edit)
             store.setEnabled("pf-0", false);
         return idsOf(store.feeds());
     }},
    {"watchlist", MarketsStore::kWatchlistKey, 15, MarketsStore::kWatchlistLimit, false,
     [](qsizetype i) -> QJsonValue {
         return QJsonObject{{"symbol", QString("S%1").arg(i)}, {"kind", "stock"}, {"name", QString("Stock %1").arg(i)}};
     },
     [](qsizetype i) { return QString("S%1").arg(i); },
     [](Stores& s, bool edit) {
         MarketsStore store(s.defaults, s.secrets, s.time, s.time);
         if (edit)
             store.setHolding("S0", 2, 150);
         return idsOf(store.watchlist());
     }},
    {"read history", ReadStore::StorageKey, 5200, ReadStore::Capacity, true,
     [](qsizetype i) -> QJsonValue { return QString("id-%1").arg(i); }, [](qsizetype i) { return QString("id-%1").arg(i); },
     [](Stores& s, bool edit) {
         ReadStore store(s.defaults);
         if (edit)
             store.markRead("id-new");
         return store.order();
     }},
    {"muted phrases", FilterStore::MutedKey, 250, FilterStore::kMaxPhrases, false,
     [](qsizetype i) -> QJsonValue { return QString("muted %1").arg(i); },
     [](qsizetype i) { return QString("muted %1").arg(i); },
     [](Stores& s, bool edit) {
         FilterStore store(s.defaults);
         if (edit)
             store.follow("a followed phrase");
         return store.muted();
     }},
    {"followed phrases", FilterStore::FollowedKey, 250, FilterStore::kMaxPhrases, false,
     [](qsizetype i) -> QJsonValue { return QString("followed %1").arg(i); },
     [](qsizetype i) { return QString("followed %1").arg(i); },
     [](Stores& s, bool edit) {
         FilterStore store(s.defaults);
         if (edit)
             store.mute("a muted phrase");
         return store.followed();
     }},
    {"hidden applications", QStringLiteral("hiddenForBundleIDs"), 1100, HiddenAppsController::kMaxApps, false,
     [](qsizetype i) -> QJsonValue { return QString("app-%1").arg(i); }, [](qsizetype i) { return QString("app-%1").arg(i); },
     [](Stores& s, bool edit) {
         HiddenAppsController store(s.defaults, s.front);
         if (edit)
             store.remove("app-1");
         return store.bundleIDs();
     }},
};

class StoredListLimits : public ::testing::TestWithParam<LimitCase> {
protected:
    QTemporaryDir dir;
    QString settingsPath = dir.filePath("defaults.json");

    QStringList asides(const QString& key) const
    {
        return QDir(dir.path()).entryList({key + ".past-limit-*"}, QDir::Files);
    }
};

TEST_P(StoredListLimits, AListPastItsLimitIsCutAsItIsReadAndKeptAsideBeforeItIsReplaced)
{
    const LimitCase& c = GetParam();
    QJsonArray stored;
    QStringList storedIds;
    for (qsizetype i = 0; i < c.stored; ++i) {
        stored.append(c.record(i));
        storedIds.append(c.id(i));
    }
    {
        QFile file(settingsPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{c.key, stored}, {"tickerSize", 4}}).toJson());
    }
    const QStringList kept = c.keepsNewest ? storedIds.mid(c.stored - c.limit) : storedIds.first(c.limit);

    QStringList saved;
    {
        auto defaults = Defaults::openFile(settingsPath);
        Stores stores(*defaults);
        {
            LogCapture log;
            EXPECT_EQ(c.run(stores, false), kept);
            EXPECT_TRUE(log.anyContains(QString("Stored %1 holds %2 records, more than the %3 it keeps; left out: %4 at its %5")
                                            .arg(c.key)
                                            .arg(c.stored)
                                            .arg(c.limit)
                                            .arg(c.stored - c.limit)
                                            .arg(c.keepsNewest ? "start" : "end")));
        }
        EXPECT_EQ(defaults->value(c.key), QJsonValue(stored)) << "reading alone changes nothing";
        EXPECT_TRUE(asides(c.key).isEmpty());

        saved = c.run(stores, true);
        ASSERT_TRUE(defaults->flush().has_value());
        EXPECT_LE(saved.size(), c.limit);
    }
    // The whole stored list, as it was, beside the settings.
    const QStringList aside = asides(c.key);
    ASSERT_EQ(aside.size(), 1);
    QFile file(dir.filePath(aside.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object(), (QJsonObject{{c.key, stored}}));

    // What was saved reads back whole, with nothing left out.
    auto defaults = Defaults::openFile(settingsPath);
    Stores stores(*defaults);
    LogCapture log;
    EXPECT_EQ(c.run(stores, false), saved);
    EXPECT_FALSE(log.anyContains("Stored " + c.key));
    EXPECT_EQ(defaults->intValue("tickerSize", 0), 4);
}

INSTANTIATE_TEST_SUITE_P(Lists, StoredListLimits, ::testing::ValuesIn(kCases), [](const auto& info) {
    return QString::fromLatin1(info.param.name).replace(' ', '_').toStdString();
});

// The feed store the Filters and General tabs are made with; pointed at a
// closed port and never started.
std::unique_ptr<FeedStore> idleFeedStore(Stores& s)
{
    return std::make_unique<FeedStore>(FeedStore::Services{s.defaults, s.time, s.time, nullptr, nullptr, {},
                                                           QUrl("http://127.0.0.1:9/"), std::nullopt, {}, "1.0"});
}

// What a window's line about its cut list says as the window opens, and
// after one edit of the list.
struct Said {
    QString opened;
    QString edited;
};

// The Filters tab's line under one of its lists, before and after the tab
// removes `phrase` from that list.
Said showFilters(Stores& s, bool muted, const QString& phrase)
{
    FilterStore filters(s.defaults);
    ReadStore reads(s.defaults);
    auto feeds = idleFeedStore(s);
    FiltersTab tab(*feeds, nullptr, &filters, &reads, &s.defaults);
    const QString opened = tab.cutNotice(muted)->text();
    tab.removeButton(muted, phrase)->click();
    return Said{opened, tab.cutNotice(muted)->text()};
}

TEST(StoredListLimitsShown, AListCutAsItWasReadSaysSoWhereItShowsAndWhereTheRestIsKept)
{
    const struct {
        const LimitCase& list;
        const char* many;
        // Builds the store and the window that shows its list, and edits
        // the list through them.
        std::function<Said(Stores&)> show;
    } cases[] = {
        {kCases[0], "feeds",
         [](Stores& s) {
             PersonalFeedStore store(s.defaults, s.time, s.time);
             PersonalFeedsSection section(nullptr, &store, &s.time);
             const QString opened = section.cutNotice()->text();
             store.setEnabled("pf-0", false);
             return Said{opened, section.cutNotice()->text()};
         }},
        {kCases[1], "symbols",
         [](Stores& s) {
             MarketsStore store(s.defaults, s.secrets, s.time, s.time);
             WatchlistEditor editor(store);
             const QString opened = editor.cutNotice()->text();
             editor.removeButton("S0")->click();
             return Said{opened, editor.cutNotice()->text()};
         }},
        {kCases[3], "muted phrases", [](Stores& s) { return showFilters(s, true, "muted 0"); }},
        {kCases[4], "followed phrases", [](Stores& s) { return showFilters(s, false, "followed 0"); }},
        {kCases[5], "applications",
         [](Stores& s) {
             HiddenAppsController hidden(s.defaults, s.front);
             auto feeds = idleFeedStore(s);
             GeneralTab tab(*feeds, nullptr, &s.defaults, &hidden);
             const QString opened = tab.hiddenCutNotice()->text();
             hidden.remove("app-1");
             return Said{opened, tab.hiddenCutNotice()->text()};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list.name);
        QTemporaryDir dir;
        const QString settingsPath = dir.filePath("defaults.json");
        QJsonArray stored;
        for (qsizetype i = 0; i < c.list.stored; ++i)
            stored.append(c.list.record(i));
        auto defaults = Defaults::openFile(settingsPath);
        defaults->set(c.list.key, stored);
        ASSERT_TRUE(defaults->flush().has_value());
        Stores stores(*defaults);
        LogCapture log;

        const Said said = c.show(stores);
        const QString leftOut = QString("%1 %2 past the limit of %3 are not shown here; they are kept in ")
                                    .arg(c.list.stored - c.list.limit)
                                    .arg(c.many)
                                    .arg(c.list.limit);
        EXPECT_EQ(said.opened, leftOut + settingsPath + ".") << "still in the settings file";
        const QStringList aside = QDir(dir.path()).entryList({c.list.key + ".*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1) << aside.join(' ').toStdString();
        EXPECT_TRUE(aside.first().startsWith(c.list.key + ".past-limit-")) << aside.first().toStdString();
        EXPECT_EQ(said.edited, leftOut + dir.filePath(aside.first()) + ".") << "in the file they were set aside in";
        EXPECT_TRUE(log.anyContains("Kept the stored " + c.list.key + " as " + dir.filePath(aside.first())
                                    + " before replacing it: it held records past the limit of its list"));
    }
}

// A list at its cap takes no more, so that what is saved is what the next
// start reads.
TEST(StoredListCaps, AListAtItsCapTakesNoMore)
{
    const struct {
        const char* name;
        QString key;
        qsizetype cap;
        std::function<QStringList(Stores&, const QString& added)> addAndRead;
    } cases[] = {
        {"muted phrases", FilterStore::MutedKey, FilterStore::kMaxPhrases,
         [](Stores& s, const QString& added) {
             FilterStore store(s.defaults);
             store.mute(added);
             return store.muted();
         }},
        {"followed phrases", FilterStore::FollowedKey, FilterStore::kMaxPhrases,
         [](Stores& s, const QString& added) {
             FilterStore store(s.defaults);
             store.follow(added);
             return store.followed();
         }},
        {"hidden applications", QStringLiteral("hiddenForBundleIDs"), HiddenAppsController::kMaxApps,
         [](Stores& s, const QString& added) {
             HiddenAppsController store(s.defaults, s.front);
             store.add(added);
             return store.bundleIDs();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QStringList full;
        for (qsizetype i = 0; i < c.cap; ++i)
            full.append(QString("entry %1").arg(i));
        {
            auto defaults = Defaults::openFile(dir.filePath("defaults.json"));
            defaults->set(c.key, full);
            Stores stores(*defaults);
            EXPECT_EQ(c.addAndRead(stores, "one more"), full);
            ASSERT_TRUE(defaults->flush().has_value());
        }
        auto defaults = Defaults::openFile(dir.filePath("defaults.json"));
        Stores stores(*defaults);
        EXPECT_EQ(c.addAndRead(stores, QString()), full) << "the next start reads what was saved";
    }
}

// Items kept for the personal feeds: only those of a listed feed, and at most
// as many per feed as a fetch takes.
TEST(StoredPersonalItems, OnlyItemsOfListedFeedsAreReadAndNoMoreThanAFetchTakesPerFeed)
{
    QTemporaryDir dir;
    QJsonArray feeds;
    for (const char* id : {"pf-a", "pf-b"})
        feeds.append(QJsonObject{{"id", id}, {"url", QString("https://%1.example/feed").arg(id)}, {"title", id},
                                 {"isEnabled", true}, {"addedAt", "2026-02-02T08:00:00Z"}, {"itemCount", 0}});
    QJsonArray items;
    const auto item = [](const QString& feed, int i) {
        return QJsonObject{{"item_id", QString("%1-%2").arg(feed).arg(i)},
                           {"title", QString("Headline %1").arg(i)},
                           {"source", QJsonObject{{"feed_id", feed}, {"title", feed}}}};
    };
    for (int i = 0; i < 30; ++i)
        items.append(item("pf-a", i));
    for (int i = 0; i < 3; ++i) {
        items.append(item("pf-b", i));
        items.append(item("pf-gone", i));
    }
    auto defaults = Defaults::openFile(dir.filePath("defaults.json"), dir.filePath("cache"));
    defaults->set(PersonalFeedStore::kFeedsKey, feeds);
    defaults->caches().set(PersonalFeedStore::kItemsKey, items);
    FakeTime time;
    PersonalFeedStore store(*defaults, time, time);
    QStringList ids;
    for (const FeedItem& kept : store.items())
        ids.append(kept.stableId);
    QStringList expected;
    for (int i = 0; i < PersonalFeedStore::kMaxItemsPerFeed; ++i)
        expected.append(QString("pf-a-%1").arg(i));
    for (int i = 0; i < 3; ++i)
        expected.append(QString("pf-b-%1").arg(i));
    EXPECT_EQ(ids.join(u','), expected.join(u','));
}

} // namespace
