#pragma once

#include "FakeTime.h"
#include "platform/Clipboard.h"
#include "platform/Defaults.h"
#include "platform/PathMonitor.h"
#include "platform/UrlOpener.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/ThumbnailStore.h"
#include "ticker/TickerRow.h"

#include <QNetworkAccessManager>
#include <memory>

// A feed store and the stores a board card acts on, all on in-memory
// settings and fake time; links go to a fake opener, nothing to the network.
struct BoardHarness {
    BoardHarness();
    ~BoardHarness();

    // Shows `items` as the store's ticker items (through a topic focus).
    void showItems(const QList<FeedItem>& items);
    TickerRowContext context()
    {
        return TickerRowContext{&reads, defaults.get(), &favicons, &thumbnails, &opener, &clipboard};
    }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    ReadStore reads{*defaults};
    FilterStore filters{*defaults};
    ImageFetchGate gate;
    QNetworkAccessManager network;
    FaviconStore favicons{QString(), &network, QUrl(QStringLiteral("http://127.0.0.1:9/")), gate, time};
    ThumbnailStore thumbnails{&network, gate};
    FakeUrlOpener opener;
    FakeClipboard clipboard;
    std::unique_ptr<FeedStore> store;
};

FeedItem boardItem(const QString& id, const QString& title, std::optional<QString> url = std::nullopt,
                   std::optional<QString> source = std::nullopt, std::optional<QString> image = std::nullopt);
