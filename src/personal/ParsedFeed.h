#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// One entry of a parsed RSS or Atom document. Texts are trimmed; `title` is
// never empty.
struct ParsedFeedItem {
    QString title;
    std::optional<QString> link;
    std::optional<QString> guid;
    std::optional<QDateTime> publishedAt;  // UTC
    std::optional<QString> imageUrl;

    bool operator==(const ParsedFeedItem&) const = default;
};

// What the parser read from one document: the feed's own title (absent when
// the document has none) and its entries in document order.
struct ParsedFeed {
    std::optional<QString> title;
    QList<ParsedFeedItem> items;

    bool operator==(const ParsedFeed&) const = default;
};
