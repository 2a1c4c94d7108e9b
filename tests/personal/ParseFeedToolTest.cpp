// The parse-feed developer tool, run as a program.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TIDEWIRE_FIXTURES_DIR "/parser/") + QString::fromUtf8(name);
}

// The exit code (-1 when it did not end normally) and standard output.
std::pair<int, QByteArray> runTool(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral(PARSE_FEED_BINARY), arguments);
    if (!process.waitForStarted(10000))
        return {-1, {}};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

TEST(ParseFeedTool, ExitStatusTellsWhetherAFeedWasRecognised)
{
    const std::pair<QStringList, int> cases[] = {
        {{fixture("atom.xml")}, 0}, {{fixture("no-items.xml")}, 0}, {{fixture("truncated.xml")}, 0}, {{fixture("html-page.xml")}, 1},
        {{fixture("empty.xml")}, 1}, {{fixture("billion-laughs.xml")}, 1}, {{fixture("does-not-exist.xml")}, 1},
        {{fixture("atom.xml"), fixture("atom.xml")}, 1},
    };
    for (const auto& [arguments, exitCode] : cases)
        EXPECT_EQ(runTool(arguments).first, exitCode) << arguments.join(QLatin1Char(' ')).toStdString();
}

// Dates in UTC with milliseconds only when there are some, absent fields as
// null, and texts needing escapes intact.
TEST(ParseFeedTool, PrintsTheParsedFeedAsJsonFromStandardInput)
{
    const QByteArray feed = "<rss><channel><title>Quote \" and \\ slash</title>"
                            "<item><title>Tab&#9;line&#10;break \xC3\xA9 \xE2\x80\xA6 &lt;b&gt;</title>"
                            "<link>https://x.example.com/a?b=\"c\"</link><guid>g</guid>"
                            "<pubDate>Tue, 07 May 2024 10:00:00 -0500</pubDate></item>"
                            "<item><title>ms</title><published>2024-05-07T10:00:00.250+01:00</published></item>"
                            "<item><title>none</title></item></channel></rss>";
    const auto [exitCode, out] = runTool({QStringLiteral("-")}, feed);
    ASSERT_EQ(exitCode, 0);
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
    EXPECT_EQ(object.value(QStringLiteral("title")).toString(), QStringLiteral("Quote \" and \\ slash"));
    const QJsonArray items = object.value(QStringLiteral("items")).toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items.at(0).toObject(), (QJsonObject{{"title", QString::fromUtf8("Tab\tline\nbreak \xC3\xA9 \xE2\x80\xA6 <b>")},
                                                   {"link", "https://x.example.com/a?b=\"c\""}, {"id", "g"},
                                                   {"date", "2024-05-07T15:00:00Z"}, {"image", QJsonValue::Null}}));
    EXPECT_EQ(items.at(1).toObject().value(QStringLiteral("date")).toString(), QStringLiteral("2024-05-07T09:00:00.250Z"));
    EXPECT_EQ(items.at(2).toObject(), (QJsonObject{{"title", "none"}, {"link", QJsonValue::Null}, {"id", QJsonValue::Null},
                                                   {"date", QJsonValue::Null}, {"image", QJsonValue::Null}}));
}

} // namespace
