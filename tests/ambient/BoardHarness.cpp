#include "BoardHarness.h"

BoardHarness::BoardHarness()
{
    FeedStore::Services services{*defaults, time, time, &network, nullptr,
                                 [] { return std::make_unique<FakePathMonitor>(); },
                                 QUrl(QStringLiteral("http://127.0.0.1:9/")), std::nullopt,
                                 QUrl(QStringLiteral("http://127.0.0.1:9/")), QStringLiteral("1.0")};
    store = std::make_unique<FeedStore>(services);
}

BoardHarness::~BoardHarness()
{
    store.reset();
    FakeTime::settle();
}

void BoardHarness::showItems(const QList<FeedItem>& items)
{
    store->setFocusedTopicID(QStringLiteral("topic"));
    store->setFocusedItems(items);
}

FeedItem boardItem(const QString& id, const QString& title, std::optional<QString> url, std::optional<QString> source,
                   std::optional<QString> image)
{
    FeedItem item;
    item.stableId = id;
    item.title = title;
    item.url = std::move(url);
    if (source) {
        FeedSource feed;
        feed.id = QStringLiteral("feed-") + id;
        feed.title = source;
        item.source = feed;
    }
    item.imageUrl = std::move(image);
    return item;
}
