#include "markets/MoneyFormat.h"

#include <QHash>
#include <charconv>
#include <cmath>
#include <memory>

#include <unicode/locid.h>
#include <unicode/numberformatter.h>

namespace {

using icu::number::LocalizedNumberFormatter;

// Building an ICU formatter is far dearer than using one: keep one per
// locale and digit count (main thread; the set of locales in use is tiny).
const LocalizedNumberFormatter& formatterFor(const QLocale& locale, int digits)
{
    thread_local QHash<QString, std::shared_ptr<LocalizedNumberFormatter>> cache;
    const QString key = locale.name() + QLatin1Char('/') + QString::number(digits);
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return **it;
    const icu::Locale icuLocale(locale.name().toLatin1().constData());
    auto formatter = std::make_shared<LocalizedNumberFormatter>(
        icu::number::NumberFormatter::withLocale(icuLocale)
            .precision(icu::number::Precision::fixedFraction(digits))
            .roundingMode(UNUM_ROUND_HALFEVEN)
            .grouping(UNUM_GROUPING_ON_ALIGNED));
    cache.insert(key, formatter);
    return *formatter;
}

QString plainDecimal(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc())
        return QString();
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

} // namespace

QString formatMoney(double value, bool fx, const QLocale& locale)
{
    const int digits = fx ? 4 : (value >= 1000.0 ? 0 : 2);
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString text = formatterFor(locale, digits).formatDouble(value, status).toString(status);
    if (U_FAILURE(status) || text.isEmpty())
        return plainDecimal(value);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString fixedText(double value, int fractionDigits)
{
    char buffer[400];  // a fixed text of the largest double has 309 digits
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, fractionDigits);
    if (result.ec != std::errc())
        return plainDecimal(value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}
