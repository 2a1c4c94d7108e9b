#include "music/MusicChipPainting.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace MusicChipPainting {

namespace {

const QColor fill(255, 255, 255, 40);
const QColor ink(255, 255, 255);

double textWidth(const QString& text)
{
    return std::min(QFontMetricsF(font()).horizontalAdvance(text), maxTextWidth);
}

void paintNote(QPainter& painter, const QRectF& box)
{
    const double head = box.width() * 0.5;
    const QRectF headRect(box.left(), box.bottom() - head * 0.8, head, head * 0.8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(headRect);
    painter.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
    const double stemX = headRect.right() - 0.7;
    painter.drawLine(QPointF(stemX, headRect.center().y()), QPointF(stemX, box.top()));
    painter.drawLine(QPointF(stemX, box.top()), QPointF(box.right(), box.top() + box.height() * 0.25));
}

void paintWaves(QPainter& painter, const QRectF& box)
{
    painter.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    const double heights[] = {0.4, 1.0, 0.65, 0.85};
    const double step = box.width() / 4;
    for (int i = 0; i < 4; ++i) {
        const double x = box.left() + step * (i + 0.5);
        const double h = box.height() * heights[i];
        painter.drawLine(QPointF(x, box.center().y() - h / 2), QPointF(x, box.center().y() + h / 2));
    }
}

} // namespace

QFont font()
{
    QFont f;
    f.setPixelSize(11);
    f.setWeight(QFont::DemiBold);
    return f;
}

QSizeF measure(const QString& text)
{
    return {padX + symbolSide + spacing + textWidth(text) + spacing + closeSide + padX, height};
}

QRectF closeRect(const QSizeF& size)
{
    return {size.width() - padX - closeSide, (size.height() - closeSide) / 2, closeSide, closeSide};
}

void paint(QPainter& painter, const QRectF& rect, Symbol symbol, const QString& text)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, rect.height() / 2, rect.height() / 2);

    const QRectF symbolBox(rect.left() + padX, rect.center().y() - symbolSide / 2, symbolSide, symbolSide);
    if (symbol == Symbol::Note)
        paintNote(painter, symbolBox);
    else
        paintWaves(painter, symbolBox);

    const QFont f = font();
    painter.setFont(f);
    painter.setPen(ink);
    const double width = textWidth(text);
    const QRectF textRect(symbolBox.right() + spacing, rect.top(), width, rect.height());
    const QString shown = QFontMetricsF(f).elidedText(text, Qt::ElideRight, width);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, shown);

    const QRectF cross = closeRect(rect.size()).translated(rect.topLeft()).adjusted(3, 3, -3, -3);
    painter.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
    painter.restore();
}

} // namespace MusicChipPainting
