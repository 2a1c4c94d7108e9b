#include "WideWords.h"

#include <QImage>
#include <QLabel>
#include <algorithm>
#include <cstdlib>
#include <limits>

namespace WideWords {

QString compound()
{
    return QStringLiteral("Donaudampfschifffahrt").repeated(9);
}

QString address(qsizetype length)
{
    QString text = QStringLiteral("https://long.example/");
    for (int segment = 0; text.size() < length; ++segment)
        text += QStringLiteral("segment%1/").arg(segment, 2, 10, QLatin1Char('0'));
    return text;
}

QString hebrew()
{
    return QString(QChar(0x05D0)) + QString(QChar(0x05D1)).repeated(178) + QChar(0x05EA);
}

QString arabic()
{
    return QStringLiteral("\u0627\u0644\u0633\u0644\u0627\u0645").repeated(30);
}

namespace {

// A colour no label text is drawn in, under the text only.
const QColor kGround(120, 0, 120);

QImage drawn(QLabel* label)
{
    QImage image(label->size(), QImage::Format_ARGB32);
    image.fill(kGround);
    label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int difference(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// Whether `shown` has the letters `reference` drew where it drew them (up to
// a pixel aside); false when `reference` drew none.
bool sameLetters(const QImage& reference, const QImage& shown)
{
    // Where the reference drew its letters, and how far their colour is from
    // the ground: pixels differ when they differ by half of that.
    QRect ink;
    int inked = 0;
    int strongest = 0;
    for (int y = 0; y < reference.height(); ++y)
        for (int x = 0; x < reference.width(); ++x) {
            const int away = difference(reference.pixel(x, y), kGround.rgb());
            if (away == 0)
                continue;
            ink |= QRect(x, y, 1, 1);
            ++inked;
            strongest = std::max(strongest, away);
        }
    if (inked == 0)
        return false;
    // The same letters may sit a pixel aside (rounding of the line's start).
    int fewest = std::numeric_limits<int>::max();
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int different = 0;
            for (int y = ink.top(); y <= ink.bottom(); ++y)
                for (int x = ink.left(); x <= ink.right(); ++x) {
                    const QPoint at(x + dx, y + dy);
                    const QRgb seen = shown.rect().contains(at) ? shown.pixel(at) : kGround.rgb();
                    if (2 * difference(reference.pixel(x, y), seen) > strongest)
                        ++different;
                }
            fewest = std::min(fewest, different);
        }
    return fewest * 100 <= inked;
}

} // namespace

bool showsLine(QLabel* label, const QString& text, Qt::Alignment alignment)
{
    QLabel reference;
    reference.setTextFormat(Qt::PlainText);
    reference.setText(text);
    reference.setFont(label->font());
    reference.setPalette(label->palette());
    reference.setContentsMargins(label->contentsMargins());
    reference.setMargin(label->margin());
    reference.setAlignment(alignment | Qt::AlignAbsolute);
    reference.resize(label->size());
    return sameLetters(drawn(&reference), drawn(label));
}

bool showsStartAtLeadingEdge(QLabel* label, const QString& start, Qt::LayoutDirection direction)
{
    // The first line where the label's vertical alignment puts a line of its
    // own, or at the top, where it is when the lines fill the label.
    const Qt::Alignment edge = direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    return showsLine(label, start, edge | (label->alignment() & Qt::AlignVertical_Mask)) ||
           showsLine(label, start, edge | Qt::AlignTop);
}

} // namespace WideWords
