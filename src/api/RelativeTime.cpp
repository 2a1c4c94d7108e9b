#include "api/RelativeTime.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

std::optional<QString> relativeTimeText(const QDateTime& date, const QDateTime& now)
{
    // The largest unit that fits, like "5 min. ago" or "in 2 hr.".
    const double seconds = double(now.msecsTo(date)) / 1000.0;
    const double magnitude = std::abs(seconds);
    struct Step {
        double limit;
        double size;
        URelativeDateTimeUnit unit;
    };
    static const Step steps[] = {
        {60, 1, UDAT_REL_UNIT_SECOND},          {3600, 60, UDAT_REL_UNIT_MINUTE},
        {86400, 3600, UDAT_REL_UNIT_HOUR},      {604800, 86400, UDAT_REL_UNIT_DAY},
        {2629800, 604800, UDAT_REL_UNIT_WEEK},  {31557600, 2629800, UDAT_REL_UNIT_MONTH},
        {INFINITY, 31557600, UDAT_REL_UNIT_YEAR},
    };
    const Step* step = std::find_if(std::begin(steps), std::end(steps),
                                    [&](const Step& s) { return magnitude < s.limit; });
    const double amount = std::trunc(seconds / step->size);

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(QLocale().name().toUtf8().constData());
    icu::RelativeDateTimeFormatter formatter(locale, nullptr, UDAT_STYLE_SHORT, UDISPCTX_CAPITALIZATION_NONE,
                                             status);
    icu::UnicodeString text;
    formatter.formatNumeric(amount == 0 ? 0.0 : amount, step->unit, text, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}
