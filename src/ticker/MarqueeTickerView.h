#pragma once

#include "api/ItemModels.h"
#include "markets/MarketModels.h"
#include "ticker/MarqueeNSView.h"
#include "ticker/TickerRow.h"

#include <optional>

// The scroller of a strip fed with headlines or market quotes: quotes, when
// given, replace the headlines (an empty quote list shows an empty strip).
// Cells redraw when their favicon or picture arrives or the read state or
// the "dimReadItems" setting changes.
class MarqueeTickerView : public MarqueeNSView {
    Q_OBJECT
public:
    explicit MarqueeTickerView(QWidget* parent = nullptr);
    MarqueeTickerView(TickerRowContext context, MarqueeClock& clock, QWidget* parent = nullptr);

    using MarqueeNSView::updateContent;
    void updateContent(const QList<FeedItem>& items, const std::optional<QList<MarketQuote>>& quotes, int size,
                       bool reversed, double speed);

    // One string per quote when quotes are given, else each item's stableId.
    static QStringList contentKey(const QList<FeedItem>& items, const std::optional<QList<MarketQuote>>& quotes);
    static MarqueeContent content(const QList<FeedItem>& items, const std::optional<QList<MarketQuote>>& quotes,
                                  int size, const TickerRowContext& context);

    const TickerRowContext& rowContext() const { return m_context; }

private:
    TickerRowContext m_context;
};
