#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QWidget>

class QPainter;

// The brand mark: a bar, a signal dot on it and an arc-shaped halo above the
// dot, drawn at any height from a 720 × 148 design canvas (width = height ×
// 720 / 148). Callers pick the colours.
class TidewireMark : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal markOpacity READ markOpacity WRITE setMarkOpacity)
public:
    struct Geometry {
        QSizeF size;
        QRectF bar;        // a capsule across the canvas width
        QRectF dot;        // the signal dot, sitting on the bar
        QPainterPath halo; // stroked, not filled
        qreal haloWidth = 0;
    };
    static Geometry geometry(qreal height);
    // Draws the mark with its top-left corner at `origin`.
    static void paint(QPainter& painter, const QPointF& origin, qreal height, const QColor& barColor,
                      const QColor& signalColor);

    TidewireMark(qreal height, QColor barColor, QColor signalColor, QWidget* parent = nullptr);

    qreal markHeight() const { return m_height; }
    qreal markOpacity() const { return m_opacity; }
    void setMarkOpacity(qreal opacity);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_height;
    QColor m_barColor;
    QColor m_signalColor;
    qreal m_opacity = 1.0;
};
