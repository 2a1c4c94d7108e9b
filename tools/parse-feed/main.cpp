// Developer tool: parses one RSS or Atom document (a file, or standard input
// when no file or "-" is given) and prints what the parser read as JSON.
// Exit status 0 when the document was recognised as a feed, 1 otherwise
// (not a feed, unreadable input, wrong arguments).

#include "personal/FeedParser.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cstdio>

namespace {

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

// Milliseconds only when there are some.
QString isoUtc(const QDateTime& date)
{
    const QDateTime utc = date.toUTC();
    return utc.toString(utc.time().msec() != 0 ? Qt::ISODateWithMs : Qt::ISODate);
}

QJsonObject toJson(const ParsedFeed& feed)
{
    QJsonArray items;
    for (const ParsedFeedItem& item : feed.items) {
        items.append(QJsonObject{
            {QStringLiteral("title"), item.title},
            {QStringLiteral("link"), optionalText(item.link)},
            {QStringLiteral("id"), optionalText(item.guid)},
            {QStringLiteral("date"), item.publishedAt
                 ? QJsonValue(isoUtc(*item.publishedAt))
                 : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("image"), optionalText(item.imageUrl)},
        });
    }
    return QJsonObject{{QStringLiteral("title"), optionalText(feed.title)}, {QStringLiteral("items"), items}};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() > 1 || (args.size() == 1 && (args[0] == QLatin1String("-h") || args[0] == QLatin1String("--help")))) {
        std::fprintf(stderr, "usage: parse-feed [FILE|-]\n");
        return 1;
    }
    QFile input;
    const bool fromStdin = args.isEmpty() || args[0] == QLatin1String("-");
    const bool opened = fromStdin ? input.open(stdin, QIODevice::ReadOnly)
                                  : (input.setFileName(args[0]), input.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "parse-feed: cannot read %s: %s\n", qPrintable(fromStdin ? QStringLiteral("standard input") : args[0]),
                     qPrintable(input.errorString()));
        return 1;
    }
    const std::optional<ParsedFeed> feed = FeedParser::parse(input.readAll());
    if (!feed) {
        std::fprintf(stderr, "parse-feed: not an RSS or Atom feed\n");
        return 1;
    }
    const QByteArray json = QJsonDocument(toJson(*feed)).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}
