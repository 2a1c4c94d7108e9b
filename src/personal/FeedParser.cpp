#include "personal/FeedParser.h"

#include "personal/FeedDateParser.h"
#include "personal/XmlEntityBudget.h"

#include <QStringDecoder>
#include <expat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

using Tag = FeedParser::Tag;

struct TagName {
    std::string_view name;
    Tag tag;
};

constexpr TagName kTagNames[] = {
    {"rss", Tag::Rss},
    {"feed", Tag::Feed},
    {"rdf", Tag::Rdf},
    {"item", Tag::Item},
    {"entry", Tag::Entry},
    {"channel", Tag::Channel},
    {"title", Tag::Title},
    {"link", Tag::Link},
    {"enclosure", Tag::Enclosure},
    {"content", Tag::Content},
    {"thumbnail", Tag::Thumbnail},
    {"guid", Tag::Guid},
    {"id", Tag::Id},
    {"pubdate", Tag::PubDate},
    {"published", Tag::Published},
    {"date", Tag::Date},
    {"issued", Tag::Issued},
    {"updated", Tag::Updated},
};

std::string_view withoutPrefix(std::string_view qualifiedName)
{
    const size_t colon = qualifiedName.rfind(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// Element names compare in lower case, without their prefix.
Tag tagOf(const char* qualifiedName)
{
    const std::string_view name = withoutPrefix(qualifiedName);
    if (name.empty())
        return Tag::Other;
    const char first = asciiLower(name.front());
    for (const TagName& known : kTagNames) {
        if (name.size() != known.name.size() || first != known.name.front())
            continue;
        if (std::equal(name.begin(), name.end(), known.name.begin(),
                       [](char a, char b) { return asciiLower(a) == b; }))
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
std::optional<QString> attribute(const char* const* attributes, std::string_view name)
{
    for (; attributes[0]; attributes += 2) {
        if (withoutPrefix(attributes[0]) == name)
            return QString::fromUtf8(attributes[1]);
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

// The encoding named in the XML declaration of an ASCII-compatible document.
QByteArray declaredEncoding(const QByteArray& body)
{
    QByteArrayView head = QByteArrayView(body).first(std::min<qsizetype>(body.size(), 256));
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    if (!head.startsWith("<?xml"))
        return {};
    head = head.first(std::max<qsizetype>(0, head.indexOf("?>")));
    const qsizetype at = head.indexOf("encoding");
    if (at < 0)
        return {};
    qsizetype i = at + 8;
    while (i < head.size() && (head[i] == ' ' || head[i] == '=' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    if (i >= head.size() || (head[i] != '"' && head[i] != '\''))
        return {};
    const qsizetype end = head.indexOf(head[i], i + 1);
    return end < 0 ? QByteArray() : head.sliced(i + 1, end - i - 1).toByteArray().toLower();
}

// The reader decodes UTF-8, UTF-16, ISO-8859-1 and US-ASCII itself; a
// document in any other encoding Qt knows (windows-1252, KOI8-R, Shift_JIS,
// ...) is turned into UTF-8 first. Empty when no conversion is needed or
// possible (an unknown encoding then fails in the reader).
QByteArray asUtf8(const QByteArray& body)
{
    const QByteArray encoding = declaredEncoding(body);
    if (encoding.isEmpty() || encoding == "utf-8" || encoding == "utf-16" || encoding == "iso-8859-1"
        || encoding == "us-ascii")
        return {};
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid())
        return {};
    const QString text = decoder.decode(body);
    if (decoder.hasError())
        return {};
    return text.toUtf8();
}

// The errors the reader gives when the input ends before the document does:
// outside any token, inside a tag, comment or reference, inside a CDATA
// section, or part way through a character.
bool inputRanOut(XML_Error error)
{
    return error == XML_ERROR_NO_ELEMENTS || error == XML_ERROR_UNCLOSED_TOKEN
        || error == XML_ERROR_UNCLOSED_CDATA_SECTION || error == XML_ERROR_PARTIAL_CHAR;
}

} // namespace

struct FeedParser::Reader {
    FeedParser& parser;
    const QByteArray& document;
    XML_Parser xml;
    QHash<QString, QString> entities;  // internal entities, name to replacement text
    bool refused = false;              // entity expansion over budget

    static void XMLCALL start(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<Reader*>(self)->parser.startElement(tagOf(name), attributes);
    }
    static void XMLCALL end(void* self, const XML_Char* name)
    {
        static_cast<Reader*>(self)->parser.endElement(tagOf(name));
    }
    static void XMLCALL characters(void* self, const XML_Char* text, int length)
    {
        FeedParser& parser = static_cast<Reader*>(self)->parser;
        if (parser.m_collectText)
            parser.m_text.append(text, length);
    }
    static void XMLCALL entityDeclaration(void* self, const XML_Char* name, int isParameterEntity, const XML_Char* value,
                                          int length, const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*)
    {
        // External entities (no value) are never read: they expand to nothing.
        if (!isParameterEntity && value)
            static_cast<Reader*>(self)->entities.insert(QString::fromUtf8(name), QString::fromUtf8(value, length));
    }
    // The reader expands declared entities: refuse documents whose references
    // would expand beyond a fixed budget before any is expanded.
    static void XMLCALL endDoctype(void* self)
    {
        auto* reader = static_cast<Reader*>(self);
        if (!XmlEntityBudget::allows(reader->document, reader->entities)) {
            reader->refused = true;
            XML_StopParser(reader->xml, XML_FALSE);
        }
    }
};

std::optional<ParsedFeed> FeedParser::parse(const QByteArray& body)
{
    return read(body).feed;
}

FeedParser::Reading FeedParser::read(const QByteArray& body)
{
    const QByteArray converted = asUtf8(body);
    const QByteArray& document = converted.isEmpty() ? body : converted;
    // Without namespace processing: real feeds use prefixes they never
    // declare ("media:", "dc:"); names are matched on their local part.
    // External entities and the external DTD subset are never loaded: no
    // handler for them is set and parameter entities are not parsed.
    XML_Parser xml = XML_ParserCreate(converted.isEmpty() ? nullptr : "UTF-8");
    if (!xml)
        return {};
    FeedParser parser;
    Reader reader{parser, document, xml, {}, false};
    XML_SetUserData(xml, &reader);
    XML_SetElementHandler(xml, &Reader::start, &Reader::end);
    XML_SetCharacterDataHandler(xml, &Reader::characters);
    XML_SetEntityDeclHandler(xml, &Reader::entityDeclaration);
    XML_SetEndDoctypeDeclHandler(xml, &Reader::endDoctype);
    XML_SetParamEntityParsing(xml, XML_PARAM_ENTITY_PARSING_NEVER);

    bool failed = false;
    constexpr qsizetype kChunk = qsizetype(1) << 28;
    for (qsizetype at = 0; !failed;) {
        const qsizetype length = std::min(kChunk, document.size() - at);
        const bool last = at + length >= document.size();
        failed = XML_Parse(xml, document.constData() + at, int(length), last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK;
        at += length;
        if (last)
            break;
    }
    const bool ranOut = failed && inputRanOut(XML_GetErrorCode(xml));
    XML_ParserFree(xml);
    if (reader.refused)
        return {};
    return {parser.result(failed), ranOut && parser.m_sawRoot && !parser.m_path.empty()};
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

void FeedParser::startElement(Tag tag, Attributes attributes)
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
void FeedParser::readItemLink(Attributes attributes)
{
    const std::optional<QString> href = attribute(attributes, "href");
    if (!href || href->trimmed().isEmpty() || !isAcceptableAddress(*href))
        return;
    const std::optional<QString> relAttr = attribute(attributes, "rel");
    const QString rel = relAttr ? relAttr->toLower() : QStringLiteral("alternate");
    if (rel == QLatin1StringView("enclosure")) {
        const QString type = attribute(attributes, "type").value_or(QString()).toLower();
        if (!m_curImage && type.startsWith(QLatin1StringView("image/")))
            m_curImage = *href;
        return;
    }
    if (rel == QLatin1StringView("alternate"))
        setIfAbsent(m_curAtomAltLink, *href);
    setIfAbsent(m_curAtomAnyLink, *href);
}

// RSS: <enclosure url="..." type="..."/>; without a type it counts as an image.
void FeedParser::readEnclosure(Attributes attributes)
{
    if (m_curImage)
        return;
    const std::optional<QString> url = attribute(attributes, "url");
    if (!url || !isAcceptableAddress(*url))
        return;
    const QString type = attribute(attributes, "type").value_or(QStringLiteral("image/"));
    if (type.toLower().startsWith(QLatin1StringView("image/")))
        m_curImage = *url;
}

// media:content and media:thumbnail: an image unless medium or type says otherwise.
void FeedParser::readMedia(Attributes attributes)
{
    if (m_curImage)
        return;
    const std::optional<QString> url = attribute(attributes, "url");
    if (!url || !isAcceptableAddress(*url))
        return;
    const std::optional<QString> medium = attribute(attributes, "medium");
    if (medium && medium->toLower() != QLatin1StringView("image"))
        return;
    const std::optional<QString> type = attribute(attributes, "type");
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
            readItemField(tag, QString::fromUtf8(m_text).trimmed());
    } else if (tag == Tag::Title && !m_feedTitle && m_path.size() >= 2) {
        const Tag parent = m_path[m_path.size() - 2];
        if (parent == Tag::Channel || parent == Tag::Feed)
            m_feedTitle = QString::fromUtf8(m_text).trimmed();
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
