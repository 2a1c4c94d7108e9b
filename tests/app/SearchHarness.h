#pragma once

#include "FakeTime.h"
#include "LoopbackServer.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/session/UrlOpener.h"
#include "store/FeedStore.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/ThumbnailStore.h"
#include "ticker/TickerRow.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <memory>

// A feed store fed by a scripted catalogue on loopback, with in-memory
// settings, fake time, its own read history and a link opener that only
// records. Favicons are asked of a closed port and never arrive.
struct SearchHarness {
    // `apiBase` empty: the scripted catalogue of `server`.
    explicit SearchHarness(QUrl apiBase = {});
    ~SearchHarness();

    // Serves `feeds` and `items` and runs one refresh of the store with them.
    // Returns whether the store took the items.
    bool load(const QJsonArray& feeds, const QJsonArray& items);
    TickerRowContext context()
    {
        return TickerRowContext{&reads, defaults.get(), &favicons, &thumbnails, &opener, &clipboard};
    }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    LoopbackServer server;
    ReadStore reads{*defaults};
    ImageFetchGate gate;
    QNetworkAccessManager network;
    FaviconStore favicons{QString(), &network, QUrl(QStringLiteral("http://127.0.0.1:9/")), gate, time};
    ThumbnailStore thumbnails{&network, gate};
    FakeUrlOpener opener;
    FakeClipboard clipboard;
    std::unique_ptr<FeedStore> store;
};

// A catalogue headline of feed "f1". `minutes` after 2026-01-15 12:00 UTC;
// none leaves it undated.
QJsonObject headline(const QString& id, const QString& title, std::optional<int> minutes = std::nullopt,
                     std::optional<QString> url = std::nullopt, std::optional<QString> source = std::nullopt);
// A catalogue feed, with a category name when given.
QJsonObject catalogueFeed(const QString& id, const QString& title, std::optional<QString> category = std::nullopt);
