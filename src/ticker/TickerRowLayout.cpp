#include "ticker/TickerRowLayout.h"

#include "api/ItemModels.h"
#include "api/Palette.h"
#include "api/ReadableText.h"
#include "platform/session/UrlOpener.h"
#include "ticker/HostLabel.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QUrl>
#include <algorithm>

namespace {

QFont systemFont(int pixels, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(int pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// The meta line as cells show it, each piece in its own direction. It costs
// a few date formatters per call; a strip shows the same items rebuild after
// rebuild, so their texts are kept until the day changes.
QString cachedMetaLine(const FeedItem& item)
{
    static QHash<QString, QString> cache;
    static QDate day;
    const MetaLineContext context = MetaLineContext::current();
    const QDate today = context.now.toTimeZone(context.zone).date();
    if (today != day || cache.size() > 4096) {
        cache.clear();
        day = today;
    }
    const QString key = (item.source && item.source->title ? *item.source->title : QString()) + QChar(0x1f)
        + item.url.value_or(QString()) + QChar(0x1f)
        + (item.publishedAt ? QString::number(item.publishedAt->toMSecsSinceEpoch()) : QString());
    const auto found = cache.constFind(key);
    if (found != cache.cend())
        return *found;
    const QString line = ReadableText::metaLine(item, context);
    cache.insert(key, line);
    return line;
}

} // namespace

TickerRowLayout::Metrics TickerRowLayout::metrics(int size)
{
    switch (size) {
    case 1:
        return {28, 16, {40, 26}, 9, 15};
    case 4:
        return {54, 32, {80, 50}, 13, 30};
    default:
        return {40, 24, {56, 36}, 10, 22};
    }
}

std::optional<QUrl> TickerRowLayout::thumbnailUrl(const FeedItem& item)
{
    // Read like a link: a raw space or "|" in the address is encoded, not fatal.
    if (!item.imageUrl)
        return std::nullopt;
    return webUrl(*item.imageUrl);
}

QColor TickerRowLayout::tintFor(const FeedItem& item)
{
    const QString name = item.source && item.source->title ? *item.source->title : QString();
    return categoryTint(name);
}

TickerRowLayout TickerRowLayout::make(const FeedItem& whole, int size)
{
    const Metrics m = metrics(size);
    const FeedItem item = ReadableText::withReadableSource(whole);
    TickerRowLayout l;
    l.metaLine = cachedMetaLine(item);
    // A title too long to read is cut before it is measured: the cell and
    // its cached picture stay the size of a readable headline.
    l.titleText = ReadableText::headline(item);
    l.titleDirection = ReadableText::direction(l.titleText);
    l.hostText = HostLabel::forItem(item);
    l.tint = tintFor(whole);
    l.metaFont = monospacedFont(m.metaPixels, QFont::Black);
    l.titleFont = systemFont(m.titlePixels, QFont::Bold);
    l.hostFont = systemFont(m.titlePixels - 2, QFont::Medium);

    // Text column: the meta line over the title line.
    const QFontMetricsF metaFm(l.metaFont);
    const QSizeF metaTextSize(metaFm.horizontalAdvance(l.metaLine), metaFm.height());
    const QSizeF tagSize(metaTextSize.width() + 2 * metaPadX, metaTextSize.height() + 2 * metaPadY);
    if (item.source && item.source->sourceType) {
        SourceTypeBadgeLayout badge = SourceTypeBadge(*item.source->sourceType, size == 1).layout();
        if (!badge.isEmpty)
            l.badge = badge;
    }
    const double metaLineWidth = tagSize.width() + (l.badge ? metaSpacing + l.badge->size.width() : 0.0);
    const double metaLineHeight = std::max(tagSize.height(), l.badge ? l.badge->size.height() : 0.0);

    const QFontMetricsF titleFm(l.titleFont);
    const QFontMetricsF hostFm(l.hostFont);
    const double titleWidth = titleFm.horizontalAdvance(l.titleText);
    const double hostWidth = hostFm.horizontalAdvance(l.hostText);
    const double ascent = std::max(titleFm.ascent(), hostFm.ascent());
    const double descent = std::max(titleFm.descent(), hostFm.descent());
    const double titleLineHeight = ascent + descent;
    const double titleLineWidth = titleWidth + titleSpacing + hostWidth;

    const double columnWidth = std::max(metaLineWidth, titleLineWidth);
    const double columnHeight = metaLineHeight + columnSpacing + titleLineHeight;

    const bool hasThumbnail = thumbnailUrl(item).has_value();
    const double contentHeight = std::max({m.iconSide, hasThumbnail ? m.thumbnail.height() : 0.0, columnHeight});
    const double midY = paddingY + contentHeight / 2;

    double x = paddingX;
    l.icon = QRectF(x, midY - m.iconSide / 2, m.iconSide, m.iconSide);
    x += m.iconSide + spacing;
    if (hasThumbnail) {
        l.thumbnail = QRectF(x, midY - m.thumbnail.height() / 2, m.thumbnail.width(), m.thumbnail.height());
        x += m.thumbnail.width() + spacing;
    }
    const double columnTop = midY - columnHeight / 2;
    const double metaMid = columnTop + metaLineHeight / 2;
    l.metaTag = QRectF(x, metaMid - tagSize.height() / 2, tagSize.width(), tagSize.height());
    l.metaText = QRectF(x + metaPadX, l.metaTag.top() + metaPadY, metaTextSize.width(), metaTextSize.height());
    if (l.badge)
        l.badgeOrigin = QPointF(l.metaTag.right() + metaSpacing, metaMid - l.badge->size.height() / 2);
    const double lineTop = columnTop + metaLineHeight + columnSpacing;
    l.titleBaseline = lineTop + ascent;
    l.title = QRectF(x, l.titleBaseline - titleFm.ascent(), titleWidth, titleFm.ascent() + titleFm.descent());
    l.host = QRectF(x + titleWidth + titleSpacing, l.titleBaseline - hostFm.ascent(), hostWidth,
                    hostFm.ascent() + hostFm.descent());
    l.idealSize = QSizeF(x + columnWidth + paddingX, contentHeight + 2 * paddingY);
    return l;
}
