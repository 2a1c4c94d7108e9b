#pragma once

#include "FakeTime.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/session/UrlOpener.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/ImageFetchGate.h"
#include "ticker/ThumbnailStore.h"
#include "ticker/TickerRow.h"

#include <QNetworkAccessManager>
#include <memory>

// Records, for every link opened, whether the item was already read then.
class OrderCheckingOpener final : public UrlOpener {
public:
    explicit OrderCheckingOpener(ReadStore& reads) : m_reads(reads) {}
    bool open(const QUrl& url) override
    {
        opened.append(url);
        readWhenOpened.append(m_reads.ids());
        return true;
    }
    QList<QUrl> opened;
    QList<QSet<QString>> readWhenOpened;

private:
    ReadStore& m_reads;
};

// Real stores over in-memory settings, with fake opener and clipboard.
struct RowFixture {
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    ReadStore reads{*defaults};
    FakeTime time;
    ImageFetchGate gate;
    QNetworkAccessManager nam;
    FaviconStore favicons{QString(), &nam, QUrl(QStringLiteral("http://127.0.0.1:9/")), gate, time};
    ThumbnailStore thumbnails{&nam, gate};
    OrderCheckingOpener opener{reads};
    FakeClipboard clipboard;

    TickerRowContext context()
    {
        return TickerRowContext{&reads, defaults.get(), &favicons, &thumbnails, &opener, &clipboard};
    }
};

inline FeedItem makeItem(const QString& id, const QString& title, std::optional<QString> url = std::nullopt,
                         std::optional<QString> sourceTitle = std::nullopt, std::optional<QString> imageUrl = std::nullopt)
{
    FeedItem item;
    item.stableId = id;
    item.title = title;
    item.url = std::move(url);
    if (sourceTitle) {
        FeedSource source;
        source.id = QStringLiteral("feed-") + id;
        source.title = sourceTitle;
        item.source = source;
    }
    item.imageUrl = std::move(imageUrl);
    return item;
}
