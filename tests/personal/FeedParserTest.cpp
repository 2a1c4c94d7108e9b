#include "personal/FeedParser.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    for (const ParsedFeedItem& item : feed->items) {
        items.append(QJsonObject{
            {QStringLiteral("title"), item.title},
            {QStringLiteral("link"), text(item.link)},
            {QStringLiteral("id"), text(item.guid)},
            {QStringLiteral("date"), item.publishedAt ? QJsonValue(item.publishedAt->toUTC().toString(Qt::ISODateWithMs))
                                                      : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("image"), text(item.imageUrl)},
        });
    }
    return QJsonObject{{QStringLiteral("title"), text(feed->title)}, {QStringLiteral("items"), items}};
}

QJsonValue readGolden(const QString& path)
{
    const QByteArray bytes = readFile(path).trimmed();
    if (bytes == "null")
        return QJsonValue(QJsonValue::Null);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << path.toStdString();
    return doc.object();
}

std::string pretty(const QJsonValue& value)
{
    if (value.isNull())
        return "null";
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented).toStdString();
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

TEST(FeedParserFixtureSet, EveryFixtureHasAGoldenFile)
{
    const QStringList names = fixtureNames();
    EXPECT_GE(names.size(), 20);
    for (const QString& name : names)
        EXPECT_TRUE(QFile::exists(fixturePath(name + QStringLiteral(".json")))) << name.toStdString();
}

struct DateCase {
    const char* text;
    const char* expected;  // ISO 8601 UTC with milliseconds, or nullptr for no date
};

class FeedParserDates : public testing::TestWithParam<DateCase> {};

TEST_P(FeedParserDates, ReadsTheWholeText)
{
    const DateCase c = GetParam();
    const std::optional<QDateTime> date = FeedParser::parseDate(QString::fromUtf8(c.text));
    if (!c.expected) {
        EXPECT_FALSE(date.has_value()) << c.text << " read as " << date->toString(Qt::ISODateWithMs).toStdString();
        return;
    }
    ASSERT_TRUE(date.has_value()) << c.text;
    EXPECT_EQ(date->timeSpec(), Qt::UTC);
    EXPECT_EQ(date->toString(Qt::ISODateWithMs).toStdString(), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Parser, FeedParserDates,
    testing::Values(
        // ISO 8601: with fraction, without, bare day (midnight GMT).
        DateCase{"2024-05-07T10:00:00.123Z", "2024-05-07T10:00:00.123Z"},
        DateCase{"2024-05-07T10:00:00Z", "2024-05-07T10:00:00.000Z"},
        DateCase{"2024-05-07T12:30:00+02:30", "2024-05-07T10:00:00.000Z"},
        DateCase{"2024-05-07T05:00:00-05:00", "2024-05-07T10:00:00.000Z"},
        DateCase{"2024-05-07", "2024-05-07T00:00:00.000Z"},
        DateCase{"  2024-05-07T10:00:00Z\n", "2024-05-07T10:00:00.000Z"},
        // RFC 822 family, each pattern.
        DateCase{"Tue, 07 May 2024 10:00:00 +0000", "2024-05-07T10:00:00.000Z"},
        DateCase{"Tue, 07 May 2024 10:00:00 -0730", "2024-05-07T17:30:00.000Z"},
        DateCase{"Tue, 07 May 2024 10:00:00 GMT", "2024-05-07T10:00:00.000Z"},
        DateCase{"Tue, 07 May 2024 10:00:00 UTC", "2024-05-07T10:00:00.000Z"},
        DateCase{"07 May 2024 10:00:00 +0100", "2024-05-07T09:00:00.000Z"},
        DateCase{"Tue, 07 May 2024 10:00 +0000", "2024-05-07T10:00:00.000Z"},
        DateCase{"Tue, 7 May 2024 10:00:00 +0000", "2024-05-07T10:00:00.000Z"},
        DateCase{"Thu, 29 Feb 2024 23:59:59 +0000", "2024-02-29T23:59:59.000Z"},
        // Nothing reads these.
        DateCase{"", nullptr},
        DateCase{"   ", nullptr},
        DateCase{"next Tuesday", nullptr},
        DateCase{"2024-13-01", nullptr},
        DateCase{"2024-02-30", nullptr},
        DateCase{"2024-05-07T25:00:00Z", nullptr},
        DateCase{"2024-05-07T10:00:00", nullptr},
        DateCase{"Tue, 07 May 2024 10:00:00 +0000 trailing", nullptr},
        DateCase{"Tue, 32 May 2024 10:00:00 +0000", nullptr},
        DateCase{"Fri, 29 Feb 2023 10:00:00 +0000", nullptr},
        DateCase{"Tue, 07 May 2024 25:00:00 +0000", nullptr},
        DateCase{"Tue, 07 Mai 2024 10:00:00 +0000", nullptr},
        DateCase{"1715076000", nullptr}));

struct AddressCase {
    const char* address;
    bool acceptable;
};

class FeedParserAddresses : public testing::TestWithParam<AddressCase> {};

TEST_P(FeedParserAddresses, OnlyWebOrRelativeAddressesAreKept)
{
    const AddressCase c = GetParam();
    EXPECT_EQ(FeedParser::isAcceptableAddress(QString::fromUtf8(c.address)), c.acceptable) << c.address;
}

INSTANTIATE_TEST_SUITE_P(
    Parser, FeedParserAddresses,
    testing::Values(AddressCase{"https://example.com/a", true}, AddressCase{"HTTP://example.com/a", true},
                    AddressCase{"/relative/path", true}, AddressCase{"relative/path?q=a:b", true},
                    AddressCase{"//cdn.example.com/x.jpg", true}, AddressCase{"#fragment", true},
                    AddressCase{"javascript:alert(1)", false}, AddressCase{"JavaScript:alert(1)", false},
                    AddressCase{" \t javascript:alert(1)", false}, AddressCase{"java\tscript:alert(1)", false},
                    AddressCase{"java\nscript:alert(1)", false}, AddressCase{"\x01javascript:alert(1)", false},
                    AddressCase{"data:image/png;base64,AAAA", false}, AddressCase{"file:///etc/passwd", false},
                    AddressCase{"ftp://example.com/a", false}, AddressCase{"feed://example.com/rss", false},
                    AddressCase{"x-custom+app.v2://open", false}, AddressCase{"mailto:me@example.com", false}));

TEST(FeedParserEntities, ExternalFileEntityIsNeverRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString secretPath = dir.filePath(QStringLiteral("secret.txt"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET-MARKER-7731");
    secret.close();

    const QByteArray url = QUrl::fromLocalFile(secretPath).toEncoded();
    const QByteArray body = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY xxe SYSTEM \"" + url
        + "\">]>\n<rss><channel><title>T &xxe;</title><item><title>Item &xxe; end</title>"
          "<link>https://x.example.com/&xxe;</link></item></channel></rss>";
    const std::optional<ParsedFeed> feed = FeedParser::parse(body);
    const std::string everything = pretty(toJson(feed));
    EXPECT_EQ(everything.find("SECRET-MARKER"), std::string::npos) << everything;
    if (feed) {
        for (const ParsedFeedItem& item : feed->items)
            EXPECT_FALSE(item.title.contains(QStringLiteral("SECRET")));
    }
}

TEST(FeedParserEntities, OneLongEntityReferencedManyTimesIsRefused)
{
    // Each reference stays under the reader's per-entity limit; together
    // they would expand a 600 kB document to 800 million characters.
    const QByteArray entity(4000, 'x');
    QByteArray references;
    for (int i = 0; i < 200000; ++i)
        references += "&e;";
    const QByteArray body = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY e \"" + entity
        + "\">]>\n<rss><channel><title>Q</title><item><title>first</title></item><item><title>" + references
        + "</title></item></channel></rss>";
    // Without the bound the reader would expand it all and return both items.
    EXPECT_FALSE(FeedParser::parse(body).has_value());
}

TEST(FeedParserEntities, ManySmallDeclaredEntitiesStayWithinTheBound)
{
    // 100,000 references to a one-character entity: a large but honest feed.
    QByteArray references;
    for (int i = 0; i < 100000; ++i)
        references += "&nbsp;";
    const QByteArray body = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY nbsp \"&#160;\">]>\n"
                            "<rss><channel><title>S</title><item><title>x"
        + references + "y</title></item></channel></rss>";
    const std::optional<ParsedFeed> feed = FeedParser::parse(body);
    ASSERT_TRUE(feed.has_value());
    ASSERT_EQ(feed->items.size(), 1);
    EXPECT_EQ(feed->items.first().title, QStringLiteral("x") + QString(100000, QChar(0xA0)) + QStringLiteral("y"));
}

TEST(FeedParserEntities, UtfSixteenDocumentsAreBoundedToo)
{
    const QString entity(3000, QLatin1Char('y'));
    QString references;
    for (int i = 0; i < 2000; ++i)
        references += QStringLiteral("&e;");
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!DOCTYPE rss [<!ENTITY e \"")
        + entity + QStringLiteral("\">]>\n<rss><channel><item><title>") + references
        + QStringLiteral("</title></item></channel></rss>");
    QByteArray body("\xFF\xFE", 2);
    body.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_FALSE(FeedParser::parse(body).has_value());
}

TEST(FeedParserThreads, ParsesConcurrentlyWithTheSameResults)
{
    const QByteArray body = readFile(fixturePath(QStringLiteral("dates.xml")));
    const std::optional<ParsedFeed> reference = FeedParser::parse(body);
    ASSERT_TRUE(reference.has_value());
    QList<QByteArray> bodies(64, body);
    const QList<std::optional<ParsedFeed>> results =
        QtConcurrent::blockingMapped(bodies, [](const QByteArray& b) { return FeedParser::parse(b); });
    for (const auto& result : results)
        EXPECT_EQ(result, reference);
}

} // namespace
