// The app's own files read as at start-up, whatever a crash, a full disk or
// another program left in them. The first byte picks what the rest is:
//   0 the settings file, read by Defaults and the stacked strip; then what every
//     start-up writes
//   1 the feed snapshot cache file
//   2 the personal items cache file, read by the personal feed store
//   3 the settings file, read by the personal feed store ("personalFeeds.v1")
//   4 the settings file, read by the markets store ("marketsWatchlist.v1")
//   5 the settings file, read by the read history ("readItemIDs.v1")
//   6 the settings file, read by the phrase lists ("mutedPhrases.v1", "followedPhrases.v1")
// Each store is built over the file the way the app builds it. What must hold:
// nothing crashes; a settings file that does not parse is kept aside byte for
// byte; a stored list that did not read whole is kept aside as it was before a
// save replaces it, and no other is; what a store saves it reads back the same
// on the next start; an edit to one value leaves every other value of the file
// as it was.
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/storage/CacheFiles.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/CachedSnapshot.h"
#include "store/FeedSelection.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/StripConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

enum class Stored : uint8_t { Settings, Snapshot, PersonalItems, PersonalFeeds, Watchlist, ReadHistory, Phrases, Count };

// Created once: the folder the files go to (on tmpfs where there is one) and
// what the stores borrow.
struct Place {
    QTemporaryDir folder;
    QString settingsPath;
    QString cacheFolder;
    QNetworkAccessManager network;
    MemorySecretStore secrets;

    explicit Place(const QString& pattern)
        : folder(pattern),
          settingsPath(folder.filePath(QStringLiteral("defaults.json"))),
          cacheFolder(folder.filePath(QStringLiteral("cache")))
    {
        QDir().mkpath(cacheFolder);
    }
};
Place* g_place = nullptr;

void require(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "StoredState: %s\n", what);
    std::abort();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
            "cannot write the input file");
}

QHash<QString, QJsonValue> valuesOf(const Defaults& defaults)
{
    QHash<QString, QJsonValue> values;
    for (const QString& key : defaults.keys())
        values.insert(key, defaults.value(key));
    return values;
}

// Every value of `before` but those under `edited` is still there, unchanged.
void requireOthersKept(const QHash<QString, QJsonValue>& before, const Defaults& after, const QStringList& edited)
{
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!edited.contains(it.key()))
            require(after.contains(it.key()) && after.value(it.key()) == it.value(),
                    "a value nobody edited changed on save");
    }
}

// A settings file Defaults could not parse was moved aside whole; the copy is
// removed so the folder does not fill up.
void requireKeptAside(const QByteArray& bytes)
{
    QDir dir(g_place->folder.path());
    const QStringList aside = dir.entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
    bool found = false;
    for (const QString& name : aside) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly) && file.readAll() == bytes)
            found = true;
        file.close();
        QFile::remove(dir.filePath(name));
    }
    require(found, "an unreadable settings file was not kept aside as it was");
}

// A list stored under `key` that did not read whole (`whole` false) and was
// replaced on save was kept aside first, as it was, in one file beside the
// settings; nothing is kept aside otherwise. The copies are removed so the
// folder does not fill up.
void requireListKeptAside(const QString& key, const QJsonValue& stored, bool whole, const Defaults& after)
{
    const bool replaced = !stored.isUndefined() && after.value(key) != stored;
    QDir dir(g_place->folder.path());
    const QStringList aside =
        dir.entryList({key + QStringLiteral(".unreadable-*"), key + QStringLiteral(".past-limit-*")}, QDir::Files);
    bool found = false;
    for (const QString& name : aside) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)
            && QJsonDocument::fromJson(file.readAll()).object() == QJsonObject{{key, stored}})
            found = true;
        file.close();
        QFile::remove(dir.filePath(name));
    }
    require(aside.size() <= 1, "a stored list was kept aside more than once");
    require(found == (replaced && !whole), "a stored list was kept aside when it should not, or not when it should");
}

// Whether every element of `value` is a text, as a stored text list must be,
// and there are no more than `limit` of them.
bool wholeTexts(const QJsonValue& value, qsizetype limit)
{
    if (value.isUndefined())
        return true;
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    return array.size() <= limit && std::ranges::all_of(array, [](const QJsonValue& v) { return v.isString(); });
}

// Opens the settings file as start-up does.
std::unique_ptr<Defaults> openSettings(const QByteArray& bytes)
{
    const bool existed = QFile::exists(g_place->settingsPath);
    std::unique_ptr<Defaults> defaults = Defaults::openFile(g_place->settingsPath, g_place->cacheFolder);
    if (existed && !QJsonDocument::fromJson(bytes).isObject())
        requireKeptAside(bytes);
    return defaults;
}

std::unique_ptr<Defaults> reopen()
{
    std::unique_ptr<Defaults> defaults = Defaults::openFile(g_place->settingsPath, g_place->cacheFolder);
    require(QFile::exists(g_place->settingsPath), "a settings file the app saved does not parse");
    return defaults;
}

// The typed getters give the stored value when it has the type asked for,
// else the caller's default.
void checkTypedReads(const Defaults& d)
{
    for (const SettingsCatalogue::Entry& entry : SettingsCatalogue::entries()) {
        const QJsonValue stored = d.value(entry.key);
        switch (entry.type) {
        case SettingsCatalogue::Type::Bool:
            require(d.boolValue(entry.key, entry.fallback.toBool())
                        == (stored.isBool() ? stored.toBool() : entry.fallback.toBool()),
                    "bool read");
            break;
        case SettingsCatalogue::Type::Int: {
            const qint64 fallback = entry.fallback.toInteger();
            const qint64 got = d.intValue(entry.key, fallback);
            require(got == fallback || (stored.isDouble() && double(got) == stored.toDouble()), "int read");
            break;
        }
        case SettingsCatalogue::Type::Double: {
            const double got = d.doubleValue(entry.key, entry.fallback.toDouble());
            require(stored.isDouble() ? got == stored.toDouble() : got == entry.fallback.toDouble(), "double read");
            break;
        }
        case SettingsCatalogue::Type::String:
            require(d.stringValue(entry.key, entry.fallback.toString())
                        == (stored.isString() ? stored.toString() : entry.fallback.toString()),
                    "string read");
            break;
        case SettingsCatalogue::Type::Stored: {
            const QStringList list = d.stringList(entry.key, {QStringLiteral("fallback")});
            if (list != QStringList{QStringLiteral("fallback")}) {
                const QJsonArray array = stored.toArray();
                require(stored.isArray() && array.size() == list.size(), "string list read");
                for (qsizetype i = 0; i < list.size(); ++i)
                    require(array.at(i).isString() && array.at(i).toString() == list.at(i), "string list element");
            }
            break;
        }
        }
    }
    for (const QSet<QString>& ids : {FeedSelection::loadDisabled(d), FeedSelection::loadActiveCurated(d)}) {
        for (const QString& id : ids)
            require(!id.isEmpty() && (ids.size() == 1 || !id.contains(u',')), "feed selection id");
    }
}

void settingsFile(const QByteArray& bytes)
{
    writeFile(g_place->settingsPath, bytes);
    const QString launched = Settings::hasLaunchedBefore.key.toString();
    QHash<QString, QJsonValue> before;
    {
        std::unique_ptr<Defaults> defaults = openSettings(bytes);
        checkTypedReads(*defaults);
        before = valuesOf(*defaults);
        Settings::hasLaunchedBefore.write(*defaults, true);
        require(defaults->flush().has_value(), "the settings could not be saved");
    }
    std::unique_ptr<Defaults> again = reopen();
    requireOthersKept(before, *again, {launched});
    require(again->boolValue(launched, false), "the launch was not recorded");

    // The stacked strip: always one configuration, and the one saved is the
    // one the next start reads.
    const QList<StripConfig> strips = StripConfig::load(*again);
    require(strips.size() == 1, "not one stacked strip");
    const QJsonValue storedStrips = again->contains(StripConfig::stripsKey) ? again->value(StripConfig::stripsKey)
                                                                           : QJsonValue(QJsonValue::Undefined);
    StripConfig::save(strips, *again);
    require(StripConfig::load(*again) == strips, "a saved stacked strip reads back different");
    // Whole: no text, or a list of at most the one strip used, which reads.
    bool whole = storedStrips.isUndefined() || storedStrips.toString(QStringLiteral("x")).isEmpty();
    if (!whole && storedStrips.isString() && storedStrips.toString().size() <= StripConfig::kMaxStoredText) {
        const QJsonDocument doc = QJsonDocument::fromJson(storedStrips.toString().toUtf8());
        const QJsonArray array = doc.array();
        whole = doc.isArray() && array.size() <= 1
            && std::ranges::all_of(array, [](const QJsonValue& v) { return StripConfig::fromJson(v).has_value(); });
    }
    requireListKeptAside(StripConfig::stripsKey, storedStrips, whole, *again);
}

// What the app writes in place of a snapshot it read, it reads back as the same.
void snapshotFile(const QByteArray& bytes)
{
    const QString key = FeedStore::SnapshotKey;
    writeFile(g_place->cacheFolder + u'/' + key, bytes);
    std::unique_ptr<CacheFiles> caches = CacheFiles::inDirectory(g_place->cacheFolder);
    const QJsonValue stored = caches->value(key);
    require(stored.isUndefined() || stored.isObject() || stored.isArray(), "cache value");
    if (!stored.isObject())
        return;
    const JsonOptions options = CachedSnapshot::options();
    const Result<CachedSnapshot> snapshot = CachedSnapshot::fromJson(stored, options);
    if (!snapshot)
        return;
    const QJsonObject written = snapshot->toJson(options);
    const Result<CachedSnapshot> restored = CachedSnapshot::fromJson(written, options);
    require(restored.has_value(), "a snapshot the app wrote does not read back");
    require(restored->toJson(options) == written, "a snapshot changes on every save");
}

// The personal feed store over either of its files. Saving the feeds it read
// and starting again gives the same feeds; the items it read are written in
// the stored form and read back as many (encoded here: the store's own save
// would cost a thread hand-off per input).
void personalStore(const QByteArray& bytes, Stored which)
{
    const QString itemsPath = g_place->cacheFolder + u'/' + PersonalFeedStore::kItemsKey;
    if (which == Stored::PersonalItems) {
        QFile::remove(g_place->settingsPath);
        writeFile(itemsPath, bytes);
    } else {
        QFile::remove(itemsPath);
        writeFile(g_place->settingsPath, bytes);
    }
    QHash<QString, QJsonValue> before;
    qsizetype feeds = 0;
    {
        std::unique_ptr<Defaults> defaults = openSettings(bytes);
        before = valuesOf(*defaults);
        PersonalFeedStore store(*defaults, Clock::system(), Scheduler::system(), &g_place->network);
        feeds = store.feeds().size();
        require(store.visibleItems().size() <= store.items().size(), "visible items");
        const JsonOptions storedForm{DateCoding::iso8601()};
        QJsonArray items;
        for (const FeedItem& item : store.items())
            items.append(item.toJson(storedForm));
        const Result<QList<FeedItem>> again =
            decodeJson<QList<FeedItem>>(QJsonDocument(items).toJson(QJsonDocument::Compact), storedForm);
        require(again.has_value() && again->size() == store.items().size(), "saved personal items do not read back");
        if (feeds == 0)
            return;
        // Switching a feed to what it is saves the whole list as it is.
        store.setEnabled(store.feeds().first().id, store.feeds().first().isEnabled);
        require(defaults->flush().has_value(), "the personal feeds could not be saved");
    }
    std::unique_ptr<Defaults> defaults = reopen();
    requireOthersKept(before, *defaults, {PersonalFeedStore::kFeedsKey});
    const QJsonValue storedFeeds = before.value(PersonalFeedStore::kFeedsKey, QJsonValue(QJsonValue::Undefined));
    const bool whole = storedFeeds.isUndefined()
        || (storedFeeds.isArray() && storedFeeds.toArray().size() <= PersonalFeedStore::kMaxFeeds
            && decodeJson<QList<PersonalFeed>>(QJsonDocument(storedFeeds.toArray()).toJson(),
                                               JsonOptions{DateCoding::iso8601()})
                   .has_value());
    requireListKeptAside(PersonalFeedStore::kFeedsKey, storedFeeds, whole, *defaults);
    const QJsonValue saved = defaults->value(PersonalFeedStore::kFeedsKey);
    PersonalFeedStore store(*defaults, Clock::system(), Scheduler::system(), &g_place->network);
    require(store.feeds().size() == feeds, "the personal store lost feeds on save");
    store.setEnabled(store.feeds().first().id, store.feeds().first().isEnabled);
    require(defaults->value(PersonalFeedStore::kFeedsKey) == saved, "saved feeds change on every save");
}

void watchlist(const QByteArray& bytes)
{
    writeFile(g_place->settingsPath, bytes);
    QHash<QString, QJsonValue> before;
    QList<WatchSymbol> list;
    {
        std::unique_ptr<Defaults> defaults = openSettings(bytes);
        before = valuesOf(*defaults);
        MarketsStore store(*defaults, g_place->secrets, Clock::system(), Scheduler::system());
        list = store.watchlist();
        if (!store.saveWatchlist())
            return;
        require(defaults->flush().has_value(), "the watchlist could not be saved");
    }
    std::unique_ptr<Defaults> defaults = reopen();
    requireOthersKept(before, *defaults, {MarketsStore::kWatchlistKey});
    const QJsonValue stored = before.value(MarketsStore::kWatchlistKey, QJsonValue(QJsonValue::Undefined));
    requireListKeptAside(MarketsStore::kWatchlistKey, stored,
                         stored.isUndefined()
                             || (stored.toArray().size() <= MarketsStore::kWatchlistLimit
                                 && WatchSymbol::decodeList(stored).has_value()),
                         *defaults);
    MarketsStore store(*defaults, g_place->secrets, Clock::system(), Scheduler::system());
    require(store.watchlist() == list, "a saved watchlist reads back different");
}

void readHistory(const QByteArray& bytes)
{
    writeFile(g_place->settingsPath, bytes);
    QHash<QString, QJsonValue> before;
    QStringList order;
    {
        std::unique_ptr<Defaults> defaults = openSettings(bytes);
        before = valuesOf(*defaults);
        ReadStore history(*defaults);
        require(history.ids().size() == history.order().size(), "the history repeats an id");
        for (const QString& id : history.order())
            require(history.isRead(id), "an id in the history is not read");
        history.markRead(QStringLiteral("fuzz-new-id"));
        require(history.isRead(QStringLiteral("fuzz-new-id")) && history.order().size() == history.ids().size(),
                "markRead");
        order = history.order();
        require(defaults->flush().has_value(), "the history could not be saved");
    }
    std::unique_ptr<Defaults> defaults = reopen();
    requireOthersKept(before, *defaults, {ReadStore::StorageKey});
    const QJsonValue stored = before.value(ReadStore::StorageKey, QJsonValue(QJsonValue::Undefined));
    requireListKeptAside(ReadStore::StorageKey, stored, wholeTexts(stored, ReadStore::Capacity), *defaults);
    ReadStore history(*defaults);
    require(history.order() == order, "a saved history reads back different");
}

void phrases(const QByteArray& bytes)
{
    writeFile(g_place->settingsPath, bytes);
    const QString phrase = QStringLiteral("Fuzz Phrase");
    QHash<QString, QJsonValue> before;
    QStringList muted;
    QStringList followed;
    {
        std::unique_ptr<Defaults> defaults = openSettings(bytes);
        before = valuesOf(*defaults);
        FilterStore filters(*defaults);
        const QStringList followedAtStart = filters.followed();
        const bool full = filters.muted().size() >= FilterStore::kMaxPhrases && !filters.isMuted(phrase);
        filters.mute(QStringLiteral("  fuzz phrase "));
        if (full)
            require(!filters.isMuted(phrase), "a full list took one more phrase");
        else
            require(filters.isMuted(phrase) && !filters.isFollowed(phrase), "a muted phrase is not muted alone");
        muted = filters.muted();
        followed = filters.followed();
        QStringList edited{FilterStore::MutedKey};
        if (followed != followedAtStart)
            edited.append(FilterStore::FollowedKey);
        require(defaults->flush().has_value(), "the phrases could not be saved");
        std::unique_ptr<Defaults> again = reopen();
        requireOthersKept(before, *again, edited);
        for (const QString& key : {FilterStore::MutedKey, FilterStore::FollowedKey}) {
            const QJsonValue stored = before.value(key, QJsonValue(QJsonValue::Undefined));
            requireListKeptAside(key, stored, wholeTexts(stored, FilterStore::kMaxPhrases), *again);
        }
    }
    std::unique_ptr<Defaults> defaults = reopen();
    FilterStore filters(*defaults);
    require(filters.muted() == muted && filters.followed() == followed, "saved phrases read back different");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static int appArgc = 1;
    static char name[] = "StoredStateFuzz";
    static char* appArgv[] = {name, nullptr};
    (void)argc;
    (void)argv;
    if (!QCoreApplication::instance())
        new QCoreApplication(appArgc, appArgv);  // lives for the process
    // Every unreadable input is logged as the app logs it: far too much here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static Place place(base + QStringLiteral("/tidewire-stored-XXXXXX"));
    require(place.folder.isValid(), "no folder for the files");
    g_place = &place;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (!g_place)
        LLVMFuzzerInitialize(nullptr, nullptr);
    const auto which = Stored(data[0] % uint8_t(Stored::Count));
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    switch (which) {
    case Stored::Settings:
        settingsFile(bytes);
        break;
    case Stored::Snapshot:
        snapshotFile(bytes);
        break;
    case Stored::PersonalItems:
    case Stored::PersonalFeeds:
        personalStore(bytes, which);
        break;
    case Stored::Watchlist:
        watchlist(bytes);
        break;
    case Stored::ReadHistory:
        readHistory(bytes);
        break;
    case Stored::Phrases:
        phrases(bytes);
        break;
    case Stored::Count:
        break;
    }
    return 0;
}
