#pragma once

#include "api/SourceTypeBadge.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>

struct FeedItem;

// Where everything of one headline cell goes, from font metrics only: the
// source icon, the optional article picture, the meta tag (source and time)
// and the title with the site's host. Rectangles are relative to the cell's
// top-left corner, in logical pixels. Size codes: 1 compact, 4 large, any
// other value standard.
struct TickerRowLayout {
    struct Metrics {
        double iconSide;     // the icon view's square
        double glyph;        // the icon's picture inside it
        QSizeF thumbnail;    // the article picture
        int metaPixels;      // meta tag font
        int titlePixels;     // title font; the host is 2 smaller
    };
    static Metrics metrics(int size);

    static constexpr double spacing = 14;        // icon, picture, text column
    static constexpr double columnSpacing = 2;   // meta line over title line
    static constexpr double titleSpacing = 8;    // title and host
    static constexpr double paddingX = 12;
    static constexpr double paddingY = 6;
    static constexpr double metaPadX = 6;
    static constexpr double metaPadY = 3;
    static constexpr double thumbnailRadius = 6;

    QRectF icon;
    std::optional<QRectF> thumbnail;  // only for an item with a usable picture address
    QRectF metaTag;                   // the tinted rounded rectangle
    QRectF metaText;
    static constexpr double metaSpacing = 5;     // meta tag and badge

    // The source kind's badge (compact at size 1); absent when the source
    // names no kind or the kind has no badge word.
    std::optional<SourceTypeBadgeLayout> badge;
    QPointF badgeOrigin;
    QRectF title;
    QRectF host;
    double titleBaseline = 0;
    QFont metaFont;
    QFont titleFont;
    QFont hostFont;
    QString metaLine;   // read left to right, as the cell's parts are laid out
    QString titleText;  // the clean title, cut to a readable length
    Qt::LayoutDirection titleDirection = Qt::LeftToRight;  // the title's own, as a paragraph
    QString hostText;
    QColor tint;
    QSizeF idealSize;

    static TickerRowLayout make(const FeedItem& item, int size);
    // The picture address of the item when it parses as a URL.
    static std::optional<QUrl> thumbnailUrl(const FeedItem& item);
    // The tint of an item: the category colour of its source title.
    static QColor tintFor(const FeedItem& item);
};
