#include "personal/FeedDateParser.h"
#include "personal/FeedParser.h"
#include "platform/storage/Json.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <gtest/gtest.h>

// Readable test names and failure messages for QString parameters.
void PrintTo(const QString& value, std::ostream* out)
{
    *out << value.toStdString();
}

namespace {

QString fixturePath(const QString& name)
{
    return QStringLiteral(TIDEWIRE_FIXTURES_DIR "/parser/") + name;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << path.toStdString();
    return file.readAll();
}

QJsonValue text(const std::optional<QString>& value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// The parser's answer in the form of the golden files.
QJsonValue toJson(const std::optional<ParsedFeed>& feed)
{
    if (!feed)
        return QJsonValue(QJsonValue::Null);
    QJsonArray items;
    for (const ParsedFeedItem& item : feed->items)
        items.append(QJsonObject{{"title", item.title}, {"link", text(item.link)}, {"id", text(item.guid)}, {"image", text(item.imageUrl)},
                                 {"date", text(item.publishedAt ? std::optional(item.publishedAt->toUTC().toString(Qt::ISODateWithMs)) : std::nullopt)}});
    return QJsonObject{{"title", text(feed->title)}, {"items", items}};
}

QJsonValue readGolden(const QString& path)
{
    const QByteArray bytes = readFile(path).trimmed();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    EXPECT_TRUE(bytes == "null" || error.error == QJsonParseError::NoError) << path.toStdString();
    return bytes == "null" ? QJsonValue(QJsonValue::Null) : QJsonValue(doc.object());
}

std::string pretty(const QJsonValue& value)
{
    return value.isNull() ? "null" : QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented).toStdString();
}

// Every fixture "<name>.xml" is parsed and compared with "<name>.json".
class FeedParserFixtures : public testing::TestWithParam<QString> {};

TEST_P(FeedParserFixtures, MatchesGoldenFile)
{
    const QString name = GetParam();
    const QJsonValue expected = readGolden(fixturePath(name + QStringLiteral(".json")));
    const QJsonValue actual = toJson(FeedParser::parse(readFile(fixturePath(name + QStringLiteral(".xml")))));
    EXPECT_EQ(actual, expected) << "expected\n" << pretty(expected) << "\nactual\n" << pretty(actual);
}

QStringList fixtureNames()
{
    QStringList names;
    const QDir dir(QStringLiteral(TIDEWIRE_FIXTURES_DIR "/parser"));
    for (const QString& file : dir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        names.append(file.chopped(4));
    return names;
}

INSTANTIATE_TEST_SUITE_P(Parser, FeedParserFixtures, testing::ValuesIn(fixtureNames()),
                         [](const testing::TestParamInfo<QString>& info) {
                             return QString(info.param).replace(QLatin1Char('-'), QLatin1Char('_')).toStdString();
                         });

TEST(FeedParser, ReadsDatesOnlyFromTheWholeText)
{
    const struct {
        const char* text;
        const char* expected;  // ISO 8601 UTC with milliseconds, or nullptr for no date
    } cases[] = {
        // ISO 8601: with fraction, without, bare day (midnight GMT).
        {"2024-05-07T10:00:00.123Z", "2024-05-07T10:00:00.123Z"},
        {"2024-05-07T10:00:00Z", "2024-05-07T10:00:00.000Z"},
        {"2024-05-07T12:30:00+02:30", "2024-05-07T10:00:00.000Z"},
        {"2024-05-07T05:00:00-05:00", "2024-05-07T10:00:00.000Z"},
        {"2024-05-07", "2024-05-07T00:00:00.000Z"},
        {"  2024-05-07T10:00:00Z\n", "2024-05-07T10:00:00.000Z"},
        // RFC 822 family, each pattern.
        {"Tue, 07 May 2024 10:00:00 +0000", "2024-05-07T10:00:00.000Z"},
        {"Tue, 07 May 2024 10:00:00 -0730", "2024-05-07T17:30:00.000Z"},
        {"Tue, 07 May 2024 10:00:00 GMT", "2024-05-07T10:00:00.000Z"},
        {"Tue, 07 May 2024 10:00:00 UTC", "2024-05-07T10:00:00.000Z"},
        {"07 May 2024 10:00:00 +0100", "2024-05-07T09:00:00.000Z"},
        {"Tue, 07 May 2024 10:00 +0000", "2024-05-07T10:00:00.000Z"},
        {"Tue, 7 May 2024 10:00:00 +0000", "2024-05-07T10:00:00.000Z"},
        {"Thu, 29 Feb 2024 23:59:59 +0000", "2024-02-29T23:59:59.000Z"},
        // Nothing reads these.
        {"", nullptr}, {"   ", nullptr}, {"next Tuesday", nullptr}, {"2024-13-01", nullptr}, {"2024-02-30", nullptr},
        {"2024-05-07T25:00:00Z", nullptr}, {"2024-05-07T10:00:00", nullptr},
        {"Tue, 07 May 2024 10:00:00 +0000 trailing", nullptr}, {"Tue, 32 May 2024 10:00:00 +0000", nullptr},
        {"Fri, 29 Feb 2023 10:00:00 +0000", nullptr}, {"Tue, 07 May 2024 25:00:00 +0000", nullptr},
        {"Tue, 07 Mai 2024 10:00:00 +0000", nullptr}, {"1715076000", nullptr},
        // Only instants that ISO 8601 text can carry (years 0001 to 9999 in
        // UTC): the stores write every date read here in that form.
        {"Tue, 07 May 20244 10:00:00 +0000", nullptr}, {"07 May 12024 10:00:00 +0000", nullptr},
        {"Fri, 31 Dec 9999 23:00:00 -0200", nullptr}, {"9999-12-31T23:30:00-01:00", nullptr},
        {"0001-01-01T00:30:00+01:00", nullptr}, {"0001-01-01", "0001-01-01T00:00:00.000Z"},
        {"Fri, 31 Dec 9999 23:59:59 +0000", "9999-12-31T23:59:59.000Z"},
        {"9999-12-31T23:59:59.999Z", "9999-12-31T23:59:59.999Z"},
        {"Tue, 07 May 02024 10:00:00 +0000", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<QDateTime> date = FeedParser::parseDate(QString::fromUtf8(c.text));
        if (!c.expected) {
            EXPECT_FALSE(date.has_value()) << date->toString(Qt::ISODateWithMs).toStdString();
            continue;
        }
        ASSERT_TRUE(date.has_value());
        EXPECT_EQ(date->timeSpec(), Qt::UTC);
        EXPECT_EQ(date->toString(Qt::ISODateWithMs).toStdString(), c.expected);
    }
}

TEST(FeedParser, OnlyWebOrRelativeAddressesAreKept)
{
    const std::pair<const char*, bool> cases[] = {
        {"https://example.com/a", true}, {"HTTP://example.com/a", true}, {"/relative/path", true},
        {"relative/path?q=a:b", true}, {"//cdn.example.com/x.jpg", true}, {"#fragment", true},
        {"javascript:alert(1)", false}, {"JavaScript:alert(1)", false}, {" \t javascript:alert(1)", false},
        {"java\tscript:alert(1)", false}, {"java\nscript:alert(1)", false}, {"\x01javascript:alert(1)", false},
        {"data:image/png;base64,AAAA", false}, {"file:///etc/passwd", false}, {"ftp://example.com/a", false},
        {"feed://example.com/rss", false}, {"x-custom+app.v2://open", false}, {"mailto:me@example.com", false},
    };
    for (const auto& [address, acceptable] : cases)
        EXPECT_EQ(FeedParser::isAcceptableAddress(QString::fromUtf8(address)), acceptable) << address;
}

// A document whose input runs out while its feed root is open reads as cut
// short; one that breaks a rule first, ends outside its root, or is no feed
// does not. Either way the entries read before the end are returned.
TEST(FeedParser, TellsADocumentThatEndedInsideItsRootFromABrokenOne)
{
    const QByteArray head = "<?xml version=\"1.0\"?>\n<rss><channel><title>C</title><item><title>one</title></item>";
    const struct { const char* name; QByteArray body; bool endedInsideRoot; int items; } cases[] = {
        // items -1: no feed
        {"truncated fixture", readFile(fixturePath(QStringLiteral("truncated.xml"))), true, 2},
        {"between tags", head, true, 1},
        {"inside a tag", head + "<item><ti", true, 1},
        {"inside an attribute", head + "<item><enclosure url=\"https://x.example.com/a", true, 1},
        {"inside a reference", head + "<item><title>a &am", true, 1},
        {"inside a comment", head + "<!-- later", true, 1},
        {"inside CDATA", head + "<item><title><![CDATA[half", true, 1},
        {"inside a character", head + "<item><title>caf\xC3", true, 1},
        {"before any entry", "<rss><channel><title>C</title><item><title>o", true, -1},
        {"whole", head + "</channel></rss>", false, 1},
        {"mismatched tag", head + "<item><title>two</titel></item></channel></rss>", false, 1},
        {"mismatched fixture", readFile(fixturePath(QStringLiteral("mismatched-tags.xml"))), false, 1},
        {"unknown entity", readFile(fixturePath(QStringLiteral("malformed-after-items.xml"))), false, 1},
        {"bad byte before the end", head + "<item><title>\xFF</title>", false, 1},
        {"cut after the root", head + "</channel></rss>\n<!-- x", false, 1},
        {"cut before the root", "<?xml version=\"1.0\"?>\n<!-- x", false, -1},
        {"another root", "<html><body><p>cut", false, -1},
        {"empty", "", false, -1},
    };
    for (const auto& c : cases) {
        const FeedParser::Reading reading = FeedParser::read(c.body);
        EXPECT_EQ(reading.endedInsideRoot, c.endedInsideRoot) << c.name;
        EXPECT_EQ(reading.feed, FeedParser::parse(c.body)) << c.name;
        EXPECT_EQ(reading.feed ? reading.feed->items.size() : -1, c.items) << c.name;
    }
}

TEST(FeedParserEntities, ExternalFileEntityIsNeverRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString secretPath = dir.filePath(QStringLiteral("secret.txt"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly) && secret.write("SECRET-MARKER-7731") > 0);
    secret.close();
    const QByteArray url = QUrl::fromLocalFile(secretPath).toEncoded();
    const QByteArray body = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY xxe SYSTEM \"" + url
        + "\">]>\n<rss><channel><title>T &xxe;</title><item><title>Item &xxe; end</title>"
          "<link>https://x.example.com/&xxe;</link></item></channel></rss>";
    const std::optional<ParsedFeed> feed = FeedParser::parse(body);
    const std::string everything = pretty(toJson(feed));
    EXPECT_EQ(everything.find("SECRET-MARKER"), std::string::npos) << everything;
}

TEST(FeedParserEntities, ExpansionIsBoundedButManySmallEntitiesStayWithinTheBound)
{
    // Each reference stays under the reader's per-entity limit; together
    // they would expand a 600 kB document to 800 million characters. Without
    // the bound the reader would expand it all and return both items.
    const QByteArray references = QByteArray("&e;").repeated(200000);
    EXPECT_FALSE(FeedParser::parse("<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY e \"" + QByteArray(4000, 'x')
                                   + "\">]>\n<rss><channel><title>Q</title><item><title>first</title></item><item><title>"
                                   + references + "</title></item></channel></rss>")
                     .has_value());

    // The same in UTF-16.
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!DOCTYPE rss [<!ENTITY e \"")
        + QString(3000, QLatin1Char('y')) + QStringLiteral("\">]>\n<rss><channel><item><title>")
        + QString::fromLatin1(references.left(2000 * 3)) + QStringLiteral("</title></item></channel></rss>");
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_FALSE(FeedParser::parse(utf16).has_value());

    // 100,000 references to a one-character entity: a large but honest feed.
    const QByteArray small = QByteArray("&nbsp;").repeated(100000);
    const std::optional<ParsedFeed> feed = FeedParser::parse(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY nbsp \"&#160;\">]>\n<rss><channel><title>S</title><item><title>x"
        + small + "y</title></item></channel></rss>");
    ASSERT_TRUE(feed.has_value());
    ASSERT_EQ(feed->items.size(), 1);
    EXPECT_EQ(feed->items.first().title, QStringLiteral("x") + QString(100000, QChar(0xA0)) + QStringLiteral("y"));
}

TEST(FeedParserThreads, ParsesConcurrentlyWithTheSameResults)
{
    EXPECT_GE(fixtureNames().size(), 20);
    const QByteArray body = readFile(fixturePath(QStringLiteral("dates.xml")));
    const std::optional<ParsedFeed> reference = FeedParser::parse(body);
    ASSERT_TRUE(reference.has_value());
    QList<QByteArray> bodies(64, body);
    const QList<std::optional<ParsedFeed>> results =
        QtConcurrent::blockingMapped(bodies, [](const QByteArray& b) { return FeedParser::parse(b); });
    for (const auto& result : results)
        EXPECT_EQ(result, reference);
}

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

    QStringList texts;
    QRandomGenerator random(20240507);
    auto pick = [&](const QStringList& list) { return list.at(random.bounded(list.size())); };
    for (int i = 0; i < 4000; ++i)
        texts.append(pick(weekdays) + QStringLiteral(", ") + pick(days) + QLatin1Char(' ') + pick(months) + QLatin1Char(' ') + pick(years)
                     + QLatin1Char(' ') + pick(hours) + QLatin1Char(':') + pick(minutes) + QLatin1Char(':') + pick(seconds) + QLatin1Char(' ') + pick(zones));
    // Every day of a leap year and a common year, in both zone spellings.
    for (QDate d(2023, 1, 1); d.year() < 2025; d = d.addDays(1)) {
        const QString base = QLocale::c().toString(d, QStringLiteral("ddd, dd MMM yyyy")) + QStringLiteral(" 23:59:59 ");
        texts << base + QStringLiteral("+0130") << base + QStringLiteral("GMT");
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
