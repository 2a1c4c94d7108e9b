#include "ticker/MarqueeTickerView.h"

#include "platform/storage/Defaults.h"
#include "store/ReadStore.h"
#include "ticker/FaviconStore.h"
#include "ticker/MarqueeClock.h"
#include "ticker/QuoteCell.h"
#include "ticker/ThumbnailStore.h"

MarqueeTickerView::MarqueeTickerView(QWidget* parent)
    : MarqueeTickerView(TickerRowContext::standard(), MarqueeClock::steady(), parent)
{
}

MarqueeTickerView::MarqueeTickerView(TickerRowContext context, MarqueeClock& clock, QWidget* parent)
    : MarqueeNSView(clock, parent), m_context(context)
{
    connect(m_context.favicons, &FaviconStore::changed, this, [this] { cellsChanged(); });
    connect(m_context.thumbnails, &ThumbnailStore::changed, this, [this] { cellsChanged(); });
    connect(m_context.readStore, &ReadStore::revisionChanged, this, [this] { cellsChanged(); });
    connect(m_context.defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == TickerRow::dimReadItemsKey)
            cellsChanged();
    });
}

QStringList MarqueeTickerView::contentKey(const QList<FeedItem>& items,
                                          const std::optional<QList<MarketQuote>>& quotes)
{
    QStringList key;
    if (quotes) {
        key.reserve(quotes->size());
        for (const MarketQuote& q : *quotes)
            key.append(QuoteCell::key(q));
    } else {
        key.reserve(items.size());
        for (const FeedItem& item : items)
            key.append(item.stableId);
    }
    return key;
}

MarqueeContent MarqueeTickerView::content(const QList<FeedItem>& items,
                                          const std::optional<QList<MarketQuote>>& quotes, int size,
                                          const TickerRowContext& context)
{
    MarqueeContent c;
    c.key = contentKey(items, quotes);
    if (quotes) {
        c.makeCells = [quotes = *quotes, size] {
            MarqueeCells cells;
            cells.reserve(size_t(quotes.size()));
            for (const MarketQuote& q : quotes)
                cells.push_back(std::make_unique<QuoteCell>(q, size));
            return cells;
        };
    } else {
        c.makeCells = [items, size, context] {
            MarqueeCells cells;
            cells.reserve(size_t(items.size()));
            for (const FeedItem& item : items)
                cells.push_back(std::make_unique<TickerRow>(item, size, context));
            return cells;
        };
    }
    return c;
}

void MarqueeTickerView::updateContent(const QList<FeedItem>& items, const std::optional<QList<MarketQuote>>& quotes,
                                      int size, bool reversed, double speed)
{
    updateContent(content(items, quotes, size, m_context), size, reversed, speed);
}
