#include "app/SearchMatching.h"

#include <QCollator>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <numeric>

#include <unicode/normalizer2.h>
#include <unicode/ustring.h>

namespace {

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QString lowerCased(QStringView text)
{
    // Full mapping may grow the text ("İ" becomes "i" and a combining dot).
    QString out(text.size() + 8, Qt::Uninitialized);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = u_strToLower(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                                            reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()),
                                            "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(length);
            continue;
        }
        if (U_FAILURE(status))
            return text.toString().toLower();
        out.resize(length);
        return out;
    }
    return text.toString().toLower();
}

QString composed(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return text.normalized(QString::NormalizationForm_C);
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    if (nfc->isNormalized(source, status) && U_SUCCESS(status))
        return text;
    status = U_ZERO_ERROR;
    const icu::UnicodeString result = nfc->normalize(source, status);
    if (U_FAILURE(status))
        return text.normalized(QString::NormalizationForm_C);
    return QString(reinterpret_cast<const QChar*>(result.getBuffer()), result.length());
}

// Whether `position` of `text` lies between two user-perceived characters.
// Between two ASCII characters it always does (CR LF aside, which a folded
// title never splits usefully); elsewhere the boundary finder decides.
bool atCharacterBoundary(QStringView text, qsizetype position)
{
    if (position <= 0 || position >= text.size())
        return true;
    const QChar before = text[position - 1];
    const QChar after = text[position];
    if (before.unicode() < 0x80 && after.unicode() < 0x80)
        return !(before == u'\r' && after == u'\n');
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    finder.setPosition(position);
    return finder.isAtBoundary();
}

int characterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

const QString& orEmpty(const std::optional<QString>& text)
{
    static const QString empty;
    return text ? *text : empty;
}

} // namespace

namespace SearchMatching {

QString fold(QStringView text)
{
    if (isAscii(text))
        return text.toString().toLower();
    return composed(lowerCased(text));
}

std::optional<QString> normalisedQuery(const QString& raw)
{
    QString query = fold(QStringView(raw).trimmed());
    if (characterCount(query) < minimumQueryLength)
        return std::nullopt;
    return query;
}

bool containsFolded(QStringView text, QStringView query)
{
    if (query.isEmpty())
        return false;
    for (qsizetype from = 0;;) {
        const qsizetype at = text.indexOf(query, from);
        if (at < 0)
            return false;
        if (atCharacterBoundary(text, at) && atCharacterBoundary(text, at + query.size()))
            return true;
        from = at + 1;
    }
}

QList<FeedItem> headlineResults(const QList<FeedItem>& items, const QString& rawQuery)
{
    const std::optional<QString> query = normalisedQuery(rawQuery);
    return query ? SearchIndex(items, {}).headlines(*query) : QList<FeedItem>();
}

QList<FeedIndexItem> feedResults(const QList<FeedIndexItem>& feeds, const QString& rawQuery)
{
    const std::optional<QString> query = normalisedQuery(rawQuery);
    return query ? SearchIndex({}, feeds).feeds(*query) : QList<FeedIndexItem>();
}

} // namespace SearchMatching

SearchIndex::SearchIndex(const QList<FeedItem>& items, const QList<FeedIndexItem>& feeds)
{
    setItems(items);
    setFeeds(feeds);
}

void SearchIndex::setItems(const QList<FeedItem>& items)
{
    // Newest first; undated items count as the most distant past.
    QList<qsizetype> order(items.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&items](qsizetype a, qsizetype b) {
        const auto& da = items[a].publishedAt;
        const auto& db = items[b].publishedAt;
        if (!db)
            return bool(da);
        return da && *da > *db;
    });
    m_items.clear();
    m_itemTexts.clear();
    m_items.reserve(items.size());
    m_itemTexts.reserve(items.size());
    for (qsizetype index : order) {
        const FeedItem& item = items[index];
        m_items.append(item);
        const QString source = item.source ? orEmpty(item.source->title) : QString();
        m_itemTexts.append({SearchMatching::fold(item.cleanedTitle()), SearchMatching::fold(source)});
    }
}

void SearchIndex::setFeeds(const QList<FeedIndexItem>& feeds)
{
    QCollator collator;  // the user's locale
    QList<qsizetype> order(feeds.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return collator.compare(feeds[a].title, feeds[b].title) < 0;
    });
    m_feeds.clear();
    m_feedTexts.clear();
    m_feeds.reserve(feeds.size());
    m_feedTexts.reserve(feeds.size());
    for (qsizetype index : order) {
        const FeedIndexItem& feed = feeds[index];
        m_feeds.append(feed);
        const QString category = feed.category ? orEmpty(feed.category->name) : QString();
        m_feedTexts.append({SearchMatching::fold(feed.title), SearchMatching::fold(category)});
    }
}

QList<FeedItem> SearchIndex::headlines(QStringView query) const
{
    QList<FeedItem> found;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const Entry& texts = m_itemTexts[i];
        if (SearchMatching::containsFolded(texts.title, query) || SearchMatching::containsFolded(texts.second, query))
            found.append(m_items[i]);
    }
    return found;
}

QList<FeedIndexItem> SearchIndex::feeds(QStringView query) const
{
    QList<FeedIndexItem> found;
    for (qsizetype i = 0; i < m_feeds.size(); ++i) {
        const Entry& texts = m_feedTexts[i];
        if (SearchMatching::containsFolded(texts.title, query) || SearchMatching::containsFolded(texts.second, query))
            found.append(m_feeds[i]);
    }
    return found;
}
