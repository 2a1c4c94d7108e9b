#pragma once

#include <QWidget>
#include <functional>

// A child that only paints (fades, hairlines, captions) over its siblings;
// the pointer passes through it.
class PaintedOverlay final : public QWidget {
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter&, const QRect&)>;

    explicit PaintedOverlay(Painter painter, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Painter m_painter;
};

// A horizontal gradient from `color` to the same colour fully transparent,
// from the left edge of `rect` (or from its right edge when `fromRight`).
void paintEdgeFade(QPainter& painter, const QRectF& rect, const QColor& color, bool fromRight = false);
