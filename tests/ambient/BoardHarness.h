#pragma once

#include "FakeTime.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/net/PathMonitor.h"
#include "platform/session/UrlOpener.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/ThumbnailStore.h"
#include "ticker/TickerRow.h"

#include <QNetworkAccessManager>
#include <memory>

inline QString S(const char* text) { return QString::fromUtf8(text); }

// A feed store and the stores a board card acts on, all on in-memory
// settings and fake time; links go to a fake opener, nothing to the network.
struct BoardHarness {
    BoardHarness()
    {
        const QUrl nowhere(S("http://127.0.0.1:9/"));
        store = std::make_unique<FeedStore>(FeedStore::Services{*defaults, time, time, &network, nullptr,
                                                                [] { return std::make_unique<FakePathMonitor>(); }, nowhere,
                                                                std::nullopt, nowhere, S("1.0")});
    }
    ~BoardHarness()
    {
        store.reset();
        FakeTime::settle();
    }
    // Shows `items` as the store's ticker items (through a topic focus).
    void showItems(const QList<FeedItem>& items)
    {
        store->setFocusedTopicID(S("topic"));
        store->setFocusedItems(items);
    }
    TickerRowContext context() { return TickerRowContext{&reads, defaults.get(), &favicons, &thumbnails, &opener, &clipboard}; }

    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    FakeTime time;
    ReadStore reads{*defaults};
    FilterStore filters{*defaults};
    ImageFetchGate gate;
    QNetworkAccessManager network;
    FaviconStore favicons{QString(), &network, QUrl(S("http://127.0.0.1:9/")), gate, time};
    ThumbnailStore thumbnails{&network, gate};
    FakeUrlOpener opener;
    FakeClipboard clipboard;
    std::unique_ptr<FeedStore> store;
};

inline FeedItem boardItem(const QString& id, const QString& title, std::optional<QString> url = std::nullopt,
                          std::optional<QString> source = std::nullopt, std::optional<QString> image = std::nullopt)
{
    FeedItem item;
    item.stableId = id;
    item.title = title;
    item.url = std::move(url);
    if (source)
        item.source = FeedSource{S("feed-") + id, source, {}, {}, {}, {}, {}};
    item.imageUrl = std::move(image);
    return item;
}
