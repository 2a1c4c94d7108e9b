#include "personal/FeedDateParser.h"
#include "platform/Json.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

// The direct reading of the common RFC 822 spelling must agree with ICU on
// every text of that shape, accepted or not.
TEST(FeedDateParser, ShortcutAgreesWithIcu)
{
    const QStringList weekdays{"Tue", "Mon", "sun", "WED", "Thu", "Fri", "Sat", "Tux", "Tu1", "May"};
    const QStringList days{"07", "01", "31", "00", "32", "29", "30", "7 ", "0x", "+1"};
    const QStringList months{"May", "Jan", "feb", "DEC", "Sep", "Mai", "Jun", "Jul", "Foo", "Oct"};
    const QStringList years{"2024", "2023", "1900", "1899", "1583", "0999", "9999", "2100", "20x4", "2000"};
    const QStringList hours{"10", "00", "23", "24", "99", "1x"};
    const QStringList minutes{"00", "59", "60", "5x"};
    const QStringList seconds{"00", "59", "60", "61"};
    const QStringList zones{"+0000", "-0000", "-0530", "+2359", "+2400", "+0060", "+1260", "GMT", "gmt", "UTC",
                            "EST", "+00:0", "*0100", "+1x00"};

    auto compose = [&](int w, int d, int m, int y, int h, int mi, int s, int z) {
        return weekdays[w] + QStringLiteral(", ") + days[d] + QLatin1Char(' ') + months[m] + QLatin1Char(' ')
            + years[y] + QLatin1Char(' ') + hours[h] + QLatin1Char(':') + minutes[mi] + QLatin1Char(':') + seconds[s]
            + QLatin1Char(' ') + zones[z];
    };

    QStringList texts;
    QRandomGenerator random(20240507);
    for (int i = 0; i < 4000; ++i) {
        texts.append(compose(random.bounded(weekdays.size()), random.bounded(days.size()), random.bounded(months.size()),
                             random.bounded(years.size()), random.bounded(hours.size()), random.bounded(minutes.size()),
                             random.bounded(seconds.size()), random.bounded(zones.size())));
    }
    // Every day of a leap year and a common year, in both zone spellings.
    for (const char* year : {"2024", "2023"}) {
        for (QDate d(QString::fromLatin1(year).toInt(), 1, 1); d.year() == QString::fromLatin1(year).toInt(); d = d.addDays(1)) {
            const QString base = QLocale::c().toString(d, QStringLiteral("ddd, dd MMM yyyy")) + QStringLiteral(" 23:59:59 ");
            texts.append(base + QStringLiteral("+0130"));
            texts.append(base + QStringLiteral("GMT"));
        }
    }

    int accepted = 0;
    for (const QString& text : texts) {
        const std::optional<QDateTime> ours = FeedDateParser::parse(text);
        const std::optional<QDateTime> icu = FeedDateParser::parseWithIcu(text);
        ASSERT_EQ(ours.has_value(), icu.has_value()) << text.toStdString();
        if (ours) {
            ++accepted;
            EXPECT_EQ(ours->toMSecsSinceEpoch(), icu->toMSecsSinceEpoch()) << text.toStdString();
        }
    }
    EXPECT_GT(accepted, 800) << "too few valid texts to say much";
}

// Likewise for the direct reading of the two common ISO 8601 shapes against
// the platform's strict parser.
TEST(FeedDateParser, IsoShortcutAgreesWithTheStrictParser)
{
    const QStringList years{"2024", "1999", "0000", "0001", "9999", "20a4"};
    const QStringList months{"05", "01", "12", "00", "13", "1x"};
    const QStringList days{"07", "01", "29", "30", "31", "00", "32"};
    const QStringList hours{"10", "00", "23", "24"};
    const QStringList minutes{"00", "59", "60"};
    const QStringList seconds{"00", "59", "60"};
    const QStringList zones{"Z", "z", "+00:00", "-05:30", "+23:59", "+24:00", "+01:60", "+0100", "+01:0x", "*01:00", ""};
    const QStringList separators{"T", "t", " "};

    QRandomGenerator random(7);
    int accepted = 0;
    for (int i = 0; i < 30000; ++i) {
        auto pick = [&](const QStringList& list) { return list.at(random.bounded(list.size())); };
        const QString text = pick(years) + QLatin1Char('-') + pick(months) + QLatin1Char('-') + pick(days)
            + pick(separators) + pick(hours) + QLatin1Char(':') + pick(minutes) + QLatin1Char(':') + pick(seconds)
            + pick(zones);
        const std::optional<QDateTime> ours = FeedDateParser::parse(text);
        const std::optional<QDateTime> strict = parseIso8601(text);
        ASSERT_EQ(ours.has_value(), strict.has_value()) << text.toStdString();
        if (ours) {
            ++accepted;
            EXPECT_EQ(ours->toMSecsSinceEpoch(), strict->toMSecsSinceEpoch()) << text.toStdString();
        }
    }
    EXPECT_GT(accepted, 500) << "too few valid texts to say much";
}

} // namespace
