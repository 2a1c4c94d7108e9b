#pragma once

#include <QColor>
#include <QProxyStyle>
#include <QRectF>

class QCheckBox;

// Draws a check box as a switch: a capsule in the on or off colour with a
// round knob at its trailing end when on and its leading end when off. The
// box's own text is not drawn, and a click anywhere on it toggles it. Once
// the keyboard has moved the focus in its window, the focused switch wears
// the settings focus ring round its capsule.
class SignalSwitchStyle : public QProxyStyle {
    Q_OBJECT
public:
    SignalSwitchStyle(QColor onColor, QColor offColor, QColor knobColor, qreal width, qreal height);

    // The settings look: 36 × 18, accent blue when on, white at 15 % when off,
    // a white knob. One shared instance, owned by the application.
    static SignalSwitchStyle* settings();

    // Makes `box` a switch in this style (the style is not owned by the box).
    void apply(QCheckBox* box);

    QRectF trackRect(const QRect& area) const;
    QRectF knobRect(const QRectF& track, bool on) const;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override;

private:
    QColor m_onColor;
    QColor m_offColor;
    QColor m_knobColor;
    qreal m_width;
    qreal m_height;
};
