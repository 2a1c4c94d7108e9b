#include "ticker/ImageCache.h"

qint64 ImageCache::decodedCost(const QImage& image)
{
    return std::max<qint64>(1, qint64(image.width()) * image.height() * 4);
}
