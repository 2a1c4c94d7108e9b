#include "ticker/TickerSymbols.h"

#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QApplication>
#include <QSvgRenderer>
#include <cmath>

static void initTickerResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ticker);
        return true;
    }();
    Q_UNUSED(done);
}

namespace TickerSymbols {

QPixmap pixmap(const QString& name, double side, const QColor& color, qreal dpr)
{
    initTickerResources();
    static QHash<QString, QPixmap> cache;
    const int pixels = std::max(1, int(std::ceil(side * dpr)));
    const QString key = name + QLatin1Char('|') + QString::number(pixels) + QLatin1Char('|')
        + QString::number(color.rgba(), 16) + QLatin1Char('|') + QString::number(dpr);
    if (const auto found = cache.constFind(key); found != cache.cend())
        return *found;

    QSvgRenderer renderer(QStringLiteral(":/ticker/symbols/") + name + QStringLiteral(".svg"));
    if (!renderer.isValid())
        return {};
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(dpr);
    if (cache.size() > 256)
        cache.clear();
    cache.insert(key, result);
    return result;
}

QIcon icon(const QString& name)
{
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    return QIcon(pixmap(name, 16, text, qApp ? qApp->devicePixelRatio() : 1.0));
}

} // namespace TickerSymbols
