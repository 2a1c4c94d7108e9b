#pragma once

#include "ticker/PaintedRows.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPair>

// The accessible side of a widget that is a PaintedRowsSource: a list whose
// children are its painted rows, and whose rows' children are their labelled
// parts. Rows are read afresh on every question, so a child stands for a
// position (the third row), not for a particular item; a position the view
// no longer has reads as invalid.
class PaintedRowsAccessible final : public QAccessibleWidget {
public:
    // Lets every widget that is a PaintedRowsSource answer with this
    // interface; views call it on construction (it acts once).
    static void installFactory();

    PaintedRowsAccessible(QWidget* view, const PaintedRowsSource& source);
    ~PaintedRowsAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    // For the children: the rows now, and the interface of row `row`'s part
    // `part` (the row itself for part -1), created on first use.
    QList<PaintedRow> rows() const;
    QWidget* view() const { return widget(); }
    QAccessibleInterface* element(int row, int part) const;

private:
    const PaintedRowsSource& m_source;
    mutable QHash<QPair<int, int>, QAccessible::Id> m_elements;
};
