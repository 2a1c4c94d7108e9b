#include "app/SearchMatching.h"

#include <QCollator>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <limits>
#include <numeric>
#include <string_view>

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
    const std::u16string_view haystack(text.utf16(), size_t(text.size()));
    const std::u16string_view needle(query.utf16(), size_t(query.size()));
    for (size_t from = 0;;) {
        const size_t at = haystack.find(needle, from);
        if (at == std::u16string_view::npos)
            return false;
        if (atCharacterBoundary(text, qsizetype(at)) && atCharacterBoundary(text, qsizetype(at + needle.size())))
            return true;
        from = at + 1;
    }
}

QList<FeedItem> headlineResults(const QList<FeedItem>& items, const QString& rawQuery)
{
    const std::optional<QString> query = normalisedQuery(rawQuery);
    if (!query)
        return {};
    const SearchIndex index(items, {});
    QList<FeedItem> found;
    for (qsizetype position : index.matchingItems(*query))
        found.append(index.item(position));
    return found;
}

QList<FeedIndexItem> feedResults(const QList<FeedIndexItem>& feeds, const QString& rawQuery)
{
    const std::optional<QString> query = normalisedQuery(rawQuery);
    if (!query)
        return {};
    const SearchIndex index({}, feeds);
    QList<FeedIndexItem> found;
    for (qsizetype position : index.matchingFeeds(*query))
        found.append(index.feed(position));
    return found;
}

} // namespace SearchMatching

SearchIndex::SearchIndex(const QList<FeedItem>& items, const QList<FeedIndexItem>& feeds)
{
    setItems(items);
    setFeeds(feeds);
}

const SearchIndex::Texts& SearchIndex::textsFor(QHash<QString, Texts>& cache, const QString& id,
                                                const QString& title, const QString& second,
                                                const std::function<QString()>& shownTitle)
{
    auto found = cache.find(id);
    if (found == cache.end() || found->rawTitle != title || found->rawSecond != second)
        found = cache.insert(id, Texts{title, second, SearchMatching::fold(shownTitle()), SearchMatching::fold(second)});
    return *found;
}

void SearchIndex::setItems(const QList<FeedItem>& items)
{
    const auto sameEntry = [](const FeedItem& a, const FeedItem& b) {
        return a.stableId == b.stableId && a.title == b.title && a.publishedAt == b.publishedAt
            && (a.source ? orEmpty(a.source->title) : QString()) == (b.source ? orEmpty(b.source->title) : QString());
    };
    if (items.constData() == m_givenItems.constData()
        || std::equal(items.begin(), items.end(), m_givenItems.begin(), m_givenItems.end(), sameEntry)) {
        m_givenItems = items;
        return;
    }
    m_givenItems = items;

    // Newest first; undated items count as the most distant past.
    QList<qint64> times;
    times.reserve(items.size());
    for (const FeedItem& item : items)
        times.append(item.publishedAt ? item.publishedAt->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min());
    m_itemOrder.resize(items.size());
    std::iota(m_itemOrder.begin(), m_itemOrder.end(), qsizetype(0));
    std::stable_sort(m_itemOrder.begin(), m_itemOrder.end(),
                     [&times](qsizetype a, qsizetype b) { return times[a] > times[b]; });
    QHash<QString, Texts> seen;
    seen.reserve(items.size());
    m_itemTexts.clear();
    m_itemTexts.reserve(items.size());
    for (qsizetype index : std::as_const(m_itemOrder)) {
        const FeedItem& item = items[index];
        const QString source = item.source ? orEmpty(item.source->title) : QString();
        const Texts& texts = textsFor(m_itemCache, item.stableId, item.title, source, [&item] { return item.cleanedTitle(); });
        m_itemTexts.append(texts);
        seen.insert(item.stableId, texts);
    }
    m_itemCache = std::move(seen);  // forget what left the store
}

void SearchIndex::setFeeds(const QList<FeedIndexItem>& feeds)
{
    const auto sameEntry = [](const FeedIndexItem& a, const FeedIndexItem& b) {
        return a.id == b.id && a.title == b.title
            && (a.category ? orEmpty(a.category->name) : QString())
                == (b.category ? orEmpty(b.category->name) : QString());
    };
    if (feeds.constData() == m_givenFeeds.constData()
        || std::equal(feeds.begin(), feeds.end(), m_givenFeeds.begin(), m_givenFeeds.end(), sameEntry)) {
        m_givenFeeds = feeds;
        return;
    }
    m_givenFeeds = feeds;

    // Sort keys once per title rather than once per comparison.
    QCollator collator;  // the user's locale
    QList<QCollatorSortKey> keys;
    keys.reserve(feeds.size());
    for (const FeedIndexItem& feed : feeds)
        keys.append(collator.sortKey(feed.title));
    m_feedOrder.resize(feeds.size());
    std::iota(m_feedOrder.begin(), m_feedOrder.end(), qsizetype(0));
    std::stable_sort(m_feedOrder.begin(), m_feedOrder.end(),
                     [&keys](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
    QHash<QString, Texts> seen;
    seen.reserve(feeds.size());
    m_feedTexts.clear();
    m_feedTexts.reserve(feeds.size());
    for (qsizetype index : std::as_const(m_feedOrder)) {
        const FeedIndexItem& feed = feeds[index];
        const QString category = feed.category ? orEmpty(feed.category->name) : QString();
        const Texts& texts = textsFor(m_feedCache, feed.id, feed.title, category, [&feed] { return feed.title; });
        m_feedTexts.append(texts);
        seen.insert(feed.id, texts);
    }
    m_feedCache = std::move(seen);
}

QList<qsizetype> SearchIndex::matching(const QList<Texts>& texts, QStringView query)
{
    QList<qsizetype> found;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (SearchMatching::containsFolded(texts[i].title, query) || SearchMatching::containsFolded(texts[i].second, query))
            found.append(i);
    }
    return found;
}

QList<qsizetype> SearchIndex::matchingItems(QStringView query) const
{
    return matching(m_itemTexts, query);
}

QList<qsizetype> SearchIndex::matchingFeeds(QStringView query) const
{
    return matching(m_feedTexts, query);
}
