// Developer tool: parses one RSS or Atom document (a file, or standard input
// when no file or "-" is given) and prints what the parser read as JSON.
// Exit status 0 when the document was recognised as a feed, 1 otherwise
// (not a feed, unreadable input, wrong arguments).

#include "personal/FeedParser.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

// Milliseconds only when there are some. Written by hand for the years Qt's
// ISO form writes as four digits: QDateTime::toString is a large part of the
// tool's run time on big feeds.
QString isoUtc(const QDateTime& date)
{
    const QDateTime utc = date.toUTC();
    const QDate day = utc.date();
    const QTime time = utc.time();
    if (day.year() < 0 || day.year() > 9999)
        return utc.toString(time.msec() != 0 ? Qt::ISODateWithMs : Qt::ISODate);
    char text[32];
    const int length = time.msec() != 0
        ? std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", day.year(), day.month(), day.day(),
                        time.hour(), time.minute(), time.second(), time.msec())
        : std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", day.year(), day.month(), day.day(),
                        time.hour(), time.minute(), time.second());
    return QString::fromLatin1(text, length);
}

// The JSON is written directly rather than through QJsonDocument: building
// and serialising a QJsonObject per item took a third of the tool's time on
// large feeds. Keys in the order QJsonDocument used (sorted), 4-space indent.
void appendString(QByteArray& out, const QString& text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void appendOptional(QByteArray& out, const std::optional<QString>& text)
{
    if (text)
        appendString(out, *text);
    else
        out += "null";
}

QByteArray toJson(const ParsedFeed& feed)
{
    QByteArray out;
    out.reserve(256 + feed.items.size() * 256);
    out += "{\n    \"items\": [";
    bool first = true;
    for (const ParsedFeedItem& item : feed.items) {
        out += first ? "\n        {\n            \"date\": " : ",\n        {\n            \"date\": ";
        first = false;
        if (item.publishedAt)
            appendString(out, isoUtc(*item.publishedAt));
        else
            out += "null";
        out += ",\n            \"id\": ";
        appendOptional(out, item.guid);
        out += ",\n            \"image\": ";
        appendOptional(out, item.imageUrl);
        out += ",\n            \"link\": ";
        appendOptional(out, item.link);
        out += ",\n            \"title\": ";
        appendString(out, item.title);
        out += "\n        }";
    }
    out += feed.items.isEmpty() ? "]" : "\n    ]";
    out += ",\n    \"title\": ";
    appendOptional(out, feed.title);
    out += "\n}\n";
    return out;
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
    const QByteArray json = toJson(*feed);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}
