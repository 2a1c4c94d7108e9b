#include "ticker/TickerIconView.h"

#include "ticker/FaviconStore.h"
#include "ticker/HostLabel.h"
#include "ticker/TickerRowLayout.h"
#include "ticker/TickerSymbols.h"

#include <QCryptographicHash>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

// Every pixel's grey level, alpha kept.
QImage greyscaled(const QImage& source)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int g = qGray(line[x]);
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return image;
}

} // namespace

TickerIconView::TickerIconView(FeedItem item, int size, FaviconStore& favicons, QWidget* parent)
    : QWidget(parent), m_item(std::move(item)), m_size(size), m_favicons(favicons)
{
    const QString key = hostKey(m_item);
    connect(&m_favicons, &FaviconStore::changed, this, [this, key](const QString& changed) {
        if (changed == key)
            update();
    });
}

TickerIconView::TickerIconView(FeedItem item, int size, QWidget* parent)
    : TickerIconView(std::move(item), size, FaviconStore::shared(), parent)
{
}

QString TickerIconView::iconHost(const FeedItem& item)
{
    QString host = HostLabel::forItem(item);
    if (!host.isEmpty())
        return host;
    const QString address = item.source ? item.source->iconUrl.value_or(QString()).trimmed() : QString();
    if (address.isEmpty())
        return {};
    // Letters, digits and "_" only: the name is its own file name, and no
    // site goes by "icon_" and forty hex digits.
    const QByteArray digest = QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("icon_") + QString::fromLatin1(digest.left(40));
}

QString TickerIconView::hostKey(const FeedItem& item)
{
    const QString host = iconHost(item);
    return host.isEmpty() ? QString() : FaviconStore::cacheKey(host, faviconSize);
}

double TickerIconView::side(int size)
{
    return TickerRowLayout::metrics(size).iconSide;
}

QSize TickerIconView::sizeHint() const
{
    const int s = int(std::ceil(side(m_size)));
    return {s, s};
}

void TickerIconView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const double s = side(m_size);
    paint(p, QRectF((width() - s) / 2, (height() - s) / 2, s, s), m_item, m_size, m_favicons);
}

void TickerIconView::paint(QPainter& painter, const QRectF& square, const FeedItem& item, int size,
                           FaviconStore& favicons)
{
    const double g = TickerRowLayout::metrics(size).glyph;
    const QPointF centre = square.center();
    const QString host = iconHost(item);
    const QImage icon = host.isEmpty() ? QImage() : favicons.image(FaviconStore::cacheKey(host, faviconSize));
    painter.save();
    painter.setPen(Qt::NoPen);
    if (!icon.isNull()) {
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre, (g + 6) / 2, (g + 6) / 2);
        const QRectF frame(centre.x() - g / 2, centre.y() - g / 2, g, g);
        QSizeF fitted = QSizeF(icon.size()).scaled(frame.size(), Qt::KeepAspectRatio);
        const QRectF target(centre.x() - fitted.width() / 2, centre.y() - fitted.height() / 2, fitted.width(),
                            fitted.height());
        QPainterPath circle;
        circle.addEllipse(frame);
        painter.setClipPath(circle, Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, greyscaled(icon));
    } else {
        QColor disc(Qt::white);
        disc.setAlphaF(0.1f);
        painter.setBrush(disc);
        painter.drawEllipse(centre, (g + 8) / 2, (g + 8) / 2);
        const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QPixmap symbol = TickerSymbols::pixmap(TickerSymbols::antenna, g, TickerRowLayout::tintFor(item), dpr);
        painter.drawPixmap(QPointF(centre.x() - g / 2, centre.y() - g / 2), symbol);
        if (!host.isEmpty())
            favicons.request(host, item.source ? item.source->iconUrl : std::nullopt, faviconSize);
    }
    painter.restore();
}
