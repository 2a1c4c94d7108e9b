#include "personal/FeedParser.h"

#include "personal/FeedDateParser.h"
#include "personal/XmlEntityBudget.h"

#include <QXmlStreamReader>

namespace {

using Tag = FeedParser::Tag;

struct TagName {
    QLatin1StringView name;
    Tag tag;
};

constexpr TagName kTagNames[] = {
    {QLatin1StringView("rss"), Tag::Rss},
    {QLatin1StringView("feed"), Tag::Feed},
    {QLatin1StringView("rdf"), Tag::Rdf},
    {QLatin1StringView("item"), Tag::Item},
    {QLatin1StringView("entry"), Tag::Entry},
    {QLatin1StringView("channel"), Tag::Channel},
    {QLatin1StringView("title"), Tag::Title},
    {QLatin1StringView("link"), Tag::Link},
    {QLatin1StringView("enclosure"), Tag::Enclosure},
    {QLatin1StringView("content"), Tag::Content},
    {QLatin1StringView("thumbnail"), Tag::Thumbnail},
    {QLatin1StringView("guid"), Tag::Guid},
    {QLatin1StringView("id"), Tag::Id},
    {QLatin1StringView("pubdate"), Tag::PubDate},
    {QLatin1StringView("published"), Tag::Published},
    {QLatin1StringView("date"), Tag::Date},
    {QLatin1StringView("issued"), Tag::Issued},
    {QLatin1StringView("updated"), Tag::Updated},
};

QStringView withoutPrefix(QStringView qualifiedName)
{
    const qsizetype colon = qualifiedName.lastIndexOf(QLatin1Char(':'));
    return colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1);
}

// Element names compare in lower case, without their prefix.
Tag tagOf(QStringView qualifiedName)
{
    const QStringView name = withoutPrefix(qualifiedName);
    if (name.isEmpty())
        return Tag::Other;
    const char16_t first = name.front().toLower().unicode();
    for (const TagName& known : kTagNames) {
        if (name.size() == known.name.size() && first == char16_t(known.name.front().unicode())
            && name.compare(known.name, Qt::CaseInsensitive) == 0)
            return known.tag;
    }
    return Tag::Other;
}

bool isItemTag(Tag t) { return t == Tag::Item || t == Tag::Entry; }

bool isDateTag(Tag t) { return t == Tag::PubDate || t == Tag::Published || t == Tag::Date || t == Tag::Issued; }

// Elements whose own character data is read at their end tag.
bool readsText(Tag t)
{
    return t == Tag::Title || t == Tag::Link || t == Tag::Guid || t == Tag::Id || isDateTag(t) || t == Tag::Updated;
}

// The value of the first attribute with this local name, whatever its prefix.
std::optional<QString> attribute(const QXmlStreamAttributes& attributes, QLatin1StringView name)
{
    for (const QXmlStreamAttribute& a : attributes) {
        if (withoutPrefix(a.qualifiedName()) == name)
            return a.value().toString();
    }
    return std::nullopt;
}

void setIfAbsent(std::optional<QString>& field, const QString& value)
{
    if (!field)
        field = value;
}

std::optional<QString> trimmedOrAbsent(const std::optional<QString>& value)
{
    if (!value)
        return std::nullopt;
    return value->trimmed();
}

} // namespace

std::optional<ParsedFeed> FeedParser::parse(const QByteArray& body)
{
    FeedParser parser;
    QXmlStreamReader reader(body);
    // Real feeds use prefixes they never declare ("media:", "dc:"); names are
    // matched on their local part instead.
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // Declared entities are expanded by the reader: refuse documents
            // whose references would expand beyond a fixed budget.
            if (!XmlEntityBudget::allows(body, reader.entityDeclarations()))
                return std::nullopt;
            break;
        case QXmlStreamReader::StartElement:
            parser.startElement(tagOf(reader.qualifiedName()), reader.attributes());
            break;
        case QXmlStreamReader::EndElement:
            parser.endElement(tagOf(reader.qualifiedName()));
            break;
        case QXmlStreamReader::Characters:
            if (parser.m_collectText)
                parser.m_text.append(reader.text());
            break;
        default:
            break;
        }
    }
    return parser.result(reader.hasError());
}

std::optional<ParsedFeed> FeedParser::result(bool failed) const
{
    if (failed && m_items.isEmpty())
        return std::nullopt;
    if (!m_sawRoot)
        return std::nullopt;
    ParsedFeed feed;
    feed.title = trimmedOrAbsent(m_feedTitle);
    feed.items = m_items;
    return feed;
}

void FeedParser::startElement(Tag tag, const QXmlStreamAttributes& attributes)
{
    if (m_path.empty())
        m_sawRoot = tag == Tag::Rss || tag == Tag::Feed || tag == Tag::Rdf;
    m_path.push_back(tag);
    m_text.truncate(0);
    m_collectText = readsText(tag);

    if (isItemTag(tag)) {
        startItem();
        return;
    }
    if (!m_inItem)
        return;
    if (tag == Tag::Link)
        readItemLink(attributes);
    else if (tag == Tag::Enclosure)
        readEnclosure(attributes);
    else if (tag == Tag::Content || tag == Tag::Thumbnail)
        readMedia(attributes);
}

void FeedParser::startItem()
{
    m_inItem = true;
    m_curTitle.clear();
    m_curLink.reset();
    m_curAtomAltLink.reset();
    m_curAtomAnyLink.reset();
    m_curGuid.reset();
    m_curDate.reset();
    m_curUpdated.reset();
    m_curImage.reset();
}

// Atom style: <link rel="..." href="..." type="..."/>.
void FeedParser::readItemLink(const QXmlStreamAttributes& attributes)
{
    const std::optional<QString> href = attribute(attributes, QLatin1StringView("href"));
    if (!href || href->trimmed().isEmpty() || !isAcceptableAddress(*href))
        return;
    const std::optional<QString> relAttr = attribute(attributes, QLatin1StringView("rel"));
    const QString rel = relAttr ? relAttr->toLower() : QStringLiteral("alternate");
    if (rel == QLatin1StringView("enclosure")) {
        const QString type = attribute(attributes, QLatin1StringView("type")).value_or(QString()).toLower();
        if (!m_curImage && type.startsWith(QLatin1StringView("image/")))
            m_curImage = *href;
        return;
    }
    if (rel == QLatin1StringView("alternate"))
        setIfAbsent(m_curAtomAltLink, *href);
    setIfAbsent(m_curAtomAnyLink, *href);
}

// RSS: <enclosure url="..." type="..."/>; without a type it counts as an image.
void FeedParser::readEnclosure(const QXmlStreamAttributes& attributes)
{
    if (m_curImage)
        return;
    const std::optional<QString> url = attribute(attributes, QLatin1StringView("url"));
    if (!url || !isAcceptableAddress(*url))
        return;
    const QString type = attribute(attributes, QLatin1StringView("type")).value_or(QStringLiteral("image/"));
    if (type.toLower().startsWith(QLatin1StringView("image/")))
        m_curImage = *url;
}

// media:content and media:thumbnail: an image unless medium or type says otherwise.
void FeedParser::readMedia(const QXmlStreamAttributes& attributes)
{
    if (m_curImage)
        return;
    const std::optional<QString> url = attribute(attributes, QLatin1StringView("url"));
    if (!url || !isAcceptableAddress(*url))
        return;
    const std::optional<QString> medium = attribute(attributes, QLatin1StringView("medium"));
    if (medium && medium->toLower() != QLatin1StringView("image"))
        return;
    const std::optional<QString> type = attribute(attributes, QLatin1StringView("type"));
    if (type && !type->toLower().startsWith(QLatin1StringView("image/")))
        return;
    m_curImage = *url;
}

void FeedParser::endElement(Tag tag)
{
    if (isItemTag(tag)) {
        m_inItem = false;
        finishItem();
    } else if (m_inItem) {
        if (readsText(tag))
            readItemField(tag, m_text.trimmed());
    } else if (tag == Tag::Title && !m_feedTitle && m_path.size() >= 2) {
        const Tag parent = m_path[m_path.size() - 2];
        if (parent == Tag::Channel || parent == Tag::Feed)
            m_feedTitle = m_text.trimmed();
    }
    if (!m_path.empty())
        m_path.pop_back();
    m_text.truncate(0);
    // Text after a child's end tag belongs to the enclosing element.
    m_collectText = !m_path.empty() && readsText(m_path.back());
}

void FeedParser::readItemField(Tag tag, const QString& value)
{
    if (tag == Tag::Title) {
        if (m_curTitle.isEmpty())
            m_curTitle = value;
        return;
    }
    if (value.isEmpty())
        return;
    if (tag == Tag::Link) {
        if (isAcceptableAddress(value))
            m_curLink = value;  // the last one wins
    } else if (tag == Tag::Guid || tag == Tag::Id) {
        setIfAbsent(m_curGuid, value);
    } else if (isDateTag(tag)) {
        setIfAbsent(m_curDate, value);
    } else if (tag == Tag::Updated) {
        setIfAbsent(m_curUpdated, value);
    }
}

void FeedParser::finishItem()
{
    const QString title = m_curTitle.trimmed();
    if (title.isEmpty())
        return;
    ParsedFeedItem item;
    item.title = title;
    if (m_curLink && !m_curLink->trimmed().isEmpty())
        item.link = m_curLink->trimmed();
    else if (m_curAtomAltLink)
        item.link = m_curAtomAltLink->trimmed();
    else if (m_curAtomAnyLink)
        item.link = m_curAtomAnyLink->trimmed();
    item.guid = trimmedOrAbsent(m_curGuid);
    // A date that cannot be read blocks the fallback to the update date.
    if (m_curDate)
        item.publishedAt = parseDate(*m_curDate);
    else if (m_curUpdated)
        item.publishedAt = parseDate(*m_curUpdated);
    item.imageUrl = trimmedOrAbsent(m_curImage);
    m_items.append(std::move(item));
}

std::optional<QDateTime> FeedParser::parseDate(const QString& text)
{
    return FeedDateParser::parse(text);
}

bool FeedParser::isAcceptableAddress(const QString& address)
{
    // Read the scheme the way browsers do: tabs and line breaks anywhere and
    // control characters or blanks in front do not count.
    auto ignored = [](QChar c) { return c == u'\t' || c == u'\n' || c == u'\r'; };
    auto isAlpha = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    qsizetype i = 0;
    while (i < address.size() && (address.at(i).unicode() <= 0x20 || address.at(i).isSpace()))
        ++i;
    QString scheme;
    for (; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (ignored(c))
            continue;
        const char16_t u = c.unicode();
        if (u == u':')
            break;
        const bool allowed = isAlpha(u) || (!scheme.isEmpty() && ((u >= u'0' && u <= u'9') || u == u'+' || u == u'.' || u == u'-'));
        if (!allowed)
            return true;  // no scheme: relative, kept as written
        scheme.append(QChar(u >= u'A' && u <= u'Z' ? u + 32 : u));
    }
    if (i >= address.size() || scheme.isEmpty())
        return true;
    return scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https");
}
