#include "ticker/TickerAnimationLayer.h"

#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeTickerView.h"

#include <QRandomGenerator>
#include <algorithm>

namespace {

QSet<QString> idSet(const QList<FeedItem>& items)
{
    QSet<QString> ids;
    ids.reserve(items.size());
    for (const FeedItem& item : items)
        ids.insert(item.stableId);
    return ids;
}

QList<FeedItem> narrowToTopic(const QList<FeedItem>& items, const Orb& orb)
{
    const QSet<QString> top = orb.topItemIDs();
    const QStringList keywords = orb.normalizedKeywords();
    const QSet<QString> slugs = orb.normalizedCategorySlugs();
    QList<FeedItem> first;
    QList<FeedItem> matching;
    QList<FeedItem> rest;
    for (const FeedItem& item : items) {
        const bool isTop = top.contains(item.stableId);
        const std::optional<QString> slug =
            item.source && item.source->category ? item.source->category->slug : std::nullopt;
        const bool inCategory = slug && slugs.contains(slug->toLower());
        // With category slugs, keywords never admit an item; they only order.
        const bool admitted = isTop || inCategory || (slugs.isEmpty() && item.looselyMatchesAny(keywords));
        if (!admitted)
            continue;
        if (isTop)
            first.append(item);
        else if (item.looselyMatchesAny(keywords))
            matching.append(item);
        else
            rest.append(item);
    }
    if (first.isEmpty() && matching.isEmpty() && rest.isEmpty())
        return items;  // nothing of the topic: the whole list
    return first + matching + rest;
}

} // namespace

TickerAnimationLayer::TickerAnimationLayer(FeedStore& store, int tickerSize, double scrollSpeed, QWidget* parent)
    : TickerAnimationLayer(store, tickerSize, scrollSpeed,
                           Services{Defaults::standard(), FilterStore::shared(), TickerRowContext::standard(),
                                    MarqueeClock::steady(), nullptr},
                           parent)
{
}

TickerAnimationLayer::TickerAnimationLayer(FeedStore& store, int tickerSize, double scrollSpeed, Services services,
                                           QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_defaults(services.defaults)
    , m_filters(services.filters)
    , m_random(services.random ? services.random : QRandomGenerator::system())
    , m_marquee(new MarqueeTickerView(services.rows, services.clock, this))
    , m_tickerSize(tickerSize)
    , m_scrollSpeed(scrollSpeed)
    , m_itemIds(idSet(store.items()))
    , m_personalIds(idSet(store.personalItems()))
{
    m_marquee->setGeometry(rect());
    connectInputs();
}

QList<FeedItem> TickerAnimationLayer::filteredAndMixed(const QList<FeedItem>& items, const std::optional<Orb>& focused,
                                                       const QStringList& muted, const QStringList& followed,
                                                       const QString& feedMix, QRandomGenerator& random)
{
    QList<FeedItem> list = focused ? narrowToTopic(items, *focused) : items;
    if (!muted.isEmpty())
        list.removeIf([&muted](const FeedItem& item) { return item.matchesAny(muted); });
    if (feedMix != latestMix) {
        // Fisher–Yates: every order equally likely.
        for (qsizetype i = list.size() - 1; i > 0; --i)
            list.swapItemsAt(i, qsizetype(random.bounded(quint64(i) + 1)));
    }
    if (!followed.isEmpty()) {
        std::stable_partition(list.begin(), list.end(),
                              [&followed](const FeedItem& item) { return item.matchesAny(followed); });
    }
    return list;
}

void TickerAnimationLayer::connectInputs()
{
    connect(&m_store, &FeedStore::itemsChanged, this, [this] { itemsMayHaveChanged(m_itemIds, m_store.items()); });
    connect(&m_store, &FeedStore::personalItemsChanged, this,
            [this] { itemsMayHaveChanged(m_personalIds, m_store.personalItems()); });
    connect(&m_store, &FeedStore::focusedItemsChanged, this, [this] { recompose(); });
    connect(&m_store, &FeedStore::nowPlayingItemsChanged, this, [this] { recompose(); });
    connect(&m_store, &FeedStore::nowPlayingChanged, this, [this] { rebuild(); });
    connect(&m_store, &FeedStore::focusedTopicIDChanged, this, [this] { recompose(); });
    connect(&m_filters, &FilterStore::mutedChanged, this, [this] { recompose(); });
    connect(&m_filters, &FilterStore::followedChanged, this, [this] { recompose(); });
    connect(&m_defaults, &Defaults::changed, this, [this](const QString& key) {
        // The blend itself happens in the store; a change still re-composes.
        if (key == feedMixKey || key == FeedStore::MusicBlendKey)
            recompose();
    });
}

void TickerAnimationLayer::itemsMayHaveChanged(QSet<QString>& lastIds, const QList<FeedItem>& now)
{
    QSet<QString> ids = idSet(now);
    const bool same = ids == lastIds;
    lastIds = std::move(ids);
    if (same && !m_displayItems.isEmpty())
        return;
    recompose();
}

QString TickerAnimationLayer::feedMix() const
{
    return m_defaults.stringValue(feedMixKey, feedMixDefault);
}

void TickerAnimationLayer::recompose()
{
    const std::optional<Orb> focused = m_store.focusedOrb();
    m_displayItems = filteredAndMixed(m_store.tickerItems(), focused, m_filters.mutedLowercased(),
                                      m_filters.followedLowercased(), feedMix(), *m_random);
    ++m_rebuildCount;
    pushToScroller();
}

void TickerAnimationLayer::rebuild()
{
    const QList<FeedItem> ticker = m_store.tickerItems();
    const auto& playing = m_store.nowPlaying();
    const bool lane = !ticker.isEmpty() && ticker.first().stableId.startsWith(QLatin1String("np-"));
    qCInfo(lcTicker, "strip rebuild (nowPlaying=%s): %ld items, lane=%s",
           qUtf8Printable(playing ? playing->track : QStringLiteral("nil")), long(ticker.size()),
           lane ? "true" : "false");
    recompose();
}

void TickerAnimationLayer::pushToScroller()
{
    m_marquee->updateContent(m_displayItems, std::nullopt, m_tickerSize, false, m_scrollSpeed);
}

void TickerAnimationLayer::setTickerSize(int size)
{
    if (size == m_tickerSize)
        return;
    m_tickerSize = size;
    pushToScroller();
}

void TickerAnimationLayer::setScrollSpeed(double speed)
{
    if (speed == m_scrollSpeed)
        return;
    m_scrollSpeed = speed;
    pushToScroller();
}

void TickerAnimationLayer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_displayItems.isEmpty())
        recompose();
}

void TickerAnimationLayer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_marquee->setGeometry(rect());
}
