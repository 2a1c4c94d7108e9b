// A settings file damaged by a slip of syntax or cut short: every setting
// that still reads is kept, of a list every record that still reads, and the
// log names each setting that could not be read whole and where the original
// file was kept.
#include "platform/storage/Defaults.h"
#include "LogCapture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace {

const QByteArray kFeedA = R"({"id": "pf-a", "url": "https://a.example/feed", "title": "A"})";
const QByteArray kFeedB = R"({"id": "pf-b", "url": "https://b.example/feed", "title": "B"})";

QJsonValue json(const QByteArray& text)
{
    return QJsonDocument::fromJson("[" + text + "]").array().first();
}

TEST(DamagedSettings, EachSettingThatCouldNotBeReadWholeIsNamedWithWhereTheOriginalIsKept)
{
    const struct {
        const char* name;
        QByteArray file;
        QJsonObject read;
        QStringList lines;  // what each line says after "Settings file <path>: "
    } cases[] = {
        {"an unescaped quote in one feed title",
         R"({"tickerSize": 4, "personalFeeds.v1": [{"id": "pf-q", "title": "Feed "2" quoted"}, )" + kFeedB
             + R"(], "tickerPosition": "top"})",
         {{"tickerSize", 4}, {"personalFeeds.v1", QJsonArray{json(kFeedB)}}, {"tickerPosition", "top"}},
         {R"("personalFeeds.v1" could not be read whole; kept the 1 of its records that still read;)"}},
        {"cut off inside the feed list", R"({"tickerSize": 4, "personalFeeds.v1": [)" + kFeedA + R"(, {"id": "pf-b", "url": "ht)",
         {{"tickerSize", 4}, {"personalFeeds.v1", QJsonArray{json(kFeedA)}}},
         {R"("personalFeeds.v1" could not be read whole; kept the 1 of its records that still read;)"}},
        {"a garbled value", R"({"scrollSpeed": 1.0x, "tickerSize": 4})", {{"tickerSize", 4}},
         {R"("scrollSpeed" could not be read and is left out;)"}},
        {"a list of which nothing reads", R"({"mutedPhrases.v1": [rumour, gossip], "tickerSize": 4})", {{"tickerSize", 4}},
         {R"("mutedPhrases.v1" could not be read and is left out;)"}},
        {"a member without a key", R"({"tickerSize": 4, garbage: 1})", {{"tickerSize", 4}},
         {"the text at byte 18 could not be read as a setting;"}},
        {"two damaged settings", R"({"a": [1, x], "tickerSize": 4, "b": nope})", {{"a", QJsonArray{1}}, {"tickerSize", 4}},
         {R"("a" could not be read whole; kept the 1 of its records that still read;)",
          R"("b" could not be read and is left out;)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.file);
        }
        LogCapture log;
        auto defaults = Defaults::openFile(path);
        QJsonObject read;
        for (const QString& key : defaults->keys())
            read.insert(key, defaults->value(key));
        EXPECT_EQ(read, c.read);
        EXPECT_TRUE(log.anyContains(QString("and kept the %1 settings that still read").arg(c.read.size())));
        QStringList lines;
        for (const LogCapture::Line& line : LogCapture::lines())
            if (line.message.startsWith("Settings file " + path + ": "))
                lines.append(line.message.mid(QString("Settings file " + path + ": ").size()));
        ASSERT_EQ(lines.size(), c.lines.size()) << lines.join('\n').toStdString();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            EXPECT_TRUE(lines.at(i).startsWith(c.lines.at(i) + " the original is kept as " + path + ".corrupt-"))
                << lines.at(i).toStdString();
        }
    }
}

TEST(DamagedSettings, ManyDamagedSettingsAreCountedAfterTheFirstLines)
{
    // {damaged members, lines naming one, the count in the last line (0: none)}
    for (const auto& [damaged, named, more] : {std::tuple{25, 20, 5}, std::tuple{20, 20, 0}}) {
        SCOPED_TRACE(damaged);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        QByteArray text = R"({"tickerSize": 4)";
        for (int i = 0; i < damaged; ++i)
            text += QByteArray(R"(, "garbled%1": x)").replace("%1", QByteArray::number(i));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text + "}");
        }
        LogCapture log;
        auto defaults = Defaults::openFile(path);
        EXPECT_EQ(defaults->keys(), QStringList{"tickerSize"});
        qsizetype lines = 0;
        for (const LogCapture::Line& line : LogCapture::lines())
            lines += line.message.contains("could not be read and is left out") ? 1 : 0;
        EXPECT_EQ(lines, named);
        EXPECT_EQ(log.anyContains("more settings could not be read"), more > 0);
        if (more > 0) {
            EXPECT_TRUE(log.anyContains(QString("Settings file %1: %2 more settings could not be read; the original is kept as %1.corrupt-")
                                            .arg(path)
                                            .arg(more)));
        }
    }
}

} // namespace
