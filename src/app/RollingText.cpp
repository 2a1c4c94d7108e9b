#include "app/RollingText.h"

#include <QEasingCurve>
#include <QFontMetricsF>
#include <QPainter>
#include <QVariantAnimation>
#include <cmath>

RollingText::RollingText(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QVariantAnimation* RollingText::transition() const
{
    return m_transition && m_transition->state() != QAbstractAnimation::Stopped ? m_transition.data() : nullptr;
}

void RollingText::setText(const QString& text)
{
    if (text == m_text)
        return;
    const bool roll = isVisible() && !m_text.isEmpty();
    m_previous = m_text;
    m_text = text;
    updateGeometry();
    update();
    if (!roll) {
        m_previous.clear();
        m_progress = 1.0;
        if (m_transition)
            m_transition->stop();
        return;
    }
    if (!m_transition) {
        m_transition = new QVariantAnimation(this);
        m_transition->setStartValue(0.0);
        m_transition->setEndValue(1.0);
        m_transition->setDuration(transitionMs);
        m_transition->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_transition, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_progress = v.toDouble();
            update();
        });
        connect(m_transition, &QVariantAnimation::finished, this, [this] {
            m_previous.clear();
            m_progress = 1.0;
            updateGeometry();
            update();
        });
    }
    // A change on top of a running one starts from the text now arriving.
    m_transition->stop();
    m_progress = 0.0;
    m_transition->start();
}

QSize RollingText::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const double width = std::max(metrics.horizontalAdvance(m_text), metrics.horizontalAdvance(m_previous));
    return {int(std::ceil(width)), int(std::ceil(metrics.height()))};
}

void RollingText::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    p.setClipRect(rect());
    const QFontMetricsF metrics(font());
    const double baseline = (height() - metrics.height()) / 2 + metrics.ascent();
    const double lineHeight = metrics.height();
    const bool rolling = m_progress < 1.0;
    const qsizetype count = std::max(m_text.size(), rolling ? m_previous.size() : 0);
    double x = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const QChar now = i < m_text.size() ? m_text.at(i) : QChar();
        const QChar before = rolling && i < m_previous.size() ? m_previous.at(i) : now;
        if (now == before) {
            if (!now.isNull())
                p.drawText(QPointF(x, baseline), QString(now));
        } else {
            // The old character rises out at the top, the new one from below.
            if (!before.isNull()) {
                p.setOpacity(1.0 - m_progress);
                p.drawText(QPointF(x, baseline - m_progress * lineHeight), QString(before));
            }
            if (!now.isNull()) {
                p.setOpacity(m_progress);
                p.drawText(QPointF(x, baseline + (1.0 - m_progress) * lineHeight), QString(now));
            }
            p.setOpacity(1.0);
        }
        const QChar advanceOf = now.isNull() ? before : now;
        x += metrics.horizontalAdvance(advanceOf);
    }
}
