#pragma once

#include "api/ItemModels.h"
#include "api/ManifestModels.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

// What the search window finds: loaded headlines whose clean title or source
// title contains the query, and catalogue feeds whose title or category name
// contains it. Both sides are lower-cased with the full, locale-independent
// Unicode mapping and normalised to NFC, so letter case never matters while
// accents do ("e" does not find "é"). A match is one contiguous run that
// starts and ends on user-perceived character boundaries.
namespace SearchMatching {

// Shorter queries (in user-perceived characters, after trimming) find nothing.
inline constexpr int minimumQueryLength = 2;

// `text` lower-cased (full mapping, root locale) and normalised to NFC.
QString fold(QStringView text);
// The raw query trimmed and folded; none when it is shorter than
// minimumQueryLength.
std::optional<QString> normalisedQuery(const QString& raw);
// Whether the folded `text` holds the folded `query` on character boundaries.
bool containsFolded(QStringView text, QStringView query);

// The matching headlines newest first, undated last; equal dates keep the
// order of `items`.
QList<FeedItem> headlineResults(const QList<FeedItem>& items, const QString& rawQuery);
// The matching feeds by title in the user's locale's order; equal titles
// keep catalogue order. Switched-off feeds are included.
QList<FeedIndexItem> feedResults(const QList<FeedIndexItem>& feeds, const QString& rawQuery);

} // namespace SearchMatching

// The store's headlines and feeds with their texts folded and already in
// result order, so a keystroke only scans. Setting lists that hold the same
// entries as before changes nothing; texts of entries seen before are not
// folded again.
class SearchIndex {
public:
    SearchIndex() = default;
    SearchIndex(const QList<FeedItem>& items, const QList<FeedIndexItem>& feeds);

    void setItems(const QList<FeedItem>& items);
    void setFeeds(const QList<FeedIndexItem>& feeds);

    // Headlines newest first (undated last, stable) and feeds by title:
    // the entry at a position in that order.
    const FeedItem& item(qsizetype position) const { return m_givenItems[m_itemOrder[position]]; }
    const FeedIndexItem& feed(qsizetype position) const { return m_givenFeeds[m_feedOrder[position]]; }
    qsizetype itemCount() const { return m_itemOrder.size(); }
    qsizetype feedCount() const { return m_feedOrder.size(); }
    // Positions (as for item() / feed()) of the matches of a normalised
    // query (see SearchMatching), in order.
    QList<qsizetype> matchingItems(QStringView query) const;
    QList<qsizetype> matchingFeeds(QStringView query) const;

private:
    struct Texts {
        QString rawTitle, rawSecond;  // as given
        QString title, second;        // folded
    };
    // The cached texts of `id` while its raw title and second text are the
    // same; otherwise `shownTitle` and `second` folded anew.
    static const Texts& textsFor(QHash<QString, Texts>& cache, const QString& id, const QString& title,
                                 const QString& second, const std::function<QString()>& shownTitle);
    static QList<qsizetype> matching(const QList<Texts>& texts, QStringView query);

    QList<FeedItem> m_givenItems;  // as set (shared with the caller's list)
    QList<FeedIndexItem> m_givenFeeds;
    QList<qsizetype> m_itemOrder;  // positions in m_givenItems, in result order
    QList<qsizetype> m_feedOrder;
    QList<Texts> m_itemTexts;  // parallel to m_itemOrder
    QList<Texts> m_feedTexts;
    QHash<QString, Texts> m_itemCache;  // by stableId
    QHash<QString, Texts> m_feedCache;  // by feed id
};
