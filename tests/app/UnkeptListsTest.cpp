// Every owner of a stored list, editing a list that held a record it could
// not read while the settings folder refuses new files: the stored list
// cannot be kept aside, so the save fails and says so, and the file stays as
// it was. The edit is not lost: once the folder takes files again, the next
// try (or the save on the way out) keeps the stored list aside and then
// writes the edit.
#include "app/PendingWork.h"
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/FrontAppMonitor.h"
#include "platform/x11/HiddenAppsController.h"
#include "platform/session/SecretStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/StripConfig.h"

#include "FakeTime.h"
#include "ReadOnlyFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class NoFrontApp final : public FrontAppMonitor {
public:
    std::optional<QString> frontApp() const override { return QString(); }
    QList<RunningApp> runningApps() const override { return {}; }
};

QJsonValue json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().first();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Owner {
    const char* name;
    QString key;
    QJsonValue stored;  // with one record its owner cannot read
    // Makes one edit through the owner.
    std::function<void(Defaults&, FakeTime&)> edit;
    // What the owner reads from the settings, after the edit.
    std::function<QString(Defaults&, FakeTime&)> reads;
    QString edited;
};

MemorySecretStore& secrets()
{
    static MemorySecretStore* store = new MemorySecretStore;
    return *store;
}

const Owner kOwners[] = {
    {"personal feeds", PersonalFeedStore::kFeedsKey,
     json(R"([{"id":"pf-a","url":"https://a.example/feed","title":"A","isEnabled":true,"addedAt":"2026-02-02T08:00:00Z","itemCount":3},{"id":5}])"),
     [](Defaults& d, FakeTime& time) { PersonalFeedStore(d, time, time).setEnabled(QStringLiteral("pf-a"), false); },
     [](Defaults& d, FakeTime& time) {
         const PersonalFeedStore store(d, time, time);
         QStringList feeds;
         for (const PersonalFeed& feed : store.feeds())
             feeds.append(feed.id + (feed.isEnabled ? QStringLiteral(":on") : QStringLiteral(":off")));
         return feeds.join(u',');
     },
     QStringLiteral("pf-a:off")},
    {"watchlist", QStringLiteral("marketsWatchlist.v1"),
     json(R"([{"symbol":"AAPL","kind":"stock","name":"Apple"},{"symbol":"X","kind":"bond","name":"X"}])"),
     [](Defaults& d, FakeTime& time) { MarketsStore(d, secrets(), time, time).setHolding(QStringLiteral("AAPL"), 2, 150); },
     [](Defaults& d, FakeTime& time) {
         const MarketsStore store(d, secrets(), time, time);
         QStringList entries;
         for (const WatchSymbol& w : store.watchlist())
             entries.append(w.symbol + u':' + QString::number(w.units.value_or(0)));
         return entries.join(u',');
     },
     QStringLiteral("AAPL:2")},
    {"muted phrases", FilterStore::MutedKey, json(R"(["rumour", 17])"),
     [](Defaults& d, FakeTime&) { FilterStore(d).mute(QStringLiteral("Celebrity")); },
     [](Defaults& d, FakeTime&) { return FilterStore(d).muted().join(u','); }, QStringLiteral("rumour,Celebrity")},
    {"read history", ReadStore::StorageKey, json(R"(["a1", {"id": "a2"}])"),
     [](Defaults& d, FakeTime&) { ReadStore(d).markRead(QStringLiteral("a9")); },
     [](Defaults& d, FakeTime&) { return ReadStore(d).order().join(u','); }, QStringLiteral("a1,a9")},
    {"hidden applications", QStringLiteral("hiddenForBundleIDs"), json(R"(["vlc", 3])"),
     [](Defaults& d, FakeTime&) {
         NoFrontApp front;
         HiddenAppsController(d, front).add(QStringLiteral("zoom"));
     },
     [](Defaults& d, FakeTime&) {
         NoFrontApp front;
         return HiddenAppsController(d, front).bundleIDs().join(u',');
     },
     QStringLiteral("vlc,zoom")},
    {"stacked strip", StripConfig::stripsKey,
     QJsonValue(QStringLiteral(R"([{"mix":"latest","speed":1,"size":2,"background":"Black"},7])")),
     [](Defaults& d, FakeTime&) {
         StripConfig strip = StripConfig::load(d).first();
         strip.mix = QStringLiteral("markets");
         StripConfig::save({strip}, d);
     },
     [](Defaults& d, FakeTime&) { return StripConfig::load(d).first().mix; }, QStringLiteral("markets")},
};

enum class Recovery { NextTry, Quit };

TEST(UnkeptLists, AnEditOverAListThatCannotBeKeptAsideFailsItsSaveAndIsWrittenOnceItCanBe)
{
    for (const Owner& owner : kOwners) {
        for (const Recovery recovery : {Recovery::NextTry, Recovery::Quit}) {
            SCOPED_TRACE(std::string(owner.name) + (recovery == Recovery::NextTry ? ", next try" : ", at quit"));
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("defaults.json"));
            FakeTime time;
            {
                auto first = Defaults::openFile(path);
                first->set(owner.key, owner.stored);
                first->set(QStringLiteral("tickerSize"), 4);
                ASSERT_TRUE(first->flush());
            }
            const QByteArray before = readFile(path);
            const auto asides = [&] {
                return QDir(dir.path()).entryList({owner.key + QStringLiteral(".unreadable-*")}, QDir::Files);
            };

            auto defaults = Defaults::openFile(path, {}, time);
            {
                ReadOnlyFolder readOnly(dir.path());
                ASSERT_TRUE(readOnly.isReadOnly());
                owner.edit(*defaults, time);
                EXPECT_FALSE(defaults->flush()) << "a save that could not keep the stored list aside failed";
                EXPECT_EQ(defaults->saveProblem(),
                          QStringLiteral("Tidewire can't write its settings file %1 (Permission denied).").arg(path));
                EXPECT_EQ(owner.reads(*defaults, time), owner.edited) << "kept for this run";
                EXPECT_EQ(readFile(path), before);
                EXPECT_TRUE(asides().isEmpty());
            }
            if (recovery == Recovery::NextTry)
                time.advance(std::chrono::minutes(1));
            else
                finishPendingWork(*defaults, secrets(), {}, std::chrono::milliseconds(0));
            EXPECT_TRUE(defaults->saveProblem().isEmpty());

            auto next = Defaults::openFile(path);
            EXPECT_EQ(owner.reads(*next, time), owner.edited);
            EXPECT_EQ(next->intValue(QStringLiteral("tickerSize"), 0), 4);
            const QStringList kept = asides();
            ASSERT_EQ(kept.size(), 1);
            EXPECT_EQ(QJsonDocument::fromJson(readFile(dir.filePath(kept.first()))).object(),
                      (QJsonObject{{owner.key, owner.stored}}));
        }
    }
}

} // namespace
