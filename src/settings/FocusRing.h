#pragma once

#include <QWidget>

class QPainter;

// The keyboard focus ring of the settings window: a light line round the
// control's edge with a dark line just inside it. Whatever colour the control
// and its background have, one of the two stands out from it.
class FocusRing final : public QWidget {
    Q_OBJECT
public:
    // Draws the ring just inside `rect`, with corners of `radius`.
    static void paint(QPainter& painter, const QRectF& rect, qreal radius);
    // Whether `control` has the focus and the window's focus has moved by
    // keyboard (as the platform style decides for its own focus frames).
    static bool shows(const QWidget* control);

    // When an attached ring shows: after a keyboard focus move, as for
    // buttons, or whenever the control has the focus, as text fields show it
    // (the field has the focus where typing goes, however it got it).
    enum class When { KeyboardFocus, AnyFocus };

    // Draws the ring over `control` whenever it shows; for controls whose
    // own drawing does not show the focus. The ring is owned by `control`.
    static FocusRing* attach(QWidget* control, qreal radius = 4, When when = When::KeyboardFocus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    FocusRing(QWidget* control, qreal radius, When when);

    QWidget* m_control;
    qreal m_radius;
    When m_when;
};
