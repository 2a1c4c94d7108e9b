#include "settings/FocusRing.h"

#include <QEvent>
#include <QPainter>

void FocusRing::paint(QPainter& painter, const QRectF& rect, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // Each line one pixel wide, centred on a pixel row so it stays sharp.
    const QRectF outer = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    const QRectF inner = rect.adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRoundedRect(outer, std::max<qreal>(radius - 0.5, 0), std::max<qreal>(radius - 0.5, 0));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRoundedRect(inner, std::max<qreal>(radius - 1.5, 0), std::max<qreal>(radius - 1.5, 0));
    painter.restore();
}

bool FocusRing::shows(const QWidget* control)
{
    return control->hasFocus() && control->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

FocusRing* FocusRing::attach(QWidget* control, qreal radius, When when)
{
    return new FocusRing(control, radius, when);
}

FocusRing::FocusRing(QWidget* control, qreal radius, When when)
    : QWidget(control), m_control(control), m_radius(radius), m_when(when)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(control->rect());
    control->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_control) {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(m_control->rect());
            break;
        case QEvent::FocusIn:
            raise();  // above children the control made since
            update();
            break;
        case QEvent::FocusOut:
            update();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent*)
{
    if (m_when == When::AnyFocus ? !m_control->hasFocus() : !shows(m_control))
        return;
    QPainter painter(this);
    paint(painter, QRectF(rect()), m_radius);
}
