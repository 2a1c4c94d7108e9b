// A real writer for the crash-safety test: opens the settings file given on
// the command line, prints "loaded <version>" (the version it found, 0 for
// none), then forever writes version N+1, N+2, ... of every stored
// collection (settings, personal feeds list, watchlist, feed snapshot) and
// prints "<version>" after each save returns. Every string it stores ends in
// "#<version>", and "crashWriter.strings" says how many there are, so a file
// mixing two saves or missing a part shows.
#include "markets/MarketsStore.h"
#include "personal/PersonalFeedStore.h"
#include "platform/Defaults.h"
#include "store/FeedStore.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

namespace {

const QString kVersionKey = QStringLiteral("crashWriter.version");
const QString kStringsKey = QStringLiteral("crashWriter.strings");
constexpr int kSnapshotItems = 1500;
// tickerPosition, 12 feeds of 2, 5 symbols, 3 per snapshot item and cachedAt.
constexpr int kStringsPerVersion = 1 + 12 * 2 + 5 + kSnapshotItems * 3 + 1;

QString tagged(const QString& text, qint64 version) { return text + u'#' + QString::number(version); }

QJsonArray feeds(qint64 version)
{
    QJsonArray list;
    for (int i = 0; i < 12; ++i)
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

// Large enough that a save takes a while: several hundred kilobytes.
QJsonObject snapshot(qint64 version)
{
    QJsonArray items;
    for (int i = 0; i < kSnapshotItems; ++i)
        items.append(QJsonObject{{QStringLiteral("item_id"), tagged(QStringLiteral("item-%1").arg(i), version)},
                                 {QStringLiteral("title"), tagged(QStringLiteral("Headline %1 about the markets and the weather").arg(i), version)},
                                 {QStringLiteral("url"), tagged(QStringLiteral("https://example.org/news/%1").arg(i), version)}});
    return QJsonObject{{QStringLiteral("items"), items}, {QStringLiteral("cachedAt"), tagged(QStringLiteral("2025-03-04T09:05:00Z"), version)}};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_crash_writer SETTINGS-FILE\n");
        return 2;
    }
    auto defaults = Defaults::openFile(QString::fromLocal8Bit(argv[1]));
    qint64 version = defaults->intValue(kVersionKey, 0);
    std::printf("loaded %lld\n", static_cast<long long>(version));
    std::fflush(stdout);
    for (;;) {
        ++version;
        defaults->set(QStringLiteral("tickerPosition"), tagged(QStringLiteral("bottom"), version));
        defaults->set(PersonalFeedStore::kFeedsKey, feeds(version));
        defaults->set(MarketsStore::kWatchlistKey, watchlist(version));
        defaults->set(FeedStore::SnapshotKey, snapshot(version));
        defaults->set(kVersionKey, version);
        defaults->set(kStringsKey, kStringsPerVersion);
        if (!defaults->flush())
            return 1;
        std::printf("%lld\n", static_cast<long long>(version));
        std::fflush(stdout);
    }
}
