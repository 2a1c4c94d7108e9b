#include "ticker/ArticleThumbnail.h"

#include "ticker/ThumbnailStore.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

ArticleThumbnail::ArticleThumbnail(QUrl url, double width, double height, double cornerRadius,
                                   ThumbnailStore& store, QWidget* parent)
    : QWidget(parent), m_url(std::move(url)), m_width(width), m_height(height), m_radius(cornerRadius), m_store(store)
{
    connect(&m_store, &ThumbnailStore::changed, this, [this](const QUrl& changed) {
        if (changed == m_url)
            update();
    });
}

ArticleThumbnail::ArticleThumbnail(QUrl url, double width, double height, double cornerRadius, QWidget* parent)
    : ArticleThumbnail(std::move(url), width, height, cornerRadius, ThumbnailStore::shared(), parent)
{
}

void ArticleThumbnail::setUrl(const QUrl& url)
{
    if (url == m_url)
        return;
    m_url = url;
    update();
}

QSize ArticleThumbnail::sizeHint() const
{
    return {int(std::ceil(m_width)), int(std::ceil(m_height))};
}

void ArticleThumbnail::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const double frameWidth = m_width > 0 ? m_width : width();
    paint(p, QRectF((width() - frameWidth) / 2, (height() - m_height) / 2, frameWidth, m_height), m_radius, m_url,
          m_store);
}

void ArticleThumbnail::paint(QPainter& painter, const QRectF& frame, double cornerRadius, const QUrl& url,
                             ThumbnailStore& store)
{
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels(int(std::ceil(frame.width() * dpr)), int(std::ceil(frame.height() * dpr)));
    const QImage image = store.image(url, pixels);
    painter.save();
    QPainterPath rounded;
    rounded.addRoundedRect(frame, cornerRadius, cornerRadius);
    if (image.isNull()) {
        QColor fill(Qt::white);
        fill.setAlphaF(0.05f);
        painter.fillPath(rounded, fill);
        store.request(url, pixels);
    } else {
        painter.setClipPath(rounded, Qt::IntersectClip);
        const QSizeF filled = QSizeF(image.size()).scaled(frame.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(frame.center().x() - filled.width() / 2, frame.center().y() - filled.height() / 2,
                            filled.width(), filled.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    }
    painter.restore();
}
