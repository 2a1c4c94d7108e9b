#include "ticker/QuoteCell.h"

#include <QLocale>
#include <QPainter>
#include <cmath>

QString QuoteCell::number(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (value == 0)
        return std::signbit(value) ? QStringLiteral("-0.0") : QStringLiteral("0.0");
    const double magnitude = std::abs(value);
    // Plain decimals in the everyday range, exponent form outside it.
    const bool plain = magnitude >= 1e-4 && magnitude < 1e16;
    QString text = QString::number(value, plain ? 'f' : 'e', QLocale::FloatingPointShortest);
    if (plain && !text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    return text;
}

QString QuoteCell::key(const MarketQuote& quote)
{
    return quote.symbol + QLatin1Char('=') + number(quote.price.value_or(-1)) + QLatin1Char('/')
        + number(quote.changePct.value_or(0)) + QLatin1Char('/')
        + (quote.ok ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('/')
        + number(quote.holding ? quote.holding->units : 0) + QLatin1Char('@')
        + number(quote.holding ? quote.holding->cost : 0);
}

void QuoteCell::paint(QPainter& painter, const QRectF& rect, bool) const
{
    m_layout.paint(painter, rect.topLeft());
}
