#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Publication dates as feeds write them. In this order: ISO 8601 date-times
// (strict, with or without fractional seconds), ISO 8601 bare dates (midnight
// GMT), then five RFC 822 spellings read by ICU in the en_US_POSIX locale and
// GMT, non-lenient, the whole text consumed:
//   "EEE, dd MMM yyyy HH:mm:ss Z", "EEE, dd MMM yyyy HH:mm:ss zzz",
//   "dd MMM yyyy HH:mm:ss Z", "EEE, dd MMM yyyy HH:mm Z",
//   "EEE, d MMM yyyy HH:mm:ss Z".
// Each thread has its own formatters. Results are in UTC and within the
// years ISO 8601 text carries (isIsoWritable()); a year written with more
// than four digits, or an instant outside 0001 to 9999 in UTC, is no date.
class FeedDateParser {
public:
    static std::optional<QDateTime> parse(const QString& text);

    // The RFC 822 step alone, through ICU only (no shortcut).
    static std::optional<QDateTime> parseWithIcu(const QString& text);

private:
    // "2024-05-07T10:00:00Z" and "...+02:00" read directly, with the result
    // of parseIso8601(); nothing for any other shape.
    static std::optional<QDateTime> parseCommonIso8601(QStringView text);
    // The most common spelling ("Tue, 07 May 2024 10:00:00 +0000" or
    // "... GMT") read directly, with the same result ICU gives for it.
    // Nothing when the text is not exactly of that shape; ICU decides then.
    static std::optional<QDateTime> parseCommonRfc822(QStringView text);
};
