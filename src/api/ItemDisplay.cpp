// Display helpers of FeedItem: clean title, safe link, meta line and the
// phrase matches used by the muted, followed and orb-keyword filters.
#include "api/ItemModels.h"
#include "platform/session/UrlOpener.h"

#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <map>
#include <memory>
#include <tuple>

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace {

// A tag is "<" followed by a letter, "/" and a letter, or "!" (a comment,
// CDATA, a declaration), up to the next ">". Comparisons such as "< 5,000"
// and "> 4%" are text, not tags.
const QRegularExpression& tagPattern()
{
    static const QRegularExpression re(QStringLiteral("<(?:[A-Za-z]|/[A-Za-z]|!)[^>]*>"));
    return re;
}

const QRegularExpression& entityPattern()
{
    static const QRegularExpression re(
        QStringLiteral("&(amp|quot|apos|lt|gt|nbsp|#[0-9]{1,7}|#[xX][0-9A-Fa-f]{1,6});"));
    return re;
}

std::optional<QString> entityText(const QString& name)
{
    if (name == QLatin1String("amp")) return QStringLiteral("&");
    if (name == QLatin1String("quot")) return QStringLiteral("\"");
    if (name == QLatin1String("apos")) return QStringLiteral("'");
    if (name == QLatin1String("lt")) return QStringLiteral("<");
    if (name == QLatin1String("gt")) return QStringLiteral(">");
    if (name == QLatin1String("nbsp")) return QStringLiteral(" ");
    bool ok = false;
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
    if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    const char32_t c = code;
    return QString::fromUcs4(&c, 1);
}

// One pass: the text an entity produces is never read again as markup.
QString decodeEntities(const QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype last = 0;
    auto it = entityPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const std::optional<QString> replacement = entityText(m.captured(1));
        if (!replacement)
            continue;
        out.append(QStringView(text).sliced(last, m.capturedStart() - last));
        out.append(*replacement);
        last = m.capturedEnd();
    }
    out.append(QStringView(text).sliced(last));
    return out;
}

icu::UnicodeString toIcu(const QString& s)
{
    return icu::UnicodeString(reinterpret_cast<const UChar*>(s.utf16()), int32_t(s.size()));
}

QString fromIcu(const icu::UnicodeString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

// Formatters and day patterns are costly to build (a strip rebuild formats
// hundreds of meta lines), so each thread keeps the ones it has made.
// Keys: pattern, locale and zone.
const icu::SimpleDateFormat* cachedFormat(const QString& pattern, const QString& localeName,
                                          const QByteArray& zoneId)
{
    thread_local std::map<std::tuple<QString, QString, QByteArray>, std::unique_ptr<icu::SimpleDateFormat>> cache;
    const auto key = std::make_tuple(pattern, localeName, zoneId);
    if (auto it = cache.find(key); it != cache.end())
        return it->second.get();
    UErrorCode status = U_ZERO_ERROR;
    auto format = std::make_unique<icu::SimpleDateFormat>(toIcu(pattern), icu::Locale(localeName.toUtf8().constData()),
                                                          status);
    if (U_FAILURE(status))
        format.reset();
    else
        format->adoptTimeZone(icu::TimeZone::createTimeZone(toIcu(QString::fromUtf8(zoneId))));
    if (cache.size() > 64)
        cache.clear();
    return cache.emplace(key, std::move(format)).first->second.get();
}

// Formats `when` with an ICU pattern in the given locale and zone.
QString formatDate(const QString& pattern, const QString& localeName, const QTimeZone& zone, const QDateTime& when)
{
    const QByteArray id = zone.id().isEmpty() ? QByteArray("UTC") : zone.id();
    const icu::SimpleDateFormat* format = cachedFormat(pattern, localeName, id);
    if (!format)
        return {};
    icu::UnicodeString out;
    format->format(UDate(when.toMSecsSinceEpoch()), out);
    return fromIcu(out);
}

QString dayPattern(const QString& localeName)
{
    thread_local QHash<QString, QString> cache;
    if (auto it = cache.constFind(localeName); it != cache.constEnd())
        return *it;
    QString result = QStringLiteral("MMM d");
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(icu::Locale(localeName.toUtf8().constData()), status));
    if (U_SUCCESS(status)) {
        const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"MMMd"), status);
        if (U_SUCCESS(status))
            result = fromIcu(pattern);
    }
    cache.insert(localeName, result);
    return result;
}

QString metaLabel(const FeedItem& item)
{
    if (item.source && item.source->title)
        return *item.source->title;
    if (!item.url)
        return {};
    const QUrl url(*item.url);
    QString host = url.isValid() ? url.host().toLower() : QString();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    const qsizetype dot = host.indexOf(u'.');
    return dot >= 0 ? host.left(dot) : host;
}

QString haystack(const FeedItem& item)
{
    const QString sourceTitle = item.source && item.source->title ? *item.source->title : QString();
    return (item.cleanedTitle() + u' ' + sourceTitle).toLower();
}

QStringList letterOrNumberRuns(QStringView text)
{
    QStringList runs;
    QString current;
    for (QChar c : text) {
        if (c.isLetterOrNumber()) {
            current.append(c);
        } else if (!current.isEmpty()) {
            runs.append(current);
            current.clear();
        }
    }
    if (!current.isEmpty())
        runs.append(current);
    return runs;
}

} // namespace

QString FeedItem::cleanedTitle() const
{
    QString text = title;
    if (text.contains(u'<'))
        text.remove(tagPattern());
    // "&amp;" first, on its own: what a publisher escaped twice ("&amp;lt;",
    // "AT&amp;amp;T") reads as once escaped, then every entity once.
    if (text.contains(u'&'))
        text = decodeEntities(text.replace(QStringLiteral("&amp;"), QStringLiteral("&")));
    return text.trimmed();
}

std::optional<QUrl> FeedItem::linkURL() const
{
    if (!url)
        return std::nullopt;
    const QString trimmed = url->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return webUrl(trimmed);
}

MetaLineContext MetaLineContext::current()
{
    return MetaLineContext{QDateTime::currentDateTimeUtc(), QTimeZone::systemTimeZone(), QLocale::system().name()};
}

QString FeedItem::metaLine() const
{
    return metaLine(MetaLineContext::current());
}

QString FeedItem::metaLine(const MetaLineContext& context) const
{
    const MetaLineParts parts = metaLineParts(context);
    QString line = parts.label;
    if (parts.time)
        line.append(metaSeparator).append(*parts.time);
    return line;
}

FeedItem::MetaLineParts FeedItem::metaLineParts(const MetaLineContext& context) const
{
    QString label = metaLabel(*this);
    if (label.isEmpty())
        label = QStringLiteral("SIGNAL");
    label = label.toUpper();
    if (!publishedAt)
        return {label, std::nullopt};

    const QTimeZone zone = context.zone.isValid() ? context.zone : QTimeZone(Qt::UTC);
    const QString time = formatDate(QStringLiteral("h:mm a"), context.locale, zone, *publishedAt);
    const bool today = publishedAt->toTimeZone(zone).date() == context.now.toTimeZone(zone).date();
    if (today)
        return {label, time};
    const QString day = formatDate(dayPattern(context.locale), context.locale, zone, *publishedAt);
    return {label, day + u' ' + time};
}

bool FeedItem::matchesAny(const QStringList& phrases) const
{
    if (phrases.isEmpty())
        return false;
    const QString hay = haystack(*this);
    std::optional<QStringList> words;  // collected on the first single-word phrase
    for (const QString& phrase : phrases) {
        if (phrase.isEmpty())
            continue;
        if (phrase.contains(u' ')) {
            if (hay.contains(phrase))
                return true;
            continue;
        }
        if (!words)
            words = letterOrNumberRuns(hay);
        if (words->contains(phrase))
            return true;
    }
    return false;
}

bool FeedItem::looselyMatchesAny(const QStringList& phrases) const
{
    if (phrases.isEmpty())
        return false;
    const QString hay = haystack(*this);
    for (const QString& phrase : phrases) {
        if (phrase.isEmpty())
            continue;
        if (hay.contains(phrase))
            return true;
        QStringList counting;
        for (const QString& run : letterOrNumberRuns(phrase)) {
            if (run.size() >= 3)
                counting.append(run);
        }
        if (counting.isEmpty())
            continue;
        const bool all = std::all_of(counting.cbegin(), counting.cend(),
                                     [&hay](const QString& run) { return hay.contains(run); });
        if (all)
            return true;
    }
    return false;
}
