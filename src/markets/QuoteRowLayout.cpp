#include "markets/QuoteRowLayout.h"

#include "api/ReadableText.h"
#include "markets/MoneyFormat.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace {

constexpr qreal kRowSpacing = 10;
constexpr qreal kLineSpacing = 1;
constexpr qreal kLine1Spacing = 8;
constexpr qreal kLine2Spacing = 6;
constexpr qreal kChipPadX = 6;
constexpr qreal kChipPadY = 3;
constexpr qreal kChipRadius = 4;
constexpr qreal kBadgeKerning = 0.8;

QColor white(qreal alpha)
{
    QColor c(Qt::white);
    c.setAlphaF(float(alpha));
    return c;
}

QFont font(bool monospaced, int pixelSize, QFont::Weight weight)
{
    QFont f = QFontDatabase::systemFont(monospaced ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    f.setPixelSize(std::max(1, pixelSize));
    f.setWeight(weight);
    return f;
}

QuoteRowLayout::Part part(QString text, QFont f, QColor color, bool tabular = false)
{
    const QFontMetricsF metrics(f);
    const qreal width = tabular ? QuoteRowLayout::tabularWidth(text, f) : metrics.horizontalAdvance(text);
    const QSizeF size(std::ceil(width), std::ceil(metrics.height()));
    return {std::move(text), std::move(f), std::move(color), QRectF(QPointF(), size), tabular};
}

qreal widestDigit(const QFontMetricsF& metrics)
{
    qreal widest = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d)
        widest = std::max(widest, metrics.horizontalAdvance(QChar(d)));
    return widest;
}

// Calls `run(text, x)` for each digit alone and each stretch
// between digits, with the advance the tabular setting gives it.
template <class Run>
qreal eachRun(const QString& text, const QFontMetricsF& metrics, Run run)
{
    const qreal cell = widestDigit(metrics);
    qreal x = 0;
    qsizetype start = 0;
    auto flush = [&](qsizetype end) {
        if (end <= start)
            return;
        const QString stretch = text.mid(start, end - start);
        run(stretch, x);
        x += metrics.horizontalAdvance(stretch);
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text.at(i).isDigit())
            continue;
        flush(i);
        run(QString(text.at(i)), x + (cell - metrics.horizontalAdvance(text.at(i))) / 2);
        x += cell;
        start = i + 1;
    }
    flush(text.size());
    return x;
}

// Places parts side by side from `x`, centred on a line of height `height` at `top`.
qreal placeLine(const QList<QuoteRowLayout::Part*>& parts, qreal x, qreal top, qreal height, qreal spacing)
{
    bool first = true;
    for (QuoteRowLayout::Part* p : parts) {
        if (!first)
            x += spacing;
        first = false;
        p->rect.moveTopLeft(QPointF(x, top + (height - p->rect.height()) / 2));
        x += p->rect.width();
    }
    return x;
}

qreal lineWidth(const QList<QuoteRowLayout::Part*>& parts, qreal spacing)
{
    qreal w = 0;
    for (const QuoteRowLayout::Part* p : parts)
        w += p->rect.width();
    return parts.isEmpty() ? 0 : w + spacing * qreal(parts.size() - 1);
}

qreal lineHeight(const QList<QuoteRowLayout::Part*>& parts)
{
    qreal h = 0;
    for (const QuoteRowLayout::Part* p : parts)
        h = std::max(h, p->rect.height());
    return h;
}

QColor signColor(double value)
{
    if (value > 0)
        return QuoteRowLayout::quoteUp();
    if (value < 0)
        return QuoteRowLayout::quoteDown();
    return QuoteRowLayout::quoteFlat();
}

} // namespace

qreal QuoteRowLayout::tabularWidth(const QString& text, const QFont& font)
{
    return eachRun(text, QFontMetricsF(font), [](const QString&, qreal) {});
}

void QuoteRowLayout::drawTabular(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
    painter.setFont(font);
    eachRun(text, metrics, [&](const QString& run, qreal x) {
        painter.drawText(QPointF(rect.left() + x, baseline), run);
    });
}

QuoteRowLayout::FontSizes QuoteRowLayout::fontSizes(int size)
{
    const int s = size == 1 ? 9 : (size == 4 ? 13 : 10);
    const int p = size == 1 ? 15 : (size == 4 ? 30 : 22);
    return {s, p, p - 4, s + 1, s - 1};
}

QColor QuoteRowLayout::quoteUp()
{
    static const QColor color(0x4A, 0xDE, 0x80);
    return color;
}

QColor QuoteRowLayout::quoteDown()
{
    static const QColor color(0xF8, 0x71, 0x71);
    return color;
}

QColor QuoteRowLayout::quoteFlat()
{
    static const QColor color = white(0.6);
    return color;
}

std::optional<QString> QuoteRowLayout::badgeText(const MarketQuote& quote)
{
    switch (quote.cadence) {
    case QuoteCadence::Live:
        return std::nullopt;
    case QuoteCadence::Delayed:
        return QStringLiteral("DELAYED");
    case QuoteCadence::Daily:
        return quote.source == QLatin1String("frankfurter") ? QStringLiteral("ECB FIX") : QStringLiteral("DAILY");
    }
    return std::nullopt;
}

QuoteRowLayout QuoteRowLayout::make(const MarketQuote& quote, int size, const QLocale& locale)
{
    const FontSizes sizes = fontSizes(size);
    const QColor strong = quote.ok ? white(1.0) : white(0.45);
    QuoteRowLayout l;

    l.symbol = part(quote.symbol, font(true, sizes.symbol, QFont::Black), strong);
    const QString priceText = quote.price ? formatMoney(*quote.price, quote.isFx(), locale) : QStringLiteral("\u2014");
    l.price = part(priceText, font(false, sizes.price, QFont::Bold), strong, true);
    const QColor changeColor = quote.ok && quote.changePct ? signColor(*quote.changePct) : quoteFlat();
    l.change = part(quote.changeText(), font(false, sizes.change, QFont::DemiBold), changeColor, true);
    // A name from a provider is cut like a feed's name: the cell stays small.
    const QString name = ReadableText::capped(quote.name, ReadableText::sourceLength);
    l.name = part(name, font(false, sizes.name, QFont::Medium), white(0.6));

    const std::optional<QString> holdingText = quote.holdingText(locale);
    if (holdingText) {
        const std::optional<double> gain = quote.holdingGain();
        l.holding = part(*holdingText, font(false, sizes.name, QFont::Bold), gain ? signColor(*gain) : quoteFlat(),
                         true);
    }
    if (const std::optional<QString> badge = badgeText(quote)) {
        QFont f = font(true, sizes.badge, QFont::Bold);
        f.setLetterSpacing(QFont::AbsoluteSpacing, kBadgeKerning);
        l.badge = part(*badge, f, white(0.5));
    }
    if (!quote.ok)
        l.unavailable = part(QStringLiteral("UNAVAILABLE"), font(true, sizes.badge, QFont::Bold), white(0.4));

    // Symbol chip on the left, the two lines stacked to its right.
    const QSizeF chipSize(l.symbol.rect.width() + 2 * kChipPadX, l.symbol.rect.height() + 2 * kChipPadY);
    QList<Part*> line1{&l.price, &l.change};
    QList<Part*> line2{&l.name};
    for (std::optional<Part>* optional : {&l.holding, &l.badge, &l.unavailable}) {
        if (*optional)
            line2.append(&**optional);
    }
    const qreal line1Height = lineHeight(line1);
    const qreal line2Height = lineHeight(line2);
    const qreal stackHeight = line1Height + kLineSpacing + line2Height;
    const qreal stackWidth = std::max(lineWidth(line1, kLine1Spacing), lineWidth(line2, kLine2Spacing));
    const qreal height = std::max(chipSize.height(), stackHeight);

    l.chip = QRectF(QPointF(0, (height - chipSize.height()) / 2), chipSize);
    l.symbol.rect.moveTopLeft(l.chip.topLeft() + QPointF(kChipPadX, kChipPadY));
    const qreal stackX = chipSize.width() + kRowSpacing;
    const qreal stackTop = (height - stackHeight) / 2;
    placeLine(line1, stackX, stackTop, line1Height, kLine1Spacing);
    placeLine(line2, stackX, stackTop + line1Height + kLineSpacing, line2Height, kLine2Spacing);
    l.idealSize = QSizeF(std::ceil(stackX + stackWidth), std::ceil(height));

    l.accessibleLabel = name + QLatin1Char(' ') + priceText + QLatin1Char(' ') + quote.changeText();
    if (holdingText)
        l.accessibleLabel += QStringLiteral(" holding ") + *holdingText;
    return l;
}

void QuoteRowLayout::paint(QPainter& painter, const QPointF& origin) const
{
    painter.save();
    painter.translate(origin);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(0.12));
    painter.drawRoundedRect(chip, kChipRadius, kChipRadius);

    auto draw = [&painter](const Part& p) {
        painter.setFont(p.font);
        painter.setPen(p.color);
        if (p.tabular)
            drawTabular(painter, p.rect, p.text, p.font);
        else
            painter.drawText(p.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, p.text);
    };
    for (const Part* p : {&symbol, &price, &change, &name})
        draw(*p);
    for (const std::optional<Part>* p : {&holding, &badge, &unavailable}) {
        if (*p)
            draw(**p);
    }
    painter.restore();
}
