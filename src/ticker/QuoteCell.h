#pragma once

#include "markets/QuoteRowLayout.h"
#include "ticker/MarqueeCell.h"

// One market quote as a scroller cell, painted by the quote row's layout.
class QuoteCell final : public MarqueeCell {
public:
    QuoteCell(const MarketQuote& quote, int size) : m_layout(QuoteRowLayout::make(quote, size)) {}

    // The content key of one quote: "SPY=512.3/-0.42/true/0.0@0.0" — symbol,
    // price (-1 when absent), change percentage (0 when absent), ok, the
    // holding's units and cost (0 without a holding).
    static QString key(const MarketQuote& quote);
    // The shortest decimal text that reads back as `value`, with at least
    // one fraction digit for whole numbers (1.0, -1.0, 512.3).
    static QString number(double value);

    QSizeF idealSize() const override { return m_layout.idealSize; }
    void paint(QPainter& painter, const QRectF& rect, bool hovered) const override;
    PaintedRow accessibleRow() const override
    {
        return {QAccessible::ListItem, m_layout.accessibleLabel, QRectF(QPointF(), m_layout.idealSize), {}};
    }

private:
    QuoteRowLayout m_layout;
};
