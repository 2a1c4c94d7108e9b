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

    // Draws the ring over `control` whenever it shows; for controls whose
    // own drawing does not show the focus. The ring is owned by `control`.
    static FocusRing* attach(QWidget* control, qreal radius = 4);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    FocusRing(QWidget* control, qreal radius);

    QWidget* m_control;
    qreal m_radius;
};
