#pragma once

#include "api/SourceType.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

// Where the parts of a badge go, relative to its top-left corner. A kind
// without a badge word (Rss, NewsApi) gets an empty layout: no size, nothing
// drawn.
struct SourceTypeBadgeLayout {
    bool isEmpty = true;
    QSizeF size;
    QRectF background;  // rounded, radius 3, accent colour at 15 %
    QRectF symbol;      // the kind's symbol
    QRectF text;        // the badge word; empty when compact
    QString word;
    QFont font;
    QColor color;
    QString symbolName;
};

// A small tinted tag naming a source kind: symbol and badge word, or only
// the symbol when compact. Rows lay it out once and paint it where they like.
class SourceTypeBadge {
public:
    SourceTypeBadge(SourceType type, bool compact) : m_type(type), m_compact(compact) {}

    SourceType type() const { return m_type; }
    bool compact() const { return m_compact; }
    QString accessibleName() const { return displayName(m_type); }

    SourceTypeBadgeLayout layout() const;
    QSizeF sizeHint() const { return layout().size; }
    void paint(QPainter& painter, const QPointF& topLeft) const;
    static void paint(QPainter& painter, const QPointF& topLeft, const SourceTypeBadgeLayout& layout);

    // The badge word's font: monospaced, black weight, 9 pixels.
    static QFont wordFont();

private:
    SourceType m_type;
    bool m_compact;
};
