#include "ticker/PaintedOverlay.h"

#include <QLinearGradient>
#include <QPainter>

PaintedOverlay::PaintedOverlay(Painter painter, QWidget* parent) : QWidget(parent), m_painter(std::move(painter))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void PaintedOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_painter)
        m_painter(p, rect());
}

void paintEdgeFade(QPainter& painter, const QRectF& rect, const QColor& color, bool fromRight)
{
    QColor clear = color;
    clear.setAlphaF(0);
    QLinearGradient gradient(fromRight ? rect.topRight() : rect.topLeft(),
                             fromRight ? rect.topLeft() : rect.topRight());
    gradient.setColorAt(0, color);
    gradient.setColorAt(1, clear);
    painter.fillRect(rect, gradient);
}
