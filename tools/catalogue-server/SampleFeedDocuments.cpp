#include "SampleFeedDocuments.h"

#include "HeadlineWriter.h"
#include "SampleRandom.h"

#include <QLocale>
#include <QXmlStreamWriter>

namespace {

constexpr int kEntries = 12;
const QString kRss2 = QStringLiteral("harbour-ledger.rss");
const QString kRdf = QStringLiteral("field-notes.rdf");
const QString kAtom = QStringLiteral("workshop.atom");

QString rfc2822(const QDateTime& when)
{
    // Fixed English names, whatever the process locale.
    return QLocale::c().toString(when.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + QStringLiteral(" +0000");
}

} // namespace

SampleFeedDocuments::SampleFeedDocuments(quint64 seed, QUrl base) : m_seed(seed), m_base(std::move(base)) {}

QStringList SampleFeedDocuments::names()
{
    return {kRss2, kRdf, kAtom};
}

std::optional<SampleFeedDocuments::Document> SampleFeedDocuments::document(const QString& name,
                                                                         const QDateTime& now) const
{
    if (name == kRss2)
        return Document{rss2(now), "application/rss+xml; charset=utf-8"};
    if (name == kRdf)
        return Document{rdf(now), "application/rdf+xml; charset=utf-8"};
    if (name == kAtom)
        return Document{atom(now), "application/atom+xml; charset=utf-8"};
    return std::nullopt;
}

QByteArray SampleFeedDocuments::index() const
{
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Sample feeds</title></head><body>\n"
                      "<h1>Sample feeds</h1>\n<ul>\n";
    for (const QString& name : names()) {
        const QString url = m_base.resolved(QUrl(QStringLiteral("feeds/") + name)).toString();
        html += QStringLiteral("<li><a href=\"%1\">%1</a></li>\n").arg(url).toUtf8();
    }
    return html + "</ul>\n</body></html>\n";
}

QString SampleFeedDocuments::imageUrl(const QString& key) const
{
    return m_base.resolved(QUrl(QStringLiteral("img/%1.png").arg(key))).toString();
}

QDateTime SampleFeedDocuments::entryTime(const QString& feed, int index, const QDateTime& now) const
{
    const qint64 grid = 30 * 60;
    qint64 t = now.toSecsSinceEpoch() / grid * grid;
    for (int i = 1; i <= index; ++i)
        t -= SampleRandom(m_seed, feed, i).between(40, 90) * 60;
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC);
}

QByteArray SampleFeedDocuments::rss2(const QDateTime& now) const
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("rss");
    xml.writeAttribute("version", "2.0");
    xml.writeNamespace("http://search.yahoo.com/mrss/", "media");
    xml.writeNamespace("http://purl.org/rss/1.0/modules/content/", "content");
    xml.writeNamespace("http://www.w3.org/2005/Atom", "atom");
    xml.writeStartElement("channel");
    xml.writeTextElement("title", "Harbour Ledger — Top Stories");
    xml.writeTextElement("link", "https://harbourledger.example/");
    xml.writeEmptyElement("http://www.w3.org/2005/Atom", "link");
    xml.writeAttribute("href", m_base.resolved(QUrl("feeds/" + kRss2)).toString());
    xml.writeAttribute("rel", "self");
    xml.writeAttribute("type", "application/rss+xml");
    xml.writeTextElement("description", "The day's news from the harbour and beyond.");
    xml.writeTextElement("language", "en-gb");
    xml.writeTextElement("lastBuildDate", rfc2822(entryTime(kRss2, 0, now)));
    xml.writeStartElement("image");
    xml.writeTextElement("url", imageUrl("feed-harbour-logo"));
    xml.writeTextElement("title", "Harbour Ledger logo");
    xml.writeTextElement("link", "https://harbourledger.example/");
    xml.writeEndElement();  // image

    static const QStringList categories = {"world", "business", "science", "culture", "sports", "climate"};
    for (int i = 0; i < kEntries; ++i) {
        SampleRandom random(m_seed, kRss2, i);
        const QString title = HeadlineWriter::headline(random.pick(categories), random);
        const QString link = QStringLiteral("https://harbourledger.example/news/%1").arg(HeadlineWriter::slugOf(title));
        xml.writeStartElement("item");
        xml.writeTextElement("title", title);
        xml.writeTextElement("link", link);
        xml.writeStartElement("guid");
        xml.writeAttribute("isPermaLink", "false");
        xml.writeCharacters(QStringLiteral("harbour-%1").arg(entryTime(kRss2, i, now).toSecsSinceEpoch()));
        xml.writeEndElement();
        xml.writeTextElement("pubDate", rfc2822(entryTime(kRss2, i, now)));
        xml.writeStartElement("description");
        xml.writeCDATA(QStringLiteral("<p>%1. <a href=\"%2\">Read more</a> &amp; share.</p>").arg(title, link));
        xml.writeEndElement();
        const QString image = imageUrl(QStringLiteral("feed-harbour-%1").arg(i));
        switch (i % 4) {
        case 0:
            xml.writeEmptyElement("http://search.yahoo.com/mrss/", "content");
            xml.writeAttribute("url", image);
            xml.writeAttribute("medium", "image");
            xml.writeAttribute("width", "640");
            xml.writeAttribute("height", "360");
            break;
        case 1:
            xml.writeEmptyElement("enclosure");
            xml.writeAttribute("url", image);
            xml.writeAttribute("type", "image/png");
            xml.writeAttribute("length", "4096");
            break;
        case 2:
            xml.writeEmptyElement("http://search.yahoo.com/mrss/", "thumbnail");
            xml.writeAttribute("url", image);
            break;
        default:  // an audio enclosure is not an image
            xml.writeEmptyElement("enclosure");
            xml.writeAttribute("url", QStringLiteral("https://harbourledger.example/audio/%1.mp3").arg(i));
            xml.writeAttribute("type", "audio/mpeg");
            xml.writeAttribute("length", "1048576");
            break;
        }
        if (i == 0) {
            xml.writeStartElement("http://purl.org/rss/1.0/modules/content/", "encoded");
            xml.writeCDATA(QStringLiteral("<p>%1</p><p>Full story to follow.</p>").arg(title));
            xml.writeEndElement();
        }
        xml.writeEndElement();  // item
    }
    xml.writeEndElement();  // channel
    xml.writeEndElement();  // rss
    xml.writeEndDocument();
    return out;
}

QByteArray SampleFeedDocuments::rdf(const QDateTime& now) const
{
    const QString rdfNs = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    const QString rssNs = QStringLiteral("http://purl.org/rss/1.0/");
    const QString dcNs = QStringLiteral("http://purl.org/dc/elements/1.1/");
    QList<std::pair<QString, QString>> entries;  // title, link
    for (int i = 0; i < kEntries; ++i) {
        SampleRandom random(m_seed, kRdf, i);
        const QString title = HeadlineWriter::headline(random.chance(0.5) ? "science" : "climate", random);
        entries.append({title, QStringLiteral("https://fieldnotes.example/%1").arg(HeadlineWriter::slugOf(title))});
    }

    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeNamespace(rdfNs, "rdf");
    xml.writeNamespace(dcNs, "dc");
    xml.writeDefaultNamespace(rssNs);
    xml.writeStartElement(rdfNs, "RDF");
    xml.writeStartElement(rssNs, "channel");
    xml.writeAttribute(rdfNs, "about", "https://fieldnotes.example/");
    xml.writeTextElement(rssNs, "title", "Field Notes");
    xml.writeTextElement(rssNs, "link", "https://fieldnotes.example/");
    xml.writeTextElement(rssNs, "description", "Short dispatches from labs and field stations.");
    xml.writeTextElement(dcNs, "date", entryTime(kRdf, 0, now).toString(Qt::ISODate));
    xml.writeStartElement(rssNs, "items");
    xml.writeStartElement(rdfNs, "Seq");
    for (const auto& entry : entries) {
        xml.writeEmptyElement(rdfNs, "li");
        xml.writeAttribute(rdfNs, "resource", entry.second);
    }
    xml.writeEndElement();  // Seq
    xml.writeEndElement();  // items
    xml.writeEndElement();  // channel
    for (int i = 0; i < entries.size(); ++i) {
        xml.writeStartElement(rssNs, "item");
        xml.writeAttribute(rdfNs, "about", entries.at(i).second);
        xml.writeTextElement(rssNs, "title", entries.at(i).first);
        xml.writeTextElement(rssNs, "link", entries.at(i).second);
        xml.writeTextElement(rssNs, "description", entries.at(i).first + QStringLiteral(" — a short note."));
        // Half the dates carry an offset instead of "Z".
        const QDateTime when = entryTime(kRdf, i, now);
        xml.writeTextElement(dcNs, "date", i % 2 == 0 ? when.toString(Qt::ISODate)
                                                      : when.toOffsetFromUtc(3600).toString(Qt::ISODate));
        xml.writeTextElement(dcNs, "creator", "Field Notes desk");
        xml.writeEndElement();  // item
    }
    xml.writeEndElement();  // RDF
    xml.writeEndDocument();
    return out;
}

QByteArray SampleFeedDocuments::atom(const QDateTime& now) const
{
    const QString atomNs = QStringLiteral("http://www.w3.org/2005/Atom");
    const QString mediaNs = QStringLiteral("http://search.yahoo.com/mrss/");
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(atomNs);
    xml.writeNamespace(mediaNs, "media");
    xml.writeStartElement(atomNs, "feed");
    xml.writeTextElement(atomNs, "title", "The Workshop");
    xml.writeTextElement(atomNs, "subtitle", "Notes from people who make things.");
    xml.writeTextElement(atomNs, "id", "tag:workshop.example,2024:feed");
    xml.writeTextElement(atomNs, "updated", entryTime(kAtom, 0, now).toString(Qt::ISODate));
    xml.writeEmptyElement(atomNs, "link");
    xml.writeAttribute("rel", "self");
    xml.writeAttribute("href", m_base.resolved(QUrl("feeds/" + kAtom)).toString());
    xml.writeEmptyElement(atomNs, "link");
    xml.writeAttribute("rel", "alternate");
    xml.writeAttribute("href", "https://workshop.example/");
    xml.writeStartElement(atomNs, "author");
    xml.writeTextElement(atomNs, "name", "The Workshop");
    xml.writeEndElement();

    for (int i = 0; i < kEntries; ++i) {
        SampleRandom random(m_seed, kAtom, i);
        const QString title = HeadlineWriter::headline(random.chance(0.5) ? "technology" : "culture", random);
        const QString link = QStringLiteral("https://workshop.example/posts/%1").arg(HeadlineWriter::slugOf(title));
        const QDateTime when = entryTime(kAtom, i, now);
        xml.writeStartElement(atomNs, "entry");
        xml.writeStartElement(atomNs, "title");
        xml.writeAttribute("type", "html");
        xml.writeCharacters(title);
        xml.writeEndElement();
        xml.writeTextElement(atomNs, "id", QStringLiteral("tag:workshop.example,2024:post-%1").arg(when.toSecsSinceEpoch()));
        // The self link first: readers must prefer the alternate one.
        xml.writeEmptyElement(atomNs, "link");
        xml.writeAttribute("rel", "self");
        xml.writeAttribute("href", link + QStringLiteral(".atom"));
        xml.writeEmptyElement(atomNs, "link");
        xml.writeAttribute("rel", "alternate");
        xml.writeAttribute("type", "text/html");
        xml.writeAttribute("href", link);
        if (i % 3 == 0) {
            xml.writeEmptyElement(atomNs, "link");
            xml.writeAttribute("rel", "enclosure");
            xml.writeAttribute("type", "image/png");
            xml.writeAttribute("href", imageUrl(QStringLiteral("feed-workshop-%1").arg(i)));
        } else if (i % 3 == 1) {
            xml.writeEmptyElement(mediaNs, "thumbnail");
            xml.writeAttribute("url", imageUrl(QStringLiteral("feed-workshop-%1").arg(i)));
        }
        // Some entries carry only an update time.
        if (i % 4 != 3)
            xml.writeTextElement(atomNs, "published", when.toString(Qt::ISODate));
        xml.writeTextElement(atomNs, "updated", when.addSecs(600).toString(Qt::ISODate));
        xml.writeStartElement(atomNs, "summary");
        xml.writeAttribute("type", "html");
        xml.writeCharacters(QStringLiteral("<p>%1</p>").arg(title));
        xml.writeEndElement();
        xml.writeEndElement();  // entry
    }
    xml.writeEndElement();  // feed
    xml.writeEndDocument();
    return out;
}
