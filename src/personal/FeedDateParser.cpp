#include "personal/FeedDateParser.h"

#include "platform/storage/Json.h"

#include <QRegularExpression>
#include <array>
#include <memory>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace {

// The RFC 822 family as feeds write it, tried in this order.
constexpr std::array<const char*, 5> kDatePatterns = {
    "EEE, dd MMM yyyy HH:mm:ss Z",
    "EEE, dd MMM yyyy HH:mm:ss zzz",
    "dd MMM yyyy HH:mm:ss Z",
    "EEE, dd MMM yyyy HH:mm Z",
    "EEE, d MMM yyyy HH:mm:ss Z",
};

// The stores keep dates as ISO 8601 text: an instant it cannot carry (a year
// past 9999 or before 1 in UTC) reads as no date rather than as one that
// would make the stored list unreadable.
std::optional<QDateTime> writable(const QDateTime& date)
{
    if (!isIsoWritable(date))
        return std::nullopt;
    return date;
}

// ICU formatters are not safe to share for parsing: each thread gets its own.
class DateFormatters {
public:
    static DateFormatters& forThisThread()
    {
        thread_local DateFormatters formatters;
        return formatters;
    }

    std::optional<QDateTime> parse(const QString& text)
    {
        // ICU reads a year of any length; the patterns write four digits.
        static const QRegularExpression longNumber(QStringLiteral("\\d{5}"));
        if (text.contains(longNumber))
            return std::nullopt;
        const icu::UnicodeString input(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
        for (const auto& format : m_formats) {
            if (!format)
                continue;
            icu::ParsePosition position(0);
            const UDate date = format->parse(input, position);
            // The whole text must be read: a trailing remainder is no match.
            if (position.getErrorIndex() < 0 && position.getIndex() == input.length())
                return writable(QDateTime::fromMSecsSinceEpoch(qint64(date), Qt::UTC));
        }
        return std::nullopt;
    }

private:
    DateFormatters()
    {
        const icu::Locale posix("en_US_POSIX");
        for (std::size_t i = 0; i < kDatePatterns.size(); ++i) {
            UErrorCode status = U_ZERO_ERROR;
            auto format = std::make_unique<icu::SimpleDateFormat>(
                icu::UnicodeString::fromUTF8(kDatePatterns[i]), posix, status);
            if (U_FAILURE(status))
                continue;
            format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8("GMT")));
            format->setLenient(false);
            m_formats[i] = std::move(format);
        }
    }

    std::array<std::unique_ptr<icu::SimpleDateFormat>, kDatePatterns.size()> m_formats;
};

std::optional<QDateTime> parseIsoDay(const QString& text)
{
    static const QRegularExpression day(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const QRegularExpressionMatch m = day.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return std::nullopt;
    return QDateTime(date, QTime(0, 0), Qt::UTC);
}

int monthNumber(QStringView name)
{
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) {
        if (name.compare(QLatin1StringView(kMonths[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

bool isWeekday(QStringView name)
{
    static constexpr const char* kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    for (const char* day : kDays) {
        if (name.compare(QLatin1StringView(day), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The decimal value of text[at, at + count), or -1 unless all are ASCII digits.
int digits(QStringView text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

std::optional<QDateTime> FeedDateParser::parse(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // Every ISO form starts with the year's digits.
    if (trimmed.front().isDigit()) {
        if (auto date = parseCommonIso8601(trimmed))
            return date;
        if (auto date = parseIso8601(trimmed))
            return date;
        if (auto date = parseIsoDay(trimmed))
            return date;
    }
    if (auto date = parseCommonRfc822(trimmed))
        return date;
    return DateFormatters::forThisThread().parse(trimmed);
}

std::optional<QDateTime> FeedDateParser::parseWithIcu(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return DateFormatters::forThisThread().parse(trimmed);
}

// "2024-05-07T10:00:00Z" and "2024-05-07T10:00:00+02:00" without the
// regular expression; anything else, valid or not, goes to parseIso8601().
std::optional<QDateTime> FeedDateParser::parseCommonIso8601(QStringView text)
{
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    auto at = [&](qsizetype i, char16_t c) { return text.at(i).unicode() == c; };
    if (!at(4, u'-') || !at(7, u'-') || !at(10, u'T') || !at(13, u':') || !at(16, u':'))
        return std::nullopt;
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const QTime time(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2));
    if (!date.isValid() || !time.isValid() || digits(text, 0, 4) < 0)
        return std::nullopt;
    int offsetSeconds = 0;
    if (text.size() == 20) {
        if (!at(19, u'Z'))
            return std::nullopt;
    } else {
        const char16_t sign = text.at(19).unicode();
        const int hours = digits(text, 20, 2);
        const int minutes = digits(text, 23, 2);
        if ((sign != u'+' && sign != u'-') || !at(22, u':') || hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 3600 + minutes * 60) * (sign == u'-' ? -1 : 1);
    }
    return writable(QDateTime(date, time, Qt::UTC).addSecs(-offsetSeconds));
}

// ICU's number and name matching dominates a feed's parse time; this reads
// the one spelling nearly every RSS feed uses. It accepts only what ICU's
// first pattern reads to the same instant (weekday names are checked but, as
// in ICU, not matched against the date) and leaves everything else to ICU.
std::optional<QDateTime> FeedDateParser::parseCommonRfc822(QStringView text)
{
    // "Tue, 07 May 2024 10:00:00 +0000" (31) or "Tue, 07 May 2024 10:00:00 GMT" (29)
    if (text.size() != 31 && text.size() != 29)
        return std::nullopt;
    auto at = [&](qsizetype i, char16_t c) { return text.at(i).unicode() == c; };
    if (!at(3, u',') || !at(4, u' ') || !at(7, u' ') || !at(11, u' ') || !at(16, u' ') || !at(19, u':')
        || !at(22, u':') || !at(25, u' '))
        return std::nullopt;
    if (!isWeekday(text.first(3)))
        return std::nullopt;
    const int day = digits(text, 5, 2);
    const int month = monthNumber(text.sliced(8, 3));
    const int year = digits(text, 12, 4);
    const int hour = digits(text, 17, 2);
    const int minute = digits(text, 20, 2);
    const int second = digits(text, 23, 2);
    // Early years fall into ICU's Julian calendar: leave them to ICU.
    if (day < 1 || month == 0 || year < 1900 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0
        || second > 59)
        return std::nullopt;
    int offsetSeconds = 0;
    if (text.size() == 29) {
        if (text.sliced(26) != QLatin1StringView("GMT"))
            return std::nullopt;
    } else {
        const char16_t sign = text.at(26).unicode();
        const int offsetHours = digits(text, 27, 2);
        const int offsetMinutes = digits(text, 29, 2);
        if ((sign != u'+' && sign != u'-') || offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0
            || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (sign == u'-' ? -1 : 1);
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return writable(QDateTime(date, QTime(hour, minute, second), Qt::UTC).addSecs(-offsetSeconds));
}

