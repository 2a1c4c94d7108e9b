#pragma once

#include "api/ItemModels.h"
#include "platform/storage/SettingsCatalogue.h"
#include "ticker/MarqueeCell.h"
#include "ticker/TickerRowLayout.h"

class Clipboard;
class Defaults;
class FaviconStore;
class ReadStore;
class ThumbnailStore;
class UrlOpener;

// What headline cells read and act on; the standard one holds the shared
// instances, tests pass their own.
struct TickerRowContext {
    ReadStore* readStore;
    Defaults* defaults;
    FaviconStore* favicons;
    ThumbnailStore* thumbnails;
    UrlOpener* opener;
    Clipboard* clipboard;

    static TickerRowContext standard();
};

// One headline of the strip as a painted cell: icon, optional picture, the
// meta tag and the title with the site's host. A click marks the item read,
// then opens its link; read items are dimmed while "dimReadItems" is on.
class TickerRow final : public MarqueeCell {
public:
    static inline const QString dimReadItemsKey = Settings::dimReadItems.key.toString();
    static constexpr bool dimReadItemsDefault = Settings::dimReadItems.fallback;
    static constexpr double readOpacity = 0.45;
    static constexpr double hoverRadius = 8;
    static constexpr double metaRadius = 4;

    TickerRow(FeedItem item, int size, TickerRowContext context);

    const FeedItem& item() const { return m_item; }
    const TickerRowLayout& layout() const { return m_layout; }
    // The cell's opacity now: 0.45 for a read item while dimming is on.
    double opacity() const;

    QSizeF idealSize() const override { return m_layout.idealSize; }
    quint64 appearance(qreal dpr) const override;
    void paint(QPainter& painter, const QRectF& rect, bool hovered) const override;
    // Marks the item read, then opens its link; nothing without a link.
    void click() override;
    // "Open" and "Copy Link"; nothing without a link.
    void fillContextMenu(QMenu& menu) override;
    // The title; the source badge, when one is painted, as a part named
    // after the source kind.
    PaintedRow accessibleRow() const override;
    // Puts the link on the clipboard; the item stays unread.
    void copyLink() const { copyLink(m_item, m_context); }

    static void open(const FeedItem& item, const TickerRowContext& context);
    static void copyLink(const FeedItem& item, const TickerRowContext& context);

private:
    QSize thumbnailPixels(qreal dpr) const;

    FeedItem m_item;
    int m_size;
    TickerRowContext m_context;
    TickerRowLayout m_layout;
    std::optional<QUrl> m_thumbnailUrl;
    QString m_iconKey;
};
