#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// "5 min. ago"-style text for `date` seen from `now`: ICU's relative
// date-time formatter in its short style, in the largest unit that fits.
// Nothing when ICU cannot format it.
std::optional<QString> relativeTimeText(const QDateTime& date, const QDateTime& now);
