#include "settings/SignalSwitchStyle.h"

#include "api/Color.h"
#include "settings/FocusRing.h"

#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QStyleOptionButton>
#include <cmath>

SignalSwitchStyle::SignalSwitchStyle(QColor onColor, QColor offColor, QColor knobColor, qreal width, qreal height)
    : m_onColor(std::move(onColor)), m_offColor(std::move(offColor)), m_knobColor(std::move(knobColor)),
      m_width(width), m_height(height)
{
}

SignalSwitchStyle* SignalSwitchStyle::settings()
{
    static SignalSwitchStyle* style = [] {
        QColor off(Qt::white);
        off.setAlphaF(0.15f);
        auto* s = new SignalSwitchStyle(Color::accentBlue(), off, Qt::white, 36, 18);
        s->setParent(qApp);  // lives as long as the widgets that use it
        return s;
    }();
    return style;
}

void SignalSwitchStyle::apply(QCheckBox* box)
{
    box->setStyle(this);
    box->setCursor(Qt::PointingHandCursor);
    box->setFixedSize(int(std::ceil(m_width)), int(std::ceil(m_height)));
}

QRectF SignalSwitchStyle::trackRect(const QRect& area) const
{
    return QRectF(area.x(), area.y() + (area.height() - m_height) / 2, m_width, m_height);
}

QRectF SignalSwitchStyle::knobRect(const QRectF& track, bool on) const
{
    const qreal side = m_height - 4;
    const qreal x = on ? track.right() - 2 - side : track.left() + 2;
    return QRectF(x, track.top() + 2, side, side);
}

void SignalSwitchStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const
{
    if (element != CE_CheckBox) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const bool on = option->state & State_On;
    const QRectF track = trackRect(option->rect);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(on ? m_onColor : m_offColor);
    painter->drawRoundedRect(track, m_height / 2, m_height / 2);
    painter->setBrush(m_knobColor);
    painter->drawEllipse(knobRect(track, on));
    if ((option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange))
        FocusRing::paint(*painter, track, m_height / 2);
    painter->restore();
}

QSize SignalSwitchStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                          const QWidget* widget) const
{
    if (type == CT_CheckBox)
        return QSize(int(std::ceil(m_width)), int(std::ceil(m_height)));
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

QRect SignalSwitchStyle::subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const
{
    if (element == SE_CheckBoxClickRect || element == SE_CheckBoxIndicator)
        return option->rect;
    return QProxyStyle::subElementRect(element, option, widget);
}
