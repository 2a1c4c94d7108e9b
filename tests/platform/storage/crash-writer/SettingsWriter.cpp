// A real writer for the crash-safety test: opens the settings file and the
// cache folder given on the command line, prints "file <path>" for each file
// it keeps, then "loaded <version>" (the version the settings file holds, 0
// for none), then forever writes version
// N+1, N+2, ... of every file the app keeps: the settings file (with the
// personal feeds list and the watchlist) and the cache files (feed snapshot,
// personal feeds' items), and prints "<version>" once all of them are saved.
// Every string it stores ends in "#<version>", and each file says under
// "crashWriter.strings" (at its top, or in the first element of a list) how
// many there are, so a file mixing two saves or missing a part shows.
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/storage/Defaults.h"
#include "store/FeedStore.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

namespace {

const QString kVersionKey = QStringLiteral("crashWriter.version");
const QString kStringsKey = QStringLiteral("crashWriter.strings");
constexpr int kFeeds = 12;
constexpr int kSymbols = 5;
constexpr int kSnapshotItems = 1000;
constexpr int kPersonalItems = 500;

QString tagged(const QString& text, qint64 version) { return text + u'#' + QString::number(version); }

QJsonArray feeds(qint64 version)
{
    QJsonArray list;
    for (int i = 0; i < kFeeds; ++i)
        list.append(QJsonObject{{QStringLiteral("url"), tagged(QStringLiteral("https://example.org/feed-%1.xml").arg(i), version)},
                                {QStringLiteral("title"), tagged(QStringLiteral("Feed %1").arg(i), version)}});
    return list;
}

QJsonArray watchlist(qint64 version)
{
    QJsonArray list;
    for (const char* symbol : {"AAPL", "MSFT", "BTC", "ETH", "NVDA"})
        list.append(QJsonObject{{QStringLiteral("symbol"), tagged(QString::fromLatin1(symbol), version)}});
    return list;
}

// `count` items of three strings each: a few hundred kilobytes for the
// snapshot, so that a save takes a while.
QJsonArray items(const QString& prefix, int count, qint64 version)
{
    QJsonArray list;
    for (int i = 0; i < count; ++i)
        list.append(QJsonObject{{QStringLiteral("item_id"), tagged(QStringLiteral("%1-%2").arg(prefix).arg(i), version)},
                                {QStringLiteral("title"), tagged(QStringLiteral("Headline %1 about the markets and the weather").arg(i), version)},
                                {QStringLiteral("url"), tagged(QStringLiteral("https://example.org/%1/%2").arg(prefix).arg(i), version)}});
    return list;
}

QJsonObject snapshot(qint64 version)
{
    return QJsonObject{{QStringLiteral("items"), items(QStringLiteral("item"), kSnapshotItems, version)},
                       {QStringLiteral("cachedAt"), tagged(QStringLiteral("2025-03-04T09:05:00Z"), version)},
                       {kStringsKey, kSnapshotItems * 3 + 1}};
}

QJsonArray personalItems(qint64 version)
{
    QJsonArray list = items(QStringLiteral("personal"), kPersonalItems, version);
    list.prepend(QJsonObject{{kStringsKey, kPersonalItems * 3}});
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: settings_crash_writer SETTINGS-FILE CACHE-FOLDER\n");
        return 2;
    }
    auto defaults = Defaults::openFile(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    CacheFiles& caches = defaults->caches();
    for (const QString& key : {FeedStore::SnapshotKey, PersonalFeedStore::kItemsKey})
        std::printf("file %s\n", qPrintable(caches.directory() + u'/' + key));
    qint64 version = defaults->intValue(kVersionKey, 0);
    std::printf("loaded %lld\n", static_cast<long long>(version));
    std::fflush(stdout);
    for (;;) {
        ++version;
        // The cache files are written on their own thread while the
        // settings file is saved here.
        caches.set(FeedStore::SnapshotKey, snapshot(version));
        caches.setLater(PersonalFeedStore::kItemsKey, [version] { return QJsonValue(personalItems(version)); });
        defaults->set(QStringLiteral("tickerPosition"), tagged(QStringLiteral("bottom"), version));
        defaults->set(PersonalFeedStore::kFeedsKey, feeds(version));
        defaults->set(MarketsStore::kWatchlistKey, watchlist(version));
        defaults->set(kVersionKey, version);
        defaults->set(kStringsKey, 1 + kFeeds * 2 + kSymbols);
        if (!defaults->flush() || !caches.flush())
            return 1;
        std::printf("%lld\n", static_cast<long long>(version));
        std::fflush(stdout);
    }
}
