#include "settings/BusySpinner.h"

#include <QPainter>

BusySpinner::BusySpinner(QColor color, QWidget* parent) : QWidget(parent), m_color(std::move(color))
{
    setFixedSize(16, 16);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void BusySpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(m_color, 2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.drawArc(box, -m_angle * 16, 270 * 16);
}

void BusySpinner::showEvent(QShowEvent*)
{
    m_timer.start();
}

void BusySpinner::hideEvent(QHideEvent*)
{
    m_timer.stop();
}
