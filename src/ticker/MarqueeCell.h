#pragma once

#include "ticker/PaintedRows.h"

#include <QSizeF>
#include <QtGlobal>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QPainter;
class QRectF;

// One painted cell of the scroller's row (a headline or a quote). A cell
// knows its ideal size, paints itself into a rectangle of that size, and
// answers clicks and the context menu. Main thread only.
class MarqueeCell {
public:
    virtual ~MarqueeCell() = default;

    // Logical pixels; finite and measured once per rebuild.
    virtual QSizeF idealSize() const = 0;
    // A value that changes whenever the look painted at `dpr` device pixels
    // per logical pixel changes (an image arrived, the read state moved); the
    // scroller re-renders the cell's cached picture only then.
    virtual quint64 appearance(qreal dpr) const
    {
        Q_UNUSED(dpr);
        return 0;
    }
    // Paints the cell with its top-left at `rect.topLeft()`.
    virtual void paint(QPainter& painter, const QRectF& rect, bool hovered) const = 0;
    // A single click on the cell.
    virtual void click() {}
    // Adds the cell's context-menu entries; an empty menu is not shown.
    virtual void fillContextMenu(QMenu& menu) { Q_UNUSED(menu); }
    // What assistive technologies read for the cell: its label and its
    // labelled parts, with rectangles relative to the cell's top-left.
    virtual PaintedRow accessibleRow() const { return {}; }
};

using MarqueeCells = std::vector<std::unique_ptr<MarqueeCell>>;

// What the scroller is asked to show: the content key (one string per
// element; equal keys mean equal content) and how to make the cells.
struct MarqueeContent {
    QStringList key;
    std::function<MarqueeCells()> makeCells;
};
