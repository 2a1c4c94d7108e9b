#include "personal/FeedParser.h"

#include "personal/XmlEntityBudget.h"

#include "platform/Json.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <array>
#include <memory>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace {

QString localName(QStringView qualifiedName)
{
    const qsizetype colon = qualifiedName.lastIndexOf(QLatin1Char(':'));
    return (colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1)).toString().toLower();
}

// The value of the first attribute with this local name, whatever its prefix.
std::optional<QString> attribute(const QXmlStreamAttributes& attributes, QLatin1StringView name)
{
    for (const QXmlStreamAttribute& a : attributes) {
        QStringView qualified = a.qualifiedName();
        const qsizetype colon = qualified.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0)
            qualified = qualified.mid(colon + 1);
        if (qualified == name)
            return a.value().toString();
    }
    return std::nullopt;
}

bool isOneOf(const QString& name, std::initializer_list<QLatin1StringView> names)
{
    for (QLatin1StringView n : names) {
        if (name == n)
            return true;
    }
    return false;
}

bool isItemElement(const QString& n) { return isOneOf(n, {QLatin1StringView("item"), QLatin1StringView("entry")}); }

bool isDateElement(const QString& n)
{
    return isOneOf(n, {QLatin1StringView("pubdate"), QLatin1StringView("published"), QLatin1StringView("date"),
                       QLatin1StringView("issued")});
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
    bool refused = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // Declared entities are expanded by the reader: refuse documents
            // whose references would expand beyond a fixed budget.
            if (!XmlEntityBudget::allows(body, reader.entityDeclarations()))
                refused = true;
            break;
        case QXmlStreamReader::StartElement:
            parser.startElement(localName(reader.qualifiedName()), reader.attributes());
            break;
        case QXmlStreamReader::EndElement:
            parser.endElement(localName(reader.qualifiedName()));
            break;
        case QXmlStreamReader::Characters:
            parser.m_text.append(reader.text());
            break;
        default:
            break;
        }
        if (refused)
            return std::nullopt;
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

void FeedParser::startElement(const QString& name, const QXmlStreamAttributes& attributes)
{
    if (m_path.isEmpty())
        m_sawRoot = isOneOf(name, {QLatin1StringView("rss"), QLatin1StringView("feed"), QLatin1StringView("rdf")});
    m_path.append(name);
    m_text.truncate(0);

    if (isItemElement(name)) {
        startItem();
        return;
    }
    if (!m_inItem)
        return;
    if (name == QLatin1StringView("link"))
        readItemLink(attributes);
    else if (name == QLatin1StringView("enclosure"))
        readEnclosure(attributes);
    else if (name == QLatin1StringView("content") || name == QLatin1StringView("thumbnail"))
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

void FeedParser::endElement(const QString& name)
{
    if (isItemElement(name)) {
        m_inItem = false;
        finishItem();
    } else if (m_inItem) {
        readItemField(name, m_text.trimmed());
    } else if (name == QLatin1StringView("title") && !m_feedTitle && m_path.size() >= 2) {
        const QString& parent = m_path.at(m_path.size() - 2);
        if (parent == QLatin1StringView("channel") || parent == QLatin1StringView("feed"))
            m_feedTitle = m_text.trimmed();
    }
    if (!m_path.isEmpty())
        m_path.removeLast();
    m_text.truncate(0);
}

void FeedParser::readItemField(const QString& name, const QString& value)
{
    if (name == QLatin1StringView("title")) {
        if (m_curTitle.isEmpty())
            m_curTitle = value;
        return;
    }
    if (value.isEmpty())
        return;
    if (name == QLatin1StringView("link")) {
        if (isAcceptableAddress(value))
            m_curLink = value;  // the last one wins
    } else if (name == QLatin1StringView("guid") || name == QLatin1StringView("id")) {
        setIfAbsent(m_curGuid, value);
    } else if (isDateElement(name)) {
        setIfAbsent(m_curDate, value);
    } else if (name == QLatin1StringView("updated")) {
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

namespace {

// The RFC 822 family as feeds write it, tried in this order.
constexpr std::array<const char*, 5> kDatePatterns = {
    "EEE, dd MMM yyyy HH:mm:ss Z",
    "EEE, dd MMM yyyy HH:mm:ss zzz",
    "dd MMM yyyy HH:mm:ss Z",
    "EEE, dd MMM yyyy HH:mm Z",
    "EEE, d MMM yyyy HH:mm:ss Z",
};

// ICU formatters are not safe to share for parsing: each thread gets its own.
class DateFormatters {
public:
    static DateFormatters& forThisThread()
    {
        thread_local DateFormatters formatters;
        return formatters;
    }

    std::optional<QDateTime> parse(const QString& text)
    {
        const icu::UnicodeString input(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
        for (const auto& format : m_formats) {
            if (!format)
                continue;
            icu::ParsePosition position(0);
            const UDate date = format->parse(input, position);
            // The whole text must be read: a trailing remainder is no match.
            if (position.getErrorIndex() < 0 && position.getIndex() == input.length())
                return QDateTime::fromMSecsSinceEpoch(qint64(date), Qt::UTC);
        }
        return std::nullopt;
    }

private:
    DateFormatters()
    {
        const icu::Locale posix("en_US_POSIX");
        for (std::size_t i = 0; i < kDatePatterns.size(); ++i) {
            UErrorCode status = U_ZERO_ERROR;
            auto format = std::make_unique<icu::SimpleDateFormat>(
                icu::UnicodeString::fromUTF8(kDatePatterns[i]), posix, status);
            if (U_FAILURE(status))
                continue;
            format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8("GMT")));
            format->setLenient(false);
            m_formats[i] = std::move(format);
        }
    }

    std::array<std::unique_ptr<icu::SimpleDateFormat>, kDatePatterns.size()> m_formats;
};

std::optional<QDateTime> parseIsoDay(const QString& text)
{
    static const QRegularExpression day(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const QRegularExpressionMatch m = day.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return std::nullopt;
    return QDateTime(date, QTime(0, 0), Qt::UTC);
}

} // namespace

std::optional<QDateTime> FeedParser::parseDate(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (auto date = parseIso8601(trimmed))
        return date;
    if (auto date = parseIsoDay(trimmed))
        return date;
    return DateFormatters::forThisThread().parse(trimmed);
}

bool FeedParser::isAcceptableAddress(const QString& address)
{
    // Read the scheme the way browsers do: tabs and line breaks anywhere and
    // control characters or blanks at the ends do not count.
    QString cleaned;
    cleaned.reserve(address.size());
    for (QChar c : address) {
        if (c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            cleaned.append(c);
    }
    qsizetype start = 0;
    while (start < cleaned.size() && (cleaned.at(start).unicode() <= 0x20 || cleaned.at(start).isSpace()))
        ++start;
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.\\-]*):"));
    const QRegularExpressionMatch m = scheme.match(QStringView(cleaned).mid(start));
    if (!m.hasMatch())
        return true;  // relative: kept as written
    const QString name = m.captured(1).toLower();
    return name == QLatin1StringView("http") || name == QLatin1StringView("https");
}
