#pragma once

#include <QAccessible>
#include <QList>
#include <QRectF>
#include <QString>

// What assistive technologies see of a view that paints its rows instead of
// holding a widget per row: each row, and inside a row the painted parts
// that carry a label of their own (a source badge). Rectangles are in the
// coordinates of whoever hands them out.
struct PaintedPart {
    QAccessible::Role role = QAccessible::StaticText;
    QString name;
    QRectF rect;
};

struct PaintedRow {
    QAccessible::Role role = QAccessible::ListItem;
    QString name;
    QRectF rect;
    QList<PaintedPart> parts;
};

// Implemented by such a view, next to QWidget; PaintedRowsAccessible asks it
// for its rows, in widget coordinates, each time a question comes.
class PaintedRowsSource {
public:
    virtual QList<PaintedRow> accessibleRows() const = 0;

protected:
    ~PaintedRowsSource() = default;
};
