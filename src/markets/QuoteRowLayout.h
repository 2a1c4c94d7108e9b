#pragma once

#include "markets/MarketModels.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>

class QPainter;

// The painted cell of one market quote: a symbol chip, then two lines
// (price and change; name, holding result, cadence badge, unavailable
// marker). make() measures everything with QFontMetricsF; paint() draws it
// at its ideal size, so a scroller can cache it as a pixmap. All texts are
// drawn as plain text.
struct QuoteRowLayout {
    struct Part {
        QString text;
        QFont font;
        QColor color;
        QRectF rect;  // relative to the cell's top-left corner
        // Digits set in equal advances, so a changing value keeps its width.
        bool tabular = false;
    };

    // Pixel sizes of the fonts for a strip size code (1 compact, 4 large,
    // anything else standard).
    struct FontSizes {
        int symbol;
        int price;
        int change;
        int name;   // name and holding
        int badge;  // badge and unavailable marker
    };

    QRectF chip;  // rounded background behind the symbol
    Part symbol;
    Part price;
    Part change;
    Part name;
    std::optional<Part> holding;
    std::optional<Part> badge;        // "DELAYED", "DAILY" or "ECB FIX"
    std::optional<Part> unavailable;  // "UNAVAILABLE"
    QSizeF idealSize;
    QString accessibleLabel;

    static QuoteRowLayout make(const MarketQuote& quote, int size, const QLocale& locale = QLocale());
    void paint(QPainter& painter, const QPointF& origin = QPointF()) const;

    static FontSizes fontSizes(int size);
    // Figures of equal width whatever the font: every decimal digit takes
    // the advance of the font's widest digit, centred in it.
    static qreal tabularWidth(const QString& text, const QFont& font);
    // Draws `text` so, from the left of `rect`, vertically centred.
    static void drawTabular(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font);
    static QColor quoteUp();
    static QColor quoteDown();
    static QColor quoteFlat();
    // The cadence badge text, or nothing for live quotes.
    static std::optional<QString> badgeText(const MarketQuote& quote);
};
