#pragma once

#include <QLocale>
#include <QString>

// Number text of an amount, without currency symbol or sign of its own:
// decimal style with grouping in `locale`, rounded half-even to 4 fraction
// digits when `fx`, else 0 from 1000 up and 2 below. Falls back to the
// plain decimal text of the value when the formatter gives none.
QString formatMoney(double value, bool fx, const QLocale& locale = QLocale());

// Locale-independent fixed-point text ("1.23"), "." as decimal point.
QString fixedText(double value, int fractionDigits);
