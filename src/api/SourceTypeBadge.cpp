#include "api/SourceTypeBadge.h"

#include "api/SourceSymbol.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal kSpacing = 3;
constexpr qreal kRadius = 3;
constexpr qreal kBackgroundOpacity = 0.15;
} // namespace

QFont SourceTypeBadge::wordFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(9);
    font.setWeight(QFont::Black);
    return font;
}

SourceTypeBadgeLayout SourceTypeBadge::layout() const
{
    SourceTypeBadgeLayout out;
    const std::optional<QString> word = badgeText(m_type);
    if (!word)
        return out;

    out.isEmpty = false;
    out.color = accentColor(m_type);
    out.symbolName = symbolName(m_type);
    const qreal symbolSide = m_compact ? 7 : 9;
    const qreal padX = m_compact ? 3 : 5;
    const qreal padY = m_compact ? 1 : 2;

    qreal contentHeight = symbolSide;
    qreal textWidth = 0;
    if (!m_compact) {
        out.word = *word;
        out.font = wordFont();
        const QFontMetricsF metrics(out.font);
        textWidth = metrics.horizontalAdvance(out.word);
        contentHeight = std::max(contentHeight, metrics.height());
    }
    const qreal width = padX + symbolSide + (m_compact ? 0 : kSpacing + textWidth) + padX;
    out.size = QSizeF(width, padY + contentHeight + padY);
    out.background = QRectF(QPointF(0, 0), out.size);
    const qreal centreY = out.size.height() / 2;
    out.symbol = QRectF(padX, centreY - symbolSide / 2, symbolSide, symbolSide);
    if (!m_compact)
        out.text = QRectF(out.symbol.right() + kSpacing, padY, textWidth, contentHeight);
    return out;
}

void SourceTypeBadge::paint(QPainter& painter, const QPointF& topLeft) const
{
    paint(painter, topLeft, layout());
}

void SourceTypeBadge::paint(QPainter& painter, const QPointF& topLeft, const SourceTypeBadgeLayout& layout)
{
    if (layout.isEmpty)
        return;
    painter.save();
    painter.translate(topLeft);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = layout.color;
    fill.setAlphaF(float(kBackgroundOpacity));
    QPainterPath background;
    background.addRoundedRect(layout.background, kRadius, kRadius);
    painter.fillPath(background, fill);
    SourceSymbol::paint(painter, layout.symbol, layout.symbolName, layout.color);
    if (!layout.text.isEmpty()) {
        painter.setFont(layout.font);
        painter.setPen(layout.color);
        painter.drawText(layout.text, Qt::AlignLeft | Qt::AlignVCenter, layout.word);
    }
    painter.restore();
}
