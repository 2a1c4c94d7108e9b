#include "ImagePainter.h"

#include "SampleRandom.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

// 5×7 pixel glyphs, one row per entry, the high bit of five on the left.
struct Glyph {
    char letter;
    quint8 rows[7];
};

const Glyph kGlyphs[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
};

const Glyph& glyphFor(QChar c)
{
    for (const Glyph& g : kGlyphs)
        if (QChar(QLatin1Char(g.letter)) == c)
            return g;
    return kGlyphs[std::size(kGlyphs) - 1];
}

QColor colourFor(SampleRandom& random)
{
    return QColor::fromHsv(random.below(360), 140 + random.below(80), 150 + random.below(70));
}

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

QChar ImagePainter::iconLetter(const QString& host)
{
    QString name = host.toLower();
    if (name.startsWith(QLatin1String("www.")))
        name.remove(0, 4);
    for (QChar c : name) {
        const QChar upper = c.toUpper();
        if ((upper >= QLatin1Char('A') && upper <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return upper;
    }
    return QLatin1Char('?');
}

QByteArray ImagePainter::favicon(const QString& host, int size)
{
    size = std::clamp(size, 16, 256);
    SampleRandom random(0, host.toLower());
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colourFor(random));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.2, size * 0.2);

    // The letter: 5×7 cells scaled to about 60% of the height, centred.
    const int cell = std::max(1, size * 6 / 10 / 7);
    const int left = (size - 5 * cell) / 2;
    const int top = (size - 7 * cell) / 2;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::white);
    const Glyph& glyph = glyphFor(iconLetter(host));
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (glyph.rows[row] & (0x10 >> col))
                painter.drawRect(left + col * cell, top + row * cell, cell, cell);
    painter.end();
    return png(image);
}

QByteArray ImagePainter::picture(const QString& key, int width, int height)
{
    width = std::clamp(width, 16, 1200);
    height = std::clamp(height, 16, 1200);
    SampleRandom random(0, key);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor from = colourFor(random);
    const QColor to = from.darker(220);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        QColor shape = QColor::fromHsv(random.below(360), 90, 240);
        shape.setAlpha(70 + random.below(80));
        painter.setBrush(shape);
        const double r = random.between(0.08, 0.3) * std::min(width, height) * 2;
        const QPointF centre(random.unit() * width, random.unit() * height);
        if (random.chance(0.5))
            painter.drawEllipse(centre, r / 2, r / 2);
        else
            painter.drawRect(QRectF(centre.x() - r / 2, centre.y() - r / 3, r, r * 0.66));
    }
    painter.end();
    return png(image);
}
