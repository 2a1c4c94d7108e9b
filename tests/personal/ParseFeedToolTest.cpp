#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <QFile>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
};

ToolRun runTool(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral(PARSE_FEED_BINARY), arguments);
    if (!process.waitForStarted(10000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput()};
}

QString fixture(const char* name)
{
    return QStringLiteral(TIDEWIRE_FIXTURES_DIR "/parser/") + QString::fromUtf8(name);
}

TEST(ParseFeedTool, ExitStatusTellsWhetherAFeedWasRecognised)
{
    struct Case {
        QStringList arguments;
        int exitCode;
    };
    const Case cases[] = {
        {{fixture("atom.xml")}, 0},
        {{fixture("no-items.xml")}, 0},
        {{fixture("truncated.xml")}, 0},
        {{fixture("html-page.xml")}, 1},
        {{fixture("empty.xml")}, 1},
        {{fixture("billion-laughs.xml")}, 1},
        {{fixture("does-not-exist.xml")}, 1},
        {{fixture("atom.xml"), fixture("atom.xml")}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runTool(c.arguments).exitCode, c.exitCode) << c.arguments.join(QLatin1Char(' ')).toStdString();
}

TEST(ParseFeedTool, PrintsTheParsedFeedAsJsonFromStandardInput)
{
    QFile file(fixture("dates.xml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const ToolRun run = runTool({QStringLiteral("-")}, file.readAll());
    ASSERT_EQ(run.exitCode, 0);
    QJsonParseError error{};
    const QJsonObject feed = QJsonDocument::fromJson(run.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    EXPECT_EQ(feed.value(QStringLiteral("title")).toString(), QStringLiteral("Dates"));
    const QJsonArray items = feed.value(QStringLiteral("items")).toArray();
    ASSERT_EQ(items.size(), 9);
    const QJsonObject first = items.at(0).toObject();
    EXPECT_EQ(first.value(QStringLiteral("title")).toString(), QStringLiteral("pubDate"));
    EXPECT_EQ(first.value(QStringLiteral("date")).toString(), QStringLiteral("2024-05-07T15:00:00Z"));
    EXPECT_TRUE(first.value(QStringLiteral("link")).isNull());
    EXPECT_TRUE(first.value(QStringLiteral("id")).isNull());
    EXPECT_TRUE(first.value(QStringLiteral("image")).isNull());
    EXPECT_EQ(items.at(3).toObject().value(QStringLiteral("date")).toString(), QStringLiteral("2024-05-07T09:00:00.250Z"));
    EXPECT_TRUE(items.at(8).toObject().value(QStringLiteral("date")).isNull());
}

TEST(ParseFeedTool, TextsNeedingEscapesComeBackIntact)
{
    const QByteArray feed = "<rss><channel><title>Quote \" and \\ slash</title>"
                            "<item><title>Tab&#9;line&#10;break \xC3\xA9 \xE2\x80\xA6 &lt;b&gt;</title>"
                            "<link>https://x.example.com/a?b=\"c\"</link></item></channel></rss>";
    const ToolRun run = runTool({QStringLiteral("-")}, feed);
    ASSERT_EQ(run.exitCode, 0);
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(run.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    EXPECT_EQ(object.value(QStringLiteral("title")).toString(), QStringLiteral("Quote \" and \\ slash"));
    const QJsonObject item = object.value(QStringLiteral("items")).toArray().at(0).toObject();
    EXPECT_EQ(item.value(QStringLiteral("title")).toString(), QString::fromUtf8("Tab\tline\nbreak \xC3\xA9 \xE2\x80\xA6 <b>"));
    EXPECT_EQ(item.value(QStringLiteral("link")).toString(), QStringLiteral("https://x.example.com/a?b=\"c\""));
}

} // namespace
