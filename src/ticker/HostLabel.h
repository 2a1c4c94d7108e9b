#pragma once

#include <QString>

struct FeedItem;

namespace HostLabel {

// The news aggregator that republishes other sites' stories: its items are
// labelled with their source's title instead of its own host.
inline const QString aggregatorHost = QStringLiteral("news.google.com");

// The item's site as shown after its title: the url's host, lower-cased,
// without a leading "www."; for the aggregator the source title when there
// is one. Empty without a url that has a host.
QString forItem(const FeedItem& item);

} // namespace HostLabel
