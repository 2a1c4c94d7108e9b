#include "api/SourceSymbol.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

static void initApiSymbols()
{
    // The resources live in a static library: register them explicitly.
    Q_INIT_RESOURCE(api_symbols);
}

namespace {

QString resourcePath(const QString& name)
{
    static const bool registered = (initApiSymbols(), true);
    Q_UNUSED(registered);
    return QStringLiteral(":/api/symbols/%1.svg").arg(name);
}

struct Key {
    QString name;
    int pixels;
    QRgb color;
    friend bool operator==(const Key&, const Key&) = default;
};

size_t qHash(const Key& key, size_t seed = 0)
{
    return qHashMulti(seed, key.name, key.pixels, key.color);
}

} // namespace

namespace SourceSymbol {

bool exists(const QString& name)
{
    return QFile::exists(resourcePath(name));
}

QImage image(const QString& name, qreal side, const QColor& color, qreal scale)
{
    const int pixels = std::max(1, int(std::ceil(side * scale)));
    const Key key{name, pixels, color.rgba()};
    static QHash<Key, QImage> cache;
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return it.value();

    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid())
        return {};
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    {
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(0, 0, pixels, pixels));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(out.rect(), color);
    }
    out.setDevicePixelRatio(scale);
    if (cache.size() > 512)
        cache.clear();
    cache.insert(key, out);
    return out;
}

void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color)
{
    const qreal side = std::min(rect.width(), rect.height());
    if (side <= 0)
        return;
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QImage img = image(name, side, color, scale);
    if (img.isNull())
        return;
    const QRectF target(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.drawImage(target, img);
}

} // namespace SourceSymbol
