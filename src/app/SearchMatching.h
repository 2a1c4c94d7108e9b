#pragma once

#include "api/ItemModels.h"
#include "api/ManifestModels.h"

#include <QList>
#include <QString>
#include <QStringView>
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

// The store's headlines and feeds with their texts folded once and already in
// result order, so a keystroke only scans. Rebuild it when the lists change.
class SearchIndex {
public:
    SearchIndex() = default;
    SearchIndex(const QList<FeedItem>& items, const QList<FeedIndexItem>& feeds);

    void setItems(const QList<FeedItem>& items);
    void setFeeds(const QList<FeedIndexItem>& feeds);

    // Uncapped results for a normalised query (see SearchMatching).
    QList<FeedItem> headlines(QStringView query) const;
    QList<FeedIndexItem> feeds(QStringView query) const;

private:
    struct Entry {
        QString title;   // folded
        QString second;  // folded source title or category name
    };
    QList<FeedItem> m_items;       // newest first
    QList<Entry> m_itemTexts;
    QList<FeedIndexItem> m_feeds;  // by title
    QList<Entry> m_feedTexts;
};
