#include "ticker/TickerRow.h"

#include "api/Palette.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/session/UrlOpener.h"
#include "store/ReadStore.h"
#include "ticker/ArticleThumbnail.h"
#include "ticker/FaviconStore.h"
#include "ticker/TickerIconView.h"
#include "ticker/TickerSymbols.h"
#include "ticker/ThumbnailStore.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

TickerRowContext TickerRowContext::standard()
{
    return TickerRowContext{&ReadStore::shared(), &Defaults::standard(), &FaviconStore::shared(),
                            &ThumbnailStore::shared(), &UrlOpener::system(), &Clipboard::system()};
}

TickerRow::TickerRow(FeedItem item, int size, TickerRowContext context)
    : m_item(std::move(item))
    , m_size(size)
    , m_context(context)
    , m_layout(TickerRowLayout::make(m_item, size))
    , m_thumbnailUrl(TickerRowLayout::thumbnailUrl(m_item))
    , m_iconKey(TickerIconView::hostKey(m_item))
{
}

double TickerRow::opacity() const
{
    const bool dim = m_context.defaults->boolValue(dimReadItemsKey, dimReadItemsDefault);
    return dim && m_context.readStore->isRead(m_item.stableId) ? readOpacity : 1.0;
}

QSize TickerRow::thumbnailPixels(qreal dpr) const
{
    if (!m_layout.thumbnail)
        return {};
    return {int(std::ceil(m_layout.thumbnail->width() * dpr)), int(std::ceil(m_layout.thumbnail->height() * dpr))};
}

quint64 TickerRow::appearance(qreal dpr) const
{
    quint64 look = opacity() < 1.0 ? 1 : 0;
    if (m_context.favicons->contains(m_iconKey))
        look |= 2;
    // The picture at the size paint() asks for at this ratio.
    if (m_thumbnailUrl && m_context.thumbnails->contains(*m_thumbnailUrl, thumbnailPixels(dpr)))
        look |= 4;
    return look;
}

void TickerRow::paint(QPainter& painter, const QRectF& rect, bool hovered) const
{
    const QPointF o = rect.topLeft();
    painter.save();
    painter.setOpacity(painter.opacity() * opacity());
    if (hovered) {
        QColor highlight(Qt::white);
        highlight.setAlphaF(0.08f);
        QPainterPath back;
        back.addRoundedRect(rect, hoverRadius, hoverRadius);
        painter.fillPath(back, highlight);
    }
    TickerIconView::paint(painter, m_layout.icon.translated(o), m_item, m_size, *m_context.favicons);
    if (m_layout.thumbnail && m_thumbnailUrl) {
        ArticleThumbnail::paint(painter, m_layout.thumbnail->translated(o), TickerRowLayout::thumbnailRadius,
                                *m_thumbnailUrl, *m_context.thumbnails);
    }

    QColor tagFill = m_layout.tint;
    tagFill.setAlphaF(0.15f);
    QPainterPath tag;
    tag.addRoundedRect(m_layout.metaTag.translated(o), metaRadius, metaRadius);
    painter.fillPath(tag, tagFill);
    painter.setPen(m_layout.tint);
    painter.setFont(m_layout.metaFont);
    // The source and the time stand in the order of the cell's other parts,
    // whatever the direction of either; a painter on a cached picture would
    // otherwise take the direction of the line's first letter.
    const Qt::LayoutDirection direction = painter.layoutDirection();
    painter.setLayoutDirection(Qt::LeftToRight);
    painter.drawText(m_layout.metaText.translated(o), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     m_layout.metaLine);
    painter.setLayoutDirection(direction);

    if (m_layout.badge)
        SourceTypeBadge::paint(painter, m_layout.badgeOrigin + o, *m_layout.badge);

    painter.setPen(Palette::primaryText());
    painter.setFont(m_layout.titleFont);
    // One paragraph in the title's own direction: a right-to-left title
    // reads from the right edge and ends, with its ellipsis, at the left.
    painter.setLayoutDirection(m_layout.titleDirection);
    painter.drawText(QPointF(o.x() + m_layout.title.left(), o.y() + m_layout.titleBaseline), m_layout.titleText);
    painter.setLayoutDirection(direction);
    painter.setPen(Palette::secondaryText());
    painter.setFont(m_layout.hostFont);
    painter.drawText(QPointF(o.x() + m_layout.host.left(), o.y() + m_layout.titleBaseline), m_layout.hostText);
    painter.restore();
}

PaintedRow TickerRow::accessibleRow() const
{
    PaintedRow row;
    row.name = m_layout.titleText;
    row.rect = QRectF(QPointF(), m_layout.idealSize);
    if (m_layout.badge && m_item.source && m_item.source->sourceType) {
        const SourceTypeBadge badge(*m_item.source->sourceType, m_size == 1);
        row.parts.append({QAccessible::StaticText, badge.accessibleName(),
                          QRectF(m_layout.badgeOrigin, m_layout.badge->size)});
    }
    return row;
}

void TickerRow::click()
{
    open(m_item, m_context);
}

void TickerRow::open(const FeedItem& item, const TickerRowContext& context)
{
    const std::optional<QUrl> link = item.linkURL();
    if (!link)
        return;
    context.readStore->markRead(item.stableId);
    context.opener->open(*link);
}

void TickerRow::copyLink(const FeedItem& item, const TickerRowContext& context)
{
    if (const std::optional<QUrl> link = item.linkURL())
        context.clipboard->setText(link->toString(QUrl::FullyEncoded));
}

void TickerRow::fillContextMenu(QMenu& menu)
{
    if (!m_item.linkURL())
        return;
    // The menu may outlive a rebuild of the strip: the actions keep copies.
    const FeedItem item = m_item;
    const TickerRowContext context = m_context;
    QObject::connect(menu.addAction(TickerSymbols::icon(TickerSymbols::compass), QStringLiteral("Open")),
                     &QAction::triggered, &menu, [item, context] { open(item, context); });
    QObject::connect(menu.addAction(TickerSymbols::icon(TickerSymbols::link), QStringLiteral("Copy Link")),
                     &QAction::triggered, &menu, [item, context] { copyLink(item, context); });
}
