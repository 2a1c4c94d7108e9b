// A settings file that another program garbled or a crash cut short: the
// stores still start, and what the user made (feeds, watchlist, phrases,
// history, other settings) is still in the file after the next save.
#include "app/StartupDecisions.h"
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"

#include "FakeTime.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace {

using Members = QList<std::pair<const char*, const char*>>;

// The user's file as the app last wrote it, one member per line.
const Members kUserFile = {
    {"personalFeeds.v1",
     R"([{"id":"pf-a","url":"https://a.example/feed","title":"A","isEnabled":true,"addedAt":"2026-02-02T08:00:00Z","itemCount":3},)"
     R"({"id":"pf-b","url":"https://b.example/atom","title":"B","isEnabled":false,"addedAt":"2026-02-03T08:00:00Z","itemCount":0}])"},
    {"marketsWatchlist.v1",
     R"([{"symbol":"AAPL","kind":"stock","name":"Apple"},{"symbol":"BTC","kind":"coin","name":"Bitcoin","coinId":"bitcoin"}])"},
    {"mutedPhrases.v1", R"(["rumour"])"},
    {"followedPhrases.v1", R"(["rates"])"},
    {"tickerSize", "4"},
    {"tickerPosition", R"("bottom")"},
    {"readItemIDs.v1", R"(["a1","a2","a3","a4"])"},
};

QByteArray fileOf(const Members& members)
{
    QByteArray text = "{\n";
    for (qsizetype i = 0; i < members.size(); ++i)
        text += "    \"" + QByteArray(members[i].first) + "\": " + members[i].second + (i + 1 < members.size() ? ",\n" : "\n");
    return text + "}\n";
}

// The user's file with the member under `key` written as `text` (added at
// `position` when the file has no such member).
QByteArray withMember(const char* key, const char* text, qsizetype position = 1)
{
    Members members = kUserFile;
    const auto it = std::find_if(members.begin(), members.end(), [&](const auto& m) { return qstrcmp(m.first, key) == 0; });
    if (it != members.end())
        it->second = text;
    else
        members.insert(position, {key, text});
    return fileOf(members);
}

// The user's file cut off just before `marker`, as a write stopped there.
QByteArray cutBefore(const char* marker)
{
    const QByteArray whole = fileOf(kUserFile);
    return whole.left(whole.indexOf(marker));
}

QJsonValue json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().first();
}

struct GarbledCase {
    const char* name;
    QByteArray file;
    // What the stores start with.
    QStringList feeds;
    QStringList watchlist;
    QStringList muted;
    QStringList history;
    // Members the next save must leave exactly as they are.
    QList<std::pair<const char*, QJsonValue>> kept;
    // A member the next save replaced, found beside the settings as it was.
    std::optional<std::pair<const char*, QJsonValue>> keptAside = std::nullopt;
};

void PrintTo(const GarbledCase& c, std::ostream* out)
{
    *out << c.name;
}

// Lists and JSON as text, for readable failures.
std::string text(const QStringList& list)
{
    return list.join(u',').toStdString();
}

std::string text(const QJsonValue& value)
{
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

const QStringList kFeeds{"pf-a", "pf-b"};
const QStringList kWatchlist{"AAPL", "BTC"};
const QStringList kHistory{"a1", "a2", "a3", "a4"};

const GarbledCase kCases[] = {
    {"a value of the wrong type", withMember("scrollSpeed", R"("fast")"), kFeeds, kWatchlist, {"rumour"}, kHistory,
     {{"scrollSpeed", "fast"}, {"tickerSize", 4}, {"tickerPosition", "bottom"}, {"followedPhrases.v1", json(R"(["rates"])")}}},
    {"a garbled entry", withMember("scrollSpeed", "1.0x"), kFeeds, kWatchlist, {"rumour"}, kHistory,
     {{"tickerSize", 4}, {"tickerPosition", "bottom"}, {"followedPhrases.v1", json(R"(["rates"])")}}},
    {"a garbled entry with brackets", withMember("tickerOpacity", R"({"a": [1, 2}, "b": ])", 3), kFeeds, kWatchlist,
     {"rumour"}, kHistory, {{"tickerSize", 4}, {"followedPhrases.v1", json(R"(["rates"])")}}},
    {"cut off inside the last value", cutBefore("\"a3\""), kFeeds, kWatchlist, {"rumour"}, {"a1", "a2"},
     {{"tickerSize", 4}, {"tickerPosition", "bottom"}, {"followedPhrases.v1", json(R"(["rates"])")}}},
    {"cut off inside a key", cutBefore("ickerPosition"), kFeeds, kWatchlist, {"rumour"}, {},
     {{"tickerSize", 4}, {"followedPhrases.v1", json(R"(["rates"])")}}},
    {"a garbled element in the other phrase list", withMember("followedPhrases.v1", R"(["rates", 42])"), kFeeds,
     kWatchlist, {"rumour"}, kHistory, {{"followedPhrases.v1", json(R"(["rates", 42])")}, {"tickerSize", 4}}},
    {"the other phrase list of another type", withMember("followedPhrases.v1", R"({"rates": true})"), kFeeds,
     kWatchlist, {"rumour"}, kHistory, {{"followedPhrases.v1", json(R"({"rates": true})")}}},
    // A slip of syntax inside one record costs that record only; the file
    // as it was is kept aside whole.
    {"an unescaped quote in one feed title",
     withMember("personalFeeds.v1",
                R"([{"id":"pf-a","url":"https://a.example/feed","title":"Feed "2" quoted","isEnabled":true,)"
                R"("addedAt":"2026-02-02T08:00:00Z","itemCount":3},)"
                R"({"id":"pf-b","url":"https://b.example/atom","title":"B","isEnabled":false,)"
                R"("addedAt":"2026-02-03T08:00:00Z","itemCount":0}])"),
     {"pf-b"}, kWatchlist, {"rumour"}, kHistory,
     {{"tickerSize", 4}, {"tickerPosition", "bottom"}, {"followedPhrases.v1", json(R"(["rates"])")}}},
    {"cut off inside the feed list", cutBefore("\"pf-b\""), {"pf-a"}, {}, {}, {}, {}},
    // An entry that cannot be read costs that entry only; the edit keeps the
    // stored list aside before it replaces it.
    {"a watchlist entry of an unknown kind",
     withMember("marketsWatchlist.v1", R"([{"symbol":"AAPL","kind":"stock","name":"Apple"},{"symbol":"X","kind":"bond","name":"X"}])"),
     kFeeds, {"AAPL"}, {"rumour"}, kHistory, {{"followedPhrases.v1", json(R"(["rates"])")}},
     std::pair("marketsWatchlist.v1", json(R"([{"symbol":"AAPL","kind":"stock","name":"Apple"},{"symbol":"X","kind":"bond","name":"X"}])"))},
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

class GarbledSettings : public ::testing::TestWithParam<GarbledCase> {
protected:
    QTemporaryDir dir;
    QString settingsPath = dir.filePath("defaults.json");
    QString cacheDir = dir.filePath("cache");
    FakeTime time;
    MemorySecretStore secrets;
};

TEST_P(GarbledSettings, StoresStartAndTheUsersDataSurvivesTheNextSave)
{
    const GarbledCase& c = GetParam();
    {
        QFile file(settingsPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.file);
    }
    {
        // Start-up, then one edit in each store.
        auto defaults = Defaults::openFile(settingsPath, cacheDir);
        StartupDecisions::moveCachesOutOfSettings(*defaults);
        StartupDecisions::takeOpenSettingsAtLaunch(*defaults);
        PersonalFeedStore personal(*defaults, time, time);
        MarketsStore markets(*defaults, secrets, time, time);
        FilterStore filters(*defaults);
        ReadStore history(*defaults);
        EXPECT_EQ(text(idsOf(personal.feeds())), text(c.feeds));
        EXPECT_EQ(text(idsOf(markets.watchlist())), text(c.watchlist));
        EXPECT_EQ(text(filters.muted()), text(c.muted));
        EXPECT_EQ(text(history.order()), text(c.history));

        personal.setEnabled("pf-b", true);
        markets.setHolding("AAPL", 2, 150);
        filters.mute("Celebrity");
        history.markRead("a9");
        ASSERT_TRUE(defaults->flush());
    }
    // The next start reads back everything the user had.
    auto defaults = Defaults::openFile(settingsPath, cacheDir);
    PersonalFeedStore personal(*defaults, time, time);
    MarketsStore markets(*defaults, secrets, time, time);
    FilterStore filters(*defaults);
    ReadStore history(*defaults);
    EXPECT_EQ(text(idsOf(personal.feeds())), text(c.feeds));
    for (const PersonalFeed& feed : personal.feeds())
        EXPECT_TRUE(feed.isEnabled) << qPrintable(feed.id);
    EXPECT_EQ(text(idsOf(markets.watchlist())), text(c.watchlist));
    for (const WatchSymbol& entry : markets.watchlist()) {
        if (entry.symbol == "AAPL") {
            EXPECT_EQ(entry.units, 2.0);
        }
    }
    EXPECT_EQ(text(filters.muted()), text(c.muted + QStringList{"Celebrity"}));
    EXPECT_EQ(text(history.order()), text(c.history + QStringList{"a9"}));
    for (const auto& [key, value] : c.kept)
        EXPECT_EQ(text(defaults->value(key)), text(value)) << key;
    EXPECT_TRUE(defaults->boolValue("hasLaunchedBefore", false));

    // Whatever could not be read is still on disk beside the settings.
    const QStringList listsAside = QDir(dir.path()).entryList({"*.unreadable-*"}, QDir::Files);
    ASSERT_EQ(listsAside.size(), c.keptAside ? 1 : 0) << text(QJsonValue(QJsonArray::fromStringList(listsAside)));
    if (c.keptAside) {
        QFile file(dir.filePath(listsAside.first()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object(), (QJsonObject{{c.keptAside->first, c.keptAside->second}}));
    }
    if (QJsonDocument::fromJson(c.file).isNull()) {
        const QStringList aside = QDir(dir.path()).entryList({"defaults.json.corrupt-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile file(dir.filePath(aside.first()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.file);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, GarbledSettings, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param.name);
                             name.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
                             return name.toStdString();
                         });

} // namespace
